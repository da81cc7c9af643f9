#include <gtest/gtest.h>

#include <string>

#include "support/pdb_text.h"
#include "support/program.h"
#include "velmorantique/compare.h"

namespace {

// One reference strand of five C-alphas 3.35 Å apart along x. Its residues
// are numbered 10, 11, 12, 15, 16: the record spans seven residue numbers.
const double kCaX[5] = {0.0, 3.35, 6.7, 10.05, 13.4};

std::string gappedStrand() {
  const int numbers[5] = {10, 11, 12, 15, 16};
  std::string text = sheetLine(1, 10, 16);
  for (int i = 0; i < 5; ++i) text += atomLine(i + 1, " CA ", "VAL", numbers[i], kCaX[i], 0, 0);
  return text;
}

// A candidate line along x at height y, points 0.25 Å apart from x = -2 to 16.
PointList lineAt(double y) {
  PointList points;
  for (int i = 0; i <= 72; ++i) points.push_back(Coordinate(-2 + 0.25 * i, y, 0));
  return points;
}

}  // namespace

TEST(FindDetectAA, OnlyTheNearestCandidateStrandDetects) {
  PdbFile pdb("detect_nearest", gappedStrand());
  // The line at 1 Å detects all five; the one at 1.01 Å covers them too but
  // lies farther by more than 0.001 and is ignored. The total counts residue
  // numbers 10 to 16, gap included.
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet{lineAt(1.01), lineAt(1.0)}), std::make_pair(5, 7));
}

TEST(FindDetectAA, TiedCandidateStrandsEachCountTheirResidues) {
  PdbFile pdb("detect_tied", gappedStrand());
  // Two lines at the same distance, and a third within 0.001 of it: each of
  // them counts all five C-alphas, so detected exceeds the total.
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet{lineAt(1.0), lineAt(-1.0)}), std::make_pair(10, 7));
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet{lineAt(1.0), lineAt(-1.0), lineAt(1.0005)}),
            std::make_pair(15, 7));
}

TEST(FindDetectAA, CutoffAppliesToSinglePoints) {
  PdbFile pdb("detect_cutoff", gappedStrand());
  // One point beside each C-alpha: three at 2.9 Å, two at 3.1 Å.
  PointList beside;
  for (int i = 0; i < 5; ++i) beside.push_back(Coordinate(kCaX[i], i < 3 ? 2.9 : 3.1, 0));
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet{beside}), std::make_pair(3, 7));

  // A point lying exactly on a C-alpha does not count in the distance that
  // picks the nearest strand, but it does detect that C-alpha.
  PointList onFirst{Coordinate(kCaX[0], 0, 0), Coordinate(kCaX[4], 20, 0)};
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet{onFirst}), std::make_pair(1, 7));
}

TEST(FindDetectAA, NothingToDetectWith) {
  PdbFile pdb("detect_empty", gappedStrand());
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet()), std::make_pair(0, 7));
  // An empty line is 999 from everything and ties when nothing is nearer,
  // but has no point to detect with.
  EXPECT_EQ(FindDetectAA(pdb.base, StrandSet{PointList()}), std::make_pair(0, 7));

  PdbFile noSheet("detect_no_sheet", atomLine(1, " CA ", "VAL", 1, 0, 0, 0));
  EXPECT_EQ(FindDetectAA(noSheet.base, StrandSet{lineAt(1.0)}), std::make_pair(0, 0));
}

TEST(FindDetectAA, ExampleStructuresTotalTheirStrandResidues) {
  const std::pair<std::string, int> cases[] = {{examplePath("1hpv_b_8a", ""), 22},
                                                {testDataPath("1a7g_a_6a"), 24},
                                                {examplePath("synth_4x7_t18_8a", ""), 28}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    const std::string& base = c.first;
    EXPECT_EQ(FindDetectAA(base, StrandSet()), std::make_pair(0, c.second));
    // The reference axes pass within 3 Å of every reference C-alpha, and each
    // strand's own axis is the one nearest to it.
    EXPECT_EQ(FindDetectAA(base, FindTrueStrands(base)), std::make_pair(c.second, c.second));
  }
}
