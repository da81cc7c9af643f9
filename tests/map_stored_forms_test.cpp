// Maps stored in the other forms the format allows (modes, byte orders, axis
// orders, extended headers, grid starts, gzip) must give, voxel for voxel,
// the grid that the same map stored as plain little-endian floats gives.

#include <algorithm>
#include <array>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include <iostream>

#include "support/gzip_file.h"
#include "support/mrc_file.h"
#include "support/files.h"
#include "velmorantique/fatal.h"
#include "velmorantique/map.h"

using namespace vel;

namespace {

const std::string kFrameTop =
    "============================== in MRC::read (string) ==========================\n";
const std::string kFrameBottom =
    "===============================================================================\n";

struct Reading {
  Map map;
  int status = -1;  // -1: read without a fatal stop
  std::string out;
};

Reading readMapFile(const std::string& path) {
  Reading r;
  testing::internal::CaptureStdout();
  try {
    r.map.read(path);
  } catch (const FatalError& e) {
    r.status = e.status;
    printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
  }
  r.out = testing::internal::GetCapturedStdout();
  return r;
}

std::vector<unsigned char> fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Reading readMap(const MrcMapFile& mrc, const std::string& name) {
  TempFile file(name);
  writeMrcFile(file.path, mrc);
  return readMapFile(file.path);
}

// 3 x 4 x 5 voxels of different sizes along each axis, placed by ORIGIN;
// every voxel holds its own value.
MrcMapFile sampleMap(int32_t mode = 2) {
  MrcMapFile mrc;
  mrc.nx = 3, mrc.ny = 4, mrc.nz = 5;
  mrc.mx = 3, mrc.my = 4, mrc.mz = 5;
  mrc.xlen = 6.0f, mrc.ylen = 2.0f, mrc.zlen = 5.0f;
  mrc.xorigin = -7.5f, mrc.yorigin = 3.0f, mrc.zorigin = 11.0f;
  mrc.mode = mode;
  for (int i = 0; i < 60; ++i) {
    // Integers for the integer modes (within 8 bits), quarters for half floats.
    float v = mode == 6 ? static_cast<float>(i) : static_cast<float>(i - 20);
    if (mode == 12 || mode == 2) v *= 0.25f;
    mrc.data.push_back(v);
  }
  return mrc;
}

// The same map stored the plain way: little-endian floats, x y z, data at 1024.
MrcMapFile plainForm(MrcMapFile mrc) {
  mrc.mode = 2;
  mrc.bigEndian = false;
  mrc.stamped = true;
  mrc.nsymbt = 0;
  mrc.axisOrder = {1, 2, 3};
  return mrc;
}

void expectSameMap(const Map& got, const Map& want) {
  ASSERT_EQ(got.numRows(), want.numRows());
  ASSERT_EQ(got.numCols(), want.numCols());
  ASSERT_EQ(got.numSlcs(), want.numSlcs());
  EXPECT_EQ(got.hdr.nx, want.hdr.nx);
  EXPECT_EQ(got.hdr.ny, want.hdr.ny);
  EXPECT_EQ(got.hdr.nz, want.hdr.nz);
  EXPECT_EQ(got.apixX, want.apixX);
  EXPECT_EQ(got.apixY, want.apixY);
  EXPECT_EQ(got.apixZ, want.apixZ);
  EXPECT_EQ(got.hdr.xorigin, want.hdr.xorigin);
  EXPECT_EQ(got.hdr.yorigin, want.hdr.yorigin);
  EXPECT_EQ(got.hdr.zorigin, want.hdr.zorigin);
  EXPECT_EQ(got.hdr.xlen, want.hdr.xlen);
  int differing = 0;
  for (int x = 0; x < got.numRows(); ++x)
    for (int y = 0; y < got.numCols(); ++y)
      for (int z = 0; z < got.numSlcs(); ++z)
        if (got.at(x, y, z) != want.at(x, y, z)) {
          if (differing++ < 5)
            ADD_FAILURE() << "voxel (" << x << "," << y << "," << z << ") is " << got.at(x, y, z)
                          << ", plainly stored " << want.at(x, y, z);
        }
  EXPECT_EQ(differing, 0);
}

// Reads the map and its plain form; they must hold the same grid, and the
// map must say what was done to read it.
void expectReadsAsPlain(const MrcMapFile& mrc, const std::string& conversionLine,
                        const MrcMapFile& plainMap) {
  Reading plain = readMap(plainMap, "plain.mrc");
  ASSERT_EQ(plain.status, -1) << plain.out;
  EXPECT_EQ(plain.out, "");
  Reading stored = readMap(mrc, "stored.mrc");
  ASSERT_EQ(stored.status, -1) << stored.out;
  EXPECT_EQ(stored.out, conversionLine.empty() ? "" : conversionLine + "\n");
  expectSameMap(stored.map, plain.map);
}

void expectReadsAsPlain(const MrcMapFile& mrc, const std::string& conversionLine) {
  expectReadsAsPlain(mrc, conversionLine, plainForm(mrc));
}

std::string modeLine(int32_t mode) {
  switch (mode) {
    case 0: return "Map stored in mode 0 (signed 8-bit integers); converted to 32-bit floats.";
    case 1: return "Map stored in mode 1 (signed 16-bit integers); converted to 32-bit floats.";
    case 6: return "Map stored in mode 6 (unsigned 16-bit integers); converted to 32-bit floats.";
    case 12: return "Map stored in mode 12 (16-bit half floats); converted to 32-bit floats.";
    default: return "";
  }
}

const int32_t kReadableModes[] = {0, 1, 2, 6, 12};

std::string join(const std::string& a, const std::string& b) {
  return a.empty() ? b : b.empty() ? a : a + " " + b;
}


TEST(MapStoredForms, EveryReadableModeInEitherByteOrderReadsAsTheFloats) {
  for (int32_t mode : kReadableModes)
    for (bool big : {false, true}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + (big ? " big-endian" : " little-endian"));
      MrcMapFile mrc = sampleMap(mode);
      mrc.bigEndian = big;
      expectReadsAsPlain(mrc, join(big ? "Map stored big-endian; byte-swapped." : "", modeLine(mode)));
    }
}

