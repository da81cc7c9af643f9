#include <cmath>

#include <gtest/gtest.h>

#include "velmorantique/geometry.h"

using namespace vel;

namespace {

Coordinate rotated(Coordinate axisFrom, Coordinate axisTo, double theta, Coordinate p) {
  RotationMatrix m;
  buildRotationMatrix(m, axisFrom, axisTo, theta);
  rotatePoint(m, p);
  return p;
}

void expectNear(Coordinate got, Coordinate want) {
  EXPECT_NEAR(got.x, want.x, 1e-12);
  EXPECT_NEAR(got.y, want.y, 1e-12);
  EXPECT_NEAR(got.z, want.z, 1e-12);
}

}  // namespace

TEST(Rotation, QuarterTurnAboutZIsCounterClockwise) {
  expectNear(rotated(Coordinate(0, 0, 0), Coordinate(0, 0, 1), kPi / 2, Coordinate(1, 0, 0)),
             Coordinate(0, 1, 0));
  // The axis need not be a unit vector nor pass through the origin.
  expectNear(rotated(Coordinate(1, 1, 0), Coordinate(1, 1, 5), kPi / 2, Coordinate(2, 1, 3)),
             Coordinate(1, 2, 3));
  // Reversing the axis turns the other way.
  expectNear(rotated(Coordinate(1, 1, 5), Coordinate(1, 1, 0), kPi / 2, Coordinate(2, 1, 3)),
             Coordinate(1, 0, 3));
}

TEST(Rotation, PointsOnTheAxisStayPut) {
  Coordinate from(1, 2, 3), to(4, 6, 8);
  for (double t : {-1.5, 0.0, 0.5, 1.0, 2.0}) {
    Coordinate onAxis(1 + 3 * t, 2 + 4 * t, 3 + 5 * t);
    expectNear(rotated(from, to, 1.234, onAxis), onAxis);
  }
}

TEST(Rotation, TurningBackReturnsThePointAndKeepsItsDistanceFromTheAxis) {
  Coordinate from(-2, 0.5, 3), to(1, 4, -1), p(7, -3, 2.5);
  const double theta = 0.7;
  Coordinate there = rotated(from, to, theta, p);
  Coordinate back = rotated(from, to, -theta, there);
  expectNear(back, p);
  // Distance from the axis and along it are preserved.
  EXPECT_NEAR(getDistance(there, from), getDistance(p, from), 1e-12);
  EXPECT_NEAR(getDistance(there, to), getDistance(p, to), 1e-12);
  EXPECT_GT(getDistance(there, p), 1.0);
}

TEST(Rotation, ZeroAngleIsTheIdentityAndTheLastColumnIsFixed) {
  RotationMatrix m;
  buildRotationMatrix(m, Coordinate(3, -1, 2), Coordinate(0, 5, 7), 0.0);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) EXPECT_NEAR(m[i][j], i == j ? 1.0 : 0.0, 1e-15) << i << "," << j;
  buildRotationMatrix(m, Coordinate(3, -1, 2), Coordinate(0, 5, 7), 2.0);
  EXPECT_EQ(m[0][3], 0.0);
  EXPECT_EQ(m[1][3], 0.0);
  EXPECT_EQ(m[2][3], 0.0);
  EXPECT_EQ(m[3][3], 1.0);
}

TEST(Rotation, AxisOfZeroLengthGivesNotANumber) {
  Coordinate p = rotated(Coordinate(1, 1, 1), Coordinate(1, 1, 1), 0.5, Coordinate(2, 3, 4));
  EXPECT_TRUE(std::isnan(p.x));
}
