// Distance kernels every stage leans on.
#include <benchmark/benchmark.h>

#include "velmorantique/geometry.h"

using namespace vel;

static void BM_GetDistance(benchmark::State& state) {
  Coordinate a(1.0, 2.0, 3.0), b(4.0, 6.0, 8.0);
  for (auto _ : state) {
    benchmark::DoNotOptimize(getDistance(a, b));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_GetDistance);
