// The contour level of a whole map: the one its maker recommends, the one
// that encloses the protein's volume, or one read from the solvent's own
// spread, with the exact zeros of a mask or of padding left out of it. Voxels are compared with the level as written, so that a case's
// threshold file keeps exactly the voxels found here.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>

#include "velmorantique/find.h"

namespace vel {
namespace find {

namespace {

// Robust statistics from at most this many voxels, taken at an even stride:
// the median of a 512^3 map does not need a copy of all of it.
constexpr size_t kMostSamples = 4u << 20;

// Protein takes about 1.21 Å^3 per dalton.
constexpr double kCubicAngstromPerDalton = 1.21;

std::string levelText(double level) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", level);
  return buf;
}

// The half-sample mode of sorted values: the middle of the shortest stretch
// holding half of them, narrowed the same way until three are left. Where
// the solvent's noise is the densest part of the map, it is the solvent's
// level, however much of the box the molecule fills.
double halfSampleMode(const std::vector<float>& sorted) {
  size_t lo = 0, count = sorted.size();
  while (count > 3) {
    const size_t half = (count + 1) / 2;
    // Of equally short stretches (values stored in steps tie), the middle one.
    size_t first = lo, last = lo;
    for (size_t i = lo; i + half <= lo + count; ++i) {
      const float width = sorted[i + half - 1] - sorted[i], least = sorted[first + half - 1] - sorted[first];
      if (width < least) first = last = i;
      else if (width == least) last = i;
    }
    lo = first + (last - first) / 2;
    count = half;
  }
  if (count == 3)
    return sorted[lo + 1] - sorted[lo] <= sorted[lo + 2] - sorted[lo + 1] ? (sorted[lo] + sorted[lo + 1]) / 2.0
                                                                          : (sorted[lo + 1] + sorted[lo + 2]) / 2.0;
  return count == 2 ? (sorted[lo] + sorted[lo + 1]) / 2.0 : sorted[lo];
}

// The solvent's robust sigma from sorted values and its peak: 1.4826 times
// the median distance below the peak of the values below it.
double spreadBelow(const std::vector<float>& sorted, double peak) {
  std::vector<float> below;
  for (float v : sorted) {
    if (v >= peak) break;
    below.push_back(static_cast<float>(peak - v));
  }
  if (below.empty()) return 0;
  std::nth_element(below.begin(), below.begin() + static_cast<std::ptrdiff_t>(below.size() / 2), below.end());
  return 1.4826 * below[below.size() / 2];
}

// Fits log(count) = a - (v - centre)^2 / (2 sigma^2) over bins of a
// quarter sigma from 3 sigmas below the centre to 1 above, each weighted by
// its count; false (and nothing changed) when the counts make no peak.
bool fitPeak(const std::vector<float>& sorted, double& centre, double& sigma) {
  const double width = sigma / 4;
  double m[3][4] = {};  // the weighted normal equations of a quadratic in u = (v - centre) / sigma
  int bins = 0;
  for (int b = -12; b < 4; ++b) {
    const double lo = centre + b * width, hi = lo + width;
    const double count = static_cast<double>(std::lower_bound(sorted.begin(), sorted.end(), static_cast<float>(hi)) -
                                             std::lower_bound(sorted.begin(), sorted.end(), static_cast<float>(lo)));
    if (count < 5) continue;
    ++bins;
    const double u = (b + 0.5) / 4, x[3] = {1, u, u * u}, y = std::log(count);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) m[r][c] += count * x[r] * x[c];
      m[r][3] += count * x[r] * y;
    }
  }
  if (bins < 6) return false;
  for (int col = 0; col < 3; ++col) {  // Gaussian elimination; the matrix is positive definite
    if (!(std::fabs(m[col][col]) > 0)) return false;
    for (int r = 0; r < 3; ++r) {
      if (r == col) continue;
      const double f = m[r][col] / m[col][col];
      for (int c = col; c < 4; ++c) m[r][c] -= f * m[col][c];
    }
  }
  const double p1 = m[1][3] / m[1][1], p2 = m[2][3] / m[2][2];
  if (!(p2 < 0)) return false;
  const double shift = -p1 / (2 * p2), spread = std::sqrt(-1 / (2 * p2));
  if (!(std::fabs(shift) < 2) || !(spread > 0.25 && spread < 4)) return false;
  centre += shift * sigma;
  sigma *= spread;
  return true;
}

}  // namespace

