// Segments as basins of the plate score. The score is flooded from its peaks
// downwards; a voxel joins the basin of its highest labelled neighbour. Where
// two basins meet, they become one only if the lower of their peaks stands
// less than the merge depth above the pass (a shallow dip inside one plate)
// and their plates lie alike (two sheets packed face to face, or meeting at
// an angle, stay apart however shallow the dip between them).
#include <algorithm>
#include <cmath>
#include <numeric>

#include "find_parts.h"
#include "velmorantique/shape.h"

namespace vel {
namespace find {

namespace {

struct Basin {
  int parent = 0;
  float peak = 0;
  double nn[6] = {0, 0, 0, 0, 0, 0};  // sum of n n^T: xx, xy, xz, yy, yz, zz

  Vectors meanNormal() const {
    const double m[3][3] = {{nn[0], nn[1], nn[2]}, {nn[1], nn[3], nn[4]}, {nn[2], nn[4], nn[5]}};
    return eigenSymmetric3(m).vectors[2];
  }
};

class Basins {
 public:
  int make(float peak) {
    Basin b;
    b.parent = static_cast<int>(all_.size());
    b.peak = peak;
    all_.push_back(b);
    return b.parent;
  }
  int root(int b) {
    while (all_[b].parent != b) {
      all_[b].parent = all_[all_[b].parent].parent;
      b = all_[b].parent;
    }
    return b;
  }
  Basin& operator[](int b) { return all_[b]; }
  void add(int b, const std::array<float, 3>& n) {
    double* s = all_[b].nn;
    s[0] += n[0] * n[0];
    s[1] += n[0] * n[1];
    s[2] += n[0] * n[2];
    s[3] += n[1] * n[1];
    s[4] += n[1] * n[2];
    s[5] += n[2] * n[2];
  }
  // b joins a (a's peak is the higher).
  void unite(int a, int b) {
    all_[b].parent = a;
    for (int t = 0; t < 6; ++t) all_[a].nn[t] += all_[b].nn[t];
  }

 private:
  std::vector<Basin> all_;
};

}  // namespace

std::vector<Segment> watershedSegments(const DensityBox& box, const std::vector<char>& inDensity,
                                       const PlateField& field, const SegmentRules& rules, size_t& tinyCount) {
  // The score's scale shifts with the resolution and the protein: the
  // floor is the higher of a fixed score and a share of the density's voxels.
  double floor = rules.plateMin;
  if (rules.plateShare < 1) {
    std::vector<float> scores;
    for (size_t at = 0; at < field.plate.size(); ++at)
      if (inDensity[at]) scores.push_back(field.plate[at]);
    if (!scores.empty()) {
      const size_t k = static_cast<size_t>((1 - rules.plateShare) * static_cast<double>(scores.size() - 1));
      std::nth_element(scores.begin(), scores.begin() + static_cast<std::ptrdiff_t>(k), scores.end());
      floor = std::max(floor, static_cast<double>(scores[k]));
    }
  }
  std::vector<size_t> order;
  for (size_t at = 0; at < field.plate.size(); ++at)
    if (inDensity[at] && field.plate[at] >= floor) order.push_back(at);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return field.plate[a] > field.plate[b]; });

  const double cosMerge = std::cos(rules.mergeAngleDeg * 3.14159265358979323846 / 180.0);
  std::vector<int> label(field.plate.size(), -1);
  Basins basins;
  std::vector<int> met;
  for (size_t at : order) {
    met.clear();
    forEachNeighbour(box, at, [&](size_t nb) {
      if (label[nb] >= 0) met.push_back(basins.root(label[nb]));
    });
    std::sort(met.begin(), met.end());
    met.erase(std::unique(met.begin(), met.end()), met.end());
    int home;
    if (met.empty()) {
      home = basins.make(field.plate[at]);
    } else {
      home = met[0];
      for (int b : met)
        if (basins[b].peak > basins[home].peak) home = b;
      for (int b : met) {
        if (b == home) continue;
        const double dip = std::min(basins[home].peak, basins[b].peak) - field.plate[at];
        if (dip >= rules.mergeDepth) continue;
        if (std::fabs(basins[home].meanNormal().dot(basins[b].meanNormal())) < cosMerge) continue;
        basins.unite(home, b);
      }
    }
    label[at] = home;
    basins.add(home, field.normal[at]);
  }

  // One segment per final basin, the highest peaks first.
  std::vector<std::vector<size_t>> members;
  std::vector<float> peaks;
  std::vector<int> slot;
  for (size_t at : order) {
    const int r = basins.root(label[at]);
    if (static_cast<size_t>(r) >= slot.size()) slot.resize(r + 1, -1);
    if (slot[r] < 0) {
      slot[r] = static_cast<int>(members.size());
      members.emplace_back();
      peaks.push_back(basins[r].peak);
    }
    members[slot[r]].push_back(at);
  }
  std::vector<size_t> byPeak(members.size());
  std::iota(byPeak.begin(), byPeak.end(), 0);
  std::stable_sort(byPeak.begin(), byPeak.end(), [&](size_t a, size_t b) { return peaks[a] > peaks[b]; });
  std::vector<Segment> segments;
  tinyCount = 0;
  for (size_t m : byPeak) {
    if (members[m].size() < static_cast<size_t>(rules.tinyVoxels)) {
      ++tinyCount;
      continue;
    }
    Segment s;
    s.id = static_cast<int>(segments.size()) + 1;
    s.method = "plate watershed";
    s.core = std::move(members[m]);
    std::sort(s.core.begin(), s.core.end());
    s.voxels = s.core;
    segments.push_back(std::move(s));
  }
  return segments;
}

}  // namespace find
}  // namespace vel
