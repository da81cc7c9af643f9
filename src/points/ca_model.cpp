#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "points/strand_trace.h"
#include "velmorantique/points.h"

namespace vel {

using namespace strand_trace;

namespace {

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

// The fast kernels of the sheet's tracing: indexed point queries.
struct IndexedKernels {
  static IndexPair farthestPair(const PointList& p) { return findFarestPointInOneSet(p); }
  static int middlePoint(const IndexPair& ends, const PointList& p) { return findMiddlePointBtwTwoPointsInOneSet(ends, p); }
  static int closestPoint(const PointList& p, Coordinate q) { return findClosestPointInSet(p, q); }
  static void roughStickFromIndx(PointList& p, double gap, int anchor) { vel::roughStickFromIndx(p, gap, anchor); }
  static PointList strand(const PointList& stick, int anchor, Vectors normal) { return buildStrandCa(stick, anchor, normal); }
};

}  // namespace

PointList buildStrandCa(const PointList& stick, int anchor, Vectors normal) {
  return traceStrand(stick, anchor, StrandTracer(stick, anchor, normal));
}

StrandSet buildSheetCa(StrandSet sticks, Vectors normal) { return traceSheet<IndexedKernels>(std::move(sticks), normal); }

}  // namespace vel
