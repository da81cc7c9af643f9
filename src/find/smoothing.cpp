// Gaussian smoothing of a box, one axis at a time: the scales at which the
// finder reads the density's shape, and its local averages.
#include <algorithm>
#include <cmath>

#include "find_parts.h"

namespace vel {
namespace find {

void gaussianSmooth(std::vector<float>& values, const std::array<int, 3>& n, const std::array<double, 3>& voxel,
                    double sigma) {
  if (!(sigma > 0)) return;
  std::vector<float> line;
  for (int axis = 0; axis < 3; ++axis) {
    const int reach = static_cast<int>(std::ceil(3 * sigma / voxel[axis]));
    std::vector<double> kernel(2 * reach + 1);
    double sum = 0;
    for (int t = -reach; t <= reach; ++t) {
      const double d = t * voxel[axis];
      sum += kernel[t + reach] = std::exp(-d * d / (2 * sigma * sigma));
    }
    for (double& w : kernel) w /= sum;
    const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
    const size_t stride = axis == 0 ? 1 : axis == 1 ? static_cast<size_t>(n[0]) : static_cast<size_t>(n[0]) * n[1];
    line.resize(n[axis]);
    int idx[3];
    for (idx[a2] = 0; idx[a2] < n[a2]; ++idx[a2])
      for (idx[a1] = 0; idx[a1] < n[a1]; ++idx[a1]) {
        idx[axis] = 0;
        const size_t first = (static_cast<size_t>(idx[2]) * n[1] + idx[1]) * n[0] + idx[0];
        for (int t = 0; t < n[axis]; ++t) line[t] = values[first + t * stride];
        for (int t = 0; t < n[axis]; ++t) {
          double s = 0;
          // Beyond the box the density is taken to go on as at its face.
          for (int u = -reach; u <= reach; ++u) s += kernel[u + reach] * line[std::clamp(t + u, 0, n[axis] - 1)];
          values[first + t * stride] = static_cast<float>(s);
        }
      }
  }
}

}  // namespace find
}  // namespace vel
