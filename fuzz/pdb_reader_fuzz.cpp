// Fuzz target: any bytes as a reference PDB file. The chain is read with its
// header, helix and strand records, reordered atoms, side-chain geometry and
// missing residues; the reference strands are taken from it as the run does,
// and the chain is written back. A refused file ends in FatalError carrying
// its framed message; nothing else may happen: no crash, no undefined
// behaviour, no hang, no runaway allocation.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <string>

#include "driver/reference_structure.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

std::string basePath() { return "/tmp/vel_pdb_fuzz_" + std::to_string(getpid()); }

void checkRecords(const Protein& p) {
  const int n = p.numOfAA();
  for (const SheetsSecondaryStructure& s : p.strands)
    if (s.start < 0 || s.start >= n || s.end < 0 || s.end >= n) __builtin_trap();
  for (const HelicesSecondaryStructure& h : p.hlces)
    if (h.start < 0 || h.start >= n || h.end < 0 || h.end >= n) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cout.setstate(std::ios::badbit);  // the reader's messages are not what is checked here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string base = basePath();
  static const std::string pdb = base + ".pdb";
  static const std::string out = base + "_out.pdb";
  std::FILE* f = std::fopen(pdb.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  try {
    Protein protein;
    protein.read(pdb, "");
    checkRecords(protein);
    for (int i = 0; i < protein.numOfAA(); ++i) {
      protein.getAtomCoordinate(i, " CA ");
      protein.setSCCenter(i, 'A');
      protein.setScEndPoint(i, 'A');
    }
    if (protein.numOfAA() > 0) {
      protein.writePDB(out, 1, protein.numOfAA(), false);
      protein.writePDB(out, 1, protein.numOfAA(), true);
    }
    StrandSet axes = FindTrueStrands(base);
    StrandSet cas = FindTrueCAs(base);
    // One line per strand record in both views; every axis holds at least
    // its closing C-alpha.
    if (axes.size() != cas.size() || axes.size() != protein.strands.size()) __builtin_trap();
    for (const PointList& axis : axes)
      if (axis.empty()) __builtin_trap();
  } catch (const FatalError& e) {
    if (e.status != 1) __builtin_trap();
  }
  return 0;
}
