// Stage files read back for the pictures: plain or gzip-compressed alike,
// broken ones refused with the file and line, sticks split into their lines.

#include <gtest/gtest.h>

#include "report/stage_files.h"
#include "support/batch_folder.h"
#include "velmorantique/report.h"

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
