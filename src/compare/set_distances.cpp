#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <utility>
#include <vector>

#include "velmorantique/compare.h"
#include "velmorantique/points.h"

namespace vel {

namespace {

// Below these sizes a scan of every pair costs less than sorting q into boxes.
constexpr std::size_t kScanBelow = 24;

double distByScan(const PointList& p, const PointList& q) {
  double sum = 0;
  for (const Coordinate& pp : p) {
    double nearest = kNoNeighbour;
    for (const Coordinate& qq : q) {
      double d = getDistance(pp, qq);
      if (nearest > d && d > 0) nearest = d;
    }
    sum += nearest;
  }
  return sum / static_cast<double>(p.size());
}

// Dist from p to the list held by the index, given up (returning `cap`) as
// soon as the running sum shows the mean cannot come out below `cap`. The
// terms are never negative and rounding never lowers a running sum, so the
// final mean would be at least `cap`.
double distByIndex(const PointList& p, const PointSetIndex& q, double cap) {
  const double limit = cap * static_cast<double>(p.size()) * (1 + 1e-12);
  double sum = 0;
  int hint = -1;
  for (const Coordinate& pp : p) {
    sum += q.nearestDistance(pp, hint);
    if (sum > limit) return cap;
  }
  return sum / static_cast<double>(p.size());
}

// An axis-aligned box around points of the map frame. Not `bounded` when a
// point lies beyond reach (withinReach) or has a coordinate that is not a
// number: no bound is then taken from it.
struct Extent {
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool bounded = true, empty = true;
  int count = 0;

  void add(const Coordinate& p) {
    ++count;
    if (!withinReach(p)) bounded = false;
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      if (empty || v[a] < lo[a]) lo[a] = v[a];
      if (empty || v[a] > hi[a]) hi[a] = v[a];
    }
    empty = false;
  }
};

Extent extentOf(const PointList& points, std::size_t begin, std::size_t end) {
  Extent e;
  for (std::size_t i = begin; i < end; ++i) e.add(points[i]);
  return e;
}

// A distance below every measured distance between a point of a and a point
// of b: the gap between the boxes, lowered by far more than the rounding of
// either for coordinates within reach. 0 when either box gives no bound.
double gapBelow(const Extent& a, const Extent& b) {
  if (!a.bounded || !b.bounded || a.empty || b.empty) return 0;
  double s = 0;
  for (int k = 0; k < 3; ++k) {
    const double d = a.hi[k] < b.lo[k] ? b.lo[k] - a.hi[k] : (b.hi[k] < a.lo[k] ? a.lo[k] - b.hi[k] : 0);
    s += d * d;
  }
  return std::max(0.0, std::sqrt(s) * (1 - 1e-9) - 1e-6);
}

// Runs of this many consecutive points of a strand share one box.
constexpr std::size_t kRun = 32;

std::vector<Extent> runExtents(const PointList& points) {
  std::vector<Extent> runs;
  for (std::size_t i = 0; i < points.size(); i += kRun)
    runs.push_back(extentOf(points, i, std::min(points.size(), i + kRun)));
  return runs;
}

// Dist from p to the list held by the index, or `cap` when it cannot come
// out below cap. Each point's term is at least its distance to q's box (or
// 999 when that is farther). The boxes of runs of p's points against q's
// box give a first bound at little cost; then each point's distance to the
// box of q's index, which lies along the strand and hugs it. When the sum of either bound already exceeds cap * |p| no
// point is measured, and otherwise the measuring stops as soon as the
// running sum with the bounds of the points still to come exceeds it. The
// allowance of 1e-9 lies far above the rounding of any of these sums.
// `bounds` is working space.
double distBelowCap(const PointList& p, const std::vector<Extent>& runsOfP, const PointSetIndex& q,
                    const Extent& extentOfQ, double cap, std::vector<double>& bounds) {
  if (!(cap < kNoNeighbour)) return distByIndex(p, q, cap);
  const double limit = cap * static_cast<double>(p.size()) * (1 + 1e-9);
  double coarse = 0;
  for (const Extent& run : runsOfP) coarse += run.count * std::min(gapBelow(run, extentOfQ), kNoNeighbour);
  if (coarse > limit) return cap;
  // bounds[i]: the sum of the bounds of the points from i on.
  q.lowerBounds(p, bounds);
  bounds.push_back(0.0);
  for (std::size_t i = p.size(); i-- > 0;) bounds[i] = bounds[i + 1] + std::min(bounds[i], kNoNeighbour);
  if (bounds[0] > limit) return cap;
  const double exactLimit = cap * static_cast<double>(p.size()) * (1 + 1e-12);
  double sum = 0;
  int hint = -1;
  for (std::size_t i = 0; i < p.size(); ++i) {
    sum += q.nearestDistance(p[i], hint);
    if (sum > exactLimit || sum + bounds[i + 1] > limit) return cap;
  }
  return sum / static_cast<double>(p.size());
}

}  // namespace

