#include "reference/plain_points.h"

#include <cmath>
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "points/strand_trace.h"

namespace vel::plain {

namespace {

double round(double& value, int16_t decimals) {
  double scale = std::pow(10.0, decimals);
  double half = value < 0 ? -0.5 : 0.5;
  return std::trunc(value * scale + half) / scale;
}

}  // namespace

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold) {
  const std::size_t n = points.size();
  std::vector<bool> assigned(n, false);
  std::size_t assignedCount = 0;
  Coordinate reference = start;

  while (assignedCount < n) {
    double best = 9999.0;
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

    PointList cluster;
    cluster.push_back(points[seed]);
    reference = points[seed];
    assigned[seed] = true;
    ++assignedCount;

    bool grew = true;
    while (grew && assignedCount < n) {
      grew = false;
      for (std::size_t j = 0; j < n && assignedCount < n; ++j) {
        double d = getDistance(points[j], reference);
        d = round(d, 3);
        if (!assigned[j] && d < threshold) {
          assigned[j] = true;
          ++assignedCount;
          cluster.push_back(points[j]);
          grew = true;
          double k = static_cast<double>(cluster.size());
          reference.x = ((k - 1) * reference.x + points[j].x) / k;
          reference.y = ((k - 1) * reference.y + points[j].y) / k;
          reference.z = ((k - 1) * reference.z + points[j].z) / k;
        }
      }
    }

    cluster.push_back(reference);
    clusters.push_back(cluster);
  }
}

int findClosestPointInSet(const PointList& points, Coordinate query) {
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

IndexPair findFarestPointInOneSet(const PointList& points) {
  double best = -999;
  IndexPair pair{-1, -1};
  const int n = static_cast<int>(points.size());
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      double d = getDistance(points[i], points[j]);
      if (d > best && d > 0) {
        best = d;
        pair = {i, j};
      }
    }
  }
  return pair;
}

IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b) {
  double best = 999;
  IndexPair pair{-1, -1};
  const int na = static_cast<int>(a.size());
  const int nb = static_cast<int>(b.size());
  for (int i = 0; i < na; ++i) {
    for (int j = 0; j < nb; ++j) {
      double d = getDistance(a[i], b[j]);
      if (d < best && d > 0) {
        best = d;
        pair = {i, j};
      }
    }
  }
  return pair;
}

int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points) {
  const int n = static_cast<int>(points.size());
  if (ends.size() != 2) return -1;
  const int e0 = ends[0], e1 = ends[1];
  if (e0 < 0 || e0 >= n || e1 < 0 || e1 >= n) return -1;

  std::map<double, int> byImbalance;
  for (int i = 0; i < n; ++i) {
    double key = std::fabs(getDistance(points[i], points[e0]) - getDistance(points[i], points[e1]));
    byImbalance[key] = i;
  }
  return byImbalance.begin()->second;
}

void fineStickUnordered(PointList& points, double spacing) {
  PointList remaining = points;
  points.clear();

  int cur = plain::findFarestPointInOneSet(remaining)[0];
  if (cur < 0) return;
  int nxt = plain::findClosestPointInSet(remaining, remaining[cur]);

  while (remaining.size() > 2 && cur != -1 && nxt != -1) {
    Coordinate a = remaining[cur];
    Coordinate b = remaining[nxt];
    double length = Vectors(a, b).length();
    if (length > spacing) {
      for (double t = 0; t < length; t += spacing) points.push_back(pointOnLine(a, b, t));
    } else {
      points.push_back(a);
    }

    PointList rest;
    for (const Coordinate& p : remaining) {
      if (getDistance(a, p) < 0.001) continue;
      rest.push_back(p);
    }
    remaining = rest;

    cur = plain::findClosestPointInSet(remaining, a);
    if (cur == -1) break;
    nxt = plain::findClosestPointInSet(remaining, remaining[cur]);
  }
}

