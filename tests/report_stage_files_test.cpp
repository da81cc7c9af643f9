// Stage files read back for the pictures: plain or gzip-compressed alike,
// broken ones refused with the file and line, sticks split into their lines.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "report/stage_files.h"
#include "support/batch_folder.h"
#include "velmorantique/report.h"

using namespace vel;
using vel::report::findStageFile;
using vel::report::readStagePoints;
using vel::report::ReportError;
using vel::report::splitStrandLines;

TEST(StageFiles, ReadsPlainAndCompressedFilesAlike) {
  const std::string dir = makeTempDir();
  const std::string text = pseudoAtoms({{1.5, -2.25, 10}, {-999.5, 0, 0.001}, {12.0, 3, -4}});
  writeFile(dir + "/plain.pdb", "REMARK made by hand\n" + text + "END\n");
  writeGzipText(dir + "/packed.pdb.gz", text);

  const PointList plain = readStagePoints(findStageFile(dir + "/plain.pdb"));
  const PointList packed = readStagePoints(findStageFile(dir + "/packed.pdb"));
  ASSERT_EQ(plain.size(), 3u);
  ASSERT_EQ(packed.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_DOUBLE_EQ(plain[i].x, packed[i].x);
    EXPECT_DOUBLE_EQ(plain[i].y, packed[i].y);
    EXPECT_DOUBLE_EQ(plain[i].z, packed[i].z);
  }
  EXPECT_DOUBLE_EQ(plain[1].x, -999.5);
  EXPECT_DOUBLE_EQ(plain[0].z, 10.0);
  // The plain file wins when both exist; neither gives an empty path.
  writeGzipText(dir + "/plain.pdb.gz", "");
  EXPECT_EQ(findStageFile(dir + "/plain.pdb"), dir + "/plain.pdb");
  EXPECT_EQ(findStageFile(dir + "/absent.pdb"), "");
}

TEST(StageFiles, RefusesBrokenFilesNamingWhereTheyBreak) {
  const std::string dir = makeTempDir();
  std::string text = pseudoAtoms({{1, 2, 3}, {4, 5, 6}});
  text.replace(text.find('\n') + 1 + 32, 4, "x.yz");  // second atom's x
  writeFile(dir + "/letters.pdb", text);
  try {
    readStagePoints(dir + "/letters.pdb");
    FAIL() << "a coordinate of letters was read";
  } catch (const ReportError& e) {
    EXPECT_NE(std::string(e.what()).find("letters.pdb:2:"), std::string::npos) << e.what();
  }
  writeFile(dir + "/short.pdb", "ATOM      1  H   HOH A   1       1.000   2.000\n");
  EXPECT_THROW(readStagePoints(dir + "/short.pdb"), ReportError);

  // A compressed file cut short, as a full disk leaves it.
  writeGzipText(dir + "/cut.pdb.gz", pseudoAtoms(stickLine(0, 0, 400)));
  const std::string whole = readFile(dir + "/cut.pdb.gz");
  writeFile(dir + "/cut.pdb.gz", whole.substr(0, whole.size() / 2));
  EXPECT_THROW(readStagePoints(dir + "/cut.pdb.gz"), ReportError);
  EXPECT_THROW(readStagePoints(dir + "/absent.pdb"), ReportError);
}

TEST(StageFiles, SplitsSticksAtTheJumpBetweenLines) {
  // Three lines 4.6 Å apart, written one after the other, the middle one backwards.
  PointList points;
  for (const auto& p : stickLine(0, 0, 50)) points.emplace_back(p[0], p[1], p[2]);
  for (const auto& p : stickLine(-1, 4.6, 70)) points.emplace(points.begin() + 50, p[0], p[1], p[2]);
  for (const auto& p : stickLine(0, 9.2, 31)) points.emplace_back(p[0], p[1], p[2]);
  const StrandSet lines = splitStrandLines(points, 2.0);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 50u);
  EXPECT_EQ(lines[1].size(), 70u);
  EXPECT_EQ(lines[2].size(), 31u);
  EXPECT_TRUE(splitStrandLines({}, 2.0).empty());
}

namespace {

// The value a full decimal parser gives the text.
double parsedByStrtod(const std::string& text) { return std::strtod(text.c_str(), nullptr); }

// One ATOM record whose x field holds the given eight characters.
std::string atomWithX(const std::string& x) {
  std::string line = pseudoAtoms({{0, 0, 0}});
  line.replace(30, 8, x);
  return line;
}

}  // namespace

TEST(StageFiles, CoordinatesAreTheValuesAFullDecimalParserGives) {
  const std::string dir = makeTempDir();
  // Printed as PDB writers print them, across the whole field width, and in
  // the rarer forms a hand-edited file may hold.
  std::vector<std::string> fields;
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> spread(-999.0, 9999.0);
  char buffer[32];
  for (int i = 0; i < 3000; ++i) {
    std::snprintf(buffer, sizeof buffer, "%8.*f", i % 4, spread(random) / (i % 3 == 0 ? 1000 : 1));
    fields.push_back(buffer);
  }
  for (const char* odd : {"   0.000", "  -0.000", "   +1.50", "   1e2  ", "    -.5 ", "  12.   ", "0.100000",
                          "-9999.99", "99999999", "  4.6E-1"})
    fields.push_back(odd);
  std::string text;
  for (const std::string& f : fields) text += atomWithX(f);
  writeFile(dir + "/many.pdb", text);

  const PointList points = readStagePoints(dir + "/many.pdb");
  ASSERT_EQ(points.size(), fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    const double expected = parsedByStrtod(fields[i]);
    EXPECT_EQ(std::memcmp(&points[i].x, &expected, sizeof expected), 0) << "'" << fields[i] << "'";
  }

  for (const char* bad : {"  1.2.3 ", "   +-1  ", "   --1  ", "    -   ", "    .   ", "  1e999 ", "     nan",
                          "     inf", "  1 2   ", "   0x10 ", "        "}) {
    writeFile(dir + "/bad.pdb", atomWithX(bad));
    EXPECT_THROW(readStagePoints(dir + "/bad.pdb"), ReportError) << "'" << bad << "'";
  }
}