TEST(MapStoredForms, UnstampedMapIsJudgedByWhichByteOrderMakesSense) {
  MrcMapFile little = sampleMap(1);
  little.stamped = false;
  expectReadsAsPlain(little, modeLine(1));  // as today: nothing said about byte order

  MrcMapFile big = sampleMap(1);
  big.stamped = false;
  big.bigEndian = true;
  expectReadsAsPlain(big, join("Map stored big-endian (judged by its header: no machine stamp); byte-swapped.",
                               modeLine(1)));
}

TEST(MapStoredForms, AllSixAxisOrdersGiveTheSameGrid) {
  const std::array<int32_t, 3> orders[] = {{1, 2, 3}, {1, 3, 2}, {2, 1, 3}, {2, 3, 1}, {3, 1, 2}, {3, 2, 1}};
  for (const auto& order : orders) {
    const std::string text =
        std::to_string(order[0]) + " " + std::to_string(order[1]) + " " + std::to_string(order[2]);
    SCOPED_TRACE(text);
    MrcMapFile mrc = sampleMap();
    mrc.axisOrder = order;
    // Starts differ per axis, so a start given to the wrong axis shows in
    // the origin.
    mrc.xorigin = mrc.yorigin = mrc.zorigin = 0.0f;
    mrc.nxstart = 2, mrc.nystart = -3, mrc.nzstart = 7;
    const std::string originLine =
        "Map origin is zero; voxel (0,0,0) placed at the grid start ( 2 -3 7 ) times the voxel size: "
        "( 4 -1.5 7 ).";
    MrcMapFile plain = plainForm(mrc);
    plain.nxstart = plain.nystart = plain.nzstart = 0;
    plain.xorigin = 4.0f, plain.yorigin = -1.5f, plain.zorigin = 7.0f;
    const bool standard = order == std::array<int32_t, 3>{1, 2, 3};
    expectReadsAsPlain(mrc, join(standard ? "" : "Map stored in axis order " + text + "; reordered to x y z.",
                                 originLine),
                       plain);

    Reading r = readMap(mrc, "axes.mrc");
    EXPECT_EQ(r.map.hdr.nx, 3);
    EXPECT_EQ(r.map.hdr.ny, 4);
    EXPECT_EQ(r.map.hdr.nz, 5);
    EXPECT_EQ(r.map.hdr.nystart, -3);
    EXPECT_EQ(r.map.hdr.mapc, 1);
    EXPECT_EQ(r.map.hdr.maps, 3);
  }
}

