// A tree of bounding boxes over the distinct points of a list. Every pruning
// test compares a box bound with the best distance found so far plus a
// margin far above the rounding of either, so a box is skipped only when none
// of its points could equal or beat that distance; the points that remain are
// measured with getDistance exactly as a scan measures them.

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <queue>
#include <utility>

#include "point_classes.h"
#include "velmorantique/points.h"

namespace vel {

namespace {

// Sixteen points a leaf: the lines of the strand search are indexed for a
// handful of queries each, so building the tree weighs as much as searching it.
constexpr int kLeafSize = 16;

// Whether consecutive points lie close to each other compared with the
// extent of the whole list, as along a stick or a sorted line.
bool followsAPath(const PointList& points) {
  if (points.size() < 3) return true;
  double lo[3] = {points[0].x, points[0].y, points[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
  double path = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    const double v[3] = {points[i].x, points[i].y, points[i].z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
    if (i > 0) path += getDistance(points[i - 1], points[i]);
  }
  const double diagonal = std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                                    (hi[2] - lo[2]) * (hi[2] - lo[2]));
  return path <= 4 * diagonal;
}

// Box bounds. gapSquared is the squared distance from a box to a point or
// another box (0 when they overlap), minGap its root; maxSpan the largest
// distance between points of two boxes.
inline double gapSquared(const double lo[3], const double hi[3], Coordinate q) {
  const double v[3] = {q.x, q.y, q.z};
  double s = 0;
  for (int a = 0; a < 3; ++a) {
    double d = 0;
    if (v[a] < lo[a]) {
      d = lo[a] - v[a];
    } else if (v[a] > hi[a]) {
      d = v[a] - hi[a];
    }
    s += d * d;
  }
  return s;
}

double minGap(const double lo[3], const double hi[3], Coordinate q) { return std::sqrt(gapSquared(lo, hi, q)); }

inline double gapSquared(const double alo[3], const double ahi[3], const double blo[3], const double bhi[3]) {
  double s = 0;
  for (int a = 0; a < 3; ++a) {
    double d = 0;
    if (ahi[a] < blo[a]) {
      d = blo[a] - ahi[a];
    } else if (bhi[a] < alo[a]) {
      d = alo[a] - bhi[a];
    }
    s += d * d;
  }
  return s;
}

double maxSpan(const double alo[3], const double ahi[3], const double blo[3], const double bhi[3]) {
  double s = 0;
  for (int a = 0; a < 3; ++a) {
    const double d = std::max(ahi[a] - blo[a], bhi[a] - alo[a]);
    s += d * d;
  }
  return std::sqrt(s);
}


// The same bounds for the tree's boxes.
template <class Box>
inline double gapSquared(const Box& b, Coordinate q) {
  return gapSquared(b.lo, b.hi, q);
}
template <class Box>
double minGap(const Box& b, Coordinate q) {
  return minGap(b.lo, b.hi, q);
}
template <class Box>
inline double gapSquared(const Box& a, const Box& b) {
  return gapSquared(a.lo, a.hi, b.lo, b.hi);
}
template <class Box>
double maxSpan(const Box& a, const Box& b) {
  return maxSpan(a.lo, a.hi, b.lo, b.hi);
}

bool pairBefore(const IndexPair& a, const IndexPair& b) { return a[0] < b[0] || (a[0] == b[0] && a[1] < b[1]); }

}  // namespace

template <class Get>
PointSetIndex::Box PointSetIndex::boxOf(Get pointAt, int begin, int end) {
  Box box;
  const Coordinate p0 = pointAt(begin);
  box.lo[0] = box.hi[0] = p0.x;
  box.lo[1] = box.hi[1] = p0.y;
  box.lo[2] = box.hi[2] = p0.z;
  for (int i = begin + 1; i < end; ++i) {
    const Coordinate p = pointAt(i);
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      box.lo[a] = std::min(box.lo[a], v[a]);
      box.hi[a] = std::max(box.hi[a], v[a]);
    }
  }
  return box;
}

PointSetIndex::Box PointSetIndex::unite(const Box& a, const Box& b) {
  Box box;
  for (int k = 0; k < 3; ++k) {
    box.lo[k] = std::min(a.lo[k], b.lo[k]);
    box.hi[k] = std::max(a.hi[k], b.hi[k]);
  }
  return box;
}

PointSetIndex::PointSetIndex(const PointList& points) {
  point_classes::Classes c = point_classes::gather(points);
  pts_ = std::move(c.distinct);
  classOf_ = std::move(c.classOf);
  build(followsAPath(pts_), nullptr);
}

PointSetIndex::PointSetIndex(PointList distinct, std::vector<int> classOf, bool inSpatialOrder, const Vectors* along)
    : pts_(std::move(distinct)), classOf_(std::move(classOf)) {
  build(inSpatialOrder, along);
}

void PointSetIndex::chooseFrame() {
  double lo[3], hi[3];
  int lowest[3] = {0, 0, 0}, highest[3] = {0, 0, 0};
  for (int a = 0; a < 3; ++a) lo[a] = hi[a] = axisValue(pts_[0], a);
  for (int i = 1; i < static_cast<int>(pts_.size()); ++i) {
    for (int a = 0; a < 3; ++a) {
      const double v = axisValue(pts_[i], a);
      if (v < lo[a]) lo[a] = v, lowest[a] = i;
      if (v > hi[a]) hi[a] = v, highest[a] = i;
    }
  }
  int axis = 0;
  for (int a = 1; a < 3; ++a)
    if (hi[a] - lo[a] > hi[axis] - lo[axis]) axis = a;
  setFrame(Vectors(pts_[lowest[axis]], pts_[highest[axis]]));
}

void PointSetIndex::setFrame(Vectors along) {
  if (!(along.length() > 0) || !std::isfinite(along.length())) return;  // no direction: any frame will do
  const Vectors u = along.unit();
  const double alongAxis[3] = {std::fabs(u.x), std::fabs(u.y), std::fabs(u.z)};
  int across = 0;
  for (int a = 1; a < 3; ++a)
    if (alongAxis[a] < alongAxis[across]) across = a;
  const Vectors e(across == 0 ? 1 : 0, across == 1 ? 1 : 0, across == 2 ? 1 : 0);
  const Vectors v = u.cross(e).unit();
  const Vectors w = u.cross(v);
  const Vectors axes[3] = {u, v, w};
  for (int r = 0; r < 3; ++r) {
    frame_[r][0] = axes[r].x;
    frame_[r][1] = axes[r].y;
    frame_[r][2] = axes[r].z;
  }
}

Coordinate PointSetIndex::toFrame(const double frame[3][3], Coordinate p) const {
  return Coordinate(frame[0][0] * p.x + frame[0][1] * p.y + frame[0][2] * p.z,
                    frame[1][0] * p.x + frame[1][1] * p.y + frame[1][2] * p.z,
                    frame[2][0] * p.x + frame[2][1] * p.y + frame[2][2] * p.z);
}

void PointSetIndex::build(bool inSpatialOrder, const Vectors* along) {
  const int m = static_cast<int>(pts_.size());
  first_.assign(m, -1);
  last_.assign(m, -1);
  for (int i = 0; i < static_cast<int>(classOf_.size()); ++i) {
    const int k = classOf_[i];
    if (first_[k] < 0) first_[k] = i;
    last_[k] = i;
  }
  double scale = 0;
  indexed_ = point_classes::indexable(pts_, scale);
  margin_ = point_classes::marginFor(scale);
  if (!indexed_ || m == 0) return;

  if (along) {
    setFrame(*along);
  } else {
    chooseFrame();
  }
  local_.resize(m);
  for (int i = 0; i < m; ++i) local_[i] = toFrame(frame_, pts_[i]);
  nodes_.reserve(2 * (m / kLeafSize + 1));
  leafOf_.resize(m);
  if (inSpatialOrder) {
    buildNode(0, m, nullptr);
    local_.clear();
    local_.shrink_to_fit();
    return;
  }
  // Order the distinct points by median splits along the widest axis; the
  // tree's ranges are then those splits.
  std::vector<int> order(m);
  std::iota(order.begin(), order.end(), 0);
  buildNode(0, m, &order);
  local_.clear();
  local_.shrink_to_fit();
  const PointList byClass = pts_;
  std::vector<int> position(m);
  std::vector<int> first(m), last(m);
  for (int i = 0; i < m; ++i) {
    position[order[i]] = i;
    pts_[i] = byClass[order[i]];
    first[i] = first_[order[i]];
    last[i] = last_[order[i]];
  }
  first_ = std::move(first);
  last_ = std::move(last);
  for (int& k : classOf_) k = position[k];
}

int PointSetIndex::buildNode(int begin, int end, std::vector<int>* order) {
  const int id = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{});
  Node node;
  node.begin = begin;
  node.end = end;
  node.left = node.right = node.parent = -1;
  auto localOf = [&](int i) -> const Coordinate& { return order ? local_[(*order)[i]] : local_[i]; };
  if (end - begin <= kLeafSize) {
    node.box = boxOf(localOf, begin, end);
    nodes_[id] = node;
    for (int i = begin; i < end; ++i) leafOf_[i] = id;
    return id;
  }
  const int mid = begin + (end - begin) / 2;
  if (order) {
    const Box box = boxOf(localOf, begin, end);
    int axis = 0;
    for (int a = 1; a < 3; ++a)
      if (box.hi[a] - box.lo[a] > box.hi[axis] - box.lo[axis]) axis = a;
    std::nth_element(order->begin() + begin, order->begin() + mid, order->begin() + end,
                     [&](int u, int v) { return axisValue(local_[u], axis) < axisValue(local_[v], axis); });
  }
  node.left = buildNode(begin, mid, order);
  node.right = buildNode(mid, end, order);
  node.box = unite(nodes_[node.left].box, nodes_[node.right].box);
  nodes_[node.left].parent = nodes_[node.right].parent = id;
  nodes_[id] = node;
  return id;
}

