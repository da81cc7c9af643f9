#include "driver/pseudo_atoms.h"

#include <cstddef>

#include "velmorantique/protein.h"

namespace vel {

namespace {

// The file points2pdb(points, ...).writePDB(path, 1, numOfAA(), false)
// writes, made straight from the points: one residue and one atom are
// reused for every record instead of a pseudo-protein per file. The residues
// take consecutive runs of the points, so `next` hands them over in order.
template <class Next>
void writeRecords(const std::string& path, int count, const std::string& resName, const std::string& atomName,
                  Next next) {
  PdbFileOut file(path);
  if (!file.isOpen()) return;
  AminoAcid residue;
  residue.chr3 = resName;
  residue.chain = "A";
  Atom atom;
  atom.name = atomName;
  int serial = 1;
  for (const PseudoResidue& r : pseudoResidues(count)) {
    residue.num = r.num;
    for (int i = r.first; i <= r.last; ++i) {
      atom.coord = next();
      appendAtomRecord(file.text(), serial++, atom, residue);
      file.flushIfFull();
    }
  }
  file.close();
}

}  // namespace

void writePseudoAtoms(const std::string& path, const PointList& points, const std::string& resName,
                      const std::string& atomName) {
  std::size_t i = 0;
  writeRecords(path, static_cast<int>(points.size()), resName, atomName, [&]() { return points[i++]; });
}

void writePseudoAtoms(const std::string& path, const StrandSet& strands, const std::string& resName,
                      const std::string& atomName) {
  std::size_t count = 0;
  for (const PointList& s : strands) count += s.size();
  std::size_t strand = 0, i = 0;
  auto next = [&]() {
    while (i == strands[strand].size()) {
      ++strand;
      i = 0;
    }
    return strands[strand][i++];
  };
  writeRecords(path, static_cast<int>(count), resName, atomName, next);
}

}  // namespace vel