// A 2 x 3 x 4 map written by hand in axis order 3 2 1: the stored columns
// run along z (4), the rows along y (3), the sections along x (2), and the
// values 0..23 are in file order.
TEST(MapStoredForms, ColumnsAlongZAreReadIntoTheThirdIndex) {
  MrcMapFile mrc;
  mrc.nx = 4, mrc.ny = 3, mrc.nz = 2;  // as stored: columns, rows, sections
  for (int i = 0; i < 24; ++i) mrc.data.push_back(static_cast<float>(i));
  std::vector<unsigned char> bytes = mrcFileBytes(mrc);
  patchInt(bytes, 64, 3);  // mapc
  patchInt(bytes, 72, 1);  // maps
  TempFile file("hand321.mrc");
  writeBytes(file.path, bytes);

  Reading r = readMapFile(file.path);
  ASSERT_EQ(r.status, -1) << r.out;
  ASSERT_EQ(r.map.numRows(), 2);
  ASSERT_EQ(r.map.numCols(), 3);
  ASSERT_EQ(r.map.numSlcs(), 4);
  EXPECT_EQ(r.map.at(0, 0, 1), 1.0f);
  EXPECT_EQ(r.map.at(0, 1, 0), 4.0f);
  EXPECT_EQ(r.map.at(1, 0, 0), 12.0f);
  EXPECT_EQ(r.map.at(1, 2, 3), 23.0f);
}

TEST(MapStoredForms, AllZeroAxisOrderIsReadAsXYZWithoutAWord) {
  MrcMapFile mrc = sampleMap();
  std::vector<unsigned char> bytes = mrcFileBytes(mrc);
  for (size_t offset : {64, 68, 72}) patchInt(bytes, offset, 0);
  TempFile file("legacy.mrc");
  writeBytes(file.path, bytes);
  Reading legacy = readMapFile(file.path);
  ASSERT_EQ(legacy.status, -1) << legacy.out;
  EXPECT_EQ(legacy.out, "");
  EXPECT_EQ(legacy.map.hdr.mapc, 0);  // left as stored
  expectSameMap(legacy.map, readMap(mrc, "plain.mrc").map);
}

TEST(MapStoredForms, ExtendedHeaderIsPassedOver) {
  MrcMapFile mrc = sampleMap(1);
  mrc.nsymbt = 96;
  expectReadsAsPlain(mrc, join(modeLine(1), "Map has an extended header of 96 bytes; voxel data read from byte 1120."));
}

TEST(MapStoredForms, OriginComesFromTheStartsOnlyWhenAllOfItIsZero) {
  MrcMapFile mrc = sampleMap();
  mrc.nxstart = 2, mrc.nystart = -3, mrc.nzstart = 7;
  mrc.xorigin = 0.0f, mrc.yorigin = 5.0f, mrc.zorigin = 0.0f;
  Reading set = readMap(mrc, "originset.mrc");
  // Readers that place maps by the grid start would put this one elsewhere: say so.
  EXPECT_EQ(set.out, "Map placed by its origin ( 0 5 0 ); the grid start ( 2 -3 7 ) was not used.\n");
  EXPECT_EQ(set.map.hdr.xorigin, 0.0f);
  EXPECT_EQ(set.map.hdr.yorigin, 5.0f);
  EXPECT_EQ(set.map.hdr.zorigin, 0.0f);

  mrc.yorigin = 0.0f;
  Reading fromStarts = readMap(mrc, "originstart.mrc");
  EXPECT_EQ(fromStarts.map.hdr.xorigin, 4.0f);  // 2 voxels of 2 A
  EXPECT_EQ(fromStarts.map.hdr.yorigin, -1.5f);  // -3 voxels of 0.5 A
  EXPECT_EQ(fromStarts.map.hdr.zorigin, 7.0f);

  mrc.nxstart = mrc.nystart = mrc.nzstart = 0;
  Reading atZero = readMap(mrc, "originzero.mrc");
  EXPECT_EQ(atZero.out, "");
  EXPECT_EQ(atZero.map.hdr.xorigin, 0.0f);
}

