// How plate-like the density is around each voxel. A sheet's backbone is a
// plate and a helix a rod, but both wear a thick shell of side chains, so a
// single voxel's curvatures say little: the ratio of the two largest
// curvatures is taken on the density's ridge only, where the backbone is,
// and averaged over the neighbourhood.
#include <algorithm>
#include <cmath>

#include "find_parts.h"
#include "velmorantique/shape.h"

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

PlateField plateField(const DensityBox& box, const std::vector<char>& inDensity, double resolution,
                      const ShapeScale& scale) {
  const size_t total = box.values.size();
  std::vector<float> smooth = box.values;
  for (float& v : smooth)
    if (!std::isfinite(v)) v = 0;
  const double mapSigma = 0.225 * resolution;
  const double extra = scale.totalSigma > mapSigma ? std::sqrt(scale.totalSigma * scale.totalSigma - mapSigma * mapSigma) : 0;
  gaussianSmooth(smooth, box.n, box.voxel, extra);

  PlateField field;
  field.plate.assign(total, -1.0f);
  field.normal.assign(total, {0.0f, 0.0f, 0.0f});
  std::vector<float> ratioSum(total, 0.0f), ridgeCount(total, 0.0f);
  const int nx = box.n[0], ny = box.n[1], nz = box.n[2];
  const double vx = box.voxel[0], vy = box.voxel[1], vz = box.voxel[2];
  auto s = [&](int i, int j, int k) {
    return static_cast<double>(smooth[box.index(std::clamp(i, 0, nx - 1), std::clamp(j, 0, ny - 1), std::clamp(k, 0, nz - 1))]);
  };
  const double meanVoxel = std::cbrt(vx * vy * vz);
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        const size_t at = box.index(i, j, k);
        if (!inDensity[at]) continue;
        const double c = s(i, j, k);
        const double g[3] = {(s(i + 1, j, k) - s(i - 1, j, k)) / (2 * vx), (s(i, j + 1, k) - s(i, j - 1, k)) / (2 * vy),
                             (s(i, j, k + 1) - s(i, j, k - 1)) / (2 * vz)};
        double h[3][3];
        h[0][0] = (s(i + 1, j, k) - 2 * c + s(i - 1, j, k)) / (vx * vx);
        h[1][1] = (s(i, j + 1, k) - 2 * c + s(i, j - 1, k)) / (vy * vy);
        h[2][2] = (s(i, j, k + 1) - 2 * c + s(i, j, k - 1)) / (vz * vz);
        h[0][1] = h[1][0] = (s(i + 1, j + 1, k) - s(i + 1, j - 1, k) - s(i - 1, j + 1, k) + s(i - 1, j - 1, k)) / (4 * vx * vy);
        h[0][2] = h[2][0] = (s(i + 1, j, k + 1) - s(i + 1, j, k - 1) - s(i - 1, j, k + 1) + s(i - 1, j, k - 1)) / (4 * vx * vz);
        h[1][2] = h[2][1] = (s(i, j + 1, k + 1) - s(i, j + 1, k - 1) - s(i, j - 1, k + 1) + s(i, j - 1, k - 1)) / (4 * vy * vz);
        const SymmetricEigen3 e = eigenSymmetric3(h);
        const Vectors& n1 = e.vectors[0];
        field.normal[at] = {static_cast<float>(n1.x), static_cast<float>(n1.y), static_cast<float>(n1.z)};
        const double l1 = e.values[0], l2 = e.values[1];
        if (!(l1 < 0)) continue;
        // The crest: the Newton step across the ridge is within the offset.
        const double across = (g[0] * n1.x + g[1] * n1.y + g[2] * n1.z) / l1;
        if (!(std::fabs(across) <= scale.ridgeOffset * meanVoxel)) continue;
        ratioSum[at] = static_cast<float>(std::clamp(l2 / l1, 0.0, 1.0));
        ridgeCount[at] = 1.0f;
      }
  gaussianSmooth(ratioSum, box.n, box.voxel, scale.averagingSigma);
  gaussianSmooth(ridgeCount, box.n, box.voxel, scale.averagingSigma);
  for (size_t at = 0; at < total; ++at) {
    if (!inDensity[at]) continue;
    // Far from any ridge voxel nothing is known: not a plate.
    field.plate[at] = ridgeCount[at] > 0.01f ? 1.0f - ratioSum[at] / ridgeCount[at] : 0.0f;
  }
  return field;
}

}  // namespace find
}  // namespace vel
