// The contour level of a whole map: the one its maker recommends, the one
// that encloses the protein's volume, or one read from the solvent's own
// spread. Voxels are compared with the level as written, so that a case's
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

double quantile(std::vector<float>& values, double q) {
  const size_t at = std::min(values.size() - 1, static_cast<size_t>(q * static_cast<double>(values.size() - 1)));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
  return values[at];
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
  std::vector<float> sample;
  const size_t stride = std::max<size_t>(1, (map.values.size() + kMostSamples - 1) / kMostSamples);
  for (size_t i = 0; i < map.values.size(); ++i) {
    const double v = map.values[i];
    if (!std::isfinite(v)) continue;
    sum += v;
    sumSq += v * v;
    s.min = finite == 0 ? v : std::min(s.min, v);
    s.max = finite == 0 ? v : std::max(s.max, v);
    ++finite;
    if (i % stride == 0) sample.push_back(map.values[i]);
  }
  if (finite == 0) {
    s.min = s.max = s.mean = s.sigma = NAN;
    return s;
  }
  const double n = static_cast<double>(finite);
  s.mean = sum / n;
  s.sigma = std::sqrt(std::max(0.0, sumSq / n - s.mean * s.mean));
  if (sample.empty()) return s;
  s.highPercentile = quantile(sample, 0.999);
  s.background = quantile(sample, 0.5);
  for (float& v : sample) v = static_cast<float>(std::fabs(v - s.background));
  s.backgroundSigma = 1.4826 * quantile(sample, 0.5);
  return s;
}

Level chooseLevel(const DensityBox& map, const MapStatistics& stats, const LevelRequest& request) {
  const char* const noNumber = "no voxel of the map holds a number (each is NaN or infinite)";
  if (std::isnan(stats.max)) throw FindError(noNumber);
  Level l;
  std::ostringstream how;
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
    l.rule = "background";
    const double spread = stats.highPercentile - stats.background;
    if (stats.backgroundSigma > 1e-4 * spread) {
      l.text = levelText(stats.background + request.backgroundSigmas * stats.backgroundSigma);
      how << "the solvent's median (" << stats.background << ") + " << request.backgroundSigmas
          << " x its robust sigma (1.4826 x median absolute deviation = " << stats.backgroundSigma << ")";
    } else {
      l.text = levelText(stats.background + request.flatFraction * spread);
      how << "the solvent has no spread (a map without noise): " << request.flatFraction
          << " of the way from its median (" << stats.background << ") to the 99.9th percentile ("
          << stats.highPercentile << ")";
    }
  }
  l.value = std::strtod(l.text.c_str(), nullptr);
  l.description = how.str();
  if (voxelsAtOrAbove(map, l.value) == 0)
    throw FindError("no voxel of the map lies at or above the level " + l.text + " (" + l.description +
                    "; the map's largest value is " + levelText(stats.max) + ")");
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
