#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

#include "points/strand_trace.h"
#include "velmorantique/points.h"

using namespace vel;

namespace {

const Vectors kUp(0, 0, 1);

// A stick in the plane z = 0 with `count` points `step` apart along x, bent
// slightly in y so that it spans a plane (a straight stick does not).
PointList bentStick(int count, double step, double x0 = 0, double y0 = 0, double bend = 0.05) {
  PointList stick;
  double mid = (count - 1) / 2.0;
  for (int k = 0; k < count; ++k) stick.push_back(Coordinate(x0 + step * k, y0 + bend * (k - mid) * (k - mid), 0));
  return stick;
}

void expectSamePoint(const Coordinate& a, const Coordinate& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

void expectSameTrace(const PointList& actual, const PointList& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < actual.size(); ++i) expectSamePoint(actual[i], expected[i]);
}

// The anchor C-alpha sits on the normal's side of its stick point, within the
// 60 degree cone around the normal.
void expectAnchorCa(const Coordinate& ca, const Coordinate& stickPoint) {
  Vectors offset(stickPoint, ca);
  EXPECT_LE(getDistance(ca, stickPoint), 1.5);
  EXPECT_GT(offset.dot(kUp), 0);
  EXPECT_LE(offset.getAngleDegree(kUp), 60.0);
}

// Consecutive searched or bridged C-alphas are 3.75 to 3.8 apart and lie
// within 0.3 of the stick's plane. frontEnds and backEnds count the stick end
// points appended as they are at either end of the trace, which obey no
// spacing.
void expectStrandGeometry(const PointList& trace, int frontEnds, int backEnds) {
  for (const Coordinate& ca : trace) EXPECT_LE(std::abs(ca.z), 0.3 + 1e-12);
  for (std::size_t i = frontEnds + 1; i + backEnds < trace.size(); ++i) {
    double step = getDistance(trace[i - 1], trace[i]);
    EXPECT_GE(step, 3.75) << "step " << i;
    EXPECT_LE(step, 3.8 + 1e-12) << "step " << i;
  }
}

}  // namespace

TEST(StrandCa, AnchorAtTheFirstPointGrowsForwardOnly) {
  PointList stick = bentStick(7, 3.0);
  PointList trace = buildStrandCa(stick, 0, kUp);
  ASSERT_FALSE(trace.empty());
  // Offsets from -1.5 upwards reach 0.2 but not 0.3 (the accumulated value
  // is 0.30000000000000027, off the plane tolerance), so the widest fitting
  // offset across the normal is (-0.3, -0.1) under dz = 0.2.
  EXPECT_NEAR(trace[0].x, -0.3, 1e-12);
  EXPECT_NEAR(trace[0].y, 0.35, 1e-12);
  EXPECT_NEAR(trace[0].z, 0.2, 1e-12);
  expectAnchorCa(trace[0], stick[0]);
  expectStrandGeometry(trace, 0, 0);
  for (std::size_t i = 1; i < trace.size(); ++i) EXPECT_GT(trace[i].x, trace[i - 1].x);
  EXPECT_GT(trace.back().x, stick[5].x);
}

TEST(StrandCa, AnchorAtTheLastPointEndsTheTrace) {
  PointList stick = bentStick(7, 3.0);
  PointList trace = buildStrandCa(stick, 6, kUp);
  ASSERT_GE(trace.size(), 3u);
  // The anchor C-alpha closes the trace at the stick's last end ...
  const Coordinate& anchorCa = trace.back();
  EXPECT_NEAR(anchorCa.x, 17.7, 1e-12);
  EXPECT_NEAR(anchorCa.y, 0.35, 1e-12);
  EXPECT_NEAR(anchorCa.z, 0.2, 1e-12);
  expectAnchorCa(anchorCa, stick[6]);
  // ... and the first stick point, 3.02 from the last C-alpha found, is
  // appended exactly as it is.
  expectSamePoint(trace.front(), stick[0]);
  expectStrandGeometry(trace, 1, 0);
  for (std::size_t i = 1; i < trace.size(); ++i) EXPECT_GT(trace[i].x, trace[i - 1].x);
}

