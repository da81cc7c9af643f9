#pragma once
// PDB atom records written field by field through a string stream, and point
// lists written by building the whole pseudo-protein first: the reference the
// buffered writers are checked against. Not used by the program.

#include <string>

#include "velmorantique/geometry.h"
#include "velmorantique/protein.h"

namespace vel::plain {

// The ATOM record of one atom, line end included.
std::string atomRecord(int serial, const Atom& atom, const AminoAcid& aa);

// The text of the PDB file of a point list: one pseudo-atom per point, in
// residues of at most 100000 atoms past 99999 points, the last residue
// numbered from its last point.
std::string pseudoAtomFile(const PointList& points, const std::string& resName, const std::string& atomName);

}  // namespace vel::plain
