#include <string>

#include "velmorantique/protein.h"

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

Protein points2pdb(const PointList& points, const std::string& resName, const std::string& atomName) {
  Protein p;
  const int count = static_cast<int>(points.size());
  if (count <= kResidueSpan - 1) {
    AminoAcid aa = pseudoResidue(resName, 1);
    for (const Coordinate& c : points) aa.atoms.push_back(pseudoAtom(atomName, c));
    p.AAs.push_back(aa);
    return p;
  }

  // Residue k closes after point k*100000 - 2 (the first one holds 99999
  // points), the last one after the last point.
  AminoAcid aa = pseudoResidue(resName, 1);
  for (int i = 0; i < count; ++i) {
    aa.atoms.push_back(pseudoAtom(atomName, points[i]));
    const bool blockEnd = (i + 2) % kResidueSpan == 0;
    if (i == count - 1) {
      aa.num = (i - kResidueSpan) / kResidueSpan + 2;
      p.AAs.push_back(aa);
    } else if (blockEnd) {
      aa.num = (i + 2) / kResidueSpan;
      p.AAs.push_back(aa);
      aa.atoms.clear();
    }
  }
  return p;
}
