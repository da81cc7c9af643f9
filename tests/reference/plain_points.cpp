#include "reference/plain_points.h"

#include <cmath>
#include <cstddef>
#include <map>
#include <vector>

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

constexpr double kThinningGap = 3.0;      // stick points about one residue apart
constexpr double kAnchorMatch = 0.001;    // finding the anchor again after thinning
constexpr double kSearchHalfWidth = 1.5;  // grid reach around a stick point
constexpr double kGridStep = 0.1;
constexpr double kPlaneTolerance = 0.3;   // C-alphas stay close to the stick's plane
constexpr double kNormalCone = 60.0;      // anchor C-alpha on the normal's side
constexpr double kMinSpacing = 3.75;      // consecutive C-alphas of a strand
constexpr double kMaxSpacing = 3.8;
constexpr double kMinVirtualAngle = 100.0;
constexpr double kMaxVirtualAngle = 150.0;
constexpr double kBridgingStep = 3.8;
constexpr double kEndGap = 3.0;

// The offsets of one grid axis: accumulated from -1.5 upwards at even stick
// indices and from +1.5 downwards at odd ones. Both give 30 values, because
// the accumulated value overshoots the far end before reaching it.
std::vector<double> gridOffsets(bool upwards) {
  std::vector<double> offsets;
  if (upwards) {
    for (double o = -kSearchHalfWidth; o <= kSearchHalfWidth; o += kGridStep) offsets.push_back(o);
  } else {
    for (double o = kSearchHalfWidth; o >= -kSearchHalfWidth; o -= kGridStep) offsets.push_back(o);
  }
  return offsets;
}

// Places C-alphas along one stick. The trace being grown is passed in so the
// spacing and the virtual angle can be measured from its last C-alphas.
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

}  // namespace

// Grows the trace from the anchor towards both ends of the stick. The anchor
// C-alpha starts both directions and appears once in the result, which runs
// from the stick's first end to its last.
PointList buildStrandCa(const PointList& stick, int anchor, Vectors normal) {
  const int s = static_cast<int>(stick.size());
  if (anchor < 0 || anchor >= s) return PointList();

  StrandTracer tracer(stick, anchor, normal);
  Coordinate anchorCa;
  // A stick of fewer than three points, or a straight one, spans no plane, so
  // no position passes and the trace stays empty.
  if (!tracer.search(anchor, PointList(), anchorCa)) return PointList();

  // Forward; the last stick point gets no search of its own. The anchor
  // C-alpha opens the forward half even when the anchor is the last stick
  // point, so the trace always keeps it.
  PointList forward{anchorCa};
  for (int i = anchor + 1; i <= s - 2; ++i) {
    Coordinate ca;
    if (tracer.search(i, forward, ca)) {
      forward.push_back(ca);
    } else if (getDistance(stick[i + 1], forward.back()) > kBridgingStep) {
      // No fitting position: step towards the next stick point rather than
      // leave a gap the next search could not span.
      forward.push_back(pointOnLine(forward.back(), stick[i + 1], kBridgingStep));
    }
  }
  if (getDistance(stick[s - 1], forward.back()) >= kEndGap) forward.push_back(stick[s - 1]);

  // Backward; the first stick point gets no search of its own.
  PointList backward{anchorCa};
  for (int i = anchor - 1; i >= 1; --i) {
    Coordinate ca;
    if (tracer.search(i, backward, ca)) {
      backward.push_back(ca);
    } else if (getDistance(stick[i - 1], backward.back()) > kBridgingStep) {
      backward.push_back(pointOnLine(backward.back(), stick[i - 1], kBridgingStep));
    }
  }
  if (getDistance(stick[0], backward.back()) >= kEndGap) backward.push_back(stick[0]);

  PointList trace;
  for (std::size_t k = backward.size() - 1; k >= 1; --k) trace.push_back(backward[k]);
  trace.insert(trace.end(), forward.begin(), forward.end());
  return trace;
}

// Every strand is anchored at its point nearest the middle of the central
// strand, so the C-alpha registers of neighbouring strands start side by side.
StrandSet buildSheetCa(StrandSet sticks, Vectors normal) {
  const int n = static_cast<int>(sticks.size());
  StrandSet traces(n);
  if (n == 0) return traces;

  const int central = n / 2;
  IndexPair ends = plain::findFarestPointInOneSet(sticks[central]);
  int middle = plain::findMiddlePointBtwTwoPointsInOneSet(ends, sticks[central]);
  if (middle < 0) return traces;  // the central stick has no extent: no centre to anchor at
  const Coordinate centre = sticks[central][middle];

  std::vector<bool> anchored(n, false);
  PointList anchors(n);
  for (int i = 0; i < n; ++i) {
    // The centre itself lies at distance 0 from the central stick's middle
    // point, which the nearest-point query would skip.
    int k = (i == central) ? middle : plain::findClosestPointInSet(sticks[i], centre);
    if (k >= 0) {
      anchors[i] = sticks[i][k];
      anchored[i] = true;
    }
    plain::roughStickFromIndx(sticks[i], kThinningGap, k);
  }

  for (int j = 0; j < n; ++j) {
    if (!anchored[j]) continue;
    const PointList& stick = sticks[j];
    for (std::size_t p = 0; p < stick.size(); ++p) {
      if (getDistance(stick[p], anchors[j]) < kAnchorMatch) {
        traces[j] = plain::buildStrandCa(stick, static_cast<int>(p), normal);
        break;
      }
    }
  }
  return traces;
}

bool anyCloserThan(const PointList& points, Coordinate query, double radius) {
  for (const Coordinate& p : points)
    if (getDistance(query, p) < radius) return true;
  return false;
}

}  // namespace vel::plain
