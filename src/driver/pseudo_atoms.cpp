#include "driver/pseudo_atoms.h"

#include "velmorantique/protein.h"

// The file points2pdb(points, ...).writePDB(path, 1, numOfAA(), false)
// writes, made straight from the points: one residue and one atom are
// reused for every record instead of a pseudo-protein per file.
void writePseudoAtoms(const std::string& path, const PointList& points, const std::string& resName,
                      const std::string& atomName) {
  PdbFileOut file(path);
  if (!file.isOpen()) return;
  AminoAcid residue;
  residue.chr3 = resName;
  residue.chain = "A";
  Atom atom;
  atom.name = atomName;
  int serial = 1;
  for (const PseudoResidue& r : pseudoResidues(static_cast<int>(points.size()))) {
    residue.num = r.num;
    for (int i = r.first; i <= r.last; ++i) {
      atom.coord = points[i];
      appendAtomRecord(file.text(), serial++, atom, residue);
      file.flushIfFull();
    }
  }
}