void roughStick(PointList& points, double gap) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::size_t j = i + 1;
    while (j + 1 < points.size() && getDistance(points[i], points[j]) < gap) {
      points.erase(points.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
}

void roughStickFromIndx(PointList& points, double gap, int anchor) {
  const int n = static_cast<int>(points.size());
  if (anchor < 0 || anchor >= n) {
    points.clear();
    return;
  }

  PointList forward(points.begin() + anchor, points.end());
  PointList backward;
  for (int i = anchor; i >= 0; --i) backward.push_back(points[i]);
  plain::roughStick(forward, gap);
  plain::roughStick(backward, gap);

  points.clear();
  for (std::size_t i = backward.size() - 1; i >= 1; --i) points.push_back(backward[i]);
  points.insert(points.end(), forward.begin(), forward.end());
}

namespace {

using namespace strand_trace;

// Places C-alphas along one stick, trying every grid position in full. The
// trace being grown is passed in so the spacing and the virtual angle can be
// measured from its last C-alphas.
class StrandTracer {
 public:
  StrandTracer(const PointList& stick, int anchor, Vectors normal)
      : stick_(stick), anchor_(anchor), normal_(normal) {}

  // The first grid position around stick point i that fits the trace, in
  // dx, dy, dz scan order; false if none does.
  bool search(int i, const PointList& trace, Coordinate& found) const {
    const std::vector<double> offsets = gridOffsets(i % 2 == 0);
    const Coordinate s = stick_[i];
    for (double dx : offsets) {
      for (double dy : offsets) {
        for (double dz : offsets) {
          Coordinate p(s.x + dx, s.y + dy, s.z + dz);
          if (fits(p, i, trace)) {
            found = p;
            return true;
          }
        }
      }
    }
    return false;
  }

 private:
  double planeDistance(Coordinate p) const {
    const std::size_t n = stick_.size();
    return getDistPlanePoint(stick_[0], stick_[n / 2], stick_[n - 1], p);
  }

  bool fits(Coordinate p, int i, const PointList& trace) const {
    if (!(getDistance(p, stick_[i]) <= kSearchHalfWidth && planeDistance(p) <= kPlaneTolerance)) return false;

    if (i == anchor_) {
      Vectors offset(stick_[i], p);
      return offset.dot(normal_) > 0 && offset.getAngleDegree(normal_) <= kNormalCone;
    }

    double spacing = getDistance(trace.back(), p);
    if (!(spacing >= kMinSpacing && spacing <= kMaxSpacing)) return false;
    // With a single C-alpha so far there is no virtual angle to measure yet.
    if (trace.size() < 2) return true;
    double angle = getAngleDegree(trace[trace.size() - 2], trace.back(), p);
    return angle >= kMinVirtualAngle && angle <= kMaxVirtualAngle;
  }

  const PointList& stick_;
  int anchor_;
  Vectors normal_;
};

// The plain kernels of the sheet's tracing: scans over every point.
struct ScanKernels {
  static IndexPair farthestPair(const PointList& p) { return plain::findFarestPointInOneSet(p); }
  static int middlePoint(const IndexPair& e, const PointList& p) { return plain::findMiddlePointBtwTwoPointsInOneSet(e, p); }
  static int closestPoint(const PointList& p, Coordinate q) { return plain::findClosestPointInSet(p, q); }
  static void roughStickFromIndx(PointList& p, double gap, int anchor) { plain::roughStickFromIndx(p, gap, anchor); }
  static PointList strand(const PointList& stick, int anchor, Vectors normal) { return plain::buildStrandCa(stick, anchor, normal); }
};

}  // namespace

PointList buildStrandCa(const PointList& stick, int anchor, Vectors normal) {
  return traceStrand(stick, anchor, StrandTracer(stick, anchor, normal));
}

StrandSet buildSheetCa(StrandSet sticks, Vectors normal) { return traceSheet<ScanKernels>(std::move(sticks), normal); }

bool anyCloserThan(const PointList& points, Coordinate query, double radius) {
  for (const Coordinate& p : points)
    if (getDistance(query, p) < radius) return true;
  return false;
}

}  // namespace vel::plain
