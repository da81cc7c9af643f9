// Gaussian smoothing of a box, one axis at a time: the scales at which the
// finder reads the density's shape, and its local averages. Along y and z
// whole rows of x are weighted and summed at once, so that every pass reads
// memory in order.
#include <algorithm>
#include <cmath>

#include "find_parts.h"

namespace vel {
namespace find {

namespace {

std::vector<float> gaussianKernel(double sigma, double step) {
  const int reach = static_cast<int>(std::ceil(3 * sigma / step));
  std::vector<double> kernel(2 * reach + 1);
  double sum = 0;
  for (int t = -reach; t <= reach; ++t) {
    const double d = t * step;
    sum += kernel[t + reach] = std::exp(-d * d / (2 * sigma * sigma));
  }
  std::vector<float> out(kernel.size());
  for (size_t t = 0; t < kernel.size(); ++t) out[t] = static_cast<float>(kernel[t] / sum);
  return out;
}

// Beyond the box the density is taken to go on as at its face.
void smoothAlongX(std::vector<float>& values, const std::array<int, 3>& n, const std::vector<float>& kernel) {
  const int reach = static_cast<int>(kernel.size() / 2), nx = n[0];
  std::vector<float> padded(static_cast<size_t>(nx) + 2 * reach);
  const size_t lines = static_cast<size_t>(n[1]) * n[2];
  for (size_t line = 0; line < lines; ++line) {
    float* v = &values[line * nx];
    std::fill(padded.begin(), padded.begin() + reach, v[0]);
    std::copy(v, v + nx, padded.begin() + reach);
    std::fill(padded.begin() + reach + nx, padded.end(), v[nx - 1]);
    for (int t = 0; t < nx; ++t) {
      float s = 0;
      const float* p = &padded[t];
      for (size_t u = 0; u < kernel.size(); ++u) s += kernel[u] * p[u];
      v[t] = s;
    }
  }
}

// Along an axis whose neighbours lie `stride` apart, `length` of them, in
// `blocks` blocks `blockStride` apart; each neighbour is a row of nx values.
void smoothAcrossRows(std::vector<float>& values, int nx, int length, size_t stride, int blocks, size_t blockStride,
                      const std::vector<float>& kernel) {
  const int reach = static_cast<int>(kernel.size() / 2);
  std::vector<float> rows(static_cast<size_t>(length) * nx);
  for (int b = 0; b < blocks; ++b) {
    float* base = &values[b * blockStride];
    for (int t = 0; t < length; ++t) std::copy(base + t * stride, base + t * stride + nx, &rows[static_cast<size_t>(t) * nx]);
    for (int t = 0; t < length; ++t) {
      float* out = base + t * stride;
      std::fill(out, out + nx, 0.0f);
      for (int u = -reach; u <= reach; ++u) {
        const float w = kernel[u + reach];
        const float* in = &rows[static_cast<size_t>(std::clamp(t + u, 0, length - 1)) * nx];
        for (int i = 0; i < nx; ++i) out[i] += w * in[i];
      }
    }
  }
}

}  // namespace

void gaussianSmooth(std::vector<float>& values, const std::array<int, 3>& n, const std::array<double, 3>& voxel,
                    double sigma) {
  if (!(sigma > 0) || values.empty()) return;
  const size_t plane = static_cast<size_t>(n[0]) * n[1];
  smoothAlongX(values, n, gaussianKernel(sigma, voxel[0]));
  smoothAcrossRows(values, n[0], n[1], n[0], n[2], plane, gaussianKernel(sigma, voxel[1]));
  smoothAcrossRows(values, n[0], n[2], plane, n[1], n[0], gaussianKernel(sigma, voxel[2]));
}

}  // namespace find
}  // namespace vel
