#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "velmorantique/geometry.h"

using namespace vel;

TEST(PointGeometry, DistanceAndCentroid) {
  EXPECT_EQ(getDistance(Coordinate(1, 1, 1), Coordinate(4, 5, 1)), 5.0);
  EXPECT_EQ(getDistance(Coordinate(4, 5, 1), Coordinate(1, 1, 1)), 5.0);
  Coordinate c = triangleCenter(Coordinate(0, 0, 0), Coordinate(3, 0, 6), Coordinate(0, 3, -3));
  EXPECT_EQ(c.x, 1);
  EXPECT_EQ(c.y, 1);
  EXPECT_EQ(c.z, 1);
}

TEST(PointGeometry, PointOnLineMeasuresSignedDistanceFromTheStart) {
  Coordinate a(1, 2, 3), b(1, 2, 7);
  Coordinate end = pointOnLine(a, b, 4);
  EXPECT_EQ(end.z, 7);
  EXPECT_EQ(pointOnLine(a, b, 0).z, 3);
  EXPECT_EQ(pointOnLine(a, b, 6).z, 9);    // past b
  EXPECT_EQ(pointOnLine(a, b, -1).z, 2);   // behind a
  EXPECT_EQ(pointOnLine(a, b, 6).x, 1);
  Coordinate slanted = pointOnLine(Coordinate(0, 0, 0), Coordinate(3, 4, 0), 10);
  EXPECT_DOUBLE_EQ(slanted.x, 6);
  EXPECT_DOUBLE_EQ(slanted.y, 8);
  EXPECT_TRUE(std::isnan(pointOnLine(a, a, 1).x));
}

TEST(PointGeometry, AngleIsMeasuredAtTheMiddlePoint) {
  EXPECT_DOUBLE_EQ(getAngleDegree(Coordinate(1, 0, 0), Coordinate(0, 0, 0), Coordinate(0, 1, 0)), 90.0);
  // Right angle at (1,0,0); the angle at the first point would be 45.
  EXPECT_DOUBLE_EQ(getAngleDegree(Coordinate(0, 0, 0), Coordinate(1, 0, 0), Coordinate(1, 1, 0)), 90.0);
  EXPECT_DOUBLE_EQ(getAngleDegree(Coordinate(1, 0, 0), Coordinate(0, 0, 0), Coordinate(-2, 0, 0)), 180.0);
}

TEST(PointGeometry, DistanceFromAPlaneIsNeverNegative) {
  Coordinate p1(0, 0, 0), p2(1, 0, 0), p3(0, 1, 0);  // the plane z = 0
  EXPECT_EQ(getDistPlanePoint(p1, p2, p3, Coordinate(5, 7, -3)), 3.0);
  EXPECT_EQ(getDistPlanePoint(p1, p2, p3, Coordinate(5, 7, 3)), 3.0);
  EXPECT_EQ(getDistPlanePoint(p3, p2, p1, Coordinate(5, 7, -3)), 3.0);
  // A tilted plane through (2,0,0), (0,2,0), (0,0,2): x + y + z = 2.
  EXPECT_DOUBLE_EQ(getDistPlanePoint(Coordinate(2, 0, 0), Coordinate(0, 2, 0), Coordinate(0, 0, 2),
                                     Coordinate(0, 0, 0)),
                   2 / std::sqrt(3.0));
  EXPECT_TRUE(std::isnan(getDistPlanePoint(p1, p2, Coordinate(2, 0, 0), Coordinate(0, 0, 1))));
}

TEST(PointGeometry, WithinReachIsFiniteAndAtMostAMillionAngstroms) {
  EXPECT_TRUE(withinReach(Coordinate(1e6, -1e6, 0)));
  EXPECT_FALSE(withinReach(Coordinate(0, std::nextafter(1e6, 2e6), 0)));
  EXPECT_FALSE(withinReach(Coordinate(0, 0, -std::numeric_limits<double>::infinity())));
  EXPECT_FALSE(withinReach(Coordinate(std::nan(""), 0, 0)));
}

TEST(PointGeometry, BitsTellApartWhatEqualityMerges) {
  EXPECT_NE(bitsOf(0.0), bitsOf(-0.0));
  const double nan = std::nan("");
  EXPECT_EQ(bitsOf(nan), bitsOf(nan));
  EXPECT_EQ(bitsOf(0.1 + 0.2), bitsOf(0.30000000000000004));
}