// Mean, over the points of p, of the distance to the nearest point of q. A
// point of q lying exactly on p is p itself seen from the other list, not a
// neighbour; a point with no neighbour below 999 Å contributes 999.
double Dist(const PointList& p, const PointList& q) {
  if (p.size() < kScanBelow || q.size() < kScanBelow) return distByScan(p, q);
  return distByIndex(p, PointSetIndex(q), std::numeric_limits<double>::infinity());
}

double Dist(const PointList& p, const PointSetIndex& q) {
  return distByIndex(p, q, std::numeric_limits<double>::infinity());
}

namespace {

// Dist from strand a to the strand of b that lies nearest to it; a strand
// that coincides exactly (distance 0) is skipped, none at all gives 999. Only
// the smallest qualifying distance counts, whatever the order the strands are
// measured in: the one nearest a's middle point goes first, so that the
// others can be given up early.
double nearestStrandDist(const PointList& a, const StrandSet& b, const std::vector<PointSetIndex>& indexOfB,
                         const std::vector<Extent>& extentOfB) {
  std::vector<std::size_t> order(b.size());
  for (std::size_t k = 0; k < b.size(); ++k) order[k] = k;
  if (!a.empty() && a.size() >= kScanBelow) {
    std::vector<double> near(b.size());
    for (std::size_t k = 0; k < b.size(); ++k) {
      int hint = -1;
      near[k] = indexOfB[k].nearestDistance(a[a.size() / 2], hint);
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t u, std::size_t v) { return near[u] < near[v]; });
  }
  double m = kNoNeighbour;
  std::vector<double> bounds;
  const std::vector<Extent> runs = runExtents(a);
  for (std::size_t k : order) {
    const PointList& strand = b[k];
    const double d = a.size() < kScanBelow || strand.size() < kScanBelow
                         ? distByScan(a, strand)
                         : distBelowCap(a, runs, indexOfB[k], extentOfB[k], m, bounds);
    if (d < m && d > 0) m = d;
  }
  return m;
}

// The match of one strand in the other set, as RMS pools it.
struct StrandMatch {
  double dist = kNoNeighbour;  // mean paired distance to the matching strand
  double sumSq = 99999;        // its sum of squared paired distances
  int count = 0;               // number of paired points
};

StrandMatch matchStrand(const PointList& a, const StrandSet& b) {
  StrandMatch match;
  for (const PointList& strand : b) {
    std::pair<double, double> d = Dist_OneToOne(a, strand);
    if (match.dist > d.first && d.first > 0) {
      match.dist = d.first;
      match.sumSq = d.second;
      match.count = static_cast<int>(a.size() <= strand.size() ? a.size() : strand.size());
    }
  }
  return match;
}

}  // namespace

struct IndexedStrands::Parts {
  std::vector<PointSetIndex> index;
  std::vector<Extent> extent;
};

IndexedStrands::IndexedStrands(const StrandSet& strands) : strands_(&strands), parts_(std::make_unique<Parts>()) {
  parts_->index.reserve(strands.size());
  for (const PointList& strand : strands) {
    parts_->index.emplace_back(strand);
    parts_->extent.push_back(extentOf(strand, 0, strand.size()));
  }
}

const PointSetIndex& IndexedStrands::index(std::size_t strand) const { return parts_->index[strand]; }

