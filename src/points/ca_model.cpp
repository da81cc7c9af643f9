#include <cmath>
#include <cstddef>
#include <vector>

#include "velmorantique/points.h"

namespace vel {

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

// Both orders, made once: every stick point of every strand searches the grid.
const std::vector<double>& offsetsUpwards() {
  static const std::vector<double> offsets = gridOffsets(true);
  return offsets;
}
const std::vector<double>& offsetsDownwards() {
  static const std::vector<double> offsets = gridOffsets(false);
  return offsets;
}

// Places C-alphas along one stick. The trace being grown is passed in so the
// spacing and the virtual angle can be measured from its last C-alphas.
class StrandTracer {
 public:
  // The stick's plane runs through its first, middle and last points; its
  // normal and that normal's length are those getDistPlanePoint computes.
  StrandTracer(const PointList& stick, int anchor, Vectors normal)
      : stick_(stick), anchor_(anchor), normal_(normal) {
    const std::size_t n = stick_.size();
    if (n == 0) return;
    planeAt_ = stick_[n / 2];
    plane_ = Vectors(stick_[0], planeAt_).cross(Vectors(planeAt_, stick_[n - 1]));
    planeLength_ = std::sqrt(plane_.x * plane_.x + plane_.y * plane_.y + plane_.z * plane_.z);
  }

  // The first grid position around stick point i that fits the trace, in
  // dx, dy, dz scan order; false if none does. Positions that certainly lie
  // more than 1.5 Å from the stick point, or certainly farther than 0.3 Å
  // from the stick's plane, are passed over before the full test: both
  // quantities are measured here as the test measures them, and passed over
  // only beyond a margin far above their rounding.
  bool search(int i, const PointList& trace, Coordinate& found) const {
    const Coordinate p2 = planeAt_;
    const Vectors normal = plane_;
    // Three collinear plane points: no distance from their plane exists,
    // and no position passes.
    if (normal.x == 0 && normal.y == 0 && normal.z == 0) return false;
    const double planeReach = (kPlaneTolerance + 1e-9) * std::sqrt(normal.dot(normal));
    const double reachSq = kSearchHalfWidth * kSearchHalfWidth * (1 + 1e-9);

    const std::vector<double>& offsets = i % 2 == 0 ? offsetsUpwards() : offsetsDownwards();
    const Coordinate s = stick_[i];
    for (double dx : offsets) {
      const double x = s.x + dx, ex = x - s.x;
      for (double dy : offsets) {
        const double y = s.y + dy, ey = y - s.y;
        const double rowSq = ex * ex + ey * ey;
        if (rowSq > reachSq) continue;
        const double planeRow = normal.x * (x - p2.x) + normal.y * (y - p2.y);
        for (double dz : offsets) {
          const double z = s.z + dz, ez = z - s.z;
          if (rowSq + ez * ez > reachSq || std::fabs(planeRow + normal.z * (z - p2.z)) > planeReach) continue;
          Coordinate p(x, y, z);
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
  // getDistPlanePoint(first, middle, last, p), with the plane's normal made once.
  double planeDistance(Coordinate p) const {
    const double num = plane_.x * (p.x - planeAt_.x) + plane_.y * (p.y - planeAt_.y) + plane_.z * (p.z - planeAt_.z);
    return std::fabs(num) / planeLength_;
  }

  // Every test is a pure function of the position, so they are taken
  // cheapest first: the spacing to the trace rules out most positions.
  bool fits(Coordinate p, int i, const PointList& trace) const {
    if (!(getDistance(p, stick_[i]) <= kSearchHalfWidth)) return false;

    if (i == anchor_) {
      if (!(planeDistance(p) <= kPlaneTolerance)) return false;
      Vectors offset(stick_[i], p);
      return offset.dot(normal_) > 0 && offset.getAngleDegree(normal_) <= kNormalCone;
    }

    double spacing = getDistance(trace.back(), p);
    if (!(spacing >= kMinSpacing && spacing <= kMaxSpacing)) return false;
    if (!(planeDistance(p) <= kPlaneTolerance)) return false;
    // With a single C-alpha so far there is no virtual angle to measure yet.
    if (trace.size() < 2) return true;
    double angle = getAngleDegree(trace[trace.size() - 2], trace.back(), p);
    return angle >= kMinVirtualAngle && angle <= kMaxVirtualAngle;
  }

  const PointList& stick_;
  int anchor_;
  Vectors normal_;
  Coordinate planeAt_;  // the stick's middle point
  Vectors plane_;       // normal of the stick's plane, not normalised
  double planeLength_ = 0;
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
  IndexPair ends = findFarestPointInOneSet(sticks[central]);
  int middle = findMiddlePointBtwTwoPointsInOneSet(ends, sticks[central]);
  if (middle < 0) return traces;  // the central stick has no extent: no centre to anchor at
  const Coordinate centre = sticks[central][middle];

  std::vector<bool> anchored(n, false);
  PointList anchors(n);
  for (int i = 0; i < n; ++i) {
    // The centre itself lies at distance 0 from the central stick's middle
    // point, which the nearest-point query would skip.
    int k = (i == central) ? middle : findClosestPointInSet(sticks[i], centre);
    if (k >= 0) {
      anchors[i] = sticks[i][k];
      anchored[i] = true;
    }
    roughStickFromIndx(sticks[i], kThinningGap, k);
  }

  for (int j = 0; j < n; ++j) {
    if (!anchored[j]) continue;
    const PointList& stick = sticks[j];
    for (std::size_t p = 0; p < stick.size(); ++p) {
      if (getDistance(stick[p], anchors[j]) < kAnchorMatch) {
        traces[j] = buildStrandCa(stick, static_cast<int>(p), normal);
        break;
      }
    }
  }
  return traces;
}

}  // namespace vel
