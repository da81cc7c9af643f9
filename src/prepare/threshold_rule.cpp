// The threshold a case is analysed at: the level whose voxels enclose the
// sheet's own molecular volume, as one contours a sheet by its mass, lowered
// until the density it keeps is one piece.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

double residueVolume(const std::string& name) {
  static const std::map<std::string, double> kVolumes = {
      {"ALA", 88.6},  {"ARG", 173.4}, {"ASN", 114.1}, {"ASP", 111.1}, {"CYS", 108.5},
      {"GLN", 143.8}, {"GLU", 138.4}, {"GLY", 60.1},  {"HIS", 153.2}, {"ILE", 166.7},
      {"LEU", 166.7}, {"LYS", 168.6}, {"MET", 162.9}, {"PHE", 189.9}, {"PRO", 112.7},
      {"SER", 89.0},  {"THR", 116.1}, {"TRP", 227.8}, {"TYR", 193.6}, {"VAL", 140.0}};
  auto it = kVolumes.find(name);
  return it == kVolumes.end() ? 135.0 : it->second;
}

namespace {

// A map counts as noisy when its noise exceeds this share of its maximum.
constexpr double kNoisyFraction = 0.001;
// Levels stay this many σ above the noise's median.
constexpr double kNoiseSigmas = 3.0;
// With noise, the largest piece must hold this share of the kept voxels.
constexpr double kLargestPieceShare = 0.90;
// A piece smaller than the smallest residue (glycine, 60 Å^3) holds no part
// of a strand: it is a speck of noise, or of the zone's edge. Beside one
// piece of the sheet holding nearly all the kept voxels such specks do not
// count, or a single stray voxel would pull the level far down.
constexpr double kSpeckVolume = 60.0;

// A map without a model: the voxels at or above half the map's maximum
// trace the strands' backbone, a slab that follows the sheet's size, and
// widens as the resolution coarsens. The residues' volume is this many times
// that slab's, by resolution (medians over simulated sheets, docs/threshold.md).
constexpr double kHighShare = 0.5;
constexpr double kResidueToHighVolume[][2] = {{6, 2.24}, {8, 1.63}, {10, 1.51}};

std::string formatted(const char* format, double level) {
  char buf[32];
  std::snprintf(buf, sizeof buf, format, level);
  return buf;
}

// Counts the pieces formed by the kept voxels, with 6 (faces) or 26 (faces,
// edges and corners) neighbours, the voxels of the largest, and the pieces of
// at least `substantial` voxels.
int countPieces(const DensityBox& box, const std::vector<char>& kept, bool corners, long long& largest,
                long long substantial = 0, int* substantialPieces = nullptr) {
  std::vector<char> seen(kept.size(), 0);
  std::vector<size_t> stack;
  int pieces = 0;
  largest = 0;
  for (size_t start = 0; start < kept.size(); ++start) {
    if (!kept[start] || seen[start]) continue;
    ++pieces;
    seen[start] = 1;
    stack.push_back(start);
    long long size = 0;
    while (!stack.empty()) {
      const size_t at = stack.back();
      stack.pop_back();
      ++size;
      const int i = static_cast<int>(at % box.n[0]);
      const int j = static_cast<int>((at / box.n[0]) % box.n[1]);
      const int k = static_cast<int>(at / (static_cast<size_t>(box.n[0]) * box.n[1]));
      for (int dk = -1; dk <= 1; ++dk)
        for (int dj = -1; dj <= 1; ++dj)
          for (int di = -1; di <= 1; ++di) {
            const int steps = std::abs(di) + std::abs(dj) + std::abs(dk);
            if (steps == 0 || (!corners && steps > 1)) continue;
            const int x = i + di, y = j + dj, z = k + dk;
            if (x < 0 || y < 0 || z < 0 || x >= box.n[0] || y >= box.n[1] || z >= box.n[2]) continue;
            const size_t next = box.index(x, y, z);
            if (kept[next] && !seen[next]) {
              seen[next] = 1;
              stack.push_back(next);
            }
          }
    }
    largest = std::max(largest, size);
    if (substantialPieces != nullptr && size >= substantial) ++*substantialPieces;
  }
  return pieces;
}

// The analysis compares each voxel, as a double, with the threshold it reads.
// A reader comparing in single precision would differ exactly for the voxels
// between the level and its nearest float; nudge the level below them.
std::string guardedText(const DensityBox& box, std::string text) {
  for (int tries = 0; tries < 8; ++tries) {
    const double level = std::strtod(text.c_str(), nullptr);
    const double asFloat = static_cast<double>(static_cast<float>(level));
    const double lo = std::min(level, asFloat), hi = std::max(level, asFloat);
    bool between = false;
    if (lo != hi)
      for (float v : box.values) {
        const double d = static_cast<double>(v);
        if (d >= lo && d <= hi) {
          between = true;
          break;
        }
      }
    if (!between) return text;
    text = formatted("%.6g", level * 0.9999);
  }
  return text;
}

}  // namespace

std::string fourDigits(double level) { return formatted("%.4g", level); }

