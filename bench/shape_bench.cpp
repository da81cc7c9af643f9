// The shape estimator on the synthetic timing sheet at scales 1 and 8
// (30,000 and 240,000 map voxels): the map copied into a plain grid, and the
// estimate itself. Set these against scaling_run's whole-program times.
//
//   vel_bench --benchmark_filter=Shape

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "synthetic_sheet.h"
#include "velmorantique/map.h"
#include "velmorantique/shape.h"

using namespace vel;

namespace {

struct ShapeInput {
  Map map;
  double threshold = 0;
};

const ShapeInput& shapeInput(int scale) {
  static ShapeInput inputs[9];
  ShapeInput& in = inputs[scale];
  if (in.map.cube.empty()) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vel-shape-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const SyntheticSheet sheet = writeSyntheticSheet(dir.string(), "sheet", scale);
    in.map.read(sheet.base + ".mrc");
    in.threshold = sheet.threshold;
    std::filesystem::remove_all(dir);
  }
  return in;
}

void BM_ShapeGridCopy(benchmark::State& state) {
  const ShapeInput& in = shapeInput(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(densityGridFromMap(in.map));
}
BENCHMARK(BM_ShapeGridCopy)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

void BM_ShapeEstimate(benchmark::State& state) {
  const ShapeInput& in = shapeInput(static_cast<int>(state.range(0)));
  const DensityGrid grid = densityGridFromMap(in.map);
  for (auto _ : state) benchmark::DoNotOptimize(estimateShapeDirection(grid, in.threshold));
}
BENCHMARK(BM_ShapeEstimate)->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace
