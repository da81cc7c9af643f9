// The exact Euclidean distance transform (the lower envelope of parabolas,
// one axis at a time): how far each voxel lies
// from the nearest of some voxels, for the depth inside the density and for
// how far a case's voxels lie from its sheet's backbone.
#include <cmath>

#include "find_parts.h"

namespace vel {
namespace find {

namespace {

// The exact Euclidean distance transform along one line (squared distances
// in place), by the lower envelope of parabolas.
void distanceLine(std::vector<double>& f, double step, std::vector<double>& d, std::vector<int>& v,
                  std::vector<double>& z) {
  const int n = static_cast<int>(f.size());
  d.assign(n, INFINITY);
  v.assign(n, 0);
  z.assign(n + 1, 0);
  int k = -1;
  for (int q = 0; q < n; ++q) {
    if (!std::isfinite(f[q])) continue;
    const double x = q * step;
    while (true) {
      if (k < 0) {
        k = 0;
        v[0] = q;
        z[0] = -INFINITY;
        z[1] = INFINITY;
        break;
      }
      const double y = v[k] * step;
      const double s = ((f[q] + x * x) - (f[v[k]] + y * y)) / (2 * x - 2 * y);
      if (s <= z[k]) {
        --k;
        continue;
      }
      ++k;
      v[k] = q;
      z[k] = s;
      z[k + 1] = INFINITY;
      break;
    }
  }
  if (k >= 0) {
    k = 0;
    for (int q = 0; q < n; ++q) {
      while (z[k + 1] < q * step) ++k;
      const double dx = (q - v[k]) * step;
      d[q] = dx * dx + f[v[k]];
    }
  }
  f.swap(d);
}

}  // namespace

std::vector<double> squaredDistances(const DensityBox& box, const std::vector<char>& source) {
  const size_t total = source.size();
  std::vector<double> sq(total);
  for (size_t at = 0; at < total; ++at) sq[at] = source[at] ? 0.0 : INFINITY;
  std::vector<double> line, d, z;
  std::vector<int> v;
  for (int axis = 0; axis < 3; ++axis) {
    const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
    const size_t stride = axis == 0 ? 1 : axis == 1 ? static_cast<size_t>(box.n[0]) : static_cast<size_t>(box.n[0]) * box.n[1];
    int idx[3];
    for (idx[a2] = 0; idx[a2] < box.n[a2]; ++idx[a2])
      for (idx[a1] = 0; idx[a1] < box.n[a1]; ++idx[a1]) {
        idx[axis] = 0;
        const size_t first = box.index(idx[0], idx[1], idx[2]);
        line.resize(box.n[axis]);
        for (int t = 0; t < box.n[axis]; ++t) line[t] = sq[first + t * stride];
        distanceLine(line, box.voxel[axis], d, v, z);
        for (int t = 0; t < box.n[axis]; ++t) sq[first + t * stride] = line[t];
      }
  }
  return sq;
}

}  // namespace find
}  // namespace vel
