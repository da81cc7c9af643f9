// A kept segment is the plate core of a sheet; its case also needs the side
// chains and the rest of the backbone's density around that core. Each
// segment widens through the density, nearest voxels first, so that where
// two segments meet each voxel goes to the nearer.
#include <cmath>
#include <queue>

#include "find_parts.h"

namespace vel {
namespace find {

void growIntoDensity(const DensityBox& box, const std::vector<char>& inDensity, std::vector<Segment>& segments,
                     double reach) {
  std::vector<int> owner(box.values.size(), -1);
  std::vector<double> best(box.values.size(), INFINITY);
  using Entry = std::pair<double, std::pair<size_t, int>>;  // distance, (voxel, segment)
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> queue;
  for (size_t s = 0; s < segments.size(); ++s) {
    if (!segments[s].kept) continue;
    for (size_t at : segments[s].core) {
      best[at] = 0;
      queue.push({0.0, {at, static_cast<int>(s)}});
    }
  }
  while (!queue.empty()) {
    const Entry e = queue.top();
    queue.pop();
    const size_t at = e.second.first;
    if (owner[at] >= 0) continue;
    owner[at] = e.second.second;
    const std::array<int, 3> g = gridIndex(box, at);
    forEachNeighbour(box, at, [&](size_t nb) {
      if (!inDensity[nb] || owner[nb] >= 0) return;
      const std::array<int, 3> h = gridIndex(box, nb);
      double step = 0;
      for (int d = 0; d < 3; ++d) step += std::pow((h[d] - g[d]) * box.voxel[d], 2);
      const double dist = e.first + std::sqrt(step);
      if (dist > reach || dist >= best[nb]) return;
      best[nb] = dist;
      queue.push({dist, {nb, e.second.second}});
    });
  }
  for (Segment& s : segments)
    if (s.kept) s.voxels.clear();
  for (size_t at = 0; at < owner.size(); ++at)
    if (owner[at] >= 0) segments[owner[at]].voxels.push_back(at);
}

}  // namespace find
}  // namespace vel
