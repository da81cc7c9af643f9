#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <iostream>

#include <limits>

#include "support/mrc_file.h"
#include "support/program.h"
#include "velmorantique/fatal.h"
#include "velmorantique/map.h"

using namespace vel;

namespace {

const std::string kFrameTop =
    "============================== in MRC::read (string) ==========================\n";
const std::string kFrameBottom =
    "===============================================================================\n";
const std::string kBadExtents =
    "Strange header of the file. One of (nx,ny,nz) exceeds MAXLEN ( 2000 ).\n";

struct Refusal {
  int status = -1;  // -1: the map was read without a fatal stop
  std::string out;
};

Refusal readExpectingRefusal(Map& map, const std::string& path) {
  Refusal r;
  testing::internal::CaptureStdout();
  try {
    map.read(path);
  } catch (const FatalError& e) {
    r.status = e.status;
    printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
  }
  r.out = testing::internal::GetCapturedStdout();
  return r;
}

Refusal readExpectingRefusal(const MrcMapFile& mrc, const std::string& name) {
  TempFile file(name);
  writeMrcFile(file.path, mrc);
  Map map;
  return readExpectingRefusal(map, file.path);
}

std::vector<float> iota(size_t n) {
  std::vector<float> values(n);
  for (size_t i = 0; i < n; ++i) values[i] = static_cast<float>(i);
  return values;
}

}  // namespace

TEST(MapRead, VoxelsFillTheGridWithXFastest) {
  TempFile file("order.mrc");
  MrcMapFile mrc;
  mrc.nx = 2, mrc.ny = 3, mrc.nz = 4;
  mrc.data = iota(24);
  writeMrcFile(file.path, mrc);

  Map map;
  map.read(file.path);
  ASSERT_EQ(map.numRows(), 2);
  ASSERT_EQ(map.numCols(), 3);
  ASSERT_EQ(map.numSlcs(), 4);
  EXPECT_EQ(map.at(1, 2, 3), 23.0f);
  EXPECT_EQ(map.at(1, 0, 0), 1.0f);
  EXPECT_EQ(map.at(0, 1, 0), 2.0f);
  EXPECT_EQ(map.at(0, 0, 1), 6.0f);
  for (int x = 0; x < 2; ++x)
    for (int y = 0; y < 3; ++y)
      for (int z = 0; z < 4; ++z) EXPECT_EQ(map.at(x, y, z), static_cast<float>(x + 2 * y + 6 * z));
}

TEST(MapRead, HeaderFieldsAndVoxelSizeComeFromTheirOffsets) {
  TempFile file("header.mrc");
  MrcMapFile mrc;
  mrc.nx = 1, mrc.ny = 1, mrc.nz = 1;
  mrc.nxstart = 4;  // not used: ORIGIN is set
  mrc.mx = 50, mrc.my = 7, mrc.mz = 4;
  mrc.xlen = 100.0f, mrc.ylen = 30.0f, mrc.zlen = 2.0f;
  mrc.xorigin = 9.5f, mrc.yorigin = -5.25f, mrc.zorigin = 63.0f;
  mrc.data = {0.125f};
  writeMrcFile(file.path, mrc);

  Map map;
  map.read(file.path);
  EXPECT_EQ(map.hdr.mode, 2);
  EXPECT_EQ(map.hdr.nxstart, 4);
  EXPECT_EQ(map.hdr.mx, 50);
  EXPECT_EQ(map.hdr.xlen, 100.0f);
  EXPECT_EQ(map.hdr.xorigin, 9.5f);
  EXPECT_EQ(map.hdr.yorigin, -5.25f);
  EXPECT_EQ(map.hdr.zorigin, 63.0f);
  EXPECT_EQ(std::string(map.hdr.map, 4), "MAP ");
  EXPECT_EQ(map.at(0, 0, 0), 0.125f);
  EXPECT_EQ(map.apixX, 2.0);
  // The division is made in double: 30 / 7 in float would differ.
  EXPECT_EQ(map.apixY, 30.0 / 7);
  EXPECT_EQ(map.apixZ, 0.5);
}

