#include <algorithm>
#include <cmath>
#include <numeric>

#include "velmorantique/points.h"

namespace {

// Cells are indexed only within this reach, where the rounding of a
// coordinate divided by the cell size stays far below the margin given to
// the cells; beyond it, or for coordinates that are not finite, the grid
// falls back to scanning every point.
constexpr double kCellReach = 1.0e6;
// Distinct cell indices per axis: the reach on either side, a neighbour cell
// beyond it and a margin. Its cube must stay below the largest long long.
constexpr long long kKeySpan = 2 * 1000000LL + 8;
static_assert(kKeySpan / 2 > kCellReach + 1, "a neighbour of an indexed cell needs a key");
static_assert(kKeySpan * kKeySpan <= 9223372036854775807LL / kKeySpan, "cell keys must not overflow");

long long cellKey(const long long c[3]) {
  return ((c[0] + kKeySpan / 2) * kKeySpan + (c[1] + kKeySpan / 2)) * kKeySpan + (c[2] + kKeySpan / 2);
}

}  // namespace

PointGrid::PointGrid(const PointList& points, double radius)
    : points_(points), radius_(radius), cellSize_(radius * 1.000001) {
  if (!(radius > 0) || !std::isfinite(radius) || radius_ < 1e-3) return;
  std::vector<long long> keys(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    long long c[3];
    if (!cellOf(points[i], c)) return;
    keys[i] = cellKey(c);
  }
  order_.resize(points.size());
  std::iota(order_.begin(), order_.end(), 0);
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return keys[a] < keys[b]; });
  keys_.resize(points.size());
  for (size_t i = 0; i < order_.size(); ++i) keys_[i] = keys[order_[i]];
  indexed_ = true;
}

bool PointGrid::cellOf(Coordinate p, long long cell[3]) const {
  const double v[3] = {p.x / cellSize_, p.y / cellSize_, p.z / cellSize_};
  for (int a = 0; a < 3; ++a) {
    if (!(std::fabs(v[a]) <= kCellReach)) return false;
    cell[a] = static_cast<long long>(std::floor(v[a]));
  }
  return true;
}

bool PointGrid::anyCloserThan(Coordinate query) const {
  long long c[3];
  if (!indexed_ || !cellOf(query, c)) {
    for (const Coordinate& p : points_)
      if (getDistance(query, p) < radius_) return true;
    return false;
  }
  for (long long dx = -1; dx <= 1; ++dx) {
    for (long long dy = -1; dy <= 1; ++dy) {
      for (long long dz = -1; dz <= 1; ++dz) {
        const long long n[3] = {c[0] + dx, c[1] + dy, c[2] + dz};
        const long long key = cellKey(n);
        auto range = std::equal_range(keys_.begin(), keys_.end(), key);
        for (auto it = range.first; it != range.second; ++it)
          if (getDistance(query, points_[order_[it - keys_.begin()]]) < radius_) return true;
      }
    }
  }
  return false;
}
