// The sheet normal's raw material: the gradient of the smoothed density. At a
// sheet's faces the density falls off along the normal, so the gradients near
// the centre agree on one axis even where the slab is thin or ragged.
//
// Only the box the gradients need is smoothed: the voxels within the radius,
// one more for the central differences, and the kernel's reach beyond,
// reflected back into the grid at its faces.

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "shape/shape_parts.h"

namespace vel {

namespace {

// Reflection about the first and last voxel: index -1 reads voxel 1.
int mirrored(int i, int n) {
  if (n == 1) return 0;
  const int period = 2 * (n - 1);
  i %= period;
  if (i < 0) i += period;
  return i < n ? i : period - i;
}

// The smoothing is skipped (and the normal taken from the slab's shape) when
// its box would hold more voxels than this: sampling far finer than any
// density map needs would cost more than the whole analysis.
constexpr double kMostSmoothedVoxels = 16.0 * 1024 * 1024;
constexpr size_t kMostWholeSmoothedVoxels = 1024 * 1024;

// Truncated at `truncation` sigmas; a reach beyond twice the grid only
// repeats the reflected copies, so it ends there.
std::vector<double> gaussianKernel(double voxel, double sigma, double truncation, int n) {
  const double full = std::floor(truncation * sigma / voxel + 1e-9);
  const int reach = static_cast<int>(std::max(0.0, std::min(full, 2.0 * n)));
  std::vector<double> k(2 * reach + 1);
  double sum = 0;
  for (int i = -reach; i <= reach; ++i) {
    const double d = i * voxel;
    k[i + reach] = std::exp(-d * d / (2 * sigma * sigma));
    sum += k[i + reach];
  }
  for (double& w : k) w /= sum;
  return k;
}

// A box of grid indices [lo, hi] along each axis, with values stored x fastest.
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
// reads `in` (a box wide enough along `axis` for the mirrored reach).
template <class Read>
void smoothAlong(int axis, int n, const std::vector<double>& kernel, Read read, Box& out) {
  const int reach = static_cast<int>(kernel.size() / 2), taps = 2 * reach + 1;
  out.allocate();
  // The reflected source index of every tap, for each index along the axis:
  // the same for every line, so worked out once.
  std::vector<int> source(static_cast<size_t>(out.extent(axis)) * taps);
  for (int i = out.lo[axis]; i <= out.hi[axis]; ++i)
    for (int t = -reach; t <= reach; ++t)
      source[static_cast<size_t>(i - out.lo[axis]) * taps + t + reach] = mirrored(i + t, n);
  int idx[3];
  for (idx[2] = out.lo[2]; idx[2] <= out.hi[2]; ++idx[2])
    for (idx[1] = out.lo[1]; idx[1] <= out.hi[1]; ++idx[1])
      for (idx[0] = out.lo[0]; idx[0] <= out.hi[0]; ++idx[0]) {
        int src[3] = {idx[0], idx[1], idx[2]};
        const int* from = &source[static_cast<size_t>(idx[axis] - out.lo[axis]) * taps];
        double sum = 0;
        for (int t = 0; t < taps; ++t) {
          src[axis] = from[t];
          sum += kernel[t] * read(src[0], src[1], src[2]);
        }
        out.at(idx[0], idx[1], idx[2]) = sum;
      }
}

// Smooths the grid over `out`'s box (its bounds set), each pass over the box
// the later passes read; false when that would hold too many voxels.
bool smoothBox(const DensityGrid& grid, double sigma, double truncation, Box& out) {
  const int n[3] = {grid.nx, grid.ny, grid.nz};
  Box& smooth = out;
  std::vector<double> kernel[3];
  int reach[3];
  for (int a = 0; a < 3; ++a) {
    kernel[a] = gaussianKernel(grid.voxel[a], sigma, truncation, n[a]);
    reach[a] = static_cast<int>(kernel[a].size() / 2);
  }
  // Pass along x over the y and z reach of the later passes, then y over the
  // z reach, then z; reflected indices of a pass always fall in the box the
  // pass before covered.
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

  // Voxels within the radius, then one more on each side for the differences.
  int near[2][3];
  Box smooth;
  for (int a = 0; a < 3; ++a) {
    const double first = std::ceil((c[a] - radius - grid.origin[a]) / grid.voxel[a]);
    const double last = std::floor((c[a] + radius - grid.origin[a]) / grid.voxel[a]);
    near[0][a] = static_cast<int>(std::min(std::max(first, 0.0), static_cast<double>(n[a])));
    near[1][a] = static_cast<int>(std::max(std::min(last, static_cast<double>(n[a] - 1)), -1.0));
    if (near[0][a] > near[1][a]) return false;
    smooth.lo[a] = std::max(near[0][a] - 1, 0);
    smooth.hi[a] = std::min(near[1][a] + 1, n[a] - 1);
  }

  if (!smoothed || smoothed->size() != static_cast<size_t>(n[0]) * n[1] * n[2]) {
    if (!smoothBox(grid, sigma, truncation, smooth)) return false;
  }
  auto value = [&](int i, int j, int k) {
    return smoothed && smoothed->size() == static_cast<size_t>(n[0]) * n[1] * n[2]
               ? (*smoothed)[(static_cast<size_t>(k) * n[1] + j) * n[0] + i]
               : smooth.at(i, j, k);
  };

  // Central differences inside the grid, one-sided at its faces.
  auto derivative = [&](int a, int idx[3]) {
    if (n[a] == 1) return 0.0;
    int hiIdx[3] = {idx[0], idx[1], idx[2]}, loIdx[3] = {idx[0], idx[1], idx[2]};
    hiIdx[a] = std::min(idx[a] + 1, n[a] - 1);
    loIdx[a] = std::max(idx[a] - 1, 0);
    const double span = (hiIdx[a] - loIdx[a]) * grid.voxel[a];
    return (value(hiIdx[0], hiIdx[1], hiIdx[2]) - value(loIdx[0], loIdx[1], loIdx[2])) / span;
  };

  bool any = false;
  const double radiusSq = radius * radius;
  int idx[3];
  for (idx[2] = near[0][2]; idx[2] <= near[1][2]; ++idx[2])
    for (idx[1] = near[0][1]; idx[1] <= near[1][1]; ++idx[1])
      for (idx[0] = near[0][0]; idx[0] <= near[1][0]; ++idx[0]) {
        const double rho = static_cast<double>(grid.at(idx[0], idx[1], idx[2]));
        if (!(rho >= threshold) || !std::isfinite(rho)) continue;
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
    whole.lo[a] = 0;
    whole.hi[a] = n[a] - 1;
  }
  if (!smoothBox(grid, sigma, truncation, whole)) return {};
  return std::move(whole.v);
}

}  // namespace vel
