#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/protein_fixture.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

TEST(PointExport, OneResidueOfPseudoAtoms) {
  Protein p = points2pdb({Coordinate(1, 2, 3), Coordinate(4, 5, 6), Coordinate(7, 8, 9)}, "HOH", " O  ");
  ASSERT_EQ(p.numOfAA(), 1);
  const AminoAcid& aa = p.AAs[0];
  EXPECT_EQ(aa.chr3, "HOH");
  EXPECT_EQ(aa.chain, "A");
  EXPECT_EQ(aa.num, 1);
  EXPECT_EQ(aa.chr1, ' ');
  ASSERT_EQ(aa.atoms.size(), 3u);
  EXPECT_EQ(aa.atoms[2].name, " O  ");
  EXPECT_EQ(aa.atoms[2].coord.y, 8.0);
  EXPECT_EQ(aa.atoms[2].type, ' ');

  TempFile file("three.pdb", "");
  p.writePDB(file.path, 1, 1, false);
  std::istringstream in(readFile(file.path));
  int n = 0;
  for (std::string line; std::getline(in, line); ++n) {
    EXPECT_EQ(line.substr(0, 26), "ATOM      " + std::to_string(n + 1) + "  O   HOH A   1");
  }
  EXPECT_EQ(n, 3);
}

TEST(PointExport, LargeSetsSplitIntoResiduesOfAtMostOneHundredThousand) {
  PointList points;
  for (int i = 0; i < 150000; ++i) points.push_back(Coordinate(i % 100, 0.0, 0.0));
  Protein p = points2pdb(points, "HOH", " H  ");
  ASSERT_EQ(p.numOfAA(), 2);
  EXPECT_EQ(p.AAs[0].num, 1);
  EXPECT_EQ(p.numOfAtoms(0), 99999);
  EXPECT_EQ(p.AAs[1].num, 2);
  EXPECT_EQ(p.numOfAtoms(1), 50001);
  EXPECT_EQ(p.AAs[1].atoms[0].coord.x, 99999 % 100);

  TempFile file("large.pdb", "");
  p.writePDB(file.path, 1, 2, false);
  const std::string text = readFile(file.path);
  EXPECT_EQ(text.size(), 150000u * 81u);
  EXPECT_EQ(text.substr(99998 * 81, 26), "ATOM  99999  H   HOH A   1");
  EXPECT_EQ(text.substr(99999 * 81, 26), "ATOM 100000  H   HOH A   2");
  EXPECT_EQ(text.substr(149999 * 81, 26), "ATOM 150000  H   HOH A   2");

  // Exactly 99999 points stay one residue; one more starts a second.
  points.resize(99999);
  EXPECT_EQ(points2pdb(points, "HOH", " H  ").numOfAA(), 1);
  points.push_back(Coordinate());
  Protein two = points2pdb(points, "HOH", " H  ");
  ASSERT_EQ(two.numOfAA(), 2);
  EXPECT_EQ(two.numOfAtoms(1), 1);
  EXPECT_EQ(two.AAs[1].num, 2);
}

}  // namespace
