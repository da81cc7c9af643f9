// scaling_run: the whole program on the synthetic sheet (synthetic_sheet.h)
// at 1, 2, 4 and 8 times the sheet voxels, each run in a child process of its
// own. Prints the time of every stage, the end-to-end time, the peak memory
// of the run, and the exponent of a power law fitted to run time against the
// number of sheet voxels.
//
//   scaling_run [scale ...]        default: 1 2 4 8

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
#include "synthetic_sheet.h"
#include "velmorantique/fatal.h"

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

const char* kStages[] = {"set-up", "extraction", "surface fit", "strand search", "scoring", "reports"};
constexpr int kStageCount = 6;

// The program's run, stage by stage, as runVelmorantique makes it; standard
// output and standard error go to files beside the inputs. Writes the stage
// times and the number of sheet voxels to `report`.
void timedRun(const SyntheticSheet& sheet, const std::string& report) {
  std::ofstream out(sheet.base + ".stdout"), err(sheet.base + ".stderr");
  char threshold[64];
  std::snprintf(threshold, sizeof threshold, "%.17g", sheet.threshold);
  double seconds[kStageCount] = {0, 0, 0, 0, 0, 0};
  size_t voxels = 0;
  RunSetup run;
  runStreams() = RunStreams{&out, &err};  // the library's lines, as the program prints them
  try {
    Clock::time_point t = Clock::now();
    setUpRun(run, sheet.base.c_str(), sheet.base.c_str(), threshold, out, err);
    seconds[0] = since(t);
    t = Clock::now();
    SheetDensity density = extractSheet(run, out);
    voxels = density.sheetPoints.size();
    seconds[1] = since(t);
    t = Clock::now();
    SurfaceFit surface = fitSurface(density, out);
    seconds[2] = since(t);
    t = Clock::now();
    TwistSearch search = searchStrandDirections(surface, out);
    seconds[3] = since(t);
    t = Clock::now();
    CandidateScores scores = scoreCandidates(run, density, surface, search, out);
    seconds[4] = since(t);
    t = Clock::now();
    writeReports(run, density, surface, search, scores, out);
    run.bestResultStream.close();
    run.rmsStream.close();
    out.flush();
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
  double scale = 0;
  size_t voxels = 0;
  double stage[kStageCount] = {0, 0, 0, 0, 0, 0};
  double wall = 0, cpu = 0;
  long peakKb = 0;
};

Result runScale(double scale, const std::string& dir) {
  Result result;
  result.scale = scale;
  const std::string name = "sheet" + std::to_string(static_cast<int>(scale));
  const SyntheticSheet sheet = writeSyntheticSheet(dir, name, scale);
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
  result.cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + usage.ru_stime.tv_sec +
               usage.ru_stime.tv_usec * 1e-6;
  result.peakKb = usage.ru_maxrss;

  std::ifstream r(report);
  r >> result.voxels;
  for (double& s : result.stage) r >> s;
  return result;
}

// Least-squares slope of log(time) against log(voxels).
double fittedExponent(const std::vector<Result>& results) {
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  const double n = static_cast<double>(results.size());
  for (const Result& r : results) {
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
  std::vector<double> scales;
  for (int i = 1; i < argc; ++i) scales.push_back(std::atof(argv[i]));
  if (scales.empty()) scales = {1, 2, 4, 8};

  const std::string dir =
      (std::filesystem::temp_directory_path() / ("vel-scaling-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);

  std::vector<Result> results;
  std::printf("%6s %8s", "scale", "voxels");
  for (const char* s : kStages) std::printf(" %13s", s);
  std::printf(" %10s %10s %10s\n", "total s", "cpu s", "peak MB");
  for (double scale : scales) {
    const Result r = runScale(scale, dir);
    results.push_back(r);
    std::printf("%6g %8zu", r.scale, r.voxels);
    for (double s : r.stage) std::printf(" %13.3f", s);
    std::printf(" %10.3f %10.3f %10.1f\n", r.wall, r.cpu, r.peakKb / 1024.0);
    std::fflush(stdout);
  }
  std::filesystem::remove_all(dir);

  if (results.size() >= 2 && results.front().voxels != results.back().voxels) {
    const Result& first = results.front();
    const Result& last = results.back();
    const double pairwise = std::log(last.wall / first.wall) / std::log(static_cast<double>(last.voxels) / first.voxels);
    std::printf("\nrun time ~ voxels^%.2f (least squares over all scales), ^%.2f from the first scale to the last\n",
                fittedExponent(results), pairwise);
  }
  return 0;
}
