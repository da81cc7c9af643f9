// Centroid pruning: a centroid goes when an empty voxel lies within 1.5 Å of
// it, inclusive; only the voxels near each centroid are looked at, with the
// same decisions as a scan of every voxel.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "driver/stages.h"
#include "reference/plain_sheet.h"

using namespace vel;

namespace {

// A map of the given extents and voxel sizes at the origin, full of density.
Map fullMap(int rows, int cols, int slcs, double apix, Coordinate origin) {
  Map map;
  map.createCube(static_cast<int16_t>(rows), static_cast<int16_t>(cols), static_cast<int16_t>(slcs));
  for (float& v : map.cube) v = 1.0f;
  map.apixX = map.apixY = map.apixZ = apix;
  map.hdr.xorigin = static_cast<float>(origin.x);
  map.hdr.yorigin = static_cast<float>(origin.y);
  map.hdr.zorigin = static_cast<float>(origin.z);
  return map;
}

}  // namespace

TEST(CentroidPruning, EmptyVoxelExactlyAtTheClearanceRemovesTheCentroid) {
  Map map = fullMap(10, 10, 10, 1.0, Coordinate(0, 0, 0));
  map.at(5, 5, 5) = 0.0f;
  PointList centroids{{5, 5, 6.5}, {5, 5, 6.5001}, {5, 6.5, 5}, {3.5, 5, 5}, {5, 5, 3.4999}, {8, 8, 8}};
  pruneCentroidsNearEmptyVoxels(map, centroids);
  ASSERT_EQ(centroids.size(), 3u);
  EXPECT_EQ(centroids[0].z, 6.5001);
  EXPECT_EQ(centroids[1].z, 3.4999);
  EXPECT_EQ(centroids[2].x, 8.0);
}

TEST(CentroidPruning, SameSurvivorsAsAScanOfEveryVoxel) {
  std::mt19937 rng(31);
  for (double apix : {1.0, 0.5, 0.7, 2.0}) {
    Map map = fullMap(14, 11, 9, apix, Coordinate(-3.25, 2.5, 0.75));
    for (int k = 0; k < 40; ++k) map.at(rng() % 14, rng() % 11, rng() % 9) = (k % 7 == 0) ? NAN : 0.00009f;
    PointList centroids;
    for (int k = 0; k < 400; ++k) {
      // On a quarter-voxel lattice, in and around the map: many centroids
      // lie exactly 1.5 Å, or exactly on, an empty voxel.
      centroids.push_back(Coordinate(-5 + 0.25 * apix * (rng() % 80), 0 + 0.25 * apix * (rng() % 64),
                                     -1 + 0.25 * apix * (rng() % 56)));
    }
    PointList expected = centroids;
    plain::pruneCentroidsNearEmptyVoxels(map, expected);
    pruneCentroidsNearEmptyVoxels(map, centroids);
    ASSERT_EQ(expected.size(), centroids.size()) << apix;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(expected[i].x, centroids[i].x);
      EXPECT_EQ(expected[i].y, centroids[i].y);
      EXPECT_EQ(expected[i].z, centroids[i].z);
    }
  }
}
