// Only the box the gradients need is smoothed: the voxels within the radius,
// one more for the central differences, and the kernel's reach beyond.
// Beyond the grid's faces the map is empty, as the solvent margin of a map cut
// around a sheet is: a box grown or cut back over empty voxels then smooths
// to the same values, so the normal does not depend on where the box ends.

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "shape/shape_parts.h"

namespace vel {

namespace {

// The smoothing is skipped (and the normal taken from the slab's shape) when
// its box would hold more voxels than this, or its kernel more taps:
// sampling far finer than any density map needs would cost more than the
// whole analysis.
constexpr double kMostSmoothedVoxels = 16.0 * 1024 * 1024;
constexpr size_t kMostWholeSmoothedVoxels = 1024 * 1024;
constexpr double kMostTaps = 1024.0 * 1024;

// Normalised over its whole reach, `truncation` sigmas; only the taps that
// can reach from the grid's rim into the grid (n + 1 either way) are kept,
// which leaves out only taps that would read empty voxels. Empty when the
// reach is beyond kMostTaps.
std::vector<double> gaussianKernel(double voxel, double sigma, double truncation, int n) {
  const double full = std::floor(truncation * sigma / voxel + 1e-9);
  if (!(full <= kMostTaps)) return {};
  const int reach = static_cast<int>(std::max(0.0, full)), kept = std::min(reach, n + 1);
  auto tap = [&](int i) {
    const double d = i * voxel;
    return std::exp(-d * d / (2 * sigma * sigma));
  };
  double sum = 0;
  for (int i = -reach; i <= reach; ++i) sum += tap(i);
  std::vector<double> k(2 * kept + 1);
  for (int i = -kept; i <= kept; ++i) k[i + kept] = tap(i) / sum;
  return k;
}

// A box of grid indices [lo, hi] along each axis (-1 and n are the empty
// voxels just beyond the faces), with values stored x fastest.
struct Box {
  int lo[3], hi[3];
  std::vector<double> v;
  int extent(int a) const { return hi[a] - lo[a] + 1; }
  void allocate() { v.assign(static_cast<size_t>(extent(0)) * extent(1) * extent(2), 0.0); }
  double& at(int i, int j, int k) {
    return v[(static_cast<size_t>(k - lo[2]) * extent(1) + (j - lo[1])) * extent(0) + (i - lo[0])];
  }
};

// One pass of the separable smoothing along `axis`: out covers `out` box, and
// reads `in` at the indices 0 to n - 1 along `axis` within the kernel's reach;
// the voxels beyond the faces are empty and add nothing. The taps are added in
// the same order whatever the grid's extent, so that padding changes no bit.
template <class Read>
void smoothAlong(int axis, int n, const std::vector<double>& kernel, Read read, Box& out) {
  const int reach = static_cast<int>(kernel.size() / 2);
  out.allocate();
  int idx[3];
  for (idx[2] = out.lo[2]; idx[2] <= out.hi[2]; ++idx[2])
    for (idx[1] = out.lo[1]; idx[1] <= out.hi[1]; ++idx[1])
      for (idx[0] = out.lo[0]; idx[0] <= out.hi[0]; ++idx[0]) {
        const int at = idx[axis], first = std::max(-reach, -at), last = std::min(reach, n - 1 - at);
        int src[3] = {idx[0], idx[1], idx[2]};
        double sum = 0;
        for (int t = first; t <= last; ++t) {
          src[axis] = at + t;
          sum += kernel[t + reach] * read(src[0], src[1], src[2]);
        }
        out.at(idx[0], idx[1], idx[2]) = sum;
      }
}

// Smooths the grid over `out`'s box (its bounds set, within -1 to n), each
// pass over the box the later passes read; false when that would hold too
// many voxels.
bool smoothBox(const DensityGrid& grid, double sigma, double truncation, Box& out) {
  const int n[3] = {grid.nx, grid.ny, grid.nz};
  Box& smooth = out;
  std::vector<double> kernel[3];
  int reach[3];
  for (int a = 0; a < 3; ++a) {
    kernel[a] = gaussianKernel(grid.voxel[a], sigma, truncation, n[a]);
    if (kernel[a].empty()) return false;
    reach[a] = static_cast<int>(kernel[a].size() / 2);
  }
  // Pass along x over the y and z reach of the later passes, then y over the
  // z reach, then z. An axis not yet smoothed is read only inside the grid
  // (the empty voxels beyond are 0 in every pass); one already smoothed
  // covers the final box, rim and all.
  auto widened = [&](int a, int lo, int hi, int r) {
    return std::make_pair(std::max(lo - r, 0), std::min(hi + r, n[a] - 1));
  };
  Box passX, passY;
  for (int a = 0; a < 3; ++a) {
    passX.lo[a] = passY.lo[a] = smooth.lo[a];
    passX.hi[a] = passY.hi[a] = smooth.hi[a];
  }
  for (int a = 1; a < 3; ++a) {
    const auto w = widened(a, smooth.lo[a], smooth.hi[a], reach[a]);
    passX.lo[a] = w.first;
    passX.hi[a] = w.second;
  }
  const auto wz = widened(2, smooth.lo[2], smooth.hi[2], reach[2]);
  passY.lo[2] = wz.first;
  passY.hi[2] = wz.second;
  for (const Box* b : {&passX, &passY})
    for (int a = 0; a < 3; ++a)
      if (b->lo[a] > b->hi[a]) return false;  // nothing of the grid within reach
  if (static_cast<double>(passX.extent(0)) * passX.extent(1) * passX.extent(2) > kMostSmoothedVoxels) return false;

  smoothAlong(0, n[0], kernel[0], [&](int i, int j, int k) {
    const double v = static_cast<double>(grid.at(i, j, k));
    return std::isfinite(v) ? v : 0.0;  // a value that is no number carries no shape
  }, passX);
  smoothAlong(1, n[1], kernel[1], [&](int i, int j, int k) { return passX.at(i, j, k); }, passY);
  smoothAlong(2, n[2], kernel[2], [&](int i, int j, int k) { return passY.at(i, j, k); }, smooth);

  return true;
}

}  // namespace

bool gradientTensor(const DensityGrid& grid, double threshold, Coordinate centre, double radius,
                    double sigma, double truncation, double tensor[3][3], const std::vector<double>* smoothed) {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) tensor[r][c] = 0;
  if (!(sigma > 0) || !(truncation >= 0) || !(radius >= 0)) return false;
  const int n[3] = {grid.nx, grid.ny, grid.nz};
  const double c[3] = {centre.x, centre.y, centre.z};