TEST(StrandCa, AnchorInsideTheStickGrowsBothWaysAndOccursOnce) {
  PointList stick = bentStick(7, 3.0);
  PointList trace = buildStrandCa(stick, 3, kUp);
  ASSERT_GE(trace.size(), 5u);
  int anchorCas = 0;
  for (const Coordinate& ca : trace) {
    // Stick point 3 is odd: its offsets are scanned from +1.5 downwards.
    if (std::abs(ca.x - 9.5) < 1e-9 && std::abs(ca.y - 0.1) < 1e-9 && std::abs(ca.z - 0.3) < 1e-9) ++anchorCas;
  }
  EXPECT_EQ(anchorCas, 1);
  expectSamePoint(trace.front(), stick[0]);
  expectStrandGeometry(trace, 1, 0);
  for (std::size_t i = 1; i < trace.size(); ++i) EXPECT_GT(trace[i].x, trace[i - 1].x);
}

TEST(StrandCa, BridgesGapsTowardsTheNextStickPoint) {
  // Stick points 3 and 10 are too far apart for one C-alpha step.
  PointList stick;
  for (double x : {0.0, 3.0, 10.0, 13.0, 16.0}) stick.push_back(Coordinate(x, 0.002 * (x - 8) * (x - 8), 0));
  PointList trace = buildStrandCa(stick, 0, kUp);
  ASSERT_EQ(trace.size(), 5u);
  expectAnchorCa(trace[0], stick[0]);
  // No position at stick point 2 fits: step 3.8 towards stick point 3, and
  // again from there towards stick point 4.
  expectSamePoint(trace[2], pointOnLine(trace[1], stick[3], 3.8));
  expectSamePoint(trace[3], pointOnLine(trace[2], stick[4], 3.8));
  // The last stick point is more than 3 from the last C-alpha: appended.
  expectSamePoint(trace[4], stick[4]);
  expectStrandGeometry(trace, 0, 1);
}

TEST(StrandCa, NoAnchorPositionGivesAnEmptyTrace) {
  // A straight stick spans no plane, a stick of one point neither.
  EXPECT_TRUE(buildStrandCa(bentStick(7, 3.0, 0, 0, 0.0), 0, kUp).empty());
  EXPECT_TRUE(buildStrandCa(PointList{{1, 2, 3}}, 0, kUp).empty());
  // A zero normal admits no anchor offset.
  EXPECT_TRUE(buildStrandCa(bentStick(7, 3.0), 0, Vectors(0, 0, 0)).empty());
  // Anchors outside the stick.
  EXPECT_TRUE(buildStrandCa(bentStick(7, 3.0), -1, kUp).empty());
  EXPECT_TRUE(buildStrandCa(bentStick(7, 3.0), 7, kUp).empty());
  EXPECT_TRUE(buildStrandCa(PointList(), 0, kUp).empty());
}

namespace {

// Sticks sampled every 0.5 along x, 4.8 apart in y; 25 points each, so the
// middle of a stick is its point 12.
StrandSet sheetWithShifts(const std::vector<double>& x0s) {
  StrandSet sticks;
  for (std::size_t i = 0; i < x0s.size(); ++i) sticks.push_back(bentStick(25, 0.5, x0s[i], 4.8 * i, 0.0005));
  return sticks;
}

// The trace of one stick anchored at its point k, thinned the way the sheet
// builder thins it.
PointList traceAnchoredAt(PointList stick, int k) {
  Coordinate anchor = stick[k];
  roughStickFromIndx(stick, 3.0, k);
  for (std::size_t p = 0; p < stick.size(); ++p) {
    if (getDistance(stick[p], anchor) < 0.001) return buildStrandCa(stick, static_cast<int>(p), kUp);
  }
  return PointList();
}

}  // namespace

