#include <algorithm>
#include <cmath>
#include <cstddef>
#include <queue>
#include <unordered_map>
#include <utility>
#include <vector>

#include "point_classes.h"
#include "velmorantique/points.h"

// Halves go away from zero. The truncation is done in double: it gives the
// same value as truncating to a 32-bit integer wherever that integer exists,
// and stays defined for distances too large for one (and for not-a-number,
// which stays not-a-number).
double round(double& value, int16_t decimals) {
  double scale = std::pow(10.0, decimals);
  double half = value < 0 ? -0.5 : 0.5;
  return std::trunc(value * scale + half) / scale;
}

namespace {

constexpr double kSeedStart = 9999.0;  // seed searches start here; nothing this far seeds
// A distance rounded to 3 decimals is below a bound only if the distance
// itself is below the bound plus half a thousandth; searches reach this much
// further than the bound, and a little more for the rounding of cell bounds.
constexpr double kRoundingReach = 0.002;

// One growing cluster: members in joining order, and the running centroid.
struct Growth {
  PointList members;
  Coordinate centroid;
  void join(const Coordinate& p) {
    members.push_back(p);
    double k = static_cast<double>(members.size());
    centroid.x = ((k - 1) * centroid.x + p.x) / k;
    centroid.y = ((k - 1) * centroid.y + p.y) / k;
    centroid.z = ((k - 1) * centroid.z + p.z) / k;
  }
};

// The clustering with every seed search and growth sweep a scan of the whole
// cloud, for clouds whose coordinates cells cannot bound.
void clusterWithScans(const PointList& points, ClusterList& clusters, Coordinate start, double threshold) {
  const std::size_t n = points.size();
  std::vector<bool> assigned(n, false);
  std::size_t assignedCount = 0;
  Coordinate reference = start;
  while (assignedCount < n) {
    double best = kSeedStart;
    int seed = -1;
    for (std::size_t j = 0; j < n; ++j) {
      if (assigned[j]) continue;
      double d = getDistance(reference, points[j]);
      d = round(d, 3);
      if (best > d) {
        best = d;
        seed = static_cast<int>(j);
      }
    }
    if (seed < 0) break;
    Growth g;
    g.members.push_back(points[seed]);
    g.centroid = points[seed];
    assigned[seed] = true;
    ++assignedCount;
    bool grew = true;
    while (grew && assignedCount < n) {
      grew = false;
      for (std::size_t j = 0; j < n && assignedCount < n; ++j) {
        double d = getDistance(points[j], g.centroid);
        d = round(d, 3);
        if (!assigned[j] && d < threshold) {
          assigned[j] = true;
          ++assignedCount;
          g.join(points[j]);
          grew = true;
        }
      }
    }
    reference = g.centroid;
    g.members.push_back(g.centroid);
    clusters.push_back(g.members);
  }
}

// The cloud bucketed into cubic cells, each listing its unassigned points in
// list order. A growth sweep merges the lists of the cells within reach of
// the running centroid, so it meets the candidates in list order as a scan
// would, and skips only points too far from the centroid to join.
class CellIndex {
 public:
  CellIndex(const PointList& points, double threshold, double margin) : points_(points), margin_(margin) {
    double lo[3] = {points[0].x, points[0].y, points[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
    for (const Coordinate& p : points) {
      const double v[3] = {p.x, p.y, p.z};
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::min(lo[a], v[a]);
        hi[a] = std::max(hi[a], v[a]);
      }
    }
    const double extent = std::max(hi[0] - lo[0], std::max(hi[1] - lo[1], hi[2] - lo[2]));
    extent_ = extent;
    // Cells about as wide as the threshold; never so narrow that cell
    // numbers would run out.
    size_ = (threshold > 0 && std::isfinite(threshold)) ? threshold + kRoundingReach : extent / 64;
    size_ = std::max(size_, std::max(extent / 1048576.0, 1e-6));
    for (int a = 0; a < 3; ++a) {
      lo_[a] = lo[a];
      dims_[a] = static_cast<long long>(std::floor((hi[a] - lo[a]) / size_)) + 1;
    }
    for (size_t j = 0; j < points.size(); ++j) {
      long long c[3];
      cellOf(points[j], c);
      const long long key = keyOf(c);
      auto it = cellOfKey_.find(key);
      int id;
      if (it == cellOfKey_.end()) {
        id = static_cast<int>(cells_.size());
        cellOfKey_.emplace(key, id);
        cells_.emplace_back();
      } else {
        id = it->second;
      }
      cells_[id].push_back(static_cast<int>(j));
    }
    assigned_.assign(points.size(), false);
    activeIn_.assign(cells_.size(), 0);
    touched_.assign(cells_.size(), false);
  }

  std::size_t assignedCount() const { return assignedCount_; }

  void assign(int j) {
    assigned_[j] = true;
    ++assignedCount_;
  }

  // The unassigned point nearest to the reference by distance rounded to 3
  // decimals, the first in list order on ties; -1 if none is below 9999.
  // Cells are searched in growing shells around the reference until no
  // further shell can hold a point as near.
  int seed(Coordinate reference) {
    long long rc[3];
    cellOf(reference, rc);
    long long first = 0, last = 0;  // shells that meet the grid
    for (int a = 0; a < 3; ++a) {
      const long long below = rc[a] < 0 ? -rc[a] : 0, above = rc[a] >= dims_[a] ? rc[a] - dims_[a] + 1 : 0;
      first = std::max(first, std::max(below, above));
      last = std::max(last, std::max(rc[a], dims_[a] - 1 - rc[a]));
    }
    double best = kSeedStart;
    int seed = -1;
    auto consider = [&](int j) {
      if (assigned_[j]) return;
      double d = getDistance(reference, points_[j]);
      d = round(d, 3);
      if (best > d || (seed >= 0 && d == best && j < seed)) {
        best = d;
        seed = j;
      }
    };
    for (long long s = first; s <= last; ++s) {
      // Points of later shells lie at least s cells away along some axis.
      if (seed >= 0 && static_cast<double>(s - 1) * size_ > best + kRoundingReach + margin_) break;
      long long lo[3], hi[3];
      long long volume = 1;
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::max(rc[a] - s, 0LL);
        hi[a] = std::min(rc[a] + s, dims_[a] - 1);
        volume *= hi[a] - lo[a] + 1;
      }
      if (volume > 8 * static_cast<long long>(cells_.size()) + 64) {
        // Shells this wide hold mostly empty cells: look at every cell instead.
        for (const std::vector<int>& cell : cells_)
          for (int j : cell) consider(j);
        break;
      }
      for (long long x = lo[0]; x <= hi[0]; ++x)
        for (long long y = lo[1]; y <= hi[1]; ++y)
          for (long long z = lo[2]; z <= hi[2]; ++z) {
            const long long cheb = std::max(std::llabs(x - rc[0]), std::max(std::llabs(y - rc[1]), std::llabs(z - rc[2])));
            if (cheb != s) continue;
            const long long c[3] = {x, y, z};
            auto it = cellOfKey_.find(keyOf(c));
            if (it == cellOfKey_.end()) continue;
            touched_[it->second] = true;
            for (int j : cells_[it->second]) consider(j);
          }
    }
    return seed;
  }

