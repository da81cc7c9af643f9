#include <gtest/gtest.h>

#include <cmath>

#include "velmorantique/compare.h"

using namespace vel;

namespace {

// n points along x, one every 0.1 Å, lifted to height y.
PointList line(double x0, int n, double y = 0) {
  PointList points;
  for (int i = 0; i < n; ++i) points.push_back(Coordinate(x0 + 0.1 * i, y, 0));
  return points;
}

PointList single(double x, double y, double z) { return PointList{Coordinate(x, y, z)}; }

}  // namespace

TEST(Dist, IgnoresCoincidentPointsAndFallsBackTo999) {
  PointList p{Coordinate(0, 0, 0), Coordinate(1, 0, 0), Coordinate(3, 0, 0)};
  // Against itself every point skips itself: nearest others at 1, 1, 2.
  EXPECT_DOUBLE_EQ(Dist(p, p), 4.0 / 3.0);
  EXPECT_EQ(Dist(single(1, 2, 3), single(1, 2, 3)), 999);
  EXPECT_EQ(Dist(p, PointList()), 999);
  // No neighbour below 999 Å either: 999 is the ceiling, not a measured value.
  EXPECT_EQ(Dist(single(0, 0, 0), single(2000, 0, 0)), 999);
  // Not symmetric: each point of p looks for its own nearest point of q.
  PointList q{Coordinate(0, 2, 0)};
  EXPECT_DOUBLE_EQ(Dist(q, p), 2.0);
  EXPECT_DOUBLE_EQ(Dist(p, q), (2.0 + std::sqrt(5.0) + std::sqrt(13.0)) / 3.0);
}

TEST(OneWayDist, LargerSetIsJudgedByItsBestWindow) {
  // Single points on the y axis against B = two points at y = 0: per-strand
  // distances 5, 1, 1, 9 make windows of 6, 2 and 10, so the result is 2 / 2.
  StrandSet b{single(0, 0, 0), single(0, 0, 0)};
  StrandSet a{single(0, 5, 0), single(0, 1, 0), single(0, -1, 0), single(0, 9, 0)};
  EXPECT_DOUBLE_EQ(OneWayDist(a, b), 1.0);
}

TEST(OneWayDist, SmallerSetTakesThePlainMean) {
  StrandSet a{single(0, 2, 0), single(0, 7, 0)};
  StrandSet b{single(0, 0, 0), single(0, 10, 0), single(0, 20, 0), single(0, 30, 0),
              single(0, 40, 0)};
  EXPECT_DOUBLE_EQ(OneWayDist(a, b), (2.0 + 3.0) / 2.0);
}

TEST(OneWayDist, CoincidentStrandsAreMeasuredToTheirNearestOtherPoint) {
  // Strand 0 of a equals the only strand of b: its Dist is the 0.1 Å point
  // spacing, not 0. Strand 1 of a lies 5 Å away.
  StrandSet a{line(0, 5), line(0, 5, 5)};
  StrandSet b{line(0, 5)};
  double expected = 0;
  for (int i = 0; i < 5; ++i) expected += Dist(PointList{a[0][i]}, b[0]);
  expected /= 5;
  EXPECT_NEAR(expected, 0.1, 1e-12);
  EXPECT_DOUBLE_EQ(OneWayDist(StrandSet{a[0]}, b), expected);
  // |A| = 2 > |B| = 1: the windows are each strand alone; the nearer wins.
  EXPECT_DOUBLE_EQ(OneWayDist(a, b), expected);
}

TEST(DistOneToOne, ChoosesTheBestShiftAndDirection) {
  PointList p{Coordinate(0, 0, 0), Coordinate(1, 0, 0)};
  PointList q{Coordinate(5, 0, 0), Coordinate(1, 0, 0), Coordinate(0, 0, 0)};
  // Only the reverse pairing at shift 1 (p1-q1, p0-q2) reaches 0.
  std::pair<double, double> d = Dist_OneToOne(p, q);
  EXPECT_EQ(d.first, 0);
  EXPECT_EQ(d.second, 0);
  // The shorter list is always the one laid along the other.
  d = Dist_OneToOne(q, p);
  EXPECT_EQ(d.first, 0);
  EXPECT_EQ(d.second, 0);

  PointList forward = line(0, 7);
  PointList backward(forward.rbegin(), forward.rend());
  d = Dist_OneToOne(forward, backward);
  EXPECT_EQ(d.first, 0);
  EXPECT_EQ(d.second, 0);
}

