#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <vector>

#include "point_classes.h"
#include "velmorantique/points.h"

namespace vel {

namespace {

constexpr double kSamePoint = 0.001;  // points this close to the walk's current point are used up with it

// One step of the walk, resampled: a starts the step, b is not emitted.
void emitStep(PointList& stick, Coordinate a, Coordinate b, double spacing) {
  double length = Vectors(a, b).length();
  if (length > spacing) {
    // t grows by repeated addition, so a 1 Å step sampled every 0.1 Å gets
    // 11 points (t reaches 0.9999999999999999 before 1).
    for (double t = 0; t < length; t += spacing) stick.push_back(pointOnLine(a, b, t));
  } else {
    stick.push_back(a);
  }
}

// The walk with every nearest point found by a scan of the remaining cloud,
// for clouds whose coordinates no sorted sweep can bound.
void walkWithScans(PointList& stick, PointList remaining, double spacing) {
  int cur = findFarestPointInOneSet(remaining)[0];
  if (cur < 0) return;
  int nxt = findClosestPointInSet(remaining, remaining[cur]);
  while (remaining.size() > 2 && cur != -1 && nxt != -1) {
    Coordinate a = remaining[cur];
    emitStep(stick, a, remaining[nxt], spacing);
    PointList rest;
    for (const Coordinate& p : remaining)
      if (!(getDistance(a, p) < kSamePoint)) rest.push_back(p);
    remaining = rest;
    cur = findClosestPointInSet(remaining, a);
    if (cur == -1) break;
    nxt = findClosestPointInSet(remaining, remaining[cur]);
  }
}

// The positions of finite values in ascending order, equal values (0 and -0
// among them) in their order in the list: the order a stable sort by < gives.
// Sorted by the bits of the values, a byte at a time from the lowest, with
// the bits mapped so that their order is that of the values; a byte that all
// values share is passed over.
std::vector<int> stableOrder(const std::vector<double>& values) {
  const size_t m = values.size();
  std::vector<uint64_t> keys(m);
  for (size_t k = 0; k < m; ++k) {
    const uint64_t b = bitsOf(values[k] == 0 ? 0.0 : values[k]);
    keys[k] = (b >> 63) ? ~b : b | (uint64_t(1) << 63);
  }
  std::vector<int> order(m), next(m);
  std::iota(order.begin(), order.end(), 0);
  for (int shift = 0; shift < 64; shift += 8) {
    size_t start[257] = {0};
    for (size_t k = 0; k < m; ++k) ++start[((keys[k] >> shift) & 0xff) + 1];
    if (m == 0 || start[((keys[0] >> shift) & 0xff) + 1] == m) continue;
    for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
    for (int k : order) next[start[(keys[k] >> shift) & 0xff]++] = k;
    order.swap(next);
  }
  return order;
}

// The distinct points of the cloud sorted along its widest axis, in a list
// from which used-up points are unlinked. A nearest-point search sweeps out
// from the query's place in the list in both directions and stops where the
// gap along the axis alone exceeds the best distance found: along a line the
// nearest remaining point is then a step or two away.
class SweepList {
 public:
  SweepList(const point_classes::Classes& classes, double margin) : margin_(margin) {
    const PointList& d = classes.distinct;
    const int m = static_cast<int>(d.size());
    double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
    for (int k = 0; k < m; ++k) {
      const double v[3] = {d[k].x, d[k].y, d[k].z};
      for (int a = 0; a < 3; ++a) {
        if (k == 0 || v[a] < lo[a]) lo[a] = v[a];
        if (k == 0 || v[a] > hi[a]) hi[a] = v[a];
      }
    }
    axis_ = 0;
    for (int a = 1; a < 3; ++a)
      if (hi[a] - lo[a] > hi[axis_] - lo[axis_]) axis_ = a;
    std::vector<double> value(m);
    for (int k = 0; k < m; ++k) value[k] = axisValue(d[k], axis_);
    const std::vector<int> order = stableOrder(value);
    rank_.resize(m);
    pts_.resize(m);
    key_.resize(m);
    first_.resize(m);
    count_.resize(m);
    prev_.resize(m);
    next_.resize(m);
    alive_.assign(m, true);
    for (int s = 0; s < m; ++s) {
      const int k = order[s];
      rank_[k] = s;
      pts_[s] = d[k];
      key_[s] = axisValue(d[k], axis_);
      first_[s] = classes.first[k];
      count_[s] = classes.count[k];
      prev_[s] = s - 1;
      next_[s] = s + 1 < m ? s + 1 : -1;
    }
  }

  int positionOfClass(int k) const { return rank_[k]; }
  const Coordinate& point(int s) const { return pts_[s]; }
  const PointList& points() const { return pts_; }
  long long aliveCount() const { return aliveCount_; }
  void setAliveCount(long long n) { aliveCount_ = n; }