  // One growth sweep: every unassigned point, in list order, that lies
  // (rounded) closer than the threshold to the centroid as it stands joins.
  // Returns whether any point joined.
  bool sweep(Growth& g, double threshold) {
    ++sweepId_;
    // Beyond the extent of the cloud every cell is in reach anyway (and an
    // infinite or not-a-number threshold has no cell number).
    double reach = threshold + kRoundingReach + margin_;
    if (!(reach < extent_ + size_)) reach = extent_ + size_;
    using Entry = std::pair<int, int>;  // (list position, cell)
    std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> heap;
    cursor_.resize(cells_.size());
    int lastVisited = -1;
    long long range[3][2] = {{1, 0}, {1, 0}, {1, 0}};

    auto addCellsInReach = [&]() {
      long long lo[3], hi[3];
      const double c[3] = {g.centroid.x, g.centroid.y, g.centroid.z};
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::max(static_cast<long long>(std::floor((c[a] - reach - lo_[a]) / size_)), 0LL);
        hi[a] = std::min(static_cast<long long>(std::floor((c[a] + reach - lo_[a]) / size_)), dims_[a] - 1);
      }
      if (lo[0] == range[0][0] && hi[0] == range[0][1] && lo[1] == range[1][0] && hi[1] == range[1][1] &&
          lo[2] == range[2][0] && hi[2] == range[2][1])
        return;
      for (int a = 0; a < 3; ++a) {
        range[a][0] = lo[a];
        range[a][1] = hi[a];
      }
      for (long long x = lo[0]; x <= hi[0]; ++x)
        for (long long y = lo[1]; y <= hi[1]; ++y)
          for (long long z = lo[2]; z <= hi[2]; ++z) {
            const long long cc[3] = {x, y, z};
            auto it = cellOfKey_.find(keyOf(cc));
            if (it == cellOfKey_.end()) continue;
            const int id = it->second;
            if (activeIn_[id] == sweepId_) continue;
            activeIn_[id] = sweepId_;
            touched_[id] = true;
            const std::vector<int>& cell = cells_[id];
            const std::size_t k = static_cast<std::size_t>(
                std::upper_bound(cell.begin(), cell.end(), lastVisited) - cell.begin());
            cursor_[id] = k;
            if (k < cell.size()) heap.push({cell[k], id});
          }
    };

