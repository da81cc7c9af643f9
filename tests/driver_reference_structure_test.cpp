#include <gtest/gtest.h>
#include "velmorantique/fatal.h"
#include <iostream>

#include "support/program.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "support/pdb_text.h"
#include "driver/reference_structure.h"
#include "velmorantique/geometry.h"

using namespace vel;

namespace {

// C-alpha-only residues numbered from 1, one per given position.
std::string caChain(const PointList& cas) {
  std::string text;
  for (std::size_t i = 0; i < cas.size(); ++i)
    text += atomLine(static_cast<int>(i) + 1, " CA ", "VAL", static_cast<int>(i) + 1, cas[i].x,
                     cas[i].y, cas[i].z);
  return text;
}

void expectSame(const Coordinate& a, const Coordinate& b) {
  EXPECT_EQ(a.x, b.x);
  EXPECT_EQ(a.y, b.y);
  EXPECT_EQ(a.z, b.z);
}

// The sampled line of a two-residue strand whose C-alphas lie length apart.
PointList twoResidueAxis(double length) {
  PdbFile pdb("axis_" + std::to_string(length),
              sheetLine(1, 1, 2) + caChain({Coordinate(1, 2, 3), Coordinate(1 + length, 2, 3)}));
  StrandSet strands = FindTrueStrands(pdb.base);
  EXPECT_EQ(strands.size(), 1u);
  return strands.empty() ? PointList() : strands[0];
}

}  // namespace

TEST(FindTrueStrands, SegmentSamplesFollowRepeatedAddition) {
  // Offsets 0, 0.1, ... accumulate by addition: 2.25 Å gives 23 samples and
  // 3.0 Å 30, but 1.0 Å gives 11 because ten additions fall just short of 1.
  // The closing C-alpha adds one point to each.
  EXPECT_EQ(twoResidueAxis(2.25).size(), 24u);
  EXPECT_EQ(twoResidueAxis(3.0).size(), 31u);
  PointList axis = twoResidueAxis(1.0);
  ASSERT_EQ(axis.size(), 12u);
  expectSame(axis[0], Coordinate(1, 2, 3));
  EXPECT_NEAR(axis[10].x, 2.0, 1e-12);  // the eleventh sample, just short of the end
  expectSame(axis[11], Coordinate(2, 2, 3));
}

TEST(FindTrueStrands, AxisRunsThroughTripletCentroids) {
  // Four residues: anchors CA1, centroid(1,2,3), centroid(2,3,4), CA4.
  PointList cas{Coordinate(0, 0, 0), Coordinate(3, 3, 0), Coordinate(6, 0, 0), Coordinate(9, 3, 0)};
  PdbFile pdb("centroids", sheetLine(1, 1, 4) + caChain(cas));
  StrandSet strands = FindTrueStrands(pdb.base);
  ASSERT_EQ(strands.size(), 1u);
  const PointList& axis = strands[0];

  Coordinate c1 = triangleCenter(cas[0], cas[1], cas[2]);  // (3, 1, 0)
  Coordinate c2 = triangleCenter(cas[1], cas[2], cas[3]);  // (6, 2, 0)
  double l0 = getDistance(cas[0], c1), l1 = getDistance(c1, c2), l2 = getDistance(c2, cas[3]);
  auto samples = [](double length) {
    int n = 0;
    for (double t = 0; t < length; t += 0.1) ++n;
    return n;
  };
  int n0 = samples(l0), n1 = samples(l1), n2 = samples(l2);
  ASSERT_EQ(axis.size(), static_cast<std::size_t>(n0 + n1 + n2 + 1));
  expectSame(axis[0], cas[0]);
  expectSame(axis[n0], c1);
  expectSame(axis[n0 + n1], c2);
  expectSame(axis.back(), cas[3]);
  for (std::size_t k = 1; k < axis.size(); ++k)
    EXPECT_LE(getDistance(axis[k - 1], axis[k]), 0.1 + 1e-9);
}

