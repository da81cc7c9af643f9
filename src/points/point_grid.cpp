#include <algorithm>
#include <cmath>
#include <numeric>

#include "velmorantique/points.h"

namespace vel {

namespace {

// Cells are indexed only while a coordinate divided by the cell size is
// within reach (withinReach), where its rounding stays far below the margin
// given to the cells; beyond it, or for coordinates that are not finite, the
// grid falls back to scanning every point.
// Distinct cell indices per axis: the reach on either side, a neighbour cell
// beyond it and a margin. Its cube must stay below the largest long long.
constexpr long long kKeySpan = 2 * 1000000LL + 8;
static_assert(kKeySpan / 2 > kCoordinateReach + 1, "a neighbour of an indexed cell needs a key");
static_assert(kKeySpan * kKeySpan <= 9223372036854775807LL / kKeySpan, "cell keys must not overflow");

long long cellKey(const long long c[3]) {
  return ((c[0] + kKeySpan / 2) * kKeySpan + (c[1] + kKeySpan / 2)) * kKeySpan + (c[2] + kKeySpan / 2);
}

}  // namespace

PointGrid::PointGrid(const PointList& points, double radius)
    : points_(points), radius_(radius), cellSize_(radius * 1.000001) {
  if (!(radius > 0) || !std::isfinite(radius) || radius_ < 1e-3) return;
  std::vector<long long> keys(points.size());
  long long lo[3] = {0, 0, 0}, hi[3] = {-1, -1, -1};
  for (size_t i = 0; i < points.size(); ++i) {
    long long c[3];
    if (!cellOf(points[i], c)) return;
    keys[i] = cellKey(c);
    for (int a = 0; a < 3; ++a) {
      if (i == 0 || c[a] < lo[a]) lo[a] = c[a];
      if (i == 0 || c[a] > hi[a]) hi[a] = c[a];
    }
  }
  order_.resize(points.size());
  std::iota(order_.begin(), order_.end(), 0);
  std::stable_sort(order_.begin(), order_.end(), [&](int a, int b) { return keys[a] < keys[b]; });
  keys_.resize(points.size());
  ordered_.resize(points.size());
  for (size_t i = 0; i < order_.size(); ++i) {
    keys_[i] = keys[order_[i]];
    ordered_[i] = points[order_[i]];
  }
  indexed_ = true;

  // Dense cells when the box of occupied cells is small: at most about a
  // million cells, or eight per point.
  if (points.empty()) return;
  long long cells = 1;
  for (int a = 0; a < 3; ++a) {
    low_[a] = lo[a];
    dims_[a] = hi[a] - lo[a] + 1;
    cells *= dims_[a];
    if (cells > std::max(1LL << 20, 8 * static_cast<long long>(points.size()))) return;
  }
  start_.assign(static_cast<size_t>(cells) + 1, 0);
  // Key order is x, then y, then z cell order, as is the dense numbering.
  for (size_t i = 0; i < order_.size(); ++i) {
    long long c[3];
    cellOf(ordered_[i], c);
    ++start_[((c[0] - low_[0]) * dims_[1] + (c[1] - low_[1])) * dims_[2] + (c[2] - low_[2]) + 1];
  }
  for (size_t k = 1; k < start_.size(); ++k) start_[k] += start_[k - 1];
  dense_ = true;
}

bool PointGrid::cellOf(Coordinate p, long long cell[3]) const {
  const Coordinate v(p.x / cellSize_, p.y / cellSize_, p.z / cellSize_);
  if (!withinReach(v)) return false;
  for (int a = 0; a < 3; ++a) cell[a] = static_cast<long long>(std::floor(axisValue(v, a)));
  return true;
}

bool PointGrid::anyCloserThan(Coordinate query) const {
  int hint = -1;
  return anyCloserThan(query, hint);
}

bool PointGrid::anyCloserThan(Coordinate query, int& hint) const {
  if (hint >= 0 && hint < static_cast<int>(ordered_.size()) && getDistance(query, ordered_[hint]) < radius_)
    return true;
  long long c[3];
  if (!indexed_ || !cellOf(query, c)) {
    for (const Coordinate& p : points_)
      if (getDistance(query, p) < radius_) return true;
    return false;
  }
  if (dense_) {
    long long lo[3], hi[3];
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::max(c[a] - 1, low_[a]) - low_[a];
      hi[a] = std::min(c[a] + 1, low_[a] + dims_[a] - 1) - low_[a];
      if (lo[a] > hi[a]) return false;
    }
    for (long long x = lo[0]; x <= hi[0]; ++x) {
      for (long long y = lo[1]; y <= hi[1]; ++y) {
        const long long row = (x * dims_[1] + y) * dims_[2];
        for (int k = start_[row + lo[2]], end = start_[row + hi[2] + 1]; k < end; ++k) {
          if (getDistance(query, ordered_[k]) < radius_) {
            hint = k;
            return true;
          }
        }
      }
    }
    return false;
  }
  for (long long dx = -1; dx <= 1; ++dx) {
    for (long long dy = -1; dy <= 1; ++dy) {
      for (long long dz = -1; dz <= 1; ++dz) {
        const long long n[3] = {c[0] + dx, c[1] + dy, c[2] + dz};
        const long long key = cellKey(n);
        auto range = std::equal_range(keys_.begin(), keys_.end(), key);
        for (auto it = range.first; it != range.second; ++it) {
          const int k = static_cast<int>(it - keys_.begin());
          if (getDistance(query, ordered_[k]) < radius_) {
            hint = k;
            return true;
          }
        }
      }
    }
  }
  return false;
}

}  // namespace vel