LevelStats measureLevel(const DensityBox& box, const std::string& text) {
  LevelStats s;
  s.text = text;
  s.level = std::strtod(text.c_str(), nullptr);
  std::vector<char> kept(box.size(), 0);
  for (size_t at = 0; at < box.size(); ++at) {
    const double v = static_cast<double>(box.values[at]);
    // The analysis also drops voxels that are not above zero once thresholded.
    if (v >= s.level && v > 0) {
      kept[at] = 1;
      ++s.kept;
      const int i = static_cast<int>(at % box.n[0]);
      const int j = static_cast<int>((at / box.n[0]) % box.n[1]);
      const int k = static_cast<int>(at / (static_cast<size_t>(box.n[0]) * box.n[1]));
      if (i == 0 || j == 0 || k == 0 || i == box.n[0] - 1 || j == box.n[1] - 1 || k == box.n[2] - 1)
        s.touchesFace = true;
    }
  }
  long long largest26 = 0;
  const long long speck = std::llround(std::ceil(kSpeckVolume / (box.voxel[0] * box.voxel[1] * box.voxel[2])));
  s.pieces6 = countPieces(box, kept, false, s.largest6, speck, &s.sheetPieces6);
  s.pieces26 = countPieces(box, kept, true, largest26);
  return s;
}

double mapOnlyVolume(const DensityBox& box, double resolution) {
  float top = 0;
  for (float v : box.values) top = std::max(top, v);
  long long high = 0;
  for (float v : box.values) high += v > 0 && v >= kHighShare * top;
  // Linear between the resolutions measured, held at the nearest beyond them.
  const auto& table = kResidueToHighVolume;
  const size_t last = std::size(table) - 1;
  double ratio = resolution <= table[0][0] ? table[0][1] : table[last][1];
  for (size_t i = 0; i < last; ++i)
    if (resolution > table[i][0] && resolution <= table[i + 1][0])
      ratio = table[i][1] + (table[i + 1][1] - table[i][1]) * (resolution - table[i][0]) / (table[i + 1][0] - table[i][0]);
  return ratio * static_cast<double>(high) * box.voxel[0] * box.voxel[1] * box.voxel[2];
}

ThresholdResult findThreshold(const DensityBox& box, double volume, const MapNoise& noise, double lowest) {
  ThresholdResult r;
  if (box.values.empty()) {
    r.message = "the map is empty";
    return r;
  }
  std::vector<float> sorted = box.values;
  std::sort(sorted.begin(), sorted.end(), std::greater<float>());
  const double mapMax = sorted.front();
  const double voxelVolume = box.voxel[0] * box.voxel[1] * box.voxel[2];
  const long long wanted = std::llround(volume / voxelVolume);
  const size_t k = static_cast<size_t>(std::min<long long>(std::max<long long>(wanted, 1), static_cast<long long>(sorted.size())));
  double level = std::strtod(fourDigits(sorted[k - 1]).c_str(), nullptr);
  // A noisy map is never contoured within a few σ of its noise, where the
  // kept voxels would be the noise inside the zone; there noise may also
  // split specks off the sheet, so the largest piece need only hold nearly
  // all the kept voxels.
  const bool noisy = std::isfinite(noise.sigma) && noise.sigma > kNoisyFraction * mapMax;
  const double floor = noisy ? noise.median + kNoiseSigmas * noise.sigma : -HUGE_VAL;
  r.noisy = noisy;
  r.floor = floor;
  // The floor itself, to four digits, rounded up.
  for (int up = 0; noisy && level < floor && up < 10; ++up)
    level = std::strtod(fourDigits(std::max(level * 1.001, floor)).c_str(), nullptr);
  std::ostringstream stop;
  if (noisy)
    stop << "no sound level: at or above " << kNoiseSigmas << " sigma of the map's noise (sigma " << noise.sigma
         << " outside the molecule, level " << floor << ") the sheet's density does not hold together; the map's "
         << "maximum in the box is " << mapMax;
  else
    stop << "no density level keeps the sheet in one piece above 1% of the map's maximum (" << mapMax << ")";
  // 3% steps from the mass-enclosing level reach 1% of the maximum in about
  // 150 steps; the bound only guards against a map without a positive maximum.
  for (int step = 0; step < 1000; ++step) {
    if (level < lowest) {
      r.message = "no level at or above " + fourDigits(lowest) + " keeps the density in one piece";
      return r;
    }
    if (!(mapMax > 0) || !(level >= 0.01 * mapMax) || !(level >= floor)) {
      if (!noisy) stop << "; stopped at level " << level;
      r.message = stop.str();
      return r;
    }
    LevelStats s = measureLevel(box, guardedText(box, fourDigits(level)));
    const bool nearlyAll = s.largest6 >= kLargestPieceShare * s.kept;
    if (s.pieces6 == 1 || (s.sheetPieces6 == 1 && nearlyAll) || (noisy && nearlyAll)) {
      r.found = true;
      r.stats = s;
      return r;
    }
    level = std::strtod(fourDigits(level * 0.97).c_str(), nullptr);
  }
  r.message = "no threshold found";
  return r;
}

}  // namespace prepare
}  // namespace vel
