#include "driver/pseudo_atoms.h"

#include "velmorantique/protein.h"

void writePseudoAtoms(const std::string& path, const PointList& points, const std::string& resName,
                      const std::string& atomName) {
  Protein pseudo = points2pdb(points, resName, atomName);
  pseudo.writePDB(path, 1, pseudo.numOfAA(), false);
}
