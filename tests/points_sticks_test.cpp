#include <gtest/gtest.h>

#include <vector>

#include "velmorantique/points.h"

using namespace vel;

namespace {

PointList pointsAtX(const std::vector<double>& xs) {
  PointList points;
  for (double x : xs) points.push_back(Coordinate(x, 0, 0));
  return points;
}

std::vector<double> xsOf(const PointList& points) {
  std::vector<double> xs;
  for (const Coordinate& p : points) xs.push_back(p.x);
  return xs;
}

// Points 0, 0.4, 0.8, ..., 4.0 along x.
PointList everyFourTenths() {
  PointList points;
  for (int i = 0; i <= 10; ++i) points.push_back(Coordinate(i * 0.4, 0, 0));
  return points;
}

}  // namespace

TEST(FineStick, ResamplingCountsFollowRepeatedAddition) {
  // The step 0 -> 1 sampled every 0.1 gets 11 points; the walk then stops
  // with two points left.
  PointList points = pointsAtX({0, 1, 2});
  fineStickUnordered(points, 0.1);
  ASSERT_EQ(points.size(), 11u);
  EXPECT_EQ(points.front().x, 0.0);
  EXPECT_EQ(points.back().x, 0.9999999999999999);
  for (const Coordinate& p : points) {
    EXPECT_EQ(p.y, 0.0);
    EXPECT_EQ(p.z, 0.0);
  }
}

TEST(FineStick, WalksFromTheFirstPointOfTheDiameter) {
  PointList points = pointsAtX({0, 1, 2, 3});
  fineStickUnordered(points, 0.25);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 0.25, 0.5, 0.75, 1, 1.25, 1.5, 1.75}));

  // Listed from the other end, the diameter pair starts at (3,0,0).
  points = pointsAtX({3, 1, 0, 2});
  fineStickUnordered(points, 0.25);
  EXPECT_EQ(xsOf(points), std::vector<double>({3, 2.75, 2.5, 2.25, 2, 1.75, 1.5, 1.25}));
}

TEST(FineStick, ShortStepsAndNearDuplicatesEmitTheirStartOnly) {
  PointList points = pointsAtX({0, 0.1, 0.2, 1});
  fineStickUnordered(points, 0.25);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 0.1}));

  // 0.0005 goes with the point it sits on.
  points = pointsAtX({0, 0.0005, 1, 2, 3});
  fineStickUnordered(points, 0.25);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 1, 1.25, 1.5, 1.75}));
}

TEST(FineStick, TooSmallCloudsGiveAnEmptyStick) {
  PointList points;
  fineStickUnordered(points, 0.1);
  EXPECT_TRUE(points.empty());

  points = pointsAtX({0, 1});
  fineStickUnordered(points, 0.1);
  EXPECT_TRUE(points.empty());

  points = pointsAtX({2, 2, 2, 2});
  fineStickUnordered(points, 0.1);
  EXPECT_TRUE(points.empty());
}

TEST(RoughStick, KeepsPointsAtLeastTheGapApartAndTheLastPoint) {
  PointList points = everyFourTenths();
  roughStick(points, 1.0);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 3 * 0.4, 6 * 0.4, 9 * 0.4, 10 * 0.4}));
}

TEST(RoughStick, StopsAtTheFirstFarPoint) {
  // 0.2 is near the first point but follows the far point 3: it stays.
  PointList points = pointsAtX({0, 0.5, 3, 0.2, 6});
  roughStick(points, 1.0);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 3, 0.2, 6}));

  points.clear();
  roughStick(points, 1.0);
  EXPECT_TRUE(points.empty());
}

TEST(RoughStickFromIndex, ThinsOutwardsFromTheAnchor) {
  PointList whole = everyFourTenths();
  roughStick(whole, 1.0);
  PointList points = everyFourTenths();
  roughStickFromIndx(points, 1.0, 0);
  EXPECT_EQ(xsOf(points), xsOf(whole));

  points = everyFourTenths();
  roughStickFromIndx(points, 1.0, 10);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 1 * 0.4, 4 * 0.4, 7 * 0.4, 10 * 0.4}));

  points = everyFourTenths();
  roughStickFromIndx(points, 1.0, 5);
  EXPECT_EQ(xsOf(points), std::vector<double>({0, 2 * 0.4, 5 * 0.4, 8 * 0.4, 10 * 0.4}));
}

TEST(RoughStickFromIndex, AnchorOutsideTheStickLeavesItEmpty) {
  PointList points = everyFourTenths();
  roughStickFromIndx(points, 1.0, -1);
  EXPECT_TRUE(points.empty());

  points = everyFourTenths();
  roughStickFromIndx(points, 1.0, 11);
  EXPECT_TRUE(points.empty());

  points.clear();
  roughStickFromIndx(points, 1.0, 0);
  EXPECT_TRUE(points.empty());

  points = pointsAtX({7});
  roughStickFromIndx(points, 1.0, 0);
  EXPECT_EQ(xsOf(points), std::vector<double>({7}));
}
