#include <string>

#include "velmorantique/protein.h"

namespace vel {

namespace {

// Residue numbers have four columns and serial numbers five in common
// viewers, so large point sets are cut into residues of at most 100000 atoms.
constexpr int kResidueSpan = 100000;

AminoAcid pseudoResidue(const std::string& resName, int num) {
  AminoAcid aa;
  aa.chr3 = resName;
  aa.chain = "A";
  aa.num = num;
  return aa;
}

Atom pseudoAtom(const std::string& atomName, Coordinate c) {
  Atom atom;
  atom.name = atomName;
  atom.coord = c;
  return atom;
}

}  // namespace

std::vector<PseudoResidue> pseudoResidues(int count) {
  if (count <= kResidueSpan - 1) return {PseudoResidue{0, count - 1, 1}};
  // Residue k closes after point k*100000 - 2 (the first one holds 99999
  // points), the last one after the last point. The last residue's number
  // counts from its last point, so when it holds a single point it repeats
  // the number before it.
  std::vector<PseudoResidue> residues;
  int first = 0;
  for (int last = kResidueSpan - 2; first < count; last += kResidueSpan) {
    if (last >= count - 1) {
      residues.push_back({first, count - 1, (count - 1 - kResidueSpan) / kResidueSpan + 2});
    } else {
      residues.push_back({first, last, (last + 2) / kResidueSpan});
    }
    first = last + 1;
  }
  return residues;
}

Protein points2pdb(const PointList& points, const std::string& resName, const std::string& atomName) {
  Protein p;
  for (const PseudoResidue& r : pseudoResidues(static_cast<int>(points.size()))) {
    AminoAcid aa = pseudoResidue(resName, r.num);
    for (int i = r.first; i <= r.last; ++i) aa.atoms.push_back(pseudoAtom(atomName, points[i]));
    p.AAs.push_back(aa);
  }
  return p;
}

}  // namespace vel
