// Pseudo-atom PDB records: the buffered writer against records streamed field
// by field (the reference of the tests), one line at a time and as whole
// files beside the time of writing as many bytes through an 8 KB buffer.
//
//   vel_bench --benchmark_filter=PseudoAtom

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>

#include "driver/pseudo_atoms.h"
#include "reference/plain_pdb_writer.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

// Points spread like those of a sheet map, a few Å to a hundred from the origin.
PointList sheetLikePoints(size_t n) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> near(-120.0, 120.0);
  PointList points(n);
  for (Coordinate& p : points) p = Coordinate(near(random), near(random), near(random));
  return points;
}

// The residue and atom of the points of the sheet files.
struct PseudoAtom {
  AminoAcid residue;
  Atom atom;
  PseudoAtom() {
    residue.chr3 = "HOH";
    residue.chain = "A";
    residue.num = 1;
    atom.name = " H  ";
  }
};

std::string scratchPath(const char* name) {
  return (std::filesystem::temp_directory_path() / ("vel-bench-" + std::to_string(getpid()) + name)).string();
}

void BM_PseudoAtomLine_Streamed(benchmark::State& state) {
  const PointList points = sheetLikePoints(4096);
  PseudoAtom a;
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    a.atom.coord = points[i++ & 4095];
    const std::string line = plain::atomRecord(static_cast<int>(i), a.atom, a.residue);
    bytes += line.size();
    benchmark::DoNotOptimize(line.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_PseudoAtomLine_Buffered(benchmark::State& state) {
  const PointList points = sheetLikePoints(4096);
  PseudoAtom a;
  std::string block;
  block.reserve(1 << 17);
  size_t i = 0, bytes = 0;
  for (auto _ : state) {
    a.atom.coord = points[i++ & 4095];
    appendAtomRecord(block, static_cast<int>(i), a.atom, a.residue);
    if (block.size() >= (1 << 16)) {
      bytes += block.size();
      block.clear();
    }
    benchmark::DoNotOptimize(block.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes + block.size()));
}

// A stage file of 100,000 points (8.1 MB), written whole.
void BM_PseudoAtomFile_Streamed(benchmark::State& state) {
  const PointList points = sheetLikePoints(100000);
  const std::string path = scratchPath("-streamed.pdb");
  for (auto _ : state) {
    Protein p = points2pdb(points, "HOH", " H  ");
    p.writePDB(path, 1, p.numOfAA(), false);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
  std::remove(path.c_str());
}

void BM_PseudoAtomFile_Buffered(benchmark::State& state) {
  const PointList points = sheetLikePoints(100000);
  const std::string path = scratchPath("-buffered.pdb");
  for (auto _ : state) writePseudoAtoms(path, points, "HOH", " H  ");
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
  std::remove(path.c_str());
}

// The same number of bytes through an 8 KB buffer: what the disk allows.
void BM_PseudoAtomFile_Plain8KBWrite(benchmark::State& state) {
  const size_t bytes = 100000 * 81;
  const std::string path = scratchPath("-plain.bin");
  static char block[8192];
  for (auto _ : state) {
    FILE* f = std::fopen(path.c_str(), "wb");
    for (size_t left = bytes; left > 0;) {
      const size_t n = left < sizeof block ? left : sizeof block;
      std::fwrite(block, 1, n, f);
      left -= n;
    }
    std::fclose(f);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  std::remove(path.c_str());
}

}  // namespace

BENCHMARK(BM_PseudoAtomLine_Streamed);
BENCHMARK(BM_PseudoAtomLine_Buffered);
BENCHMARK(BM_PseudoAtomFile_Streamed)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PseudoAtomFile_Buffered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PseudoAtomFile_Plain8KBWrite)->Unit(benchmark::kMillisecond);