std::vector<PointSetIndex::Box> PointSetIndex::boxesIn(const double frame[3][3]) const {
  std::vector<Box> boxes(nodes_.size());
  // Children follow their parent in the node list, so a backward pass meets
  // them first.
  for (int id = static_cast<int>(nodes_.size()) - 1; id >= 0; --id) {
    const Node& node = nodes_[id];
    if (node.left < 0) {
      boxes[id] = boxOf([&](int i) { return toFrame(frame, pts_[i]); }, node.begin, node.end);
    } else {
      boxes[id] = unite(boxes[node.left], boxes[node.right]);
    }
  }
  return boxes;
}

IndexPair PointSetIndex::farthestPair() const {
  const int n = static_cast<int>(size());
  if (!indexed_) {
    double best = -999;
    IndexPair pair{-1, -1};
    for (int i = 0; i + 1 < n; ++i) {
      for (int j = i + 1; j < n; ++j) {
        double d = getDistance(pointAt(i), pointAt(j));
        if (d > best && d > 0) {
          best = d;
          pair = {i, j};
        }
      }
    }
    return pair;
  }
  if (pts_.size() < 2) return {-1, -1};

  // A pair of distinct points first meets the scan at the first position of
  // the one that comes first and the first position of the other.
  double best = 0;
  bool found = false;
  IndexPair pair{-1, -1};
  auto consider = [&](int u, int v) {
    const double d = getDistance(pts_[u], pts_[v]);
    if (!(d > 0)) return;
    IndexPair key{std::min(first_[u], first_[v]), std::max(first_[u], first_[v])};
    if (!found || d > best) {
      best = d;
      pair = key;
      found = true;
    } else if (d == best && pairBefore(key, pair)) {
      pair = key;
    }
  };

  // A first pair from the extremes along the frame's first axis, which runs
  // along the set, so that most box pairs fall below it from the start.
  int lowest = 0, highest = 0;
  double low = 0, high = 0;
  for (int i = 0; i < static_cast<int>(pts_.size()); ++i) {
    const double v = frame_[0][0] * pts_[i].x + frame_[0][1] * pts_[i].y + frame_[0][2] * pts_[i].z;
    if (i == 0 || v < low) low = v, lowest = i;
    if (i == 0 || v > high) high = v, highest = i;
  }
  if (lowest != highest) consider(lowest, highest);

  std::vector<std::pair<int, int>> stack{{0, 0}};
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    const Node& A = nodes_[a];
    const Node& B = nodes_[b];
    if (found && maxSpan(A.box, B.box) < best - margin_) continue;
    const bool leafA = A.left < 0, leafB = B.left < 0;
    if (leafA && leafB) {
      for (int i = A.begin; i < A.end; ++i)
        for (int j = (a == b ? i + 1 : B.begin); j < B.end; ++j) consider(i, j);
      continue;
    }
    if (a == b) {
      // The pair across the two halves is the likelier to be far apart: it
      // goes on the stack last, so it is taken first.
      stack.push_back({A.left, A.left});
      stack.push_back({A.right, A.right});
      stack.push_back({A.left, A.right});
      continue;
    }
    const bool splitA = !leafA && (leafB || A.end - A.begin >= B.end - B.begin);
    const int c1 = splitA ? A.left : B.left, c2 = splitA ? A.right : B.right;
    const Node& C1 = nodes_[c1];
    const Node& C2 = nodes_[c2];
    const Node& other = splitA ? B : A;
    const double s1 = maxSpan(C1.box, other.box);
    const double s2 = maxSpan(C2.box, other.box);
    const std::pair<int, int> p1 = splitA ? std::make_pair(c1, b) : std::make_pair(a, c1);
    const std::pair<int, int> p2 = splitA ? std::make_pair(c2, b) : std::make_pair(a, c2);
    if (s1 >= s2) {
      stack.push_back(p2);
      stack.push_back(p1);
    } else {
      stack.push_back(p1);
      stack.push_back(p2);
    }
  }
  return found ? pair : IndexPair{-1, -1};
}

