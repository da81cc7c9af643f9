// For evaluation only: the atomic model's sheets that a case overlaps. The
// case then carries that sheet's chain and SHEET records, so that the
// analysis scores it against the sheet it holds.
#include <cmath>

#include "find_parts.h"
#include "model_overlap.h"

namespace vel {
namespace find {

ModelSheets readModelSheets(const std::string& path) {
  ModelSheets m;
  try {
    m.structure = prepare::readStructure(path);
  } catch (const std::exception& e) {
    throw FindError(std::string("--model: ") + e.what());
  }
  m.sheets = eligibleSheets(m.structure);
  return m;
}

std::vector<ModelSheet> eligibleSheets(const prepare::Structure& structure) {
  std::vector<ModelSheet> sheets;
  for (const prepare::Chain& chain : structure.chains) {
    // Chains of nucleic acid alone (a ribosome's RNA, a bound DNA) hold no sheet.
    if (!chain.aminoAcids) continue;
    for (const prepare::SheetVerdict& v : prepare::judgeSheets(structure, chain.name)) {
      if (!v.eligible || v.chain != chain.name) continue;
      ModelSheet s;
      s.verdict = v;
      const prepare::Chain& c = structure.chains.at(static_cast<size_t>(v.chainIndex));
      for (const auto& range : v.strandRanges)
        for (size_t i = range.first; i <= range.second; ++i) s.strandCAs.push_back(c.residues[i].find("CA")->pos);
      sheets.push_back(std::move(s));
    }
  }
  return sheets;
}

SheetOverlap overlapOf(const DensityBox& box, const std::vector<char>& inCase, size_t caseVoxels, const ModelSheet& s) {
  SheetOverlap o;
  o.sheet = &s;
  if (s.strandCAs.empty() || caseVoxels == 0) return o;
  size_t inside = 0;
  std::vector<char> near(box.values.size(), 0);
  const double reach = 6.0;
  for (const Point& ca : s.strandCAs) {
    int lo[3], hi[3];
    bool within = true;
    int nearest[3];
    for (int d = 0; d < 3; ++d) {
      const double f = (ca[d] - box.origin[d]) / box.voxel[d];
      nearest[d] = static_cast<int>(std::lround(f));
      within = within && nearest[d] >= 0 && nearest[d] < box.n[d];
      lo[d] = std::max(0, static_cast<int>(std::ceil(f - reach / box.voxel[d])));
      hi[d] = std::min(box.n[d] - 1, static_cast<int>(std::floor(f + reach / box.voxel[d])));
    }
    if (within && inCase[box.index(nearest[0], nearest[1], nearest[2])]) ++inside;
    for (int k = lo[2]; k <= hi[2]; ++k)
      for (int j = lo[1]; j <= hi[1]; ++j)
        for (int i = lo[0]; i <= hi[0]; ++i) {
          const Point p = {box.origin[0] + i * box.voxel[0], box.origin[1] + j * box.voxel[1],
                           box.origin[2] + k * box.voxel[2]};
          double d2 = 0;
          for (int d = 0; d < 3; ++d) d2 += (p[d] - ca[d]) * (p[d] - ca[d]);
          if (d2 <= reach * reach) near[box.index(i, j, k)] = 1;
        }
  }
  size_t caseNear = 0;
  for (size_t at = 0; at < near.size(); ++at)
    if (near[at] && inCase[at]) ++caseNear;
  o.strandCaInCase = static_cast<double>(inside) / static_cast<double>(s.strandCAs.size());
  o.caseVoxelsNearSheet = static_cast<double>(caseNear) / static_cast<double>(caseVoxels);
  return o;
}

SheetOverlap bestOverlap(const DensityBox& box, const std::vector<size_t>& voxels, const ModelSheets& model) {
  std::vector<char> inCase(box.values.size(), 0);
  for (size_t at : voxels) inCase[at] = 1;
  SheetOverlap best;
  for (const ModelSheet& s : model.sheets) {
    const SheetOverlap o = overlapOf(box, inCase, voxels.size(), s);
    if (o.strandCaInCase > best.strandCaInCase) best = o;
  }
  return best;
}

}  // namespace find
}  // namespace vel