TEST(MapRead, ShortFileIsRefusedWithTheBytesPresentAndExpected) {
  MrcMapFile mrc;
  mrc.nx = 2, mrc.ny = 2, mrc.nz = 2;
  mrc.mz = 2;
  mrc.data = {1, 2, 3, 4, 5, 6};
  mrc.fileLength = 1024 + 5 * 4 + 2;  // five whole voxels and half of the sixth
  Refusal r = readExpectingRefusal(mrc, "short.mrc");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFrameTop +
                       "Map file ends before its voxel data does: 22 bytes of voxel data present, 32 expected. "
                       "The file is truncated (an interrupted download?).\n" +
                       kFrameBottom);

  // A header and nothing after it is refused for the same reason.
  mrc.fileLength = 1024;
  EXPECT_NE(readExpectingRefusal(mrc, "headeronly.mrc").out.find(": 0 bytes of voxel data present, 32 expected."),
            std::string::npos);
}

TEST(MapRead, AcceptsTheLargestExtent) {
  TempFile file("nx1999.mrc");
  MrcMapFile mrc;
  mrc.nx = 1999;
  mrc.data.assign(1999, 0.0f);
  mrc.data[0] = 7.0f, mrc.data[1] = 8.0f;
  writeMrcFile(file.path, mrc);

  Map map;
  map.read(file.path);
  EXPECT_EQ(map.numRows(), 1999);
  EXPECT_EQ(map.numCols(), 1);
  EXPECT_EQ(map.numSlcs(), 1);
  EXPECT_EQ(map.at(1, 0, 0), 8.0f);
  EXPECT_EQ(map.at(1998, 0, 0), 0.0f);
}

TEST(MapRead, RefusesExtentsOutsideOneTo1999) {
  const std::string frame = kFrameTop + kBadExtents + kFrameBottom;
  for (int32_t bad : {2000, 0, -1}) {
    SCOPED_TRACE(bad);
    MrcMapFile mrc;
    mrc.nx = bad;
    Refusal r = readExpectingRefusal(mrc, "badnx.mrc");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, frame);
  }
  MrcMapFile tallY;
  tallY.ny = 2000;
  EXPECT_EQ(readExpectingRefusal(tallY, "badny.mrc").out, frame);
  MrcMapFile flatZ;
  flatZ.nz = 0;
  EXPECT_EQ(readExpectingRefusal(flatZ, "badnz.mrc").out, frame);
}

TEST(MapRead, HeaderCutShortLeavesMissingExtentsZeroAndIsRefused) {
  MrcMapFile mrc;
  mrc.nx = 3, mrc.ny = 3, mrc.nz = 3;
  mrc.fileLength = 6;  // nx whole, ny only half there
  Refusal r = readExpectingRefusal(mrc, "cutheader.mrc");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFrameTop + kBadExtents + kFrameBottom);
}

TEST(MapRead, RefusesAZeroSamplingInterval) {
  const std::string frame =
      kFrameTop +
      "Strange header of the file. One of (mx,my,mz) is zero: the voxel size is undefined.\n" +
      kFrameBottom;
  for (int axis = 0; axis < 3; ++axis) {
    SCOPED_TRACE(axis);
    MrcMapFile mrc;
    mrc.data = {1.0f};
    (axis == 0 ? mrc.mx : axis == 1 ? mrc.my : mrc.mz) = 0;
    Refusal r = readExpectingRefusal(mrc, "zeromx.mrc");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, frame);
  }
}

TEST(MapRead, RefusesCellLengthsAndOriginsThatPlaceNoVoxel) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const std::string badCell =
      kFrameTop +
      "Strange header of the file. One of (xlen,ylen,zlen) is zero or not a finite length: the voxel size is "
      "undefined.\n" +
      kFrameBottom;
  for (float bad : {0.0f, inf, -inf, nan}) {
    for (int axis = 0; axis < 3; ++axis) {
      MrcMapFile mrc;
      mrc.data = {1.0f};
      (axis == 0 ? mrc.xlen : axis == 1 ? mrc.ylen : mrc.zlen) = bad;
      Refusal r = readExpectingRefusal(mrc, "badcell.mrc");
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, badCell) << bad << " on axis " << axis;
    }
  }
  MrcMapFile mrc;
  mrc.data = {1.0f};
  mrc.yorigin = nan;
  Refusal r = readExpectingRefusal(mrc, "badorigin.mrc");
  EXPECT_EQ(r.out, kFrameTop + "Strange header of the file. The origin is not a finite position.\n" + kFrameBottom);
}

