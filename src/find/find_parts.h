#pragma once
// Pieces the finder's units share.
#include <algorithm>
#include <array>
#include <vector>

#include "velmorantique/find.h"

namespace vel {
namespace find {

// Separable Gaussian smoothing of a box's values in place; beyond the box
// each line goes on as at its end.
void gaussianSmooth(std::vector<float>& values, const std::array<int, 3>& n, const std::array<double, 3>& voxel,
                    double sigma);

// Per voxel of the box, the squared distance (Å^2) to the nearest voxel
// marked in `source` (infinite when none is).
std::vector<double> squaredDistances(const DensityBox& box, const std::vector<char>& source);

// A map at resolution R is taken to be blurred by a Gaussian of this many R.
constexpr double kMapBlurPerResolution = 0.225;

// The box index of the voxel nearest a map-frame point (clamped to the box).
size_t nearestVoxel(const DensityBox& box, const Point& p);

// The grid position (i, j, k) of a box index.
inline std::array<int, 3> gridIndex(const DensityBox& box, size_t at) {
  return {static_cast<int>(at % box.n[0]), static_cast<int>((at / box.n[0]) % box.n[1]),
          static_cast<int>(at / (static_cast<size_t>(box.n[0]) * box.n[1]))};
}

// The first and last grid position along each axis of some voxels of the
// box; `lo` above `hi` when there are none.
struct GridBlock {
  std::array<int, 3> lo{}, hi{-1, -1, -1};
};
inline void widenBlock(const DensityBox& box, const std::vector<size_t>& voxels, GridBlock& b) {
  for (size_t at : voxels) {
    const std::array<int, 3> g = gridIndex(box, at);
    for (int d = 0; d < 3; ++d) {
      b.lo[d] = std::min(b.lo[d], g[d]);
      b.hi[d] = std::max(b.hi[d], g[d]);
    }
  }
}
inline GridBlock blockOf(const DensityBox& box, const std::vector<size_t>& voxels) {
  GridBlock b;
  b.lo = box.n;
  widenBlock(box, voxels, b);
  return b;
}

// The map-frame position of a box index, Å.
inline Point voxelPoint(const DensityBox& box, size_t at) {
  const std::array<int, 3> g = gridIndex(box, at);
  return {box.origin[0] + g[0] * box.voxel[0], box.origin[1] + g[1] * box.voxel[1], box.origin[2] + g[2] * box.voxel[2]};
}

// Calls visit(neighbourIndex) for each of the 26 neighbours inside the box.
template <class Visit>
void forEachNeighbour(const DensityBox& box, size_t at, Visit visit) {
  const std::array<int, 3> g = gridIndex(box, at);
  for (int dk = -1; dk <= 1; ++dk)
    for (int dj = -1; dj <= 1; ++dj)
      for (int di = -1; di <= 1; ++di) {
        if (!di && !dj && !dk) continue;
        const int x = g[0] + di, y = g[1] + dj, z = g[2] + dk;
        if (x < 0 || y < 0 || z < 0 || x >= box.n[0] || y >= box.n[1] || z >= box.n[2]) continue;
        visit(box.index(x, y, z));
      }
}

}  // namespace find
}  // namespace vel
