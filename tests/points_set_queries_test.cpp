#include <gtest/gtest.h>

#include "velmorantique/points.h"

using namespace vel;

namespace {

PointList pointsOnXAxis(int count) {
  PointList points;
  for (int i = 0; i < count; ++i) points.push_back(Coordinate(i, 0, 0));
  return points;
}

}  // namespace

TEST(FarthestPair, NoPairWithoutTwoDistinctPoints) {
  EXPECT_EQ(findFarestPointInOneSet(PointList()), IndexPair({-1, -1}));
  EXPECT_EQ(findFarestPointInOneSet(PointList{{1, 2, 3}}), IndexPair({-1, -1}));
  EXPECT_EQ(findFarestPointInOneSet(PointList{{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}), IndexPair({-1, -1}));
}

TEST(FarthestPair, FirstPairWinsEqualDistances) {
  // Both diagonals of the unit square are sqrt(2) long.
  PointList square{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  EXPECT_EQ(findFarestPointInOneSet(square), IndexPair({0, 2}));

  PointList points{{5, 0, 0}, {1, 0, 0}, {0, 0, 0}, {2, 0, 0}};
  EXPECT_EQ(findFarestPointInOneSet(points), IndexPair({0, 2}));
}

TEST(ClosestPairBetweenSets, IgnoresSharedPointsAndTakesTheFirstPairOnTies) {
  PointList a{{0, 0, 0}, {10, 0, 0}};
  PointList b{{0, 0, 0}, {2, 0, 0}, {8, 0, 0}};
  EXPECT_EQ(findClosestPointBtwSets(a, b), IndexPair({0, 1}));
  EXPECT_EQ(findClosestPointBtwSets(b, a), IndexPair({1, 0}));
}

TEST(ClosestPairBetweenSets, NothingAt999OrBeyond) {
  EXPECT_EQ(findClosestPointBtwSets(PointList{{0, 0, 0}}, PointList{{999, 0, 0}}), IndexPair({-1, -1}));
  EXPECT_EQ(findClosestPointBtwSets(PointList{{0, 0, 0}}, PointList{{998.5, 0, 0}}), IndexPair({0, 0}));
  EXPECT_EQ(findClosestPointBtwSets(PointList(), PointList{{1, 0, 0}}), IndexPair({-1, -1}));
}

TEST(MiddlePoint, SmallestImbalanceWithHighestIndexOnTies) {
  PointList line = pointsOnXAxis(5);
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({0, 4}, line), 2);
  // Points 1 and 2 both differ by 1 in their distances to 0 and 3.
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({0, 3}, line), 2);
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({3, 0}, line), 2);
  // The ends take part like any other member.
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({1, 1}, line), 4);
}

TEST(MiddlePoint, EndsOutsideTheSetGiveNoPoint) {
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({0, 0}, PointList()), -1);
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({-1, -1}, pointsOnXAxis(3)), -1);
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({0, 3}, pointsOnXAxis(3)), -1);
  EXPECT_EQ(findMiddlePointBtwTwoPointsInOneSet({0}, pointsOnXAxis(3)), -1);
}
