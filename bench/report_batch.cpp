// Drawing the report of a 100-case batch: 50 copies of each bundled example
// (every copy reads its own summary and stage files), made once with the
// test suite's batch-folder builder. Run: ./build/bench/report_bench

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "velmorantique/report.h"

namespace {

const std::string& hundredCaseBatch() {
  static const std::string out = [] {
    const std::string root = (std::filesystem::temp_directory_path() / "vel_report_bench").string();
    std::filesystem::remove_all(root);
    const std::string source = VEL_SOURCE_DIR;
    const std::string command = "python3 " + source + "/tests/report/make_batch.py --binary " + VEL_BINARY +
                                " --root " + root + " --copies 50 --compress " + source + "/examples/1hpv_b_8a " +
                                source + "/examples/synth_4x7_t18_8a >/dev/null";
    if (std::system(command.c_str()) != 0) std::abort();
    return root + "/OUT";
  }();
  return out;
}

void BM_WriteBatchReport(benchmark::State& state) {
  const std::string& out = hundredCaseBatch();
  for (auto _ : state) vel::report::writeBatchReport(out);
  state.counters["cases"] = 101;  // with the failed one
  state.counters["html_MB"] =
      static_cast<double>(std::filesystem::file_size(out + "/report.html")) / (1024.0 * 1024.0);
}
BENCHMARK(BM_WriteBatchReport)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
