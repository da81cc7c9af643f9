// What the sheet classifier sees of each voxel in the density: the density's
// local shape at three scales matched to strands, the backbone's plate and a
// helix's rod (the curvatures' balance, how near the ridge's crest the voxel
// lies, how plate-like the ridge around it is), how thick the density is
// there, how full its neighbourhood is, and how well the local normals agree.
// Every measure is free of the map's units: densities relative to the level,
// lengths in Å, curvatures relative to their sum.
#include <algorithm>
#include <cmath>

#include "find_parts.h"
#include "velmorantique/shape.h"

namespace vel {
namespace find {

namespace {

// Total blurs, Å: about a strand's backbone, the spacing of neighbouring
// strands, and the width of a helix. A map already blurrier than a scale
// is taken as it is.
constexpr double kScales[3] = {1.6, 2.6, 3.6};
constexpr double kRidgeAveraging = 2.0;  // Å
constexpr double kCoherenceAveraging = 2.5;
constexpr double kFillNear = 3.0, kFillFar = 6.0;
constexpr double kMostDepth = 8.0;  // Å: deeper inside the density than any sheet or helix
// Å: a voxel this near the ridge's crest (along the strongest curvature) is
// on it. A length, never a share of the voxel: a crest band that widened
// with the voxel would mark more of a coarser map's density as crest.
constexpr double kCrestReach = 0.5;

std::vector<float> smoothedCopy(const std::vector<float>& v, const DensityBox& box, double sigma) {
  std::vector<float> out = v;
  gaussianSmooth(out, box.n, box.voxel, sigma);
  return out;
}

}  // namespace

std::vector<float> depthInDensity(const DensityBox& box, const std::vector<char>& inDensity) {
  const size_t total = inDensity.size();
  std::vector<char> outside(total);
  for (size_t at = 0; at < total; ++at) outside[at] = !inDensity[at];
  const std::vector<double> sq = squaredDistances(box, outside);
  std::vector<float> out(total);
  // Beyond the box counts as outside: a piece touching the box's face is
  // shallow there, as it would be at the face of the map.
  for (size_t at = 0; at < total; ++at) {
    const std::array<int, 3> g = gridIndex(box, at);
    double face = INFINITY;
    for (int a = 0; a < 3; ++a) face = std::min({face, (g[a] + 1) * box.voxel[a], (box.n[a] - g[a]) * box.voxel[a]});
    out[at] = static_cast<float>(std::min({std::sqrt(sq[at]), face, kMostDepth}));
  }
  return out;
}

VoxelFeatures voxelFeatures(const DensityBox& box, const std::vector<char>& inDensity, double resolution, double level) {
  VoxelFeatures f;
  const size_t total = box.values.size();
  for (size_t at = 0; at < total; ++at)
    if (inDensity[at]) f.voxels.push_back(at);
  const size_t rows = f.voxels.size();
  f.values.assign(rows * kVoxelFeatureCount, 0.0f);
  f.normal.assign(rows, {0.0f, 0.0f, 0.0f});
  const double unit = level > 0 ? level : 1.0;
  std::vector<float> raw = box.values;
  for (float& v : raw)
    if (!std::isfinite(v)) v = 0;
  int column = 0;
  std::vector<std::array<double, 3>> normal(rows);  // at the strands' spacing, unrounded
  const auto put = [&](size_t row, int c, double value) { f.values[row * kVoxelFeatureCount + c] = static_cast<float>(value); };

  const double mapSigma = kMapBlurPerResolution * resolution;
  const int nx = box.n[0], ny = box.n[1], nz = box.n[2];
  const double vx = box.voxel[0], vy = box.voxel[1], vz = box.voxel[2];
  for (int scale = 0; scale < 3; ++scale) {
    const double extra = kScales[scale] > mapSigma ? std::sqrt(kScales[scale] * kScales[scale] - mapSigma * mapSigma) : 0;
    const std::vector<float> smooth = smoothedCopy(raw, box, extra);
    const double sigma = std::max(kScales[scale], mapSigma);
    auto s = [&](int i, int j, int k) {
      return static_cast<double>(smooth[box.index(std::clamp(i, 0, nx - 1), std::clamp(j, 0, ny - 1), std::clamp(k, 0, nz - 1))]);
    };
    std::vector<float> ridgeRatio(total, 0.0f), ridgeCount(total, 0.0f);
    for (size_t row = 0; row < rows; ++row) {
      const size_t at = f.voxels[row];
      const std::array<int, 3> g3 = gridIndex(box, at);
      const int i = g3[0], j = g3[1], k = g3[2];
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
      const double l1 = e.values[0], l2 = e.values[1], l3 = e.values[2];
      const double sum = std::fabs(l1) + std::fabs(l2) + std::fabs(l3) + 1e-12;
      const Vectors& n1 = e.vectors[0];
      const double slope = g[0] * n1.x + g[1] * n1.y + g[2] * n1.z;
      const double offset = l1 < 0 ? std::min(4.0, std::fabs(slope / l1)) : 4.0;
      put(row, column + 0, c / unit);
      put(row, column + 1, l1 / sum);
      put(row, column + 2, l2 / sum);
      put(row, column + 3, l3 / sum);
      put(row, column + 4, -l1 * sigma * sigma / unit);
      put(row, column + 5, offset);
      if (l1 < 0 && offset <= kCrestReach) {
        ridgeRatio[at] = static_cast<float>(std::clamp(l2 / l1, 0.0, 1.0));
        ridgeCount[at] = 1.0f;
      }
      if (scale == 1) {
        f.normal[row] = {static_cast<float>(n1.x), static_cast<float>(n1.y), static_cast<float>(n1.z)};
        normal[row] = {n1.x, n1.y, n1.z};
      }
    }
    gaussianSmooth(ridgeRatio, box.n, box.voxel, kRidgeAveraging);
    gaussianSmooth(ridgeCount, box.n, box.voxel, kRidgeAveraging);
    for (size_t row = 0; row < rows; ++row) {
      const size_t at = f.voxels[row];
      put(row, column + 6, ridgeCount[at] > 0.01f ? 1.0f - ridgeRatio[at] / ridgeCount[at] : 0.0f);
      put(row, column + 7, std::min(1.0f, ridgeCount[at] * 4.0f));
    }
    column += 8;
    if (scale == 1) {
      // How well the normals around agree: the largest eigenvalue of their
      // averaged outer product, 1 where they all lie alike, 1/3 at random.
      // One of its six parts over the box at a time, to spare the memory.
      std::vector<float> part(total);
      std::vector<std::array<float, 6>> averaged(rows);
      const int pairs[6][2] = {{0, 0}, {0, 1}, {0, 2}, {1, 1}, {1, 2}, {2, 2}};
      for (int t = 0; t < 6; ++t) {
        std::fill(part.begin(), part.end(), 0.0f);
        for (size_t row = 0; row < rows; ++row) {
          part[f.voxels[row]] = static_cast<float>(normal[row][pairs[t][0]] * normal[row][pairs[t][1]]);
        }
        gaussianSmooth(part, box.n, box.voxel, kCoherenceAveraging);
        for (size_t row = 0; row < rows; ++row) averaged[row][t] = part[f.voxels[row]];
      }
      for (size_t row = 0; row < rows; ++row) {
        const std::array<float, 6>& a = averaged[row];
        const double m[3][3] = {{a[0], a[1], a[2]}, {a[1], a[3], a[4]}, {a[2], a[4], a[5]}};
        const SymmetricEigen3 e = eigenSymmetric3(m);
        const double trace = a[0] + a[3] + a[5];
        put(row, kVoxelFeatureCount - 1, trace > 0 ? e.values[2] / trace : 0.0);
      }
    }
  }
  const std::vector<float> depth = depthInDensity(box, inDensity);
  const std::vector<float> depthAround = smoothedCopy(depth, box, kRidgeAveraging);
  std::vector<float> mask(total);
  for (size_t at = 0; at < total; ++at) mask[at] = inDensity[at] ? 1.0f : 0.0f;
  const std::vector<float> fillNear = smoothedCopy(mask, box, kFillNear), fillFar = smoothedCopy(mask, box, kFillFar);
  for (size_t row = 0; row < rows; ++row) {
    const size_t at = f.voxels[row];
    put(row, column + 0, raw[at] / unit);
    put(row, column + 1, depth[at]);
    put(row, column + 2, depthAround[at]);
    put(row, column + 3, fillNear[at]);
    put(row, column + 4, fillFar[at]);
  }
  return f;
}

}  // namespace find
}  // namespace vel