TEST(DistOneToOne, ReturnsMeanAndUndividedSquaredSum) {
  PointList p{Coordinate(0, 0, 0), Coordinate(1, 0, 0)};
  PointList q{Coordinate(0, 1, 0), Coordinate(1, 3, 0)};
  // Forward 1 + 3 beats reverse sqrt(2) + sqrt(10).
  std::pair<double, double> d = Dist_OneToOne(p, q);
  EXPECT_DOUBLE_EQ(d.first, 2.0);
  EXPECT_DOUBLE_EQ(d.second, 10.0);

  // Three alignments sum to 2: forward at shift 0 (0 + 2), reverse at shift 0
  // (1 + 1) and forward at shift 1 (1 + 1). The first keeps its squared sum.
  PointList s{Coordinate(0, 0, 0), Coordinate(1, 0, 0)};
  PointList l{Coordinate(0, 0, 0), Coordinate(-1, 0, 0), Coordinate(1, 1, 0)};
  d = Dist_OneToOne(s, l);
  EXPECT_DOUBLE_EQ(d.first, 1.0);
  EXPECT_DOUBLE_EQ(d.second, 4.0);
}

TEST(RMS, PoolsSquaredDistancesOverAllPairs) {
  // Strand a0 pairs with b0 at 1 Å per point (3 pairs); a1 lays b1 along
  // itself at 2 Å (2 pairs, the length of the shorter strand).
  StrandSet a{line(0, 3, 1), line(10, 4, 2)};
  StrandSet b{line(0, 3), line(10, 2)};
  std::pair<std::pair<double, double>, int> r = RMS(a, b);
  EXPECT_EQ(r.second, 5);
  EXPECT_DOUBLE_EQ(r.first.first, (1.0 + 2.0) / 2.0);
  EXPECT_DOUBLE_EQ(r.first.second, std::sqrt((3 * 1.0 + 2 * 4.0) / 5.0));
}

TEST(RMS, IdenticalSetsPairEachStrandWithAnother) {
  // Each strand matched with itself gives 0, which does not count: each is
  // matched with the other strand, 3 Å away.
  StrandSet a{line(0, 4), line(0, 4, 3)};
  std::pair<std::pair<double, double>, int> r = RMS(a, a);
  EXPECT_DOUBLE_EQ(r.first.first, 3.0);
  EXPECT_DOUBLE_EQ(r.first.second, 3.0);
  EXPECT_EQ(r.second, 8);

  // A lone strand has nothing else to match: 999 mean, no pairs, and its
  // 99999 squared sum over a count of 0 gives an infinite RMSD.
  r = RMS(StrandSet{a[0]}, StrandSet{a[0]});
  EXPECT_EQ(r.first.first, 999);
  EXPECT_TRUE(std::isinf(r.first.second));
  EXPECT_EQ(r.second, 0);
}

TEST(RMS, LargerSetTakesCountAndSquaresFromTheChosenWindow) {
  // Per-strand matches against b: a0 at 4 Å (5 pairs), a1 at 1 Å (2 pairs),
  // a2 at 2 Å (3 pairs). Windows of two: 5 and 3; the second is chosen.
  StrandSet b{line(0, 5), line(0, 5, 100)};
  StrandSet a{line(0, 5, -4), line(0, 2, 99), line(0, 3, 2)};
  std::pair<std::pair<double, double>, int> r = RMS(a, b);
  EXPECT_DOUBLE_EQ(r.first.first, 3.0 / 2.0);
  EXPECT_EQ(r.second, 5);
  EXPECT_DOUBLE_EQ(r.first.second, std::sqrt((2 * 1.0 + 3 * 4.0) / 5.0));
}

TEST(RMS, FirstOfEqualWindowsKeepsItsCountAndSquares) {
  // Per-strand matches: a0 at 1 Å (2 pairs), a1 at 2 Å (3 pairs), a2 at 1 Å
  // (4 pairs). Both windows sum to 3; the first one's pairs are reported.
  StrandSet b{line(0, 5), line(0, 5, 100)};
  StrandSet a{line(0, 2, 1), line(0, 3, 98), line(0, 4, -1)};
  std::pair<std::pair<double, double>, int> r = RMS(a, b);
  EXPECT_DOUBLE_EQ(r.first.first, 3.0 / 2.0);
  EXPECT_EQ(r.second, 5);
  EXPECT_DOUBLE_EQ(r.first.second, std::sqrt((2 * 1.0 + 3 * 4.0) / 5.0));
}

TEST(SetDistances, EmptyInputsGiveNotANumber) {
  StrandSet a{line(0, 3)};
  EXPECT_TRUE(std::isnan(Dist(PointList(), line(0, 3))));
  EXPECT_TRUE(std::isnan(OneWayDist(StrandSet(), a)));
  EXPECT_TRUE(std::isnan(OneWayDist(a, StrandSet())));
  EXPECT_TRUE(std::isnan(Dist_OneToOne(PointList(), line(0, 3)).first));
  std::pair<std::pair<double, double>, int> r = RMS(a, StrandSet());
  EXPECT_TRUE(std::isnan(r.first.first));
  EXPECT_TRUE(std::isnan(r.first.second));
  EXPECT_EQ(r.second, 0);
}
