// Each optimised kernel against its plain scan, on the inputs a run makes of
// the synthetic sheet at scale 8 (30,000 sheet voxels, 0.5 Å sampling): the
// sheet points, one line of the strand search through the sheet centre, the
// lines of the best-ranked candidate and their 0.1 Å sticks, and the
// reference strands.
//
//   vel_bench --benchmark_filter=Fast      the optimised kernels only
//   vel_bench                              both (the plain scans take seconds)

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "driver/run.h"
#include "driver/setup.h"
#include "driver/stages.h"
#include "reference/plain_compare.h"
#include "reference/plain_points.h"
#include "reference/plain_sheet.h"
#include "synthetic_sheet.h"
#include "velmorantique/compare.h"
#include "velmorantique/points.h"

using namespace vel;

namespace {

struct Inputs {
  PointList sheetPoints;     // one per sheet voxel, map frame
  Map densityMap;
  PointList centroids;       // the cluster centroids before pruning
  PointList surfacePoints;   // aligned frame
  PointList proposals;       // every surface point's sample on one line through the sheet centre
  PointList line;            // the longest line of the best-ranked candidate
  PointList neighbour;       // the line next to it
  StrandSet lines;           // all lines of that candidate, aligned frame
  StrandSet sticks;          // the same lines as 0.1 Å sticks, map frame
  StrandSet referenceStrands;
};

Inputs makeInputs() {
  const std::string dir = (std::filesystem::temp_directory_path() / ("vel-bench-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  const SyntheticSheet sheet = writeSyntheticSheet(dir, "sheet", 8);
  std::ostringstream out, err;
  RunSetup run;
  char t[64];
  std::snprintf(t, sizeof t, "%.17g", sheet.threshold);
  setUpRun(run, sheet.base.c_str(), sheet.base.c_str(), t, out, err);

  Inputs in;
  SheetDensity density = extractSheet(run, out);
  in.sheetPoints = density.sheetPoints;
  in.densityMap = density.densityMap;
  ClusterList clusters;
  peakClustering(in.sheetPoints, clusters, in.sheetPoints[0], 5.0);
  for (const PointList& c : clusters) in.centroids.push_back(c.back());
  in.referenceStrands = density.referenceStrands;

  SurfaceFit surface = fitSurface(density, out);
  in.surfacePoints = surface.surfacePoints;
  const double x0 = surface.alignment.sheetCentre.x, y0 = surface.alignment.sheetCentre.y;
  const double radians = 30 * kPi / 180;
  for (const Coordinate& s : surface.surfacePoints) {
    const double y = std::tan(radians) * (s.x - x0) + 0.0 / std::cos(radians) + y0;
    in.proposals.push_back(Coordinate(s.x, y, surfaceHeight(surface.surfaceCoefficients, s.x, y)));
  }

  TwistSearch search = searchStrandDirections(surface, out);
  const auto [t0, o0] = search.twistRanking.begin()->second;
  in.lines = search.strandLines[t0][o0];
  size_t longest = 0;
  for (size_t i = 0; i < in.lines.size(); ++i)
    if (in.lines[i].size() > in.lines[longest].size()) longest = i;
  in.line = in.lines[longest];
  in.neighbour = in.lines[longest + 1 < in.lines.size() ? longest + 1 : longest - 1];
  for (const PointList& line : in.lines) {
    PointList stick = surface.alignment.turnBack(line);
    fineStickUnordered(stick, 0.1);
    in.sticks.push_back(translatePoints(std::move(stick), surface.alignment.shiftBack()));
  }
  std::filesystem::remove_all(dir);
  return in;
}

const Inputs& inputs() {
  static const Inputs in = makeInputs();
  return in;
}

// A large sheet at 1 Å voxels: a gently bent slab of 100 x 60 x 5 voxels
// (30,000), in voxel order, where clusters are many and the plain sweeps
// over the whole cloud add up.
const PointList& largeSheet() {
  static const PointList sheet = [] {
    PointList points;
    for (int z = 0; z < 5; ++z)
      for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 100; ++x) points.push_back(Coordinate(x, y, z + std::round(3 * std::sin(x / 15.0))));
    return points;
  }();
  return sheet;
}

void label(benchmark::State& state, size_t points) {
  state.counters["points"] = static_cast<double>(points);
}

// Clustering of the sheet points into 5 Å patches.
void BM_PeakClustering_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    ClusterList clusters;
    plain::peakClustering(in.sheetPoints, clusters, in.sheetPoints[0], 5.0);
    benchmark::DoNotOptimize(clusters.data());
  }
  label(state, in.sheetPoints.size());
}
void BM_PeakClustering_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    ClusterList clusters;
    peakClustering(in.sheetPoints, clusters, in.sheetPoints[0], 5.0);
    benchmark::DoNotOptimize(clusters.data());
  }
  label(state, in.sheetPoints.size());
}

void BM_PeakClusteringLargeSheet_Plain(benchmark::State& state) {
  const PointList& sheet = largeSheet();
  for (auto _ : state) {
    ClusterList clusters;
    plain::peakClustering(sheet, clusters, sheet[0], 5.0);
    benchmark::DoNotOptimize(clusters.data());
  }
  label(state, sheet.size());
}
void BM_PeakClusteringLargeSheet_Fast(benchmark::State& state) {
  const PointList& sheet = largeSheet();
  for (auto _ : state) {
    ClusterList clusters;
    peakClustering(sheet, clusters, sheet[0], 5.0);
    benchmark::DoNotOptimize(clusters.data());
  }
  label(state, sheet.size());
}

