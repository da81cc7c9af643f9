#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "point_classes.h"
#include "velmorantique/points.h"

namespace vel {

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
// list order. A growth sweep marks the points of the cells within reach of
// the running centroid and visits the marked points in list order, as a scan
// would, skipping only points too far from the centroid to join; when a
// point joins and the centroid's reach takes in new cells, their later
// points are marked too.
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
    extent_ = std::max(hi[0] - lo[0], std::max(hi[1] - lo[1], hi[2] - lo[2]));
    // Cells a third of the threshold wide, so that the cells in reach hug
    // the ball a point must lie in to join; wider when that would make too
    // many cells for the cloud.
    size_ = (threshold > 0 && std::isfinite(threshold)) ? (threshold + kRoundingReach) / 3 : extent_ / 16;
    size_ = std::max(size_, 1e-6);
    const long long limit = std::max(1LL << 20, 8 * static_cast<long long>(points.size()));
    for (;;) {
      long long cells = 1;
      for (int a = 0; a < 3; ++a) {
        lo_[a] = lo[a];
        dims_[a] = static_cast<long long>(std::floor((hi[a] - lo[a]) / size_)) + 1;
        cells *= dims_[a];
        if (cells > limit) break;
      }
      if (cells <= limit) break;
      size_ *= 2;
    }
    const size_t cells = static_cast<size_t>(dims_[0] * dims_[1] * dims_[2]);
    start_.assign(cells + 1, 0);
    std::vector<int> cellOfPoint(points.size());
    for (size_t j = 0; j < points.size(); ++j) {
      long long c[3];
      cellOf(points[j], c);
      cellOfPoint[j] = static_cast<int>((c[0] * dims_[1] + c[1]) * dims_[2] + c[2]);
      ++start_[cellOfPoint[j] + 1];
    }
    for (size_t c = 1; c < start_.size(); ++c) start_[c] += start_[c - 1];
    end_.assign(start_.begin(), start_.end() - 1);
    members_.resize(points.size());
    for (size_t j = 0; j < points.size(); ++j) members_[end_[cellOfPoint[j]]++] = static_cast<int>(j);
    markedIn_.assign(cells, 0);
    assigned_.assign(points.size(), false);
    candidates_.assign((points.size() + 63) / 64, 0);
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
    // A point whose squared distance exceeds (best + the rounding reach)
    // squared rounds above best: only nearer points are measured.
    double reachSq = (best + kRoundingReach) * (best + kRoundingReach);
    auto visitCell = [&](long long id) {
      for (int k = start_[id]; k < end_[id]; ++k) {
        const int j = members_[k];
        if (assigned_[j]) continue;
        const double dx = reference.x - points_[j].x, dy = reference.y - points_[j].y, dz = reference.z - points_[j].z;
        if (dx * dx + dy * dy + dz * dz > reachSq) continue;
        double d = getDistance(reference, points_[j]);
        d = round(d, 3);
        if (best > d || (seed >= 0 && d == best && j < seed)) {
          best = d;
          seed = j;
          reachSq = (best + kRoundingReach) * (best + kRoundingReach);
        }
      }
    };
    for (long long s = first; s <= last; ++s) {
      // Points of later shells lie at least s cells away along some axis.
      if (seed >= 0 && static_cast<double>(s - 1) * size_ > best + kRoundingReach + margin_) break;
      long long lo[3], hi[3];
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::max(rc[a] - s, 0LL);
        hi[a] = std::min(rc[a] + s, dims_[a] - 1);
      }
      for (long long x = lo[0]; x <= hi[0]; ++x) {
        for (long long y = lo[1]; y <= hi[1]; ++y) {
          const bool inside = std::llabs(x - rc[0]) < s && std::llabs(y - rc[1]) < s;
          // Within the shell's inner columns only its two end cells belong to it.
          for (long long z = lo[2]; z <= hi[2]; z += (inside && s > 0 && z == rc[2] - s ? 2 * s : 1)) {
            if (std::max(std::llabs(x - rc[0]), std::max(std::llabs(y - rc[1]), std::llabs(z - rc[2]))) != s) continue;
            visitCell((x * dims_[1] + y) * dims_[2] + z);
          }
        }
      }
    }
    return seed;
  }

  // Whether p joins a cluster whose centroid is c: its distance rounded to
  // 3 decimals is below the threshold. Far enough inside or outside the
  // threshold the squared distance alone decides (rounding moves a distance
  // by half a thousandth at most); only near it is the distance rounded.
  static bool joins(const Coordinate& p, const Coordinate& c, double threshold) {
    if (threshold > 0.01 && threshold < 1e6) {
      const double dx = p.x - c.x, dy = p.y - c.y, dz = p.z - c.z;
      const double squared = dx * dx + dy * dy + dz * dz;
      const double inner = threshold - kRoundingReach, outer = threshold + kRoundingReach;
      if (squared < inner * inner) return true;
      if (squared > outer * outer) return false;
    }
    double d = getDistance(p, c);
    d = round(d, 3);
    return d < threshold;
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
    int visited = -1;  // the last list position the sweep has passed
    long long box[3][2] = {{1, 0}, {1, 0}, {1, 0}};

    // Marks the later points of the cells in reach of the centroid, dropping
    // assigned points from their lists on the way.
    auto markCellsInReach = [&]() {
      long long lo[3], hi[3];
      const double c[3] = {g.centroid.x, g.centroid.y, g.centroid.z};
      for (int a = 0; a < 3; ++a) {
        lo[a] = std::max(static_cast<long long>(std::floor((c[a] - reach - lo_[a]) / size_)), 0LL);
        hi[a] = std::min(static_cast<long long>(std::floor((c[a] + reach - lo_[a]) / size_)), dims_[a] - 1);
      }
      if (lo[0] == box[0][0] && hi[0] == box[0][1] && lo[1] == box[1][0] && hi[1] == box[1][1] &&
          lo[2] == box[2][0] && hi[2] == box[2][1])
        return;
      long long old[3][2];
      for (int a = 0; a < 3; ++a) {
        old[a][0] = box[a][0];
        old[a][1] = box[a][1];
        box[a][0] = lo[a];
        box[a][1] = hi[a];
      }
      for (long long x = lo[0]; x <= hi[0]; ++x) {
        for (long long y = lo[1]; y <= hi[1]; ++y) {
          const long long row = (x * dims_[1] + y) * dims_[2];
          // Cells of the previous box were marked then: only the new ones count.
          const bool column = x >= old[0][0] && x <= old[0][1] && y >= old[1][0] && y <= old[1][1];
          for (long long z = lo[2]; z <= hi[2]; ++z) {
            if (column && z >= old[2][0] && z <= old[2][1]) {
              z = old[2][1];
              continue;
            }
            const long long id = row + z;
            if (markedIn_[id] == sweepId_) continue;
            markedIn_[id] = sweepId_;
            int kept = start_[id];
            for (int k = start_[id]; k < end_[id]; ++k) {
              const int j = members_[k];
              if (assigned_[j]) continue;
              members_[kept++] = j;
              if (j > visited) candidates_[j >> 6] |= 1ULL << (j & 63);
            }
            end_[id] = kept;
          }
        }
      }
    };

    bool grew = false;
    markCellsInReach();
    const int words = static_cast<int>(candidates_.size());
    for (int w = 0; w < words && assignedCount_ < points_.size(); ++w) {
      while (candidates_[w] != 0 && assignedCount_ < points_.size()) {
        const int j = w * 64 + __builtin_ctzll(candidates_[w]);
        candidates_[w] &= candidates_[w] - 1;
        visited = j;
        if (assigned_[j]) continue;
        if (!joins(points_[j], g.centroid, threshold)) continue;
        assign(j);
        g.join(points_[j]);
        grew = true;
        markCellsInReach();
      }
    }
    std::fill(candidates_.begin(), candidates_.end(), 0);
    return grew;
  }

 private:
  void cellOf(Coordinate p, long long c[3]) const {
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) c[a] = static_cast<long long>(std::floor((v[a] - lo_[a]) / size_));
  }

  const PointList& points_;
  double margin_;
  double size_ = 1;
  double extent_ = 0;
  double lo_[3] = {0, 0, 0};
  long long dims_[3] = {1, 1, 1};
  // Cell id (x, then y, then z) -> its points, members_[start_[id], end_[id]),
  // in list order; assigned points are dropped as cells are marked.
  std::vector<int> start_, end_, members_;
  std::vector<int> markedIn_;          // the sweep that last marked each cell
  std::vector<uint64_t> candidates_;   // points marked for the current sweep, one bit each
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
  }
}

int findClosestPointInSet(const PointList& points, Coordinate query) {
  // A point at distance 0 is the query itself (or a duplicate of it) and is
  // never its own neighbour.
  double best = kNoNeighbour;
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

}  // namespace vel