    bool grew = false;
    addCellsInReach();
    while (!heap.empty() && assignedCount_ < points_.size()) {
      const auto [j, id] = heap.top();
      heap.pop();
      lastVisited = j;
      const std::vector<int>& cell = cells_[id];
      if (++cursor_[id] < cell.size()) heap.push({cell[cursor_[id]], id});
      if (assigned_[j]) continue;
      double d = getDistance(points_[j], g.centroid);
      d = round(d, 3);
      if (d < threshold) {
        assign(j);
        g.join(points_[j]);
        grew = true;
        addCellsInReach();
      }
    }
    return grew;
  }

  // Drops assigned points from the lists of the cells searched lately.
  void compact() {
    for (std::size_t id = 0; id < cells_.size(); ++id) {
      if (!touched_[id]) continue;
      touched_[id] = false;
      std::vector<int>& cell = cells_[id];
      cell.erase(std::remove_if(cell.begin(), cell.end(), [&](int j) { return assigned_[j]; }), cell.end());
    }
  }

 private:
  void cellOf(Coordinate p, long long c[3]) const {
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) c[a] = static_cast<long long>(std::floor((v[a] - lo_[a]) / size_));
  }
  long long keyOf(const long long c[3]) const { return (c[0] * dims_[1] + c[1]) * dims_[2] + c[2]; }

  const PointList& points_;
  double margin_;
  double size_ = 1;
  double extent_ = 0;
  double lo_[3] = {0, 0, 0};
  long long dims_[3] = {1, 1, 1};
  std::unordered_map<long long, int> cellOfKey_;
  std::vector<std::vector<int>> cells_;
  std::vector<std::size_t> cursor_;
  std::vector<int> activeIn_;
  std::vector<bool> touched_;
  int sweepId_ = 0;
  std::vector<bool> assigned_;
  std::size_t assignedCount_ = 0;
};

}  // namespace

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold) {
  if (points.empty()) return;
  double scale = 0, startScale = 0;
  if (!point_classes::indexable(points, scale) || !point_classes::indexable(PointList{start}, startScale)) {
    clusterWithScans(points, clusters, start, threshold);
    return;
  }
  CellIndex cells(points, threshold, point_classes::marginFor(std::max(scale, startScale)));
  const std::size_t n = points.size();

  // Each new cluster is seeded next to the centroid of the previous one, so
  // the clusters tile the cloud patch by patch.
  Coordinate reference = start;
  while (cells.assignedCount() < n) {
    const int seed = cells.seed(reference);
    // Points are left but none is within reach of the reference point (or
    // their distances are not numbers): no further cluster can be seeded.
    if (seed < 0) break;

    Growth g;
    g.members.push_back(points[seed]);
    g.centroid = points[seed];
    cells.assign(seed);
    // Sweep the cloud again and again while the cluster still grows; a point
    // joins when it lies within the threshold of the centroid as it stands at
    // that moment.
    bool grew = true;
    while (grew && cells.assignedCount() < n) grew = cells.sweep(g, threshold);

    reference = g.centroid;
    g.members.push_back(g.centroid);
    clusters.push_back(std::move(g.members));
    cells.compact();
  }
}

int findClosestPointInSet(const PointList& points, Coordinate query) {
  // A point at distance 0 is the query itself (or a duplicate of it) and is
  // never its own neighbour.
  double best = 999.0;
  int closest = -1;
  for (std::size_t i = 0; i < points.size(); ++i) {
    double d = getDistance(query, points[i]);
    if (best > d && d > 0) {
      best = d;
      closest = static_cast<int>(i);
    }
  }
  return closest;
}