TEST(MapStoredForms, GzipFileReadsLikeThePlainOne) {
  MrcMapFile mrc = sampleMap(1);
  mrc.bigEndian = true;
  TempFile gz("packed.mrc");
  writeGzipFile(gz.path, mrcFileBytes(mrc));
  Reading r = readMapFile(gz.path);
  ASSERT_EQ(r.status, -1) << r.out;
  EXPECT_EQ(r.out, "Map file is gzip-compressed; decompressed on reading. Map stored big-endian; byte-swapped. " +
                       modeLine(1) + "\n");
  expectSameMap(r.map, readMap(plainForm(mrc), "plain.mrc").map);
}

TEST(MapStoredForms, MissingMapIsReadFromItsGzipCopy) {
  MrcMapFile mrc = sampleMap();
  TempFile plain("fallback.mrc");
  TempFile gz("fallback.mrc.gz");
  writeGzipFile(gz.path, mrcFileBytes(mrc));
  Reading r = readMapFile(plain.path);
  ASSERT_EQ(r.status, -1) << r.out;
  EXPECT_EQ(r.out, "Map file " + plain.path + " not found; read " + plain.path +
                       ".gz instead. Map file is gzip-compressed; decompressed on reading.\n");
  expectSameMap(r.map, readMap(mrc, "plain.mrc").map);

  // When the map is there, its gzip copy is not looked at.
  writeMrcFile(plain.path, mrc);
  EXPECT_EQ(readMapFile(plain.path).out, "");
}

// An interrupted download: what the file lacks would read as empty voxels,
// so the map is refused, whether plain or compressed.
std::string truncatedFrame(size_t present, size_t expected) {
  return kFrameTop + "Map file ends before its voxel data does: " + std::to_string(present) +
         " bytes of voxel data present, " + std::to_string(expected) +
         " expected. The file is truncated (an interrupted download?).\n" + kFrameBottom;
}

TEST(MapStoredForms, GzipStreamShorterThanTheHeaderClaimsIsRefused) {
  MrcMapFile mrc = sampleMap(1);
  mrc.fileLength = 1024 + 2 * 25 + 1;  // 25 whole voxels and a byte
  TempFile gz("short.mrc.gz");
  writeGzipFile(gz.path, mrcFileBytes(mrc));
  Reading packed = readMapFile(gz.path);
  EXPECT_EQ(packed.status, 1);
  EXPECT_EQ(packed.out, truncatedFrame(51, 120));
  EXPECT_EQ(readMap(mrc, "short.mrc").out, truncatedFrame(51, 120));

  // A compressed file cut short is refused like a cut plain file.
  std::vector<unsigned char> whole = mrcFileBytes(sampleMap());
  writeGzipFile(gz.path, whole);
  std::vector<unsigned char> packedBytes = fileBytes(gz.path);
  packedBytes.resize(packedBytes.size() - 40);
  writeBytes(gz.path, packedBytes);
  Reading cut = readMapFile(gz.path);
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.out.find(" bytes of voxel data present, 240 expected."), std::string::npos) << cut.out;
}

TEST(MapStoredForms, DamagedGzipStreamIsRefused) {
  MrcMapFile mrc = sampleMap();
  mrc.nx = mrc.ny = mrc.nz = 20;
  mrc.data.clear();
  for (int i = 0; i < 8000; ++i) mrc.data.push_back(static_cast<float>(i % 97) * 0.37f);
  TempFile gz("damaged.mrc.gz");
  writeGzipFile(gz.path, mrcFileBytes(mrc));
  std::vector<unsigned char> packed = fileBytes(gz.path);
  for (size_t i = packed.size() / 2; i < packed.size() / 2 + 16; ++i) packed[i] = 0xff;
  writeBytes(gz.path, packed);

  Reading r = readMapFile(gz.path);
  EXPECT_EQ(r.status, 1);
  ASSERT_EQ(r.out.rfind(kFrameTop + "The gzip-compressed map file is damaged ( ", 0), 0u) << r.out;
  EXPECT_EQ(r.out.substr(r.out.size() - kFrameBottom.size() - 4), " ).\n" + kFrameBottom);
}