  // Position of the remaining point nearest to the point at position s (which
  // may itself be used up): the smallest distance above 0 and below 999, the
  // earliest in the cloud on ties; -1 if none.
  int nearest(int s) const {
    const Coordinate q = pts_[s];
    const double kq = key_[s];
    double best = kNoNeighbour;
    int found = -1;
    auto consider = [&](int k) {
      const double d = getDistance(q, pts_[k]);
      if (!(d > 0)) return;
      if (d < best || (found >= 0 && d == best && first_[k] < first_[found])) {
        best = d;
        found = k;
      }
    };
    for (int k = alive_[s] ? prev_[s] : aliveBefore(s); k >= 0 && !(kq - key_[k] > best + margin_); k = prev_[k])
      consider(k);
    for (int k = alive_[s] ? next_[s] : aliveAfter(s); k >= 0 && !(key_[k] - kq > best + margin_); k = next_[k])
      consider(k);
    return found;
  }

  // Unlinks every remaining point closer than kSamePoint to the point at s,
  // that point included.
  void useUp(int s) {
    const Coordinate a = pts_[s];
    const double ka = key_[s];
    for (int k = prev_[s]; k >= 0 && !(ka - key_[k] > kSamePoint + margin_);) {
      const int before = prev_[k];
      if (getDistance(a, pts_[k]) < kSamePoint) unlink(k);
      k = before;
    }
    for (int k = next_[s]; k >= 0 && !(key_[k] - ka > kSamePoint + margin_);) {
      const int after = next_[k];
      if (getDistance(a, pts_[k]) < kSamePoint) unlink(k);
      k = after;
    }
    unlink(s);
  }

 private:
  void unlink(int s) {
    alive_[s] = false;
    aliveCount_ -= count_[s];
    if (prev_[s] >= 0) next_[prev_[s]] = next_[s];
    if (next_[s] >= 0) prev_[next_[s]] = prev_[s];
  }
  // A used-up position keeps the neighbours it had when unlinked, which were
  // remaining then; following them leads to the nearest remaining ones.
  int aliveBefore(int s) const {
    int k = prev_[s];
    while (k >= 0 && !alive_[k]) k = prev_[k];
    return k;
  }
  int aliveAfter(int s) const {
    int k = next_[s];
    while (k >= 0 && !alive_[k]) k = next_[k];
    return k;
  }

  double margin_;
  int axis_ = 0;
  std::vector<int> rank_;  // class -> position
  PointList pts_;
  std::vector<double> key_;
  std::vector<int> first_, count_, prev_, next_;
  std::vector<bool> alive_;
  long long aliveCount_ = 0;
};

}  // namespace

// Orders a cloud into a stick by a greedy nearest-neighbour walk from one end
// of its diameter, and resamples every step of the walk at the given spacing.
// The walk stops once two points or fewer are left; they are not emitted.
void fineStickUnordered(PointList& points, double spacing) {
  PointList cloud;
  cloud.swap(points);
  double scale = 0;
  if (!point_classes::indexable(cloud, scale)) {
    walkWithScans(points, cloud, spacing);
    return;
  }
  const point_classes::Classes classes = point_classes::gather(cloud);
  SweepList list(classes, point_classes::marginFor(scale));
  list.setAliveCount(static_cast<long long>(cloud.size()));

  std::vector<int> classOf(cloud.size());
  for (size_t i = 0; i < cloud.size(); ++i) classOf[i] = list.positionOfClass(classes.classOf[i]);
  const int start = PointSetIndex(list.points(), classOf, true).farthestPair()[0];
  if (start < 0) return;  // fewer than two distinct points: nothing to walk

  int cur = classOf[start];
  int nxt = list.nearest(cur);
  while (list.aliveCount() > 2 && cur != -1 && nxt != -1) {
    emitStep(points, list.point(cur), list.point(nxt), spacing);
    // Drop the point just left, with any point sitting on top of it.
    list.useUp(cur);
    cur = list.nearest(cur);
    if (cur == -1) break;
    nxt = list.nearest(cur);
  }
}

// Thins an ordered stick: a point closer than the gap to the last kept point
// is removed, until the first point far enough away. The last point of the
// stick is never removed.
void roughStick(PointList& points, double gap) {
  const size_t n = points.size();
  if (n == 0) return;
  PointList kept{points[0]};
  size_t cur = 0;
  while (cur + 1 < n) {
    size_t j = cur + 1;
    while (j + 1 < n && getDistance(points[cur], points[j]) < gap) ++j;
    kept.push_back(points[j]);
    cur = j;
  }
  points.swap(kept);
}

// Thins a stick outwards in both directions from the anchor, which is kept,
// as are both end points. An anchor outside the stick leaves it empty.
void roughStickFromIndx(PointList& points, double gap, int anchor) {
  const int n = static_cast<int>(points.size());
  if (anchor < 0 || anchor >= n) {
    points.clear();
    return;
  }

  PointList forward(points.begin() + anchor, points.end());
  PointList backward;
  for (int i = anchor; i >= 0; --i) backward.push_back(points[i]);
  roughStick(forward, gap);
  roughStick(backward, gap);

  points.clear();
  for (std::size_t i = backward.size() - 1; i >= 1; --i) points.push_back(backward[i]);
  points.insert(points.end(), forward.begin(), forward.end());
}

}  // namespace vel