  // Voxels within the radius, then one more on each side for the differences
  // (beyond a face, the empty voxel's smoothed value).
  int near[2][3];
  Box smooth;
  for (int a = 0; a < 3; ++a) {
    const double first = std::ceil((c[a] - radius - grid.origin[a]) / grid.voxel[a]);
    const double last = std::floor((c[a] + radius - grid.origin[a]) / grid.voxel[a]);
    near[0][a] = static_cast<int>(std::min(std::max(first, 0.0), static_cast<double>(n[a])));
    near[1][a] = static_cast<int>(std::max(std::min(last, static_cast<double>(n[a] - 1)), -1.0));
    if (near[0][a] > near[1][a]) return false;
    smooth.lo[a] = near[0][a] - 1;
    smooth.hi[a] = near[1][a] + 1;
  }

  const bool whole = smoothed && smoothed->size() == static_cast<size_t>(n[0] + 2) * (n[1] + 2) * (n[2] + 2);
  if (!whole && !smoothBox(grid, sigma, truncation, smooth)) return false;
  auto value = [&](const int at[3]) {
    return whole ? (*smoothed)[smoothedIndex(grid, at[0], at[1], at[2])] : smooth.at(at[0], at[1], at[2]);
  };

  // Central differences, across a face too: the map beyond it is empty.
  auto derivative = [&](int a, const int idx[3]) {
    int hiIdx[3] = {idx[0], idx[1], idx[2]}, loIdx[3] = {idx[0], idx[1], idx[2]};
    ++hiIdx[a];
    --loIdx[a];
    return (value(hiIdx) - value(loIdx)) / (2 * grid.voxel[a]);
  };

  bool any = false;
  const double radiusSq = radius * radius;
  int idx[3];
  for (idx[2] = near[0][2]; idx[2] <= near[1][2]; ++idx[2])
    for (idx[1] = near[0][1]; idx[1] <= near[1][1]; ++idx[1])
      for (idx[0] = near[0][0]; idx[0] <= near[1][0]; ++idx[0]) {
        const float rho = grid.at(idx[0], idx[1], idx[2]);
        if (!inSlab(rho, threshold)) continue;
        double d2 = 0;
        for (int a = 0; a < 3; ++a) {
          const double d = grid.origin[a] + idx[a] * grid.voxel[a] - c[a];
          d2 += d * d;
        }
        if (d2 > radiusSq) continue;
        const double w = rho - threshold;
        const double g[3] = {derivative(0, idx), derivative(1, idx), derivative(2, idx)};
        for (int r = 0; r < 3; ++r)
          for (int s = 0; s < 3; ++s) tensor[r][s] += w * g[r] * g[s];
        if (w > 0) any = true;
      }
  return any;
}

std::vector<double> smoothedGrid(const DensityGrid& grid, double sigma, double truncation) {
  if (!(sigma > 0) || !(truncation >= 0) || grid.nx < 1 || grid.ny < 1 || grid.nz < 1) return {};
  if (grid.values.size() != static_cast<size_t>(grid.nx) * grid.ny * grid.nz) return {};
  // A map cut around one sheet is smoothed whole for about what the boxes
  // cost; a larger one (a whole protein given by mistake, say) keeps to the
  // boxes, so that its grid need never be held several times over.
  if (grid.values.size() > kMostWholeSmoothedVoxels) return {};
  for (int a = 0; a < 3; ++a)
    if (!(grid.voxel[a] > 0) || !std::isfinite(grid.voxel[a])) return {};
  Box whole;
  const int n[3] = {grid.nx, grid.ny, grid.nz};
  for (int a = 0; a < 3; ++a) {
    whole.lo[a] = -1;
    whole.hi[a] = n[a];
  }
  if (!smoothBox(grid, sigma, truncation, whole)) return {};
  return std::move(whole.v);
}

}  // namespace vel
