// How sharp the map is, read from the map itself: the slope of its radially
// averaged power spectrum. A map at resolution R is taken to be blurred by a
// Gaussian of 0.225 R (as maps are simulated here, B = 4 R^2), which scales
// its amplitudes by exp(-R^2 s^2) at spatial frequency s: the logarithm of
// the power falls by 2 R^2 per unit of s^2, whatever the protein. The fit is
// made from 15 Å (the coarser shells carry the molecule's outline) out to
// where the power meets the map's noise (or float round-off in a clean map).

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <cstdio>
#include <string>

#include "find_parts.h"
#include "fourier.h"

namespace vel {
namespace find {

namespace {

constexpr int kMostSide = 128;           // voxels: a larger map is read in a cube of this side around its middle
constexpr double kCoarsestShell = 1.0 / 15;  // 1/Å
constexpr double kDeepestFall = 1e-7;   // of the power at the coarsest shell fitted
constexpr double kAboveNoise = 20;      // times the power of the finest shells

}  // namespace

double estimateResolution(const DensityBox& box) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::array<int, 3> n{}, lo{};
  for (int d = 0; d < 3; ++d) {
    n[d] = std::min(box.n[d], kMostSide);
    lo[d] = (box.n[d] - n[d]) / 2;
    if (n[d] < 8 || !(box.voxel[d] > 0)) return nan;
  }
  const size_t count = static_cast<size_t>(n[0]) * n[1] * n[2];
  std::vector<double> values(count);
  double mean = 0;
  for (int k = 0; k < n[2]; ++k)
    for (int j = 0; j < n[1]; ++j)
      for (int i = 0; i < n[0]; ++i) {
        const double v = box.values[box.index(i + lo[0], j + lo[1], k + lo[2])];
        values[i + static_cast<size_t>(n[0]) * (j + static_cast<size_t>(n[1]) * k)] = std::isfinite(v) ? v : 0;
      }
  for (double v : values) mean += v / static_cast<double>(count);
  for (double& v : values) v -= mean;
  // x varies fastest: as a C array the shape is (z, y, x), the halved axis x.
  const pocketfft::shape_t shape{static_cast<size_t>(n[2]), static_cast<size_t>(n[1]), static_cast<size_t>(n[0])};
  const size_t half = static_cast<size_t>(n[0]) / 2 + 1;
  std::vector<std::complex<double>> spectrum(static_cast<size_t>(n[2]) * n[1] * half);
  const pocketfft::stride_t in{static_cast<ptrdiff_t>(sizeof(double) * n[0] * n[1]),
                               static_cast<ptrdiff_t>(sizeof(double) * n[0]), sizeof(double)};
  const pocketfft::stride_t out{static_cast<ptrdiff_t>(sizeof(std::complex<double>) * half * n[1]),
                                static_cast<ptrdiff_t>(sizeof(std::complex<double>) * half),
                                sizeof(std::complex<double>)};
  pocketfft::r2c(shape, in, out, {0, 1, 2}, pocketfft::FORWARD, values.data(), spectrum.data(), 1.0);

  // Shells one grid step of the coarsest axis wide, up to the finest axis's Nyquist limit.
  double step = 0, nyquist = 1e300;
  for (int d = 0; d < 3; ++d) {
    step = std::max(step, 1.0 / (n[d] * box.voxel[d]));
    nyquist = std::min(nyquist, 0.5 / box.voxel[d]);
  }
  const size_t shells = static_cast<size_t>(nyquist / step) + 1;
  std::vector<double> power(shells, 0.0);
  std::vector<size_t> members(shells, 0);
  auto frequency = [&](size_t a, int d) {
    const double f = a <= static_cast<size_t>(n[d]) / 2 ? static_cast<double>(a) : static_cast<double>(a) - n[d];
    return f / (n[d] * box.voxel[d]);
  };
  for (size_t k = 0; k < static_cast<size_t>(n[2]); ++k)
    for (size_t j = 0; j < static_cast<size_t>(n[1]); ++j)
      for (size_t i = 0; i < half; ++i) {
        const double s = std::sqrt(std::pow(frequency(i, 0), 2) + std::pow(frequency(j, 1), 2) + std::pow(frequency(k, 2), 2));
        const size_t shell = static_cast<size_t>(s / step + 0.5);
        if (shell >= shells) continue;
        power[shell] += std::norm(spectrum[(k * n[1] + j) * half + i]);
        ++members[shell];
      }
  for (size_t b = 0; b < shells; ++b) power[b] = members[b] ? power[b] / static_cast<double>(members[b]) : 0;

  // The noise: the median power of the finest fifth of the shells.
  std::vector<double> fine(power.begin() + static_cast<ptrdiff_t>(shells * 4 / 5), power.end());
  std::nth_element(fine.begin(), fine.begin() + static_cast<ptrdiff_t>(fine.size() / 2), fine.end());
  const double noise = fine.empty() ? 0 : fine[fine.size() / 2];
  const size_t first = static_cast<size_t>(std::ceil(kCoarsestShell / step));
  if (first >= shells || !(power[first] > 0)) return nan;
  const double floor = std::max(kAboveNoise * noise, kDeepestFall * power[first]);
  double sx = 0, sy = 0, sxx = 0, sxy = 0, m = 0;
  for (size_t b = first; b < shells && power[b] > floor; ++b) {
    const double x = std::pow(b * step, 2), y = std::log(power[b] - noise);  // white noise adds a flat floor
    sx += x, sy += y, sxx += x * x, sxy += x * y, m += 1;
  }
  if (m < 4) return nan;
  const double slope = (m * sxy - sx * sy) / (m * sxx - sx * sx);
  return slope < 0 ? std::sqrt(-slope / 2) : nan;
}

ResolutionCheck checkResolution(const DensityBox& box, double given) {
  ResolutionCheck c;
  c.given = given;
  c.estimate = estimateResolution(box);
  if (!std::isfinite(c.estimate)) {
    c.note = "the map's own resolution could not be read from its power spectrum";
    return c;
  }
  c.disagrees = std::fabs(given - c.estimate) > kResolutionTolerance * c.estimate;
  char text[400];
  if (c.disagrees)
    std::snprintf(text, sizeof text,
                  "--resolution %g A is more than %.0f%% away from the %.1f A that the map's power spectrum "
                  "suggests: check it (sheets are looked for at the resolution given)",
                  given, kResolutionTolerance * 100, c.estimate);
  else
    std::snprintf(text, sizeof text, "the map's power spectrum suggests %.1f A, within %.0f%% of --resolution %g A",
                  c.estimate, kResolutionTolerance * 100, given);
  const std::string s = text;
  (c.disagrees ? c.warning : c.note) = s;
  return c;
}

}  // namespace find
}  // namespace vel