TEST(FindTrueStrands, OneResidueStrandHoldsItsCalphaTwice) {
  PdbFile pdb("one_residue", sheetLine(1, 2, 2) + caChain({Coordinate(0, 0, 0), Coordinate(4, 5, 6),
                                                           Coordinate(8, 0, 0)}));
  StrandSet strands = FindTrueStrands(pdb.base);
  ASSERT_EQ(strands.size(), 1u);
  ASSERT_EQ(strands[0].size(), 2u);
  expectSame(strands[0][0], Coordinate(4, 5, 6));
  expectSame(strands[0][1], Coordinate(4, 5, 6));
}

TEST(ReferenceStrands, StrandResidueWithoutCalphaIsRefusedNamingItAndItsStrand) {
  // Residues 2 and 3 have no C-alpha: the first of them is named, with the
  // strand it belongs to, before any placeholder could enter an axis.
  std::string text = sheetLine(1, 5, 6) + sheetLine(2, 1, 4) + atomLine(1, " CA ", "VAL", 1, 0, 0, 0) +
                     atomLine(2, " N  ", "GLY", 2, 3, 0, 0) + atomLine(3, " N  ", "SER", 3, 6, 0, 0) +
                     atomLine(4, " CA ", "VAL", 4, 9, 0, 0) + atomLine(5, " CA ", "VAL", 5, 0, 5, 0) +
                     atomLine(6, " CA ", "VAL", 6, 3, 5, 0);
  PdbFile pdb("missing_ca", text);
  for (bool axes : {true, false}) {
    int status = 0;
    testing::internal::CaptureStdout();
    try {
      axes ? FindTrueStrands(pdb.base) : FindTrueCAs(pdb.base);
    } catch (const FatalError& e) {
      status = e.status;
      printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
    }
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 1);
    // The reader's own notes on the residues come first; the refusal ends the output.
    EXPECT_EQ(out.find("No such atom"), std::string::npos);
    const std::string frame = "\n================================ in Reference." + std::string(axes ? "FindTrueStrands" : "FindTrueCAs") +
                       "() ====================\nThe strand VAL-1 to VAL-4 of " + pdb.file.path +
                       " has no C-alpha ( CA ) at residue GLY-2: its strand axis cannot be drawn. Add the atom, or "
                       "end the SHEET record before that residue.\n" +
                       std::string(79, '=') + "\n";
    ASSERT_GE(out.size(), frame.size());
    EXPECT_EQ(out.substr(out.size() - frame.size()), frame);
  }
}

TEST(ReferenceStrands, TheDetectedResidueReadReportsTheMissingCalphasItAsksFor) {
  // Only the axis and C-alpha reads refuse such a strand; the count of
  // detected residues, which comes after them in a run, asks for each residue
  // once, in chain order, and takes the placeholder.
  std::string text = sheetLine(1, 1, 4) + atomLine(1, " CA ", "VAL", 1, 0, 0, 0) +
                     atomLine(2, " N  ", "GLY", 2, 3, 0, 0) + atomLine(3, " CA ", "SER", 3, 6, 0, 0) +
                     atomLine(4, " CA ", "VAL", 4, 9, 0, 0);
  PdbFile pdb("missing_one_ca", text);
  testing::internal::CaptureStdout();
  ReferenceStrands strands = readReferenceStrands(pdb.base);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("No such atom"), std::string::npos);
  EXPECT_EQ(out.find("No such atom"), out.rfind("No such atom"));
  ASSERT_EQ(strands.size(), 1u);
  ASSERT_EQ(strands[0].cas.size(), 4u);
  expectSame(strands[0].cas[1], Coordinate(-999, -999, -999));
  EXPECT_EQ(strands[0].seqLength, 4);
}

TEST(ReferenceStrands, RecordRunningBackwardsHasNoCalphasButAnAxisBetweenItsEnds) {
  // SHEET from residue 4 back to residue 2: no residues from first to last,
  // while the axis runs from the first named C-alpha to the last.
  std::string text = sheetLine(1, 4, 2);
  for (int num = 1; num <= 4; ++num) text += atomLine(num, " CA ", "VAL", num, 3.0 * num, 0, 0);
  PdbFile pdb("backwards", text);
  ReferenceStrands strands = readReferenceStrands(pdb.base);
  ASSERT_EQ(strands.size(), 1u);
  EXPECT_TRUE(strands[0].cas.empty());
  EXPECT_EQ(strands[0].seqLength, 3);
  StrandSet axes = FindTrueStrands(pdb.base);
  ASSERT_EQ(axes.size(), 1u);
  // 6 Å every 0.1 Å: 61 samples, as sixty additions fall just short of 6, and
  // the closing C-alpha.
  ASSERT_EQ(axes[0].size(), 62u);
  expectSame(axes[0].front(), Coordinate(12, 0, 0));
  expectSame(axes[0].back(), Coordinate(6, 0, 0));
}