int PointSetIndex::middlePoint(Coordinate end0, Coordinate end1) const {
  // An ordered map keyed by the imbalance keeps the smallest key, the later
  // position on an exact tie. A key that is not a number breaks the map's
  // ordering, and only the map itself says which position it then keeps.
  auto byMap = [&]() {
    std::map<double, int> byImbalance;
    for (int i = 0; i < static_cast<int>(size()); ++i) {
      const Coordinate p = pointAt(i);
      byImbalance[std::fabs(getDistance(p, end0) - getDistance(p, end1))] = i;
    }
    return byImbalance.empty() ? -1 : byImbalance.begin()->second;
  };
  if (!indexed_ || !withinReach(end0) || !withinReach(end1)) return byMap();
  if (pts_.empty()) return -1;

  double bestKey = 0;
  int best = -1;
  auto consider = [&](int k) {
    const double key = std::fabs(getDistance(pts_[k], end0) - getDistance(pts_[k], end1));
    if (best < 0 || key < bestKey) {
      bestKey = key;
      best = last_[k];
    } else if (key == bestKey && last_[k] > best) {
      best = last_[k];
    }
  };
  // Ends that (nearly) coincide give every point an imbalance near 0: no
  // box can be ruled out, and every point is measured.
  if (!(getDistance(end0, end1) > 1e3 * margin_)) {
    for (int k = 0; k < static_cast<int>(pts_.size()); ++k) consider(k);
    return best;
  }

  // For a point p, d0 - d1 = v.(2p - c0 - c1) / (d0 + d1) with v = c1 - c0:
  // over a box the numerator is a linear function, bounded by the box's
  // corners, and the denominator is at most the box's largest distances to
  // the two ends. A box whose lower bound exceeds the best key by the margin
  // holds no point that could equal or beat it.
  const Coordinate c0 = toFrame(frame_, end0), c1 = toFrame(frame_, end1);
  const double v[3] = {c1.x - c0.x, c1.y - c0.y, c1.z - c0.z};
  const double sum[3] = {c0.x + c1.x, c0.y + c1.y, c0.z + c1.z};
  const double e0[3] = {c0.x, c0.y, c0.z}, e1[3] = {c1.x, c1.y, c1.z};
  auto keyBound = [&](const Box& b) {
    double lo = 0, hi = 0, far0 = 0, far1 = 0;
    for (int a = 0; a < 3; ++a) {
      const double t0 = v[a] * (2 * b.lo[a] - sum[a]), t1 = v[a] * (2 * b.hi[a] - sum[a]);
      lo += std::min(t0, t1);
      hi += std::max(t0, t1);
      const double f0 = std::max(std::fabs(b.lo[a] - e0[a]), std::fabs(b.hi[a] - e0[a]));
      const double f1 = std::max(std::fabs(b.lo[a] - e1[a]), std::fabs(b.hi[a] - e1[a]));
      far0 += f0 * f0;
      far1 += f1 * f1;
    }
    const double numerator = lo > 0 ? lo : (hi < 0 ? -hi : 0);
    return numerator / (std::sqrt(far0) + std::sqrt(far1));
  };
  int stack[128];
  double bounds[128];
  int top = 0;
  stack[top] = 0;
  bounds[top++] = 0;
  while (top > 0) {
    --top;
    if (best >= 0 && bounds[top] > bestKey + margin_) continue;
    const Node& node = nodes_[stack[top]];
    if (node.left < 0) {
      for (int k = node.begin; k < node.end; ++k) consider(k);
      continue;
    }
    const double bl = keyBound(nodes_[node.left].box), br = keyBound(nodes_[node.right].box);
    // The more promising child goes on the stack last, so it is searched first.
    if (bl <= br) {
      stack[top] = node.right;
      bounds[top++] = br;
      stack[top] = node.left;
      bounds[top++] = bl;
    } else {
      stack[top] = node.left;
      bounds[top++] = bl;
      stack[top] = node.right;
      bounds[top++] = br;
    }
  }
  return best;
}