TEST(MapStoredForms, FileShorterThanClaimedIsRefusedInEveryModeAndOrder) {
  for (int32_t mode : kReadableModes)
    for (const std::array<int32_t, 3>& order : {std::array<int32_t, 3>{1, 2, 3}, std::array<int32_t, 3>{3, 1, 2}}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " order " + std::to_string(order[0]));
      MrcMapFile mrc = sampleMap(mode);
      mrc.axisOrder = order;
      mrc.bigEndian = mode == 1;
      const size_t width = mode == 0 ? 1 : mode == 2 ? 4 : 2;
      const size_t kept = 37;  // whole voxels left in the file
      mrc.fileLength = static_cast<long>(1024 + kept * width + width / 2);
      Reading cut = readMap(mrc, "cut.mrc");
      EXPECT_EQ(cut.status, 1);
      EXPECT_EQ(cut.out, truncatedFrame(kept * width + width / 2, 60 * width));
      // One byte short is as much a cut file as half of it.
      mrc.fileLength = static_cast<long>(1024 + 60 * width - 1);
      EXPECT_EQ(readMap(mrc, "cut.mrc").out, truncatedFrame(60 * width - 1, 60 * width));
    }
}

TEST(MapStoredForms, ModesWithoutRealValuesAreRefusedByName) {
  const std::pair<int32_t, std::string> modes[] = {{3, "3 (complex 16-bit integers)"},
                                                   {4, "4 (complex 32-bit floats)"},
                                                   {101, "101 (4-bit integers)"},
                                                   {7, "7 (unknown)"},
                                                   {-2, "-2 (unknown)"}};
  for (const auto& [mode, name] : modes) {
    SCOPED_TRACE(mode);
    MrcMapFile mrc = sampleMap();
    mrc.mode = mode;
    Reading r = readMap(mrc, "badmode.mrc");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kFrameTop + "Map mode " + name +
                         " cannot be read: only modes 0, 1, 2, 6 and 12 hold real voxel values.\n" + kFrameBottom);
  }
}

TEST(MapStoredForms, AxisOrderThatIsNoOrderOfXYZIsRefused) {
  const std::array<int32_t, 3> bad[] = {{1, 1, 3}, {0, 2, 3}, {4, 2, 1}, {-1, 2, 3}};
  for (const auto& order : bad) {
    MrcMapFile mrc = sampleMap();
    mrc.axisOrder = order;
    Reading r = readMap(mrc, "badaxes.mrc");
    const std::string text =
        std::to_string(order[0]) + " " + std::to_string(order[1]) + " " + std::to_string(order[2]);
    SCOPED_TRACE(text);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, kFrameTop + "Strange header of the file. The axis order (mapc,mapr,maps) = ( " + text +
                         " ) is not an order of 1 2 3.\n" + kFrameBottom);
  }
}

TEST(MapStoredForms, ExtendedHeaderThatDoesNotFitIsRefused) {
  for (int32_t nsymbt : {-5, 61, 2147483647}) {
    SCOPED_TRACE(nsymbt);
    std::vector<unsigned char> bytes = mrcFileBytes(sampleMap());
    bytes.resize(1024 + 60);
    patchInt(bytes, 92, nsymbt);
    const std::string frame = kFrameTop + "Strange header of the file. The extended header ( nsymbt = " +
                              std::to_string(nsymbt) + " bytes ) does not fit in the file.\n" + kFrameBottom;
    TempFile plain("badext.mrc");
    writeBytes(plain.path, bytes);
    Reading r = readMapFile(plain.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, frame);

    TempFile gz("badext.mrc.gz");
    writeGzipFile(gz.path, bytes);
    Reading packed = readMapFile(gz.path);
    EXPECT_EQ(packed.status, 1);
    EXPECT_EQ(packed.out, frame);
  }
}