long long voxelsAtOrAbove(const DensityBox& map, double level) {
  long long n = 0;
  for (float v : map.values)
    if (static_cast<double>(v) >= level && v > 0) ++n;
  return n;
}

MapStatistics mapStatistics(const DensityBox& map) {
  MapStatistics s;
  s.voxels = map.values.size();
  if (map.values.empty()) return s;
  // A voxel that holds no number (NaN, inf: masked or damaged) is no density
  // and takes no part in any of the figures.
  double sum = 0, sumSq = 0;
  size_t finite = 0;
  for (float f : map.values) {
    const double v = f;
    if (!std::isfinite(v)) continue;
    sum += v;
    sumSq += v * v;
    s.min = finite == 0 ? v : std::min(s.min, v);
    s.max = finite == 0 ? v : std::max(s.max, v);
    ++finite;
    s.zeros += v == 0;
  }
  if (finite == 0) {
    s.min = s.max = s.mean = s.sigma = NAN;
    return s;
  }
  const double n = static_cast<double>(finite);
  s.mean = sum / n;
  s.sigma = std::sqrt(std::max(0.0, sumSq / n - s.mean * s.mean));
  // The solvent's figures from the voxels other than exact zeros, at an
  // even stride over them, so that padding changes neither the sample nor them.
  const size_t counted = finite - s.zeros;
  if (counted == 0) return s;
  const size_t stride = std::max<size_t>(1, (counted + kMostSamples - 1) / kMostSamples);
  std::vector<float> sample;
  sample.reserve(counted / stride + 1);
  size_t seen = 0;
  for (float v : map.values)
    if (std::isfinite(v) && v != 0 && seen++ % stride == 0) sample.push_back(v);
  std::sort(sample.begin(), sample.end());
  const auto percentile = [&](double q) {
    return sample[std::min(sample.size() - 1, static_cast<size_t>(q * static_cast<double>(sample.size() - 1)))];
  };
  s.highPercentile = percentile(0.999);
  s.topPercentile = percentile(0.9999);
  // The half-sample mode finds the solvent's peak, but coarsely; a Gaussian
  // fitted to the peak's counts from three spreads below it to one above
  // (the side the molecule seldom reaches) then gives its centre and spread.
  s.background = halfSampleMode(sample);
  s.backgroundSigma = spreadBelow(sample, s.background);
  for (int round = 0; round < 3 && s.backgroundSigma > 0; ++round)
    if (!fitPeak(sample, s.background, s.backgroundSigma)) break;
  return s;
}

