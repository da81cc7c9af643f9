#pragma once
// The model's eligible sheets and how much of each a case holds.
#include <vector>

#include "velmorantique/find.h"

namespace vel {
namespace find {

struct ModelSheet {
  prepare::SheetVerdict verdict;
  std::vector<Point> strandCAs;
};

struct ModelSheets {
  prepare::Structure structure;
  std::vector<ModelSheet> sheets;  // every eligible sheet of every chain
};

ModelSheets readModelSheets(const std::string& path);
// The eligible sheets of a structure's chains of amino acids, with their
// strands' C-alphas.
std::vector<ModelSheet> eligibleSheets(const prepare::Structure& structure);

struct SheetOverlap {
  const ModelSheet* sheet = nullptr;  // none when the case holds no strand C-alpha
  double strandCaInCase = 0;          // share of the sheet's strand C-alphas whose voxel is in the case
  double caseVoxelsNearSheet = 0;     // share of the case's voxels within 6 A of them
};

// How much of one sheet a case holds; inCase marks the case's voxels.
SheetOverlap overlapOf(const DensityBox& box, const std::vector<char>& inCase, size_t caseVoxels, const ModelSheet& s);

// The sheet of which the case holds the largest share of strand C-alphas.
SheetOverlap bestOverlap(const DensityBox& box, const std::vector<size_t>& voxels, const ModelSheets& model);

}  // namespace find
}  // namespace vel
