#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/protein_fixture.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

std::string residues(int first, int last, char chain = 'A') {
  std::string text;
  for (int num = first; num <= last; ++num)
    text += pdbAtom(" N  ", "VAL", num, 0, 0, 0, ' ', chain) +
            pdbAtom(" CA ", "VAL", num, 1.5, 0, 0, ' ', chain);
  return text;
}

Protein readText(const std::string& text) {
  TempFile file("ss.pdb", text);
  Protein p;
  stdoutOf([&] { p.read(file.path, ""); });
  return p;
}

TEST(SecondaryStructure, StrandRecordsBecomeResidueIndicesSortedByPosition) {
  Protein p = readText(
      "SHEET    1   A 3 VAL A  20  VAL A  24  0\n"
      "SHEET    2   A 3 VAL A   3  VAL A   7 -1  O  VAL A   5   N  VAL A  22\n"
      "SHEET    3   A 3 VAL A  12  VAL A  30 -1\n"  // ends on a residue that was not read
      "SHEET    3   A 3 VAL B  12  VAL B  15 -1\n"  // another chain
      "SHEET    4   A 3 VAL A  11  VAL A  15  1\n" +
      residues(3, 7) + residues(11, 15) + residues(20, 24));
  ASSERT_EQ(p.strands.size(), 3u);
  EXPECT_EQ(p.strands[0].strand, 2);
  EXPECT_EQ(p.strands[0].start, 0);
  EXPECT_EQ(p.strands[0].end, 4);
  EXPECT_EQ(p.strands[0].sense, -1);
  EXPECT_EQ(p.strands[0].curAtom, " O  ");
  EXPECT_EQ(p.strands[0].curResIndx, 2);
  EXPECT_EQ(p.strands[0].prevAtom, " N  ");
  EXPECT_EQ(p.strands[0].prevResIndx, 12);
  EXPECT_EQ(p.strands[1].strand, 4);
  EXPECT_EQ(p.strands[1].start, 5);
  EXPECT_EQ(p.strands[2].strand, 1);
  EXPECT_EQ(p.strands[2].sheetID, "  A");
  EXPECT_EQ(p.strands[2].numStrands, 3);
  EXPECT_EQ(p.strands[2].length, 5);
  EXPECT_EQ(p.strands[2].seqLength, 5);
}

TEST(SecondaryStructure, FirstStrandOfAFullLineHasBlankRegistration) {
  const std::string strandOne =
      "SHEET    1   A 2 VAL A   1  VAL A   3  0                                        \n";
  ASSERT_EQ(strandOne.size(), 81u);
  Protein p = readText(strandOne + residues(1, 3));
  ASSERT_EQ(p.strands.size(), 1u);
  EXPECT_EQ(p.strands[0].curAtom, "    ");
  EXPECT_EQ(p.strands[0].prevAtom, "    ");
  EXPECT_EQ(p.strands[0].curResIndx, -1);
  EXPECT_EQ(p.strands[0].prevResIndx, -1);

  // Blank residue fields read as residue number 0.
  Protein withZero = readText(strandOne + residues(0, 3));
  ASSERT_EQ(withZero.strands.size(), 1u);
  EXPECT_EQ(withZero.strands[0].curResIndx, 0);
  EXPECT_EQ(withZero.strands[0].prevResIndx, 0);
}

TEST(SecondaryStructure, StrandListedTwiceKeepsTheRecordThatSortsFirst) {
  // The closing strand of a barrel appears in two sheets. Partitioning swaps
  // the two equal records, so the one listed later survives.
  Protein p = readText(
      "SHEET    1   A 2 VAL A   1  VAL A   4  0\n"
      "SHEET    5   B 5 VAL A   1  VAL A   4 -1\n" +
      residues(1, 4));
  ASSERT_EQ(p.strands.size(), 1u);
  EXPECT_EQ(p.strands[0].sheetID, "  B");
  EXPECT_EQ(p.strands[0].strand, 5);
  EXPECT_EQ(p.strands[0].sense, -1);
}

