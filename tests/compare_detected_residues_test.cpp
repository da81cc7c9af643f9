#include <gtest/gtest.h>

#include "velmorantique/compare.h"

using namespace vel;

namespace {

// One reference strand of five C-alphas 3.35 Å apart along x. Its residues
// are numbered 10, 11, 12, 15, 16: the record spans seven residue numbers.
const double kCaX[5] = {0.0, 3.35, 6.7, 10.05, 13.4};

ReferenceStrands gappedStrand() {
  ReferenceStrand strand;
  for (double x : kCaX) strand.cas.push_back(Coordinate(x, 0, 0));
  strand.seqLength = 7;
  return {strand};
}

// A candidate line along x at height y, points 0.25 Å apart from x = -2 to 16.
PointList lineAt(double y) {
  PointList points;
  for (int i = 0; i <= 72; ++i) points.push_back(Coordinate(-2 + 0.25 * i, y, 0));
  return points;
}

}  // namespace

TEST(FindDetectAA, OnlyTheNearestCandidateStrandDetects) {
  // The line at 1 Å detects all five; the one at 1.01 Å covers them too but
  // lies farther by more than 0.001 and is ignored. The total counts residue
  // numbers 10 to 16, gap included.
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet{lineAt(1.01), lineAt(1.0)}), std::make_pair(5, 7));
}

TEST(FindDetectAA, TiedCandidateStrandsEachCountTheirResidues) {
  // Two lines at the same distance, and a third within 0.001 of it: each of
  // them counts all five C-alphas, so detected exceeds the total.
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet{lineAt(1.0), lineAt(-1.0)}), std::make_pair(10, 7));
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet{lineAt(1.0), lineAt(-1.0), lineAt(1.0005)}),
            std::make_pair(15, 7));
}

TEST(FindDetectAA, CutoffAppliesToSinglePoints) {
  // One point beside each C-alpha: three at 2.9 Å, two at 3.1 Å.
  PointList beside;
  for (int i = 0; i < 5; ++i) beside.push_back(Coordinate(kCaX[i], i < 3 ? 2.9 : 3.1, 0));
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet{beside}), std::make_pair(3, 7));

  // A point lying exactly on a C-alpha does not count in the distance that
  // picks the nearest strand, but it does detect that C-alpha.
  PointList onFirst{Coordinate(kCaX[0], 0, 0), Coordinate(kCaX[4], 20, 0)};
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet{onFirst}), std::make_pair(1, 7));
}

TEST(FindDetectAA, NothingToDetectWith) {
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet()), std::make_pair(0, 7));
  // An empty line is 999 from everything and ties when nothing is nearer,
  // but has no point to detect with.
  EXPECT_EQ(FindDetectAA(gappedStrand(), StrandSet{PointList()}), std::make_pair(0, 7));

  EXPECT_EQ(FindDetectAA(ReferenceStrands(), StrandSet{lineAt(1.0)}), std::make_pair(0, 0));
  // A record that runs backwards has no C-alphas to detect but counts its span.
  ReferenceStrand backwards;
  backwards.seqLength = 4;
  EXPECT_EQ(FindDetectAA(ReferenceStrands{backwards}, StrandSet{lineAt(1.0)}), std::make_pair(0, 4));
}
