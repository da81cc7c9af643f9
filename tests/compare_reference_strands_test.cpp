// The sampled axis of a reference strand, from its C-alphas as values.

#include <gtest/gtest.h>

#include "velmorantique/compare.h"

using namespace vel;

TEST(SampleStrandAxis, WithoutCalphasBetweenTheEndsRunsStraightFromFirstToLast) {
  double sampled = 0;
  const PointList axis = sampleStrandAxis(Coordinate(0, 0, 0), PointList(), Coordinate(0, 0, 2.25), sampled);
  ASSERT_EQ(axis.size(), 24u);  // 23 samples below 2.25 Å and the closing C-alpha
  EXPECT_NEAR(axis[22].z, 2.2, 1e-12);
  EXPECT_EQ(axis[23].z, 2.25);
}

TEST(SampleStrandAxis, StopsOnceTheStructureHasSampledTooMuch) {
  // The length counts over all strands of a structure: a short strand after
  // long ones tips it over, and nothing of an absurd segment is sampled.
  double sampled = kMaxAxisLength - 1;
  PointList axis = sampleStrandAxis(Coordinate(0, 0, 0), PointList(), Coordinate(2, 0, 0), sampled);
  EXPECT_GT(sampled, kMaxAxisLength);
  EXPECT_TRUE(axis.empty());
  sampled = 0;
  axis = sampleStrandAxis(Coordinate(0, 0, 0), PointList(), Coordinate(1e300, 0, 0), sampled);
  EXPECT_TRUE(axis.empty());
}
