// A case should hold what a cut around a model's strands holds: the sheet's
// backbone and its side chains. A sheet widened through the density also
// takes the loops that leave it and the edges of what is packed against it,
// and the shape of that extra density pulls the strand direction read from
// the case away from the strands'. So a case keeps only its voxels near the
// sheet's backbone core: a slab about as thick as the sheet with its side
// chains, ending a side chain's length beyond the backbone's edges.
#include <algorithm>

#include "find_parts.h"

namespace vel {
namespace find {

void trimToSheet(const DensityBox& box, Segment& s, double reach) {
  if (!(reach > 0) || s.core.empty() || s.voxels.empty()) return;
  GridBlock block = blockOf(box, s.voxels);
  widenBlock(box, s.core, block);
  const std::array<int, 3>&lo = block.lo, &hi = block.hi;
  DensityBox local;
  for (int d = 0; d < 3; ++d) {
    local.n[d] = hi[d] - lo[d] + 1;
    local.voxel[d] = box.voxel[d];
  }
  const auto localIndex = [&](size_t at) {
    const std::array<int, 3> g = gridIndex(box, at);
    return local.index(g[0] - lo[0], g[1] - lo[1], g[2] - lo[2]);
  };
  std::vector<char> core(static_cast<size_t>(local.n[0]) * local.n[1] * local.n[2], 0);
  for (size_t at : s.core) core[localIndex(at)] = 1;
  const std::vector<double> sq = squaredDistances(local, core);
  std::vector<size_t> kept;
  for (size_t at : s.voxels)
    if (sq[localIndex(at)] <= reach * reach) kept.push_back(at);
  s.voxels.swap(kept);
}

}  // namespace find
}  // namespace vel