double PointSetIndex::nearestDistance(Coordinate query, int& hint) const {
  double best = kNoNeighbour;
  if (!indexed_ || !withinReach(query)) {
    for (int i = 0; i < static_cast<int>(size()); ++i) {
      const double d = getDistance(query, pointAt(i));
      if (best > d && d > 0) best = d;
    }
    return best;
  }
  if (pts_.empty()) return best;
  if (hint >= 0 && hint < static_cast<int>(pts_.size())) {
    const double d = getDistance(query, pts_[hint]);
    if (best > d && d > 0) best = d;
  }
  // Boxes and points are first compared by squared distance with the
  // margin: whatever lies beyond (best + margin) squared measures more than
  // best, so only the rest is measured with getDistance.
  double reachSq = (best + margin_) * (best + margin_);
  const Coordinate local = toFrame(frame_, query);
  // Nodes waiting to be searched, with their squared gap to the query. With
  // a hint: from its leaf upwards, the leaf first, then at every level the
  // other half, which its box mostly rules out at once.
  int stack[128];
  double gaps[128];
  int top = 0;
  if (hint < 0 || hint >= static_cast<int>(pts_.size())) {
    stack[top] = 0;
    gaps[top++] = 0;
  } else {
    int path[64];
    int depth = 0;
    for (int node = leafOf_[hint]; nodes_[node].parent >= 0; node = nodes_[node].parent) path[depth++] = node;
    for (int k = depth - 1; k >= 0; --k) {
      const Node& parent = nodes_[nodes_[path[k]].parent];
      const int sibling = parent.left == path[k] ? parent.right : parent.left;
      stack[top] = sibling;
      gaps[top++] = gapSquared(nodes_[sibling].box, local);
    }
    stack[top] = leafOf_[hint];
    gaps[top++] = 0;
  }
  while (top > 0) {
    --top;
    if (gaps[top] > reachSq) continue;
    const Node& node = nodes_[stack[top]];
    if (node.left < 0) {
      for (int i = node.begin; i < node.end; ++i) {
        const Coordinate& p = pts_[i];
        const double dx = query.x - p.x, dy = query.y - p.y, dz = query.z - p.z;
        if (dx * dx + dy * dy + dz * dz > reachSq) continue;
        const double d = getDistance(query, p);
        if (best > d && d > 0) {
          best = d;
          hint = i;
          reachSq = (best + margin_) * (best + margin_);
        }
      }
      continue;
    }
    const double gl = gapSquared(nodes_[node.left].box, local), gr = gapSquared(nodes_[node.right].box, local);
    // The nearer child goes on the stack last, so it is searched first.
    const bool leftFirst = gl <= gr;
    const int children[2] = {leftFirst ? node.right : node.left, leftFirst ? node.left : node.right};
    const double childGaps[2] = {leftFirst ? gr : gl, leftFirst ? gl : gr};
    for (int c = 0; c < 2; ++c) {
      if (childGaps[c] > reachSq) continue;
      stack[top] = children[c];
      gaps[top++] = childGaps[c];
    }
  }
  return best;
}