// Voxels of over 1000 Å and origins a million ångström away are damaged or
// foreign headers; the limits themselves are accepted. The origin counts
// wherever it comes from, the grid start included.
TEST(MapRead, RefusesAbsurdVoxelSizesAndOrigins) {
  auto read = [](float xlen, int32_t mx, float xorigin, int32_t nxstart) {
    MrcMapFile mrc;
    mrc.data = {1.0f};
    mrc.xlen = xlen, mrc.mx = mx;
    mrc.xorigin = xorigin, mrc.nxstart = nxstart;
    return readExpectingRefusal(mrc, "absurd.mrc");
  };
  EXPECT_EQ(read(1000.0f, 1, 0, 0).status, -1);
  EXPECT_EQ(read(-2000.0f, 2, 0, 0).status, -1);
  EXPECT_EQ(read(1.0f, 1, 1.0e6f, 0).status, -1);
  EXPECT_EQ(read(1.0f, 1, -1.0e6f, 0).status, -1);

  Refusal voxel = read(2001.0f, 2, 0, 0);
  EXPECT_EQ(voxel.status, 1);
  EXPECT_EQ(voxel.out, kFrameTop + "Strange header of the file. The voxel size ( 1000.5 1 1 ) is not finite or exceeds 1000 A.\n" +
                           kFrameBottom);
  EXPECT_EQ(read(-1001.0f, 1, 0, 0).status, 1);

  Refusal far = read(1.0f, 1, -1.5e6f, 0);
  EXPECT_EQ(far.status, 1);
  EXPECT_EQ(far.out, kFrameTop + "Strange header of the file. The origin ( -1.5e+06 0 0 ) lies beyond 1e+06 A.\n" + kFrameBottom);
  Refusal farStart = read(10.0f, 1, 0, 200000);  // 200000 voxels of 10 A
  EXPECT_EQ(farStart.status, 1);
  EXPECT_NE(farStart.out.find("The origin ( 2e+06 0 0 ) lies beyond 1e+06 A."), std::string::npos) << farStart.out;
}

TEST(MapRead, RefusesAGridLargerThanMemoryBeforeAllocating) {
  const uint64_t limit = cubeMemoryLimit();
  if (limit == 0 || cubeFootprint(1999, 1999, 1999) <= limit)
    GTEST_SKIP() << "this machine could hold a 1999^3 grid";

  TempFile file("huge.mrc");
  MrcMapFile mrc;
  mrc.nx = mrc.ny = mrc.nz = 1999;
  mrc.fileLength = 2048;
  writeMrcFile(file.path, mrc);
  Map map;
  Refusal r = readExpectingRefusal(map, file.path);
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.out.rfind(kFrameTop, 0), 0u) << r.out;
  EXPECT_NE(r.out.find("\nMap too large for this machine."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - kFrameBottom.size()), kFrameBottom);
  EXPECT_TRUE(map.cube.empty());
}

TEST(MapRead, FootprintIsFourBytesPerVoxelWithoutOverflow) {
  EXPECT_EQ(cubeFootprint(1999, 1999, 1999), 1999ull * 1999 * 1999 * 4);  // beyond 32 bits
  EXPECT_EQ(cubeFootprint(1000, 1000, 1), 4000000u);
  EXPECT_EQ(cubeFootprint(0, 5, 5), 0u);
  EXPECT_EQ(cubeFootprint(5, -5, 5), 0u);
}

TEST(MapRead, MissingFileIsRefusedWithItsPath) {
  const std::string path = testing::TempDir() + "no_such_dir/absent.mrc";
  Map map;
  Refusal r = readExpectingRefusal(map, path);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kFrameTop + "Can't open given Map file ( " + path + " ). \n" + kFrameBottom);
}

// A simulated sheet map made by another program: 31 x 37 x 28 voxels of 1 A
// with its origin at (-15, -18, -13); 3467 voxels lie at or above 0.0483.
TEST(MapRead, ReadsAMapWrittenElsewhere) {
  Map map;
  map.read(examplePath("synth_4x7_t18_8a", ".mrc"));
  EXPECT_EQ(map.numRows(), 31);
  EXPECT_EQ(map.numCols(), 37);
  EXPECT_EQ(map.numSlcs(), 28);
  EXPECT_EQ(map.apixX, 1.0);
  EXPECT_EQ(map.apixY, 1.0);
  EXPECT_EQ(map.apixZ, 1.0);
  EXPECT_EQ(map.hdr.xorigin, -15.0f);
  EXPECT_EQ(map.hdr.yorigin, -18.0f);
  EXPECT_EQ(map.hdr.zorigin, -13.0f);

  testing::internal::CaptureStdout();
  map.filterize(0.0483);
  testing::internal::GetCapturedStdout();
  int density = 0;
  for (float v : map.cube) density += v > 0 ? 1 : 0;
  EXPECT_EQ(density, 3467);
}