// Centroids within 1.5 Å of an empty voxel.
void BM_CentroidPruning_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    PointList centroids = in.centroids;
    plain::pruneCentroidsNearEmptyVoxels(in.densityMap, centroids);
    benchmark::DoNotOptimize(centroids.data());
  }
  label(state, in.centroids.size());
}
void BM_CentroidPruning_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    PointList centroids = in.centroids;
    pruneCentroidsNearEmptyVoxels(in.densityMap, centroids);
    benchmark::DoNotOptimize(centroids.data());
  }
  label(state, in.centroids.size());
}

// The 1 Å membership test of every sample proposed on one line.
void BM_Membership_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    size_t kept = 0;
    for (const Coordinate& q : in.proposals) kept += plain::anyCloserThan(in.surfacePoints, q, 1.0);
    benchmark::DoNotOptimize(kept);
  }
  label(state, in.proposals.size());
}
void BM_Membership_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    const PointGrid grid(in.surfacePoints, 1.0);
    size_t kept = 0;
    int hint = -1;
    for (const Coordinate& q : in.proposals) kept += grid.anyCloserThan(q, hint);
    benchmark::DoNotOptimize(kept);
  }
  label(state, in.proposals.size());
}

void BM_FarthestPair_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) benchmark::DoNotOptimize(plain::findFarestPointInOneSet(in.line));
  label(state, in.line.size());
}
void BM_FarthestPair_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) benchmark::DoNotOptimize(findFarestPointInOneSet(in.line));
  label(state, in.line.size());
}

void BM_MiddlePoint_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  const IndexPair ends = findFarestPointInOneSet(in.line);
  for (auto _ : state) benchmark::DoNotOptimize(plain::findMiddlePointBtwTwoPointsInOneSet(ends, in.line));
  label(state, in.line.size());
}
void BM_MiddlePoint_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  const IndexPair ends = findFarestPointInOneSet(in.line);
  for (auto _ : state) benchmark::DoNotOptimize(findMiddlePointBtwTwoPointsInOneSet(ends, in.line));
  label(state, in.line.size());
}

void BM_ClosestPair_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) benchmark::DoNotOptimize(plain::findClosestPointBtwSets(in.line, in.neighbour));
  label(state, in.line.size() + in.neighbour.size());
}
void BM_ClosestPair_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) benchmark::DoNotOptimize(findClosestPointBtwSets(in.line, in.neighbour));
  label(state, in.line.size() + in.neighbour.size());
}

void BM_FineStick_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    PointList stick = in.line;
    plain::fineStickUnordered(stick, 0.1);
    benchmark::DoNotOptimize(stick.data());
  }
  label(state, in.line.size());
}
void BM_FineStick_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    PointList stick = in.line;
    fineStickUnordered(stick, 0.1);
    benchmark::DoNotOptimize(stick.data());
  }
  label(state, in.line.size());
}

void BM_RoughStick_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    PointList stick = in.sticks[0];
    plain::roughStickFromIndx(stick, 3.0, static_cast<int>(stick.size() / 2));
    benchmark::DoNotOptimize(stick.data());
  }
  label(state, in.sticks[0].size());
}
void BM_RoughStick_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    PointList stick = in.sticks[0];
    roughStickFromIndx(stick, 3.0, static_cast<int>(stick.size() / 2));
    benchmark::DoNotOptimize(stick.data());
  }
  label(state, in.sticks[0].size());
}

// Dist from a 0.1 Å stick to a reference strand axis.
void BM_Dist_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) benchmark::DoNotOptimize(plain::Dist(in.sticks[0], in.referenceStrands[0]));
  label(state, in.sticks[0].size());
}
void BM_Dist_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) benchmark::DoNotOptimize(Dist(in.sticks[0], in.referenceStrands[0]));
  label(state, in.sticks[0].size());
}

// The two one-way distances of a candidate's scoring.
void BM_OneWayDist_Plain(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    benchmark::DoNotOptimize(plain::OneWayDist(in.referenceStrands, in.sticks));
    benchmark::DoNotOptimize(plain::OneWayDist(in.sticks, in.referenceStrands));
  }
  size_t points = 0;
  for (const PointList& s : in.sticks) points += s.size();
  label(state, points);
}
void BM_OneWayDist_Fast(benchmark::State& state) {
  const Inputs& in = inputs();
  for (auto _ : state) {
    benchmark::DoNotOptimize(OneWayDist(in.referenceStrands, in.sticks));
    benchmark::DoNotOptimize(OneWayDist(in.sticks, in.referenceStrands));
  }
  size_t points = 0;
  for (const PointList& s : in.sticks) points += s.size();
  label(state, points);
}

}  // namespace

BENCHMARK(BM_PeakClustering_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakClustering_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakClusteringLargeSheet_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeakClusteringLargeSheet_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CentroidPruning_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CentroidPruning_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Membership_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Membership_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FarthestPair_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FarthestPair_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MiddlePoint_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MiddlePoint_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosestPair_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosestPair_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FineStick_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FineStick_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoughStick_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RoughStick_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dist_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dist_Fast)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneWayDist_Plain)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OneWayDist_Fast)->Unit(benchmark::kMillisecond);
