#pragma once
#include <string>

#include "velmorantique/geometry.h"

namespace vel {

// Writes a point list as a PDB file of pseudo-atoms, whole, without header.
void writePseudoAtoms(const std::string& path, const PointList& points, const std::string& resName,
                      const std::string& atomName);
// The same for the points of every strand, strand after strand (as flatten
// lists them), without gathering them into one list first.
void writePseudoAtoms(const std::string& path, const StrandSet& strands, const std::string& resName,
                      const std::string& atomName);

}  // namespace vel
