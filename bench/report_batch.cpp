// Drawing the report of a 100-case batch: 50 copies of each bundled example,
// run once by velmorantique-batch (a minute or two on two cores), then the
// report drawn again from that batch folder. Run: ./build/bench/report_bench

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "velmorantique/report.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCopies = 50;

const fs::path& scratch() {
  static const fs::path root = fs::temp_directory_path() / "vel_report_bench";
  return root;
}

// The batch folder, some 100 MB of stage files, goes when the benchmark ends.
const std::string& hundredCaseBatch() {
  static const std::string out = [] {
    const fs::path& root = scratch();
    fs::remove_all(root);
    std::atexit([] { fs::remove_all(scratch()); });
    for (const std::string example : {"1hpv_b_8a", "synth_4x7_t18_8a"}) {
      const fs::path source = fs::path(VEL_SOURCE_DIR) / "examples" / example;
      for (int k = 1; k <= kCopies; ++k) {
        const std::string name = example + "_" + std::to_string(k);
        const fs::path dir = root / "cases" / name;
        fs::create_directories(dir);
        fs::copy_file(source / (example + ".pdb"), dir / (name + ".pdb"));
        fs::copy_file(source / (example + ".mrc"), dir / (name + ".mrc"));
        fs::copy_file(source / "threshold", dir / "threshold");
      }
    }
    const std::string command = std::string(VEL_BATCH) + " -o " + (root / "OUT").string() + " --compress " +
                                (root / "cases").string() + " >/dev/null 2>&1";
    if (std::system(command.c_str()) != 0) std::abort();
    return (root / "OUT").string();
  }();
  return out;
}

void BM_WriteBatchReport(benchmark::State& state) {
  const std::string& out = hundredCaseBatch();
  for (auto _ : state) vel::report::writeBatchReport(out);
  state.counters["cases"] = 2 * kCopies;
  state.counters["html_MB"] = static_cast<double>(fs::file_size(out + "/report.html")) / (1024.0 * 1024.0);
}
BENCHMARK(BM_WriteBatchReport)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
