#pragma once
// A synthetic twisted beta-sheet for timing runs: a reference PDB file and a
// simulated density map whose sampling grows with a scale factor.
//
// The sheet is antiparallel strands (four of seven residues unless asked
// otherwise), 4.8 Å apart, each turned 18 degrees further about the axis
// across the strands (a helicoid). Its density is a sum of Gaussians (8 Å
// resolution) over the backbone and C-beta atoms. The voxel size is
// 1 / cbrt(scale) Å and the threshold keeps the voxelsAtScaleOne * scale
// densest voxels, so every scale encloses the same volume and scale 8 has
// eight times the sheet voxels of scale 1 (30,000 for the four strands).

#include <string>

namespace vel {

struct SyntheticSheet {
  std::string base;       // dir/name: the PDB and map paths without their endings
  double threshold = 0;   // keeps exactly the intended number of voxels
  long long voxels = 0;   // voxels kept by the threshold
};

struct SheetShape {
  int strands = 4;
  int residues = 7;                 // per strand
  long long voxelsAtScaleOne = 3750;
  double twistDegrees = 18.0;       // between neighbouring strands
};

// The wide sheet of the timing runs: 11 strands of 17 residues turned 14
// degrees each, whose stage files at 1 Å come to some 2 million pseudo-atom
// lines (about 166 MB). With 10 degrees or less the flat-backbone sheet has
// no candidate that passes the twist filter, and the run writes only 3 MB.
constexpr SheetShape kWideSheet{11, 17, 34000, 14};

// Writes dir/name.pdb and dir/name.mrc.
SyntheticSheet writeSyntheticSheet(const std::string& dir, const std::string& name, double scale,
                                   const SheetShape& shape = SheetShape());

// A slab of uniform noise in (0, 1] on 1 Å voxels, nx by ny by nz, with the
// four-strand sheet's PDB file as its reference: density that is no sheet,
// every voxel of which is a point at threshold 0. Writes dir/name.pdb and
// dir/name.mrc.
void writeNoiseSlab(const std::string& dir, const std::string& name, int nx, int ny, int nz);

}  // namespace vel
