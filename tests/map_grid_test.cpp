#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "velmorantique/map.h"

using namespace vel;

namespace {

// A one-row, one-column map holding the given values along z.
Map column(std::initializer_list<float> values) {
  Map map;
  map.createCube(1, 1, static_cast<int16_t>(values.size()));
  int16_t z = 0;
  for (float v : values) map.at(0, 0, z++) = v;
  return map;
}

std::string filterQuietly(Map& map, double threshold) {
  testing::internal::CaptureStdout();
  map.filterize(threshold);
  return testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(VoxelGrid, EmptyMapHasNoExtent) {
  Map map;
  EXPECT_EQ(map.numRows(), 0);
  EXPECT_EQ(map.numCols(), 0);
  EXPECT_EQ(map.numSlcs(), 0);
  EXPECT_EQ(map.hdr.mode, 2);
  EXPECT_EQ(map.hdr.nx, 0);
}

TEST(VoxelGrid, CreateCubeReplacesTheGridWithZeros) {
  Map map;
  map.createCube(4, 4, 4);
  map.at(3, 3, 3) = 9.0f;
  map.valueSize = 1;
  map.createCube(2, 3, 5);
  EXPECT_EQ(map.numRows(), 2);
  EXPECT_EQ(map.numCols(), 3);
  EXPECT_EQ(map.numSlcs(), 5);
  EXPECT_EQ(map.valueSize, 4);
  EXPECT_EQ(map.cube.size(), 30u);
  for (float v : map.cube) EXPECT_EQ(v, 0.0f);
}

TEST(VoxelGrid, CreateCubeWithANegativeExtentMakesAnEmptyAxis) {
  Map map;
  map.createCube(2, -3, 4);
  EXPECT_EQ(map.numRows(), 2);
  EXPECT_EQ(map.numCols(), 0);
  EXPECT_EQ(map.numSlcs(), 0);
}

TEST(VoxelGrid, AtAddressesOneBlockWithXFastestThenYThenZ) {
  Map map;
  map.createCube(2, 3, 4);
  ASSERT_EQ(map.cube.size(), 24u);
  for (size_t i = 0; i < map.cube.size(); ++i) map.cube[i] = static_cast<float>(i);
  EXPECT_EQ(map.at(1, 0, 0), 1.0f);
  EXPECT_EQ(map.at(0, 1, 0), 2.0f);
  EXPECT_EQ(map.at(0, 0, 1), 6.0f);
  EXPECT_EQ(map.at(1, 2, 3), 23.0f);
  map.at(0, 2, 1) = -5.0f;
  EXPECT_EQ(map.cube[10], -5.0f);
  // A grid with no columns holds no voxels, whatever its slice count.
  map.createCube(2, 0, 4);
  EXPECT_TRUE(map.cube.empty());
  EXPECT_EQ(map.numSlcs(), 0);
}

TEST(Filterize, ZeroesOnlyValuesStrictlyBelowTheThreshold) {
  Map map = column({0.4f, 0.5f, 0.6f});
  std::string out = filterQuietly(map, 0.5);
  EXPECT_EQ(out, "Filtering the map ...\n\n");
  EXPECT_EQ(map.at(0, 0, 0), 0.0f);
  EXPECT_EQ(map.at(0, 0, 1), 0.5f);  // equal stays
  EXPECT_EQ(map.at(0, 0, 2), 0.6f);  // above stays, not rescaled
}

TEST(Filterize, NegativeThresholdKeepsNegativeValuesNotBelowIt) {
  Map map = column({-2.0f, -1.0f, -0.5f, 3.0f});
  filterQuietly(map, -1.0);
  EXPECT_EQ(map.at(0, 0, 0), 0.0f);
  EXPECT_EQ(map.at(0, 0, 1), -1.0f);
  EXPECT_EQ(map.at(0, 0, 2), -0.5f);
  EXPECT_EQ(map.at(0, 0, 3), 3.0f);
}

TEST(Filterize, ComparesInDoubleNotInFloat) {
  // The threshold rounds to the same float as the voxel but lies just above
  // it in double, so the voxel is below it.
  const float voxel = 0.1f;
  const double threshold = std::nextafter(static_cast<double>(voxel), 1.0);
  ASSERT_EQ(static_cast<float>(threshold), voxel);
  Map map = column({voxel});
  filterQuietly(map, threshold);
  EXPECT_EQ(map.at(0, 0, 0), 0.0f);
}

TEST(Filterize, NotANumberVoxelIsLeftAsRead) {
  Map map = column({std::numeric_limits<float>::quiet_NaN(), 1.0f});
  filterQuietly(map, 0.5);
  EXPECT_TRUE(std::isnan(map.at(0, 0, 0)));
  EXPECT_EQ(map.at(0, 0, 1), 1.0f);
}
