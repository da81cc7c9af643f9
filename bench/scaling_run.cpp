// scaling_run: the whole program on the synthetic sheet (synthetic_sheet.h)
// at 1, 2, 4 and 8 times the sheet voxels, and on the wide 11-strand sheet at
// 1 Å, each run in a child process of its own. Prints the time of every
// stage, the end-to-end time, the peak memory of the run, the bytes the run
// wrote and the time of writing as many bytes through an 8 KB buffer (the
// disk's own speed, measured beside each run), and the exponent of a power
// law fitted to run time against the number of sheet voxels.
//
//   scaling_run [--repeat N] [case ...]
//       a case is a scale of the four-strand sheet, or "wide"; default:
//       1 2 4 8 wide. With --repeat every case runs N times and each time
//       shown is the least of the N, the fairer figure on a busy machine.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "driver/run.h"
#include "driver/setup.h"
#include "driver/stages.h"
#include "driver/summary_file.h"
#include "synthetic_sheet.h"
#include "velmorantique/fatal.h"

using namespace vel;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

const char* kStages[] = {"set-up", "extraction", "surface fit", "strand search", "scoring", "reports"};
constexpr int kStageCount = 6;

// The program's run, stage by stage, as runVelmorantique makes it (the
// run's summary included, each part timed with the stage it follows, as
// runAnalysis takes it); standard output and standard error go to files
// beside the inputs. Writes the stage
// times and the number of sheet voxels to `report`.
void timedRun(const SyntheticSheet& sheet, const std::string& report) {
  std::ofstream out(sheet.base + ".stdout"), err(sheet.base + ".stderr");
  char threshold[64];
  std::snprintf(threshold, sizeof threshold, "%.17g", sheet.threshold);
  double seconds[kStageCount] = {0, 0, 0, 0, 0, 0};
  size_t voxels = 0;
  RunSetup run;
  SummaryFile summary;
  runStreams() = RunStreams{&out, &err};  // the library's lines, as the program prints them
  try {
    Clock::time_point t = Clock::now();
    setUpRun(run, sheet.base.c_str(), sheet.base.c_str(), threshold, out, err);
    summariseSetup(summary, run);
    seconds[0] = since(t);
    t = Clock::now();
    SheetDensity density = extractSheet(run, out);
    voxels = density.sheetPoints.size();
    summariseSheet(summary, density);
    seconds[1] = since(t);
    t = Clock::now();
    SurfaceFit surface = fitSurface(density, out);
    summariseSurface(summary, surface);
    summariseSheetLikeness(summary, judgeOneSheet(density, surface));
    seconds[2] = since(t);
    t = Clock::now();
    TwistSearch search = searchStrandDirections(surface, out);
    summariseSearch(summary, search);
    seconds[3] = since(t);
    t = Clock::now();
    CandidateScores scores = scoreCandidates(run, density, surface, search, out);
    summariseScores(summary, density, surface, search, scores);
    seconds[4] = since(t);
    t = Clock::now();
    writeReports(run, density, surface, search, scores, out);
    run.bestResultStream.close();
    run.rmsStream.close();
    out.flush();
    writeSummary(summary, 0, nullptr);
    seconds[5] = since(t);
  } catch (const FatalError& e) {
    printFrame(e.frame, out, err);
    std::fprintf(stderr, "the run stopped early; see %s.stdout\n", sheet.base.c_str());
  }
  std::ofstream r(report);
  r.precision(17);
  r << voxels;
  for (double s : seconds) r << ' ' << s;
  r << '\n';
}

struct Result {
  std::string label;
  double scale = 0;
  bool wide = false;
  size_t voxels = 0;
  double stage[kStageCount] = {0, 0, 0, 0, 0, 0};
  double wall = 0, cpu = 0;
  long peakKb = 0;
  unsigned long long bytes = 0;  // stage files, report tables and console output
  double copy = 0, copyCpu = 0;  // wall and processor seconds to write as many bytes through an 8 KB buffer
};

double processorSeconds(const struct rusage& u) {
  return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
}

// Sizes of the regular files under dir, and of the files named base.*.
unsigned long long bytesWritten(const std::string& outDir, const std::string& base) {
  namespace fs = std::filesystem;
  unsigned long long total = 0;
  for (const auto& entry : fs::recursive_directory_iterator(outDir))
    if (entry.is_regular_file()) total += entry.file_size();
  for (const char* ending : {".stdout", ".stderr", ".console"})
    if (fs::exists(base + ending)) total += fs::file_size(base + ending);
  return total;
}

// Writes `bytes` zero bytes to a new file through an 8 KB buffer, as
// `head -c bytes /dev/zero > path` does; sets the wall and processor seconds.
void plainWrite(const std::string& path, unsigned long long bytes, double& wall, double& cpu) {
  struct rusage before {}, after {};
  getrusage(RUSAGE_SELF, &before);
  const Clock::time_point start = Clock::now();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return;
  static char block[8192];
  for (unsigned long long left = bytes; left > 0;) {
    const size_t n = left < sizeof block ? static_cast<size_t>(left) : sizeof block;
    std::fwrite(block, 1, n, f);
    left -= n;
  }
  std::fclose(f);
  wall = since(start);
  getrusage(RUSAGE_SELF, &after);
  cpu = processorSeconds(after) - processorSeconds(before);
  std::remove(path.c_str());
}