Level chooseLevel(const DensityBox& map, const MapStatistics& stats, const LevelRequest& request) {
  const char* const noNumber = "no voxel of the map holds a number (each is NaN or infinite)";
  const std::string askLevel = "; give the map's recommended level with --contour, or the protein's mass with --mass-kda";
  if (std::isnan(stats.max)) throw FindError(noNumber);
  Level l;
  std::ostringstream how;
  const size_t counted = stats.voxels - stats.zeros;  // finite or not: a bound on the share below
  if (!request.contour.empty()) {
    l.rule = "contour";
    l.text = request.contour;
    how << "given with --contour";
  } else if (request.massKda > 0) {
    l.rule = "mass";
    const double volume = request.massKda * 1000 * kCubicAngstromPerDalton;
    const double cell = map.voxel[0] * map.voxel[1] * map.voxel[2];
    std::vector<float> sorted;
    sorted.reserve(map.values.size());
    for (float v : map.values)
      if (std::isfinite(v)) sorted.push_back(v);
    if (sorted.empty()) throw FindError(noNumber);
    const size_t keep = std::max<size_t>(1, std::min(sorted.size(), static_cast<size_t>(std::llround(volume / cell))));
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(keep - 1), sorted.end(),
                     std::greater<float>());
    l.text = levelText(sorted[keep - 1]);
    how << "the level whose voxels enclose " << request.massKda << " kDa x 1.21 A^3/Da = " << volume << " A^3";
  } else {
    if (stats.max == 0 && stats.min == 0)
      throw FindError("the map holds no value but 0, so no level can be read from it" + askLevel);
    const double spread = stats.highPercentile - stats.background;
    std::ostringstream zeros;
    if (stats.zeros) zeros << ", the " << stats.zeros << " voxels of exactly 0 (a mask's or padding's) left out";
    if (stats.backgroundSigma > 1e-4 * spread) {
      l.rule = "background";
      l.text = levelText(stats.background + request.backgroundSigmas * stats.backgroundSigma);
      how << "the solvent's peak (" << stats.background << ") + " << request.backgroundSigmas
          << " x its robust sigma (1.4826 x the median distance below the peak = " << stats.backgroundSigma << ")"
          << zeros.str();
      const double top = stats.topPercentile - stats.background;
      if (top < request.leastContrast * request.backgroundSigmas * stats.backgroundSigma) {
        std::ostringstream why;
        why << "the map gives no sound level of its own: its 99.99th percentile (" << stats.topPercentile
            << ") lies only " << top / stats.backgroundSigma << " robust sigmas above the solvent's peak ("
            << stats.background << "), so no density stands out of the noise, or the box holds too little solvent"
            << askLevel;
        throw FindError(why.str());
      }
    } else {
      l.rule = "no noise";
      l.text = levelText(stats.background + request.flatFraction * spread);
      how << "the solvent has no spread (a map without noise): " << request.flatFraction
          << " of the way from its peak (" << stats.background << ") to the 99.9th percentile ("
          << stats.highPercentile << ")" << zeros.str();
    }
  }
  l.value = std::strtod(l.text.c_str(), nullptr);
  l.description = how.str();
  const long long kept = voxelsAtOrAbove(map, l.value);
  l.volume = static_cast<double>(kept) * map.voxel[0] * map.voxel[1] * map.voxel[2];
  if (kept == 0)
    throw FindError("no voxel of the map lies at or above the level " + l.text + " (" + l.description +
                    "; the map's largest value is " + levelText(stats.max) + ")");
  const double share = static_cast<double>(kept) / static_cast<double>(std::max<size_t>(1, counted));
  if ((l.rule == "background" || l.rule == "no noise") && share > request.mostShare) {
    std::ostringstream why;
    why << "the map gives no sound level of its own: the level " << l.text << " (" << l.description << ") keeps "
        << std::llround(100 * share) << "% of the voxels, so the box holds too little solvent to read a level from"
        << askLevel;
    throw FindError(why.str());
  }
  return l;
}

Level caseLevel(const DensityBox& box, const std::vector<size_t>& voxels, const Level& mapLevel, double resolution,
                double share) {
  const DensityBox c = caseMap(box, voxels);
  // No model tells the sheet's volume here: it is read from the case's own
  // density, as prepare contours a sheet by its residues' volume.
  const double residues = prepare::mapOnlyVolume(c, resolution), volume = share * residues;
  // Below the map's level the case would take the map's level anyway.
  const prepare::ThresholdResult t = prepare::findThreshold(c, volume, prepare::MapNoise(), mapLevel.value);
  if (!t.found || !(t.stats.level > mapLevel.value)) return mapLevel;
  Level l;
  l.rule = "map only";
  l.text = t.stats.text;
  l.value = t.stats.level;
  std::ostringstream how;
  how << "the level enclosing " << share << " x its residues' volume, read from its density at " << resolution
      << " A (" << residues << " A^3, of its " << voxels.size() << " voxels), lowered until they form one piece";
  l.description = how.str();
  return l;
}

}  // namespace find
}  // namespace vel
