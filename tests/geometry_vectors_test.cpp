#include <cmath>

#include <gtest/gtest.h>

#include "velmorantique/geometry.h"

using namespace vel;

TEST(Vectors, RunFromTheFirstPointToTheSecond) {
  Coordinate a(1, 2, 3), b(4, 0, -1);
  Vectors v(a, b);
  EXPECT_EQ(v.x, 3);
  EXPECT_EQ(v.y, -2);
  EXPECT_EQ(v.z, -4);
  Vectors w(9, 9, 9);
  w.set(a, b);
  EXPECT_EQ(w.getCoordinates().x, 3);
  EXPECT_EQ(w.getCoordinates().y, -2);
  EXPECT_EQ(w.getCoordinates().z, -4);
}

TEST(Vectors, MulAndUnitReturnNewVectorsWhileDivideAndAddChangeThisOne) {
  Vectors v(3, 4, 0);
  Vectors twice = v.mul(2);
  Vectors u = v.unit();
  EXPECT_EQ(v.x, 3);  // untouched by mul and unit
  EXPECT_EQ(twice.y, 8);
  EXPECT_DOUBLE_EQ(u.x, 0.6);
  EXPECT_DOUBLE_EQ(u.y, 0.8);
  EXPECT_DOUBLE_EQ(u.length(), 1.0);

  v.divide(2);
  EXPECT_EQ(v.x, 1.5);
  EXPECT_EQ(v.y, 2);
  v += Vectors(0.5, 0, 1);
  EXPECT_EQ(v.x, 2);
  EXPECT_EQ(v.z, 1);
  EXPECT_EQ(v.length(), std::sqrt(4.0 + 4.0 + 1.0));
}

TEST(Vectors, CrossIsRightHanded) {
  Vectors x(1, 0, 0), y(0, 1, 0);
  Vectors z = x.cross(y);
  EXPECT_EQ(z.x, 0);
  EXPECT_EQ(z.y, 0);
  EXPECT_EQ(z.z, 1);
  Vectors minusZ = y.cross(x);
  EXPECT_EQ(minusZ.z, -1);

  Vectors a(1, 2, 3), b(-2, 0.5, 4);
  Vectors n = a.cross(b);
  EXPECT_EQ(n.x, 2 * 4 - 3 * 0.5);
  EXPECT_EQ(n.y, 3 * -2 - 1 * 4);
  EXPECT_EQ(n.z, 1 * 0.5 - 2 * -2);
  EXPECT_EQ(n.dot(a), 0);
  EXPECT_EQ(n.dot(b), 0);
}

TEST(Vectors, AnglesBetweenDirections) {
  Vectors x(2, 0, 0), y(0, 5, 0), back(-1, 0, 0), diag(1, 1, 0);
  EXPECT_DOUBLE_EQ(x.getAngleRadian(y), kPi / 2);
  EXPECT_DOUBLE_EQ(x.getAngleDegree(y), 90.0);
  EXPECT_DOUBLE_EQ(x.getAngleDegree(back), 180.0);
  EXPECT_DOUBLE_EQ(x.getAngleDegree(diag), 45.0);
  EXPECT_DOUBLE_EQ(diag.getAngleDegree(x), 45.0);
}

TEST(Vectors, DegenerateInputGivesNotANumberWithoutAGuard) {
  Vectors zero;
  EXPECT_TRUE(std::isnan(zero.unit().x));
  EXPECT_TRUE(std::isnan(zero.getAngleDegree(Vectors(1, 0, 0))));
  EXPECT_TRUE(std::isnan(Vectors(1, 0, 0).getAngleRadian(zero)));

  // Parallel vectors whose rounded cosine lands just above 1: it is not
  // clamped, so the angle is not-a-number rather than 0.
  Vectors a(0.2, 0.3, 0.7);
  Vectors b = a.mul(0.1);
  ASSERT_GT(a.dot(b) / (b.length() * a.length()), 1.0);
  EXPECT_TRUE(std::isnan(a.getAngleDegree(b)));
  EXPECT_TRUE(std::isnan(a.getAngleRadian(b)));
}