// Each time the least over the runs; sizes from the first.
void keepLeast(Result& best, const Result& r) {
  for (int s = 0; s < kStageCount; ++s) best.stage[s] = std::min(best.stage[s], r.stage[s]);
  best.wall = std::min(best.wall, r.wall);
  best.cpu = std::min(best.cpu, r.cpu);
  best.copy = std::min(best.copy, r.copy);
  best.copyCpu = std::min(best.copyCpu, r.copyCpu);
}

Result runCase(double scale, bool wide, const std::string& dir) {
  Result result;
  result.scale = scale;
  result.wide = wide;
  result.label = wide ? "wide" : std::to_string(static_cast<int>(scale)) + "x";
  const std::string name = wide ? "wide" : "sheet" + std::to_string(static_cast<int>(scale));
  const SyntheticSheet sheet = writeSyntheticSheet(dir, name, scale, wide ? kWideSheet : SheetShape());
  const std::string report = dir + "/" + name + ".times";

  std::fflush(stdout);
  const Clock::time_point start = Clock::now();
  const pid_t child = fork();
  if (child == 0) {
    // The map reader's progress goes to the process's standard output;
    // it joins the run's own output file.
    if (std::freopen((sheet.base + ".console").c_str(), "w", stdout) == nullptr) std::_Exit(1);
    timedRun(sheet, report);
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  struct rusage usage {};
  wait4(child, &status, 0, &usage);
  result.wall = since(start);
  result.cpu = processorSeconds(usage);
  result.peakKb = usage.ru_maxrss;

  std::ifstream r(report);
  r >> result.voxels;
  for (double& s : result.stage) r >> s;
  result.bytes = bytesWritten(sheet.base + "twist", sheet.base);
  plainWrite(dir + "/plain_write", result.bytes, result.copy, result.copyCpu);
  std::filesystem::remove_all(sheet.base + "twist");
  return result;
}

// Least-squares slope of log(time) against log(voxels).
double fittedExponent(const std::vector<Result>& results) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  double n = 0;
  for (const Result& r : results) n += r.wide ? 0 : 1;
  for (const Result& r : results) {
    if (r.wide) continue;
    const double x = std::log(static_cast<double>(r.voxels)), y = std::log(r.wall);
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<double, bool>> cases;  // scale, wide sheet
  int repeat = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repeat" && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
      repeat = std::atoi(argv[++i]);
    } else if (arg == "wide") {
      cases.push_back({1.0, true});
    } else if (std::atof(arg.c_str()) > 0) {
      cases.push_back({std::atof(arg.c_str()), false});
    } else {
      std::fprintf(stderr, "usage: scaling_run [--repeat N] [scale | wide] ...\n");
      return 1;
    }
  }
  if (cases.empty()) cases = {{1, false}, {2, false}, {4, false}, {8, false}, {1, true}};

  const std::string dir =
      (std::filesystem::temp_directory_path() / ("vel-scaling-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);

  std::vector<Result> results;
  std::printf("%6s %8s", "case", "voxels");
  for (const char* s : kStages) std::printf(" %13s", s);
  std::printf(" %10s %10s %10s %10s %11s %11s %7s %7s\n", "total s", "cpu s", "peak MB", "out MB", "8KB-write s",
              "8KB-cpu s", "wall x", "cpu x");
  for (const auto& c : cases) {
    Result r = runCase(c.first, c.second, dir);
    for (int k = 1; k < repeat; ++k) keepLeast(r, runCase(c.first, c.second, dir));
    results.push_back(r);
    std::printf("%6s %8zu", r.label.c_str(), r.voxels);
    for (double s : r.stage) std::printf(" %13.3f", s);
    std::printf(" %10.3f %10.3f %10.1f %10.1f %11.3f %11.3f %7.1f %7.1f\n", r.wall, r.cpu, r.peakKb / 1024.0,
                r.bytes / 1e6, r.copy, r.copyCpu, r.copy > 0 ? r.wall / r.copy : 0.0,
                r.copyCpu > 0 ? r.cpu / r.copyCpu : 0.0);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);

  std::vector<Result> scaled;
  for (const Result& r : results)
    if (!r.wide) scaled.push_back(r);
  if (scaled.size() >= 2 && scaled.front().voxels != scaled.back().voxels) {
    const Result& first = scaled.front();
    const Result& last = scaled.back();
    const double pairwise = std::log(last.wall / first.wall) / std::log(static_cast<double>(last.voxels) / first.voxels);
    std::printf("\nrun time ~ voxels^%.2f (least squares over all scales), ^%.2f from the first scale to the last\n",
                fittedExponent(scaled), pairwise);
  }
  std::printf("wall x, cpu x: the run's wall and processor time over those of writing the same bytes through an\n"
              "8 KB buffer (on a busy machine the processor times compare more fairly)\n");
  return 0;
}