TEST(ReferenceStrands, OneListPerRecordInChainOrder) {
  // Records listed out of chain order come back ordered by their first residue,
  // and overlapping records each keep their own list.
  PointList cas;
  for (int i = 0; i < 8; ++i) cas.push_back(Coordinate(3.5 * i, i % 2, 0));
  PdbFile pdb("records",
              sheetLine(1, 5, 8) + sheetLine(2, 1, 3) + sheetLine(3, 2, 6) + caChain(cas));

  StrandSet ca = FindTrueCAs(pdb.base);
  ASSERT_EQ(ca.size(), 3u);
  EXPECT_EQ(ca[0].size(), 3u);
  EXPECT_EQ(ca[1].size(), 5u);
  EXPECT_EQ(ca[2].size(), 4u);
  for (std::size_t k = 0; k < ca[1].size(); ++k) expectSame(ca[1][k], cas[1 + k]);

  StrandSet axes = FindTrueStrands(pdb.base);
  ASSERT_EQ(axes.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    expectSame(axes[i].front(), ca[i].front());
    expectSame(axes[i].back(), ca[i].back());
  }
}

TEST(ReferenceStrands, NoStrandRecordsGiveEmptySets) {
  PdbFile pdb("no_sheet", caChain({Coordinate(0, 0, 0), Coordinate(3, 0, 0)}));
  EXPECT_TRUE(FindTrueStrands(pdb.base).empty());
  EXPECT_TRUE(FindTrueCAs(pdb.base).empty());
}

TEST(ReferenceStrands, ExampleStructures) {
  // Residue numbers of each strand record, in chain order; these chains have
  // no gaps inside their strands.
  const std::pair<std::string, std::vector<std::pair<int, int>>> cases[] = {
      {"1hpv_b_8a", {{10, 15}, {18, 23}, {62, 66}, {69, 73}}},
      {"1a7g_a_6a", {{292, 300}, {338, 344}, {364, 371}}},
      {"synth_4x7_t18_8a", {{1, 7}, {12, 18}, {23, 29}, {34, 40}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    std::string base = c.first == "1a7g_a_6a" ? testDataPath(c.first) : examplePath(c.first, "");
    StrandSet axes = FindTrueStrands(base);
    StrandSet ca = FindTrueCAs(base);
    ASSERT_EQ(axes.size(), c.second.size());
    ASSERT_EQ(ca.size(), c.second.size());
    for (std::size_t i = 0; i < c.second.size(); ++i) {
      EXPECT_EQ(ca[i].size(), static_cast<std::size_t>(c.second[i].second - c.second[i].first + 1));
      expectSame(axes[i].front(), ca[i].front());
      expectSame(axes[i].back(), ca[i].back());
      for (std::size_t k = 1; k < axes[i].size(); ++k)
        EXPECT_LE(getDistance(axes[i][k - 1], axes[i][k]), 0.1 + 1e-9);
    }
  }
}

TEST(FindDetectAA, ExampleStructuresTotalTheirStrandResidues) {
  const std::pair<std::string, int> cases[] = {
      {"1hpv_b_8a", 22}, {"1a7g_a_6a", 24}, {"synth_4x7_t18_8a", 28}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    std::string base = c.first == "1a7g_a_6a" ? testDataPath(c.first) : examplePath(c.first, "");
    EXPECT_EQ(FindDetectAA(readReferenceStrands(base), StrandSet()), std::make_pair(0, c.second));
    // The reference axes pass within 3 Å of every reference C-alpha, and each
    // strand's own axis is the one nearest to it.
    EXPECT_EQ(FindDetectAA(readReferenceStrands(base), FindTrueStrands(base)), std::make_pair(c.second, c.second));
  }
}
