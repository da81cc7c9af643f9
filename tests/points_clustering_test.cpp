#include <gtest/gtest.h>

#include <cmath>

#include "velmorantique/points.h"

using namespace vel;

namespace {

void expectPoint(const Coordinate& p, double x, double y, double z) {
  EXPECT_DOUBLE_EQ(p.x, x);
  EXPECT_DOUBLE_EQ(p.y, y);
  EXPECT_DOUBLE_EQ(p.z, z);
}

double rounded(double value, int16_t decimals) { return round(value, decimals); }

}  // namespace

TEST(Round, HalvesGoAwayFromZero) {
  EXPECT_DOUBLE_EQ(rounded(2.0005, 3), 2.001);
  EXPECT_DOUBLE_EQ(rounded(-2.0005, 3), -2.001);
  EXPECT_DOUBLE_EQ(rounded(2.0004, 3), 2.0);
  EXPECT_DOUBLE_EQ(rounded(-2.0004, 3), -2.0);
  EXPECT_DOUBLE_EQ(rounded(4.9996, 3), 5.0);
  EXPECT_DOUBLE_EQ(rounded(2.5, 0), 3.0);
  EXPECT_DOUBLE_EQ(rounded(-2.5, 0), -3.0);
  EXPECT_DOUBLE_EQ(rounded(1.23456, 2), 1.23);
}

TEST(Round, LeavesItsArgumentAndStaysDefinedBeyondIntRange) {
  double value = 2.0005;
  round(value, 3);
  EXPECT_EQ(value, 2.0005);

  // 3e6 Å scaled by 1000 no longer fits a 32-bit integer.
  EXPECT_DOUBLE_EQ(rounded(3000000.0004, 3), 3000000.0);
  EXPECT_DOUBLE_EQ(rounded(-3000000.0006, 3), -3000000.001);
  EXPECT_TRUE(std::isnan(rounded(std::nan(""), 3)));
}

TEST(PeakClustering, CentroidMovesAsPointsJoin) {
  // (6,0,0) is 6 from the seed but only 4.5 from the centroid once (3,0,0)
  // has joined.
  PointList points{{0, 0, 0}, {3, 0, 0}, {6, 0, 0}};
  ClusterList clusters;
  peakClustering(points, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 1u);
  ASSERT_EQ(clusters[0].size(), 4u);
  expectPoint(clusters[0][0], 0, 0, 0);
  expectPoint(clusters[0][1], 3, 0, 0);
  expectPoint(clusters[0][2], 6, 0, 0);
  expectPoint(clusters[0][3], 3, 0, 0);
}

TEST(PeakClustering, SweepsAgainWhileTheClusterGrows) {
  // (6,0,0) comes first in the list, before the centroid has moved towards
  // it: it can only join in a second sweep.
  PointList points{{6, 0, 0}, {0, 0, 0}, {3, 0, 0}};
  ClusterList clusters;
  peakClustering(points, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 1u);
  ASSERT_EQ(clusters[0].size(), 4u);
  expectPoint(clusters[0][0], 0, 0, 0);
  expectPoint(clusters[0][1], 3, 0, 0);
  expectPoint(clusters[0][2], 6, 0, 0);
  expectPoint(clusters[0][3], 3, 0, 0);
}

TEST(PeakClustering, ThresholdIsStrictOnRoundedDistances) {
  ClusterList clusters;
  peakClustering(PointList{{0, 0, 0}, {5, 0, 0}}, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 2u);
  ASSERT_EQ(clusters[0].size(), 2u);
  expectPoint(clusters[0][0], 0, 0, 0);
  expectPoint(clusters[0][1], 0, 0, 0);
  ASSERT_EQ(clusters[1].size(), 2u);
  expectPoint(clusters[1][0], 5, 0, 0);
  expectPoint(clusters[1][1], 5, 0, 0);

  clusters.clear();
  peakClustering(PointList{{0, 0, 0}, {4.9996, 0, 0}}, clusters, Coordinate(0, 0, 0), 5.0);
  EXPECT_EQ(clusters.size(), 2u);  // 4.9996 rounds to 5.0

  clusters.clear();
  peakClustering(PointList{{0, 0, 0}, {4.9994, 0, 0}}, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 1u);  // 4.9994 rounds to 4.999
  EXPECT_EQ(clusters[0].size(), 3u);
}

TEST(PeakClustering, NextClusterStartsNearestThePreviousCentroid) {
  PointList points{{0, 0, 0}, {20, 0, 0}, {10, 0, 0}};
  ClusterList clusters;
  peakClustering(points, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 3u);
  expectPoint(clusters[0][0], 0, 0, 0);
  expectPoint(clusters[1][0], 10, 0, 0);
  expectPoint(clusters[2][0], 20, 0, 0);
}

TEST(PeakClustering, EqualRoundedSeedDistancesKeepTheEarlierPoint) {
  // 1.0004 and 1.0001 both round to 1.0: the first listed point seeds,
  // although the second is nearer.
  PointList points{{1.0004, 0, 0}, {-1.0001, 0, 0}};
  ClusterList clusters;
  peakClustering(points, clusters, Coordinate(0, 0, 0), 0.5);
  ASSERT_EQ(clusters.size(), 2u);
  expectPoint(clusters[0][0], 1.0004, 0, 0);
  expectPoint(clusters[1][0], -1.0001, 0, 0);
}

TEST(PeakClustering, AppendsToExistingClustersAndHandlesEmptyInput) {
  ClusterList clusters{PointList{{9, 9, 9}}};
  peakClustering(PointList(), clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 1u);

  peakClustering(PointList{{1, 1, 1}}, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 2u);
  expectPoint(clusters[0][0], 9, 9, 9);
  expectPoint(clusters[1][1], 1, 1, 1);
}

TEST(PeakClustering, StopsWhenNoPointIsWithinSeedReach) {
  // The second point lies beyond the 9999 Å seed search: the clustering ends
  // with the cluster it has.
  PointList points{{0, 0, 0}, {20000, 0, 0}};
  ClusterList clusters;
  peakClustering(points, clusters, Coordinate(0, 0, 0), 5.0);
  ASSERT_EQ(clusters.size(), 1u);
  expectPoint(clusters[0][0], 0, 0, 0);

  clusters.clear();
  peakClustering(PointList{{std::nan(""), 0, 0}}, clusters, Coordinate(0, 0, 0), 5.0);
  EXPECT_TRUE(clusters.empty());
}

TEST(ClosestPoint, SkipsCoincidentPointsAndTakesTheFirstOnTies) {
  EXPECT_EQ(findClosestPointInSet(PointList{{1, 0, 0}, {-1, 0, 0}}, Coordinate(0, 0, 0)), 0);
  EXPECT_EQ(findClosestPointInSet(PointList{{0, 0, 0}, {3, 0, 0}, {2, 0, 0}}, Coordinate(0, 0, 0)), 2);
  EXPECT_EQ(findClosestPointInSet(PointList{{0, 0, 0}, {0, 0, 0}}, Coordinate(0, 0, 0)), -1);
}

TEST(ClosestPoint, NothingAt999OrBeyond) {
  EXPECT_EQ(findClosestPointInSet(PointList(), Coordinate(0, 0, 0)), -1);
  EXPECT_EQ(findClosestPointInSet(PointList{{999, 0, 0}, {1500, 0, 0}}, Coordinate(0, 0, 0)), -1);
  EXPECT_EQ(findClosestPointInSet(PointList{{999, 0, 0}, {998.5, 0, 0}}, Coordinate(0, 0, 0)), 1);
}
