// The threshold rules on one simulated sheet (an ideal 4 x 7 sheet at 8 Å on
// 1 Å voxels, and the same at 0.5 Å, eight times the voxels): the level from
// the residues' volume, and the level read from the map alone. Set these
// against the analysis's own run on the same case (scaling_run).
//
//   vel_bench --benchmark_filter=Level

#include <benchmark/benchmark.h>

#include "velmorantique/prepare.h"

using namespace vel::prepare;

namespace {

struct LevelInput {
  DensityBox box;
  double volume = 0;
};

LevelInput makeInput(double voxel) {
  LevelInput in;
  const Structure st = buildSyntheticSheet(SyntheticSheetShape());
  std::vector<Atom> atoms;
  for (const Residue& r : st.chains.at(0).residues) {
    atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
    in.volume += residueVolume(r.name);
  }
  in.box = simulateDensity(atoms, 8, voxel, 6);
  return in;
}

const LevelInput& levelInput(int finer) {
  static const LevelInput inputs[2] = {makeInput(1.0), makeInput(0.5)};
  return inputs[finer];
}

void BM_LevelFromResidueVolume(benchmark::State& state) {
  const LevelInput& in = levelInput(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(findThreshold(in.box, kVolumeFactor * in.volume));
  state.counters["voxels"] = static_cast<double>(in.box.size());
}
BENCHMARK(BM_LevelFromResidueVolume)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LevelFromMapAlone(benchmark::State& state) {
  const LevelInput& in = levelInput(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(findThreshold(in.box, kVolumeFactor * mapOnlyVolume(in.box, 8)));
  state.counters["voxels"] = static_cast<double>(in.box.size());
}
BENCHMARK(BM_LevelFromMapAlone)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