TEST(SheetCa, AnchorsEveryStrandNearTheMiddleOfStickHalfN) {
  // Three sticks: the central one is stick 1, shifted by 1.5 along x, so
  // its middle (7.5, 4.8) is next to point 15 of the others.
  StrandSet sticks = sheetWithShifts({0, 1.5, 0});
  StrandSet traces = buildSheetCa(sticks, kUp);
  ASSERT_EQ(traces.size(), 3u);
  std::vector<int> anchors{15, 12, 15};
  for (int j = 0; j < 3; ++j) {
    SCOPED_TRACE(j);
    EXPECT_FALSE(traces[j].empty());
    expectSameTrace(traces[j], traceAnchoredAt(sticks[j], anchors[j]));
  }

  // Four sticks: the central one is stick 2, the upper of the middle two.
  sticks = sheetWithShifts({0, 0, 1.5, 0});
  traces = buildSheetCa(sticks, kUp);
  ASSERT_EQ(traces.size(), 4u);
  anchors = {15, 15, 12, 15};
  for (int j = 0; j < 4; ++j) {
    SCOPED_TRACE(j);
    EXPECT_FALSE(traces[j].empty());
    expectSameTrace(traces[j], traceAnchoredAt(sticks[j], anchors[j]));
  }
}

TEST(SheetCa, StrandsWithoutAnchorGetEmptyTraces) {
  EXPECT_TRUE(buildSheetCa(StrandSet(), kUp).empty());

  // A stick more than 999 Å away has no point within reach of the centre; an empty
  // stick has none at all. The others are traced as usual.
  StrandSet sticks = sheetWithShifts({0, 0, 0});
  sticks[0] = bentStick(25, 0.5, 1010, 0, 0.0005);
  sticks.push_back(PointList());
  StrandSet traces = buildSheetCa(sticks, kUp);
  ASSERT_EQ(traces.size(), 4u);
  EXPECT_TRUE(traces[0].empty());
  EXPECT_FALSE(traces[1].empty());
  EXPECT_FALSE(traces[2].empty());
  EXPECT_TRUE(traces[3].empty());

  // A central stick without extent has no middle to anchor at.
  sticks = sheetWithShifts({0, 0, 0});
  sticks[1] = PointList{{3, 4.8, 0}, {3, 4.8, 0}};
  traces = buildSheetCa(sticks, kUp);
  ASSERT_EQ(traces.size(), 3u);
  for (const PointList& trace : traces) EXPECT_TRUE(trace.empty());
}

namespace {

// A search that finds, around each stick point it is asked about, the point
// 1 Å to its +y side, when that stick point is in `fits`: the tracing alone,
// with worked-out answers.
struct ScriptedTracer {
  const PointList& stick;
  std::vector<int> fits;
  bool search(int i, const PointList&, Coordinate& found) const {
    if (std::find(fits.begin(), fits.end(), i) == fits.end()) return false;
    found = Coordinate(stick[i].x, stick[i].y + 1, stick[i].z);
    return true;
  }
};

}  // namespace

TEST(StrandTrace, GrowsBridgesAndClosesAsWorkedOutByHand) {
  // Stick points 3 Å apart along x: a C-alpha lies 3.16 Å from the
  // neighbouring stick points (an end is appended), 6.08 Å from the next but
  // one (a missing C-alpha is bridged by a 3.8 Å step).
  PointList stick;
  for (int k = 0; k < 7; ++k) stick.push_back(Coordinate(3.0 * k, 0, 0));
  auto S = [&](int k) { return stick[k]; };
  auto C = [&](int k) { return Coordinate(stick[k].x, 1, 0); };
  auto B = [&](Coordinate from, int k) { return pointOnLine(from, stick[k], 3.8); };
  const std::vector<int> all{0, 1, 2, 3, 4, 5, 6};
  struct Case {
    int anchor;
    std::vector<int> fits;
    PointList expected;
  } cases[] = {
      {3, all, {S(0), C(1), C(2), C(3), C(4), C(5), S(6)}},
      {0, all, {C(0), C(1), C(2), C(3), C(4), C(5), S(6)}},  // no search at the last point; its end appended
      {6, all, {S(0), C(1), C(2), C(3), C(4), C(5), C(6)}},  // the anchor closes the trace
      {3, {3}, {B(B(C(3), 1), 0), B(C(3), 1), C(3), B(C(3), 5), B(B(C(3), 5), 6)}},
      {3, {0, 1, 2, 4, 5, 6}, {}},  // no anchor C-alpha
      {7, all, {}},
      {-1, all, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.anchor);
    expectSameTrace(strand_trace::traceStrand(stick, c.anchor, ScriptedTracer{stick, c.fits}), c.expected);
  }
}