void PointSetIndex::lowerBounds(const PointList& queries, std::vector<double>& bounds) const {
  bounds.assign(queries.size(), 0.0);
  if (!indexed_ || pts_.empty()) return;
  const Box& root = nodes_[0].box;
  for (size_t i = 0; i < queries.size(); ++i) {
    if (withinReach(queries[i])) bounds[i] = std::max(0.0, minGap(root, toFrame(frame_, queries[i])) - margin_);
  }
}

IndexPair closestPairBetween(const PointSetIndex& x, const PointSetIndex& y) {
  double best = kNoNeighbour;
  bool found = false;
  IndexPair pair{-1, -1};
  if (!x.indexed_ || !y.indexed_) {
    for (int i = 0; i < static_cast<int>(x.size()); ++i) {
      for (int j = 0; j < static_cast<int>(y.size()); ++j) {
        double d = getDistance(x.pointAt(i), y.pointAt(j));
        if (d < best && d > 0) {
          best = d;
          pair = {i, j};
        }
      }
    }
    return pair;
  }
  if (x.pts_.empty() || y.pts_.empty()) return pair;
  const double margin = std::max(x.margin_, y.margin_);
  // Both trees' boxes in x's frame.
  const bool sameFrame = std::equal(&x.frame_[0][0], &x.frame_[0][0] + 9, &y.frame_[0][0]);
  const std::vector<PointSetIndex::Box> yBoxes = sameFrame ? std::vector<PointSetIndex::Box>() : y.boxesIn(x.frame_);
  auto xBox = [&](int id) -> const PointSetIndex::Box& { return x.nodes_[id].box; };
  auto yBox = [&](int id) -> const PointSetIndex::Box& { return sameFrame ? y.nodes_[id].box : yBoxes[id]; };

  // Boxes and pairs are first compared by squared distance with the margin:
  // whatever lies beyond (best + margin) squared measures more than best.
  double reachSq = (best + margin) * (best + margin);
  // Node pairs are taken nearest first, so that the best distance falls to
  // the closest pair's before the many pairs of two long parallel lines that
  // lie almost as close are opened.
  struct Pending {
    double gap;
    int a, b;
    bool operator<(const Pending& o) const { return gap > o.gap; }
  };
  std::priority_queue<Pending> queue;
  queue.push({0.0, 0, 0});
  while (!queue.empty()) {
    const Pending next = queue.top();
    queue.pop();
    if (next.gap > reachSq) break;
    const int a = next.a, b = next.b;
    const PointSetIndex::Node& A = x.nodes_[a];
    const PointSetIndex::Node& B = y.nodes_[b];
    const bool leafA = A.left < 0, leafB = B.left < 0;
    if (leafA && leafB) {
      for (int i = A.begin; i < A.end; ++i) {
        const Coordinate p = x.pts_[i];
        for (int j = B.begin; j < B.end; ++j) {
          const Coordinate& q = y.pts_[j];
          const double dx = p.x - q.x, dy = p.y - q.y, dz = p.z - q.z;
          if (dx * dx + dy * dy + dz * dz > reachSq) continue;
          const double d = getDistance(p, q);
          if (!(d > 0)) continue;
          // A pair of distinct points first meets the scan at their first positions.
          if (d < best) {
            best = d;
            pair = {x.first_[i], y.first_[j]};
            found = true;
            reachSq = (best + margin) * (best + margin);
          } else if (found && d == best) {
            IndexPair key{x.first_[i], y.first_[j]};
            if (pairBefore(key, pair)) pair = key;
          }
        }
      }
      continue;
    }
    const bool splitA = !leafA && (leafB || A.end - A.begin >= B.end - B.begin);
    int c1, c2;
    double g1, g2;
    if (splitA) {
      c1 = A.left;
      c2 = A.right;
      g1 = gapSquared(xBox(c1), yBox(b));
      g2 = gapSquared(xBox(c2), yBox(b));
    } else {
      c1 = B.left;
      c2 = B.right;
      g1 = gapSquared(xBox(a), yBox(c1));
      g2 = gapSquared(xBox(a), yBox(c2));
    }
    if (g1 <= reachSq) queue.push(splitA ? Pending{g1, c1, b} : Pending{g1, a, c1});
    if (g2 <= reachSq) queue.push(splitA ? Pending{g2, c2, b} : Pending{g2, a, c2});
  }
  return found ? pair : IndexPair{-1, -1};
}

}  // namespace vel