TEST(MapStoredForms, HugeGridInAnyFormIsRefusedBeforeAllocating) {
  const uint64_t limit = cubeMemoryLimit();
  if (limit == 0 || cubeFootprint(1999, 1999, 1999) <= limit)
    GTEST_SKIP() << "this machine could hold a 1999^3 grid";
  MrcMapFile mrc;
  mrc.nx = mrc.ny = mrc.nz = 1999;
  mrc.mode = 0;
  mrc.bigEndian = true;
  mrc.fileLength = 2048;
  std::vector<unsigned char> bytes = mrcFileBytes(mrc);
  for (size_t offset : {64, 68, 72}) patchInt(bytes, offset, 0);
  bytes[64 + 3] = 2, bytes[68 + 3] = 3, bytes[72 + 3] = 1;  // axis order 2 3 1, big-endian
  TempFile gz("huge.mrc.gz");
  writeGzipFile(gz.path, bytes);
  Reading r = readMapFile(gz.path);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\nMap too large for this machine."), std::string::npos) << r.out;
  EXPECT_TRUE(r.map.cube.empty());
}

// A gzip file of two members, split at byte `at`: its trailer gives only the
// second member's length, as a file that does not vouch for its whole length.
void writeTwoMemberGzip(const std::string& path, const std::vector<unsigned char>& bytes, size_t at) {
  const std::string first = path + ".first", second = path + ".second";
  writeGzipFile(first, std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at)));
  writeGzipFile(second, std::vector<unsigned char>(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end()));
  std::vector<unsigned char> joined = fileBytes(first), tail = fileBytes(second);
  joined.insert(joined.end(), tail.begin(), tail.end());
  writeBytes(path, joined);
  std::remove(first.c_str());
  std::remove(second.c_str());
}

// A header claiming 2.3 GB of voxels over 64 KB of data: read in a child
// whose address space is bounded to well under the claim, it must end with
// the truncated-file frame, not with a failed allocation of the whole grid.
TEST(MapStoredForms, HeaderClaimingMoreThanTheFileHoldsIsRefusedBeforeAllocating) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's reserved address space leaves no room for a bound on it";
#endif
  const uint64_t claimed = cubeFootprint(1200, 1200, 400);
  if (cubeMemoryLimit() != 0 && claimed > cubeMemoryLimit()) GTEST_SKIP() << "the machine refuses the claim as too large";
  struct Lie {
    const char* what;
    bool gzip;
    std::array<int32_t, 3> order;
  };
  for (const Lie& lie : {Lie{"plain", false, {1, 2, 3}}, Lie{"gzip", true, {1, 2, 3}}, Lie{"gzip, axes 3 1 2", true, {3, 1, 2}}}) {
    SCOPED_TRACE(lie.what);
    MrcMapFile mrc;
    mrc.nx = mrc.ny = 1200, mrc.nz = 400;
    mrc.data.assign(16384, 1.0f);
    mrc.fileLength = 1024 + 65536;
    std::vector<unsigned char> bytes = mrcFileBytes(mrc);
    for (size_t axis = 0; axis < 3; ++axis) patchInt(bytes, 64 + 4 * axis, lie.order[axis]);
    TempFile file(lie.gzip ? "lie.mrc.gz" : "lie.mrc");
    if (lie.gzip)
      writeTwoMemberGzip(file.path, bytes, 4096);
    else
      writeBytes(file.path, bytes);
    TempFile said("said.txt");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      long pages = 0;
      std::ifstream("/proc/self/statm") >> pages;
      const rlimit bound{static_cast<rlim_t>(pages) * 4096 + (512u << 20), static_cast<rlim_t>(pages) * 4096 + (512u << 20)};
      setrlimit(RLIMIT_AS, &bound);
      const Reading r = readMapFile(file.path);
      std::ofstream(said.path) << r.out;
      _exit(r.status == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(said.path), truncatedFrame(65536, claimed)) << readFile(said.path);
  }
}

TEST(MapStoredForms, GzipFileThatDoesNotVouchForItsLengthReadsLikeThePlainOneInEveryAxisOrder) {
  for (const auto& order : {std::array<int32_t, 3>{1, 2, 3}, std::array<int32_t, 3>{2, 3, 1}, std::array<int32_t, 3>{3, 1, 2}}) {
    MrcMapFile mrc = sampleMap();
    mrc.axisOrder = order;
    TempFile gz("members.mrc.gz");
    writeTwoMemberGzip(gz.path, mrcFileBytes(mrc), 1024 + 100);
    Reading r = readMapFile(gz.path);
    ASSERT_EQ(r.status, -1) << r.out;
    expectSameMap(r.map, readMap(plainForm(mrc), "plain.mrc").map);
  }
}

}  // namespace
