// A bundled example map stored in other forms a map may come in (axis order
// 3 2 1, big-endian, 16-bit integers with a scale) gives the run that the
// plain map gives: the same report rows and, apart from the one line that
// says how the map was read, the same standard output.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/mrc_file.h"
#include "support/program.h"
#include "velmorantique/map.h"

using namespace vel;

namespace {

const std::string kName = "synth_4x7_t18_8a";
const int kRunSeconds = 1800;  // a whole analysis, on a loaded machine

struct Outcome {
  ProgramRun run;
  std::string bestRow, rmsRow;
};

Outcome runOn(const std::vector<unsigned char>& mapBytes, const std::string& threshold) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  copyFile(examplePath(kName, ".pdb"), work + "/" + kName + ".pdb");
  writeBytes(work + "/" + kName + ".mrc", mapBytes);
  Outcome o;
  o.run = runProgram(work, {kName, kName, threshold}, kRunSeconds);
  const std::string outDir = work + "/" + kName + "twist/" + kName;
  o.bestRow = readFile(outDir + "_bestResult.txt");
  o.rmsRow = readFile(outDir + "_rms.txt");
  return o;
}

// The example as the fixture writer stores it, from the values the plain
// map holds.
MrcMapFile exampleAsWritten() {
  Map map;
  testing::internal::CaptureStdout();
  map.read(examplePath(kName, ".mrc"));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  MrcMapFile mrc;
  mrc.nx = map.hdr.nx, mrc.ny = map.hdr.ny, mrc.nz = map.hdr.nz;
  mrc.mx = map.hdr.mx, mrc.my = map.hdr.my, mrc.mz = map.hdr.mz;
  mrc.xlen = map.hdr.xlen, mrc.ylen = map.hdr.ylen, mrc.zlen = map.hdr.zlen;
  mrc.xorigin = map.hdr.xorigin, mrc.yorigin = map.hdr.yorigin, mrc.zorigin = map.hdr.zorigin;
  for (int z = 0; z < mrc.nz; ++z)
    for (int y = 0; y < mrc.ny; ++y)
      for (int x = 0; x < mrc.nx; ++x) mrc.data.push_back(map.at(x, y, z));
  return mrc;
}

// Standard output without the one line that says how the map was read.
std::string withoutLine(const std::string& out, const std::string& line) {
  const size_t at = out.find(line + "\n");
  if (at == std::string::npos) return out;
  return out.substr(0, at) + out.substr(at + line.size() + 1);
}

}  // namespace

TEST(MapFormatsEndToEnd, ConvertedExampleMapsGiveThePlainMapsReport) {
  const std::string threshold = trimEnd(readFile(examplePath(kName, "threshold")));
  const std::string plainBytes = readFile(examplePath(kName, ".mrc"));
  const Outcome plain = runOn(std::vector<unsigned char>(plainBytes.begin(), plainBytes.end()), threshold);
  ASSERT_EQ(plain.run.status, 0) << plain.run.out;
  ASSERT_EQ(std::count(plain.bestRow.begin(), plain.bestRow.end(), '\n'), 2);  // header row and data row

  const MrcMapFile example = exampleAsWritten();
  {
    SCOPED_TRACE("axis order 3 2 1");
    MrcMapFile mrc = example;
    mrc.axisOrder = {3, 2, 1};
    const Outcome o = runOn(mrcFileBytes(mrc), threshold);
    EXPECT_EQ(o.run.status, 0);
    const std::string line = "Map stored in axis order 3 2 1; reordered to x y z.";
    EXPECT_NE(o.run.out.find("\n" + line + "\nFiltering the map ...\n"), std::string::npos);
    EXPECT_EQ(withoutLine(o.run.out, line), plain.run.out);
    EXPECT_EQ(o.run.err, plain.run.err);
    EXPECT_EQ(o.bestRow, plain.bestRow);
    EXPECT_EQ(o.rmsRow, plain.rmsRow);
  }
  {
    SCOPED_TRACE("big-endian");
    MrcMapFile mrc = example;
    mrc.bigEndian = true;
    const Outcome o = runOn(mrcFileBytes(mrc), threshold);
    EXPECT_EQ(o.run.status, 0);
    EXPECT_EQ(withoutLine(o.run.out, "Map stored big-endian; byte-swapped."), plain.run.out);
    EXPECT_NE(o.run.out, plain.run.out);
    EXPECT_EQ(o.bestRow, plain.bestRow);
    EXPECT_EQ(o.rmsRow, plain.rmsRow);
  }
  {
    // Densities as 16-bit integers, 200000 to the unit, with the threshold
    // scaled alike. Rounding to integers moves no voxel of this map across
    // the threshold, so the same voxels hold density and the rows agree.
    SCOPED_TRACE("mode 1 with a scale");
    const double scale = 200000.0;
    const double t = std::atof(threshold.c_str());
    const double scaledThreshold = std::round(t * scale);
    MrcMapFile mrc = example;
    mrc.mode = 1;
    int crossing = 0;
    for (float& v : mrc.data) {
      const float q = static_cast<float>(std::round(v * scale));
      ASSERT_LE(q, 32767.0f);
      crossing += (static_cast<double>(v) >= t) != (q >= scaledThreshold) ? 1 : 0;
      v = q;
    }
    ASSERT_EQ(crossing, 0) << "pick another scale: rounding moves voxels across the threshold";
    std::ostringstream text;
    text << scaledThreshold;
    const Outcome o = runOn(mrcFileBytes(mrc), text.str());
    EXPECT_EQ(o.run.status, 0);
    EXPECT_NE(o.run.out.find("\nMap stored in mode 1 (signed 16-bit integers); converted to 32-bit floats.\n"),
              std::string::npos);
    EXPECT_EQ(o.bestRow, plain.bestRow);
    EXPECT_EQ(o.rmsRow, plain.rmsRow);
  }
}