TEST(SecondaryStructure, HelixRecordsOfTheChainReadWithBothEnds) {
  Protein p = readText(
      "HELIX    2   2 VAL A    9  VAL A   12  1 SECOND                             4\n"
      "HELIX    1   1 VAL A    1  VAL A    4  5 FIRST                              4\n"
      "HELIX    3   3 VAL A    5  VAL B    8  1\n"    // end on another chain
      "HELIX    4   4 VAL A    5  VAL A   40  1\n"    // end not read
      "HELIX    5   5 VAL B    5  VAL B    8  1\n"    // another chain
      "SHEET    1   A 2 VAL A   1  VAL A   6  0\n" +
      residues(1, 12) + "HELIX    6   6 VAL A    5  VAL A    8  1\n");  // after the atoms
  ASSERT_EQ(p.hlces.size(), 2u);
  const HelicesSecondaryStructure& h = p.hlces[0];
  EXPECT_EQ(h.serNum, 1);
  EXPECT_EQ(h.helixID, 1);
  EXPECT_EQ(h.start, 0);
  EXPECT_EQ(h.end, 3);
  EXPECT_EQ(h.helixClass, 5);
  EXPECT_EQ(h.comment, " FIRST                        ");
  EXPECT_EQ(h.length, 4);
  EXPECT_EQ(p.hlces[1].start, 8);
  // A helix wins over a strand when marking residues.
  EXPECT_EQ(p.AAs[0].ssType, 'H');
  EXPECT_EQ(p.AAs[5].ssType, 'S');
  EXPECT_EQ(p.AAs[6].ssType, 'L');
}

TEST(SecondaryStructure, NoResiduesLeavesTheRecordsAlone) {
  Protein p;
  p.fileName = "empty.pdb";
  p.header.push_back("SHEET    1   A 2 VAL A   1  VAL A   3  0");
  p.strands.resize(2);
  std::string out = stdoutOf([&] { p.buildSS(); });
  EXPECT_EQ(p.strands.size(), 2u);
  EXPECT_NE(out.find("in Protein.buildSS() ====================\nBe sure the portion (empty.pdb) contains AAs or you "
                     "have read the pdb file..\n"),
            std::string::npos);
}

TEST(SecondaryStructure, HoarePartitionOrdersEqualStarts) {
  // Records tagged by sheetID; the order among equal starts follows the
  // partition steps, not the input order.
  auto strandsOf = [](std::vector<std::pair<int, std::string>> items) {
    std::vector<SheetsSecondaryStructure> v;
    for (auto& [start, tag] : items) {
      SheetsSecondaryStructure s;
      s.start = start;
      s.sheetID = tag;
      v.push_back(s);
    }
    return v;
  };
  auto tags = [](const std::vector<SheetsSecondaryStructure>& v) {
    std::string t;
    for (const auto& s : v) t += s.sheetID;
    return t;
  };
  Protein p;
  auto v = strandsOf({{3, "a"}, {1, "b"}, {2, "c"}, {1, "d"}, {0, "e"}, {3, "f"}});
  p.sortStrands(v, 0, static_cast<unsigned>(v.size() - 1));
  EXPECT_EQ(tags(v), "edbcfa");

  auto w = strandsOf({{7, "a"}, {7, "b"}, {5, "c"}, {9, "d"}});
  p.sortStrands(w, 1, 2);  // only the middle two
  EXPECT_EQ(tags(w), "acbd");

  std::vector<HelicesSecondaryStructure> h(3);
  h[0].start = 4, h[1].start = 4, h[2].start = 1;
  h[0].serNum = 1, h[1].serNum = 2, h[2].serNum = 3;
  p.sortHlces(h, 0, 2);
  EXPECT_EQ(h[0].serNum, 3);
  EXPECT_EQ(h[1].serNum, 2);
  EXPECT_EQ(h[2].serNum, 1);
}

}  // namespace