double IndexedStrands::distBound(const PointList& points, std::size_t strand) const {
  return std::min(gapBelow(extentOf(points, 0, points.size()), parts_->extent[strand]), kNoNeighbour);
}

IndexedStrands::~IndexedStrands() = default;
IndexedStrands::IndexedStrands(IndexedStrands&&) noexcept = default;
IndexedStrands& IndexedStrands::operator=(IndexedStrands&&) noexcept = default;

double OneWayDist(const StrandSet& a, const StrandSet& b) { return OneWayDist(a, IndexedStrands(b)); }

// A set with more strands than b is judged by its best run of |b| consecutive
// strands; the surplus strands at either end do not count.
double OneWayDist(const StrandSet& a, const IndexedStrands& indexedB) {
  const StrandSet& b = indexedB.strands();
  std::vector<double> m;
  for (const PointList& strand : a)
    m.push_back(nearestStrandDist(strand, b, indexedB.parts_->index, indexedB.parts_->extent));

  if (a.size() <= b.size()) {
    double sum = 0;
    for (double d : m) sum += d;
    return sum / static_cast<double>(a.size());
  }

  double best = 99999;
  for (std::size_t k = 0; k + b.size() <= a.size(); ++k) {
    double sum = 0;
    for (std::size_t l = k; l < k + b.size(); ++l) sum += m[l];
    if (sum < best) best = sum;
  }
  return best / static_cast<double>(b.size());
}

// The shorter list is laid along the longer at every shift, forwards and
// backwards; the alignment with the smallest summed distance wins, the
// earlier one on ties (smaller shift first, forwards before backwards).
std::pair<double, double> Dist_OneToOne(const PointList& p, const PointList& q) {
  const PointList& s = p.size() <= q.size() ? p : q;
  const PointList& l = p.size() <= q.size() ? q : p;
  const int ns = static_cast<int>(s.size());
  const int nl = static_cast<int>(l.size());

  double best = 99999, bestSq = 0;
  for (int i = 0; i <= nl - ns; ++i) {
    double sum = 0, sq = 0;
    for (int j = 0; j < ns; ++j) {
      double d = getDistance(s[j], l[i + j]);
      sum += d;
      sq += std::pow(d, 2);
    }
    if (best > sum) {
      best = sum;
      bestSq = sq;
    }

    sum = 0;
    sq = 0;
    for (int k = ns - 1; k >= 0; --k) {
      double d = getDistance(s[k], l[i + ns - 1 - k]);
      sum += d;
      sq += std::pow(d, 2);
    }
    if (best > sum) {
      best = sum;
      bestSq = sq;
    }
  }
  return std::make_pair(best / static_cast<double>(s.size()), bestSq);
}

// The mean distance averages the per-strand mean distances; the RMSD pools the
// squared distances of every paired point. A strand without a match adds 99999
// to the squared sum but no pairs to the count.
std::pair<std::pair<double, double>, int> RMS(const StrandSet& a, const StrandSet& b) {
  std::vector<StrandMatch> matches;
  for (const PointList& strand : a) matches.push_back(matchStrand(strand, b));

  double sumD = 0, sumSq = 0, meanDist = 0;
  int count = 0;
  if (a.size() <= b.size()) {
    for (const StrandMatch& m : matches) {
      sumD += m.dist;
      sumSq += m.sumSq;
      count += m.count;
    }
    meanDist = sumD / static_cast<double>(a.size());
  } else {
    double bestD = 99999;
    for (std::size_t k = 0; k + b.size() <= a.size(); ++k) {
      double windowD = 0, windowSq = 0;
      int windowCount = 0;
      for (std::size_t l = k; l < k + b.size(); ++l) {
        windowD += matches[l].dist;
        windowSq += matches[l].sumSq;
        windowCount += matches[l].count;
      }
      if (windowD < bestD) {
        bestD = windowD;
        sumSq = windowSq;
        count = windowCount;
      }
    }
    meanDist = bestD / static_cast<double>(b.size());
  }
  double rmsd = std::sqrt(sumSq / static_cast<double>(count));
  return std::make_pair(std::make_pair(meanDist, rmsd), count);
}

}  // namespace vel
