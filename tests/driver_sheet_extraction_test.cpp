// Centroid pruning: a centroid goes when an empty voxel lies within 1.5 Å of
// it, inclusive; only the voxels near each centroid are looked at, with the
// same decisions as a scan of every voxel.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

#include "driver/stages.h"
#include "reference/plain_sheet.h"
#include "velmorantique/fatal.h"

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

// The points counted before a run is let go on are the points the run
// then makes: voxels at the threshold kept, not-a-number, zero and negative
// density never points, whatever the threshold; the span is their box's
// diagonal.
TEST(SheetFootprint, CountsThePointsThatThresholdingLeaves) {
  std::mt19937 rng(7);
  const float values[] = {0.5f, 0.49f, 0.0f, -0.0f, -0.2f, NAN, -INFINITY, INFINITY, 1e-30f, 2.0f};
  for (double threshold : {0.5, 0.0, -0.2, -1e308, 3.0}) {
    Map map = fullMap(9, 7, 5, 0.5, Coordinate(1, 2, 3));
    map.apixZ = 2.0;
    for (float& v : map.cube) v = values[rng() % 10];
    Map thresholded = map;
    std::ostringstream quiet;
    runStreams().out = &quiet;
    thresholded.filterize(threshold);
    runStreams().out = &std::cout;
    size_t points = 0;
    double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
    for (int s = 0; s < 5; ++s)
      for (int c = 0; c < 7; ++c)
        for (int r = 0; r < 9; ++r) {
          if (!(thresholded.at(r, c, s) > 0.0f)) continue;
          ++points;
          const double p[3] = {0.5 * r, 0.5 * c, 2.0 * s};
          for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
        }
    const SheetFootprint f = sheetFootprint(map, threshold);
    EXPECT_EQ(f.points, points) << threshold;
    if (points > 0) {
      EXPECT_DOUBLE_EQ(f.span, std::sqrt(std::pow(hi[0] - lo[0], 2) + std::pow(hi[1] - lo[1], 2) + std::pow(hi[2] - lo[2], 2)));
    }
  }
}

// One sheet is a plate about 10 Å thick that a smooth surface fits and that
// is not far larger than any sheet; the figures judged do not depend on the
// voxel size.
TEST(OneSheet, IsAThinPlateOfASheetsSize) {
  struct Case {
    const char* name;
    double a, b, c, voxel, fittingError;  // a box of a x b x c Å filled with voxels
    bool oneSheet;
  };
  const Case cases[] = {
      {"plate", 40, 30, 8, 1.0, 2.5, true},
      {"plate on finer voxels", 40, 30, 8, 0.5, 2.5, true},
      {"lump", 24, 24, 24, 1.0, 2.5, false},
      {"plate far larger than a sheet", 300, 300, 1, 1.0, 0.3, false},
      {"plate no smooth surface fits", 40, 30, 8, 1.0, 9.5, false},
  };
  for (const Case& c : cases) {
    SheetDensity sheet;
    sheet.densityMap.apixX = sheet.densityMap.apixY = sheet.densityMap.apixZ = c.voxel;
    for (double x = 0; x < c.a; x += c.voxel)
      for (double y = 0; y < c.b; y += c.voxel)
        for (double z = 0; z < c.c; z += c.voxel) sheet.sheetPoints.push_back(Coordinate(x, y, z));
    SurfaceFit surface;
    surface.fittingError = c.fittingError;
    const SheetLikeness j = judgeOneSheet(sheet, surface);
    EXPECT_EQ(j.oneSheet, c.oneSheet) << c.name << ": thickness " << j.thickness << ", volume " << j.volume;
    EXPECT_NEAR(j.volume, c.a * c.b * c.c, 1e-6 * c.a * c.b * c.c) << c.name;
  }
}
