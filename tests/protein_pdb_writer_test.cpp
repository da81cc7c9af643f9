#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "reference/plain_pdb_writer.h"
#include "support/protein_fixture.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

std::string written(const Protein& p, int start, int end, bool writeHeader = false) {
  TempFile file("written.pdb", "");
  p.writePDB(file.path, start, end, writeHeader);
  return readFile(file.path);
}

std::string residues(int first, int last) {
  std::string text;
  for (int num = first; num <= last; ++num)
    text += pdbAtom(" N  ", "VAL", num) + pdbAtom(" CA ", "VAL", num, 1.5);
  return text;
}

TEST(PdbWriter, AtomRecordColumns) {
  Protein p = points2pdb({Coordinate(1.5, -2.25, 10.0)}, "HOH", " H  ");
  std::vector<std::string> rows = lines(written(p, 1, 1));
  ASSERT_EQ(rows.size(), 1u);
  const std::string& line = rows[0];
  ASSERT_EQ(line.size(), 80u);
  auto cols = [&](std::size_t a, std::size_t b) { return line.substr(a - 1, b - a + 1); };
  EXPECT_EQ(cols(1, 4), "ATOM");
  EXPECT_EQ(cols(5, 11), "      1");
  EXPECT_EQ(cols(12, 16), "  H  ");
  EXPECT_EQ(cols(17, 22), " HOH A");
  EXPECT_EQ(cols(23, 30), "   1    ");
  EXPECT_EQ(cols(31, 38), "   1.500");
  EXPECT_EQ(cols(39, 46), "  -2.250");
  EXPECT_EQ(cols(47, 54), "  10.000");
  EXPECT_EQ(cols(55, 80), std::string(26, ' '));
}

TEST(PdbWriter, AtomFieldsAsStoredAndCoordinatesRounded) {
  Protein p = points2pdb({Coordinate(-0.0004, 10000.0, -1000.0), Coordinate(0.0005, 0.0, 0.0)},
                         "GLY", " CA ");
  Atom& a = p.AAs[0].atoms[0];
  a.altLoc = 'A';
  a.occupancy = "  0.50";
  a.tempFactor = " 12.30";
  a.type = 'C';
  a.charge = "1+";
  p.AAs[0].iCode = 'B';
  p.AAs[0].num = -12;
  std::vector<std::string> rows = lines(written(p, 1, 1));
  ASSERT_EQ(rows.size(), 2u);
  // Values past eight characters widen their field and shift the rest.
  EXPECT_EQ(rows[0],
            "ATOM      1  CA AGLY A -12B     -0.00010000.000-1000.000  0.50 12.30           C1+");
  EXPECT_EQ(rows[1].substr(0, 54),
            "ATOM      2  CA  GLY A -12B      0.001   0.000   0.000");
}

TEST(PdbWriter, HelixAndSheetRecords) {
  TempFile input("records.pdb",
                 "HELIX    7   3 VAL A    1  VAL A    4  5 FIRST                              4\n"
                 "HELIX    8   4 VAL A    9  VAL A   12  1                                    4\n"
                 "SHEET    1   A 2 VAL A   1  VAL A   6  0\n"
                 "SHEET    2   A 2 VAL A   8  VAL A  12 -1  O  VAL A   9   N  VAL A   2\n" +
                     residues(1, 12));
  Protein p;
  stdoutOf([&] { p.read(input.path, ""); });
  ASSERT_EQ(p.hlces.size(), 2u);
  ASSERT_EQ(p.strands.size(), 2u);

  const std::string sheets =
      "SHEET    1   A 2 VAL A   1  VAL A   6  0 \n"
      "SHEET    2   A 2 VAL A   8  VAL A  12 -1  O  VAL A   9   N  VAL A   2 \n";
  std::vector<std::string> all = lines(written(p, 1, 12));
  ASSERT_EQ(all.size(), 4u + 24u);
  EXPECT_EQ(all[0], "HELIX    7   3 VAL A    1  VAL A    4  5 FIRST                             4");
  EXPECT_EQ(all[1], "HELIX    8   4 VAL A    9  VAL A   12  1                                   4");
  EXPECT_EQ(all[2] + "\n" + all[3] + "\n", sheets);
  EXPECT_EQ(all[4].substr(0, 30), "ATOM      1  N   VAL A   1    ");

  // Helices reaching past the range written are clipped to it and numbered
  // by a running count; strands are written whatever the range.
  std::vector<std::string> part = lines(written(p, 3, 10));
  ASSERT_EQ(part.size(), 4u + 16u);
  EXPECT_EQ(part[0], "HELIX    1   1 VAL A    3  VAL A    4  5 FIRST                             2");
  EXPECT_EQ(part[1], "HELIX    2   2 VAL A    9  VAL A   10  1                                   2");
  EXPECT_EQ(part[2] + "\n" + part[3] + "\n", sheets);
  EXPECT_EQ(part[4].substr(0, 30), "ATOM      1  N   VAL A   3    ");

  std::vector<std::string> inner = lines(written(p, 2, 3));
  EXPECT_EQ(inner[0], "HELIX    1   1 VAL A    2  VAL A    3  5 FIRST                             2");
  EXPECT_EQ(inner[1].substr(0, 5), "SHEET");

  // A registration naming a residue that was not read is left out.
  p.strands[1].prevResIndx = -1;
  EXPECT_EQ(lines(written(p, 1, 1))[2], "SHEET    2   A 2 VAL A   8  VAL A  12 -1 ");
}

TEST(PdbWriter, HeaderLinesReplaceGeneratedRecords) {
  TempFile input("header.pdb", "HEADER    WITH HEADER\r\nHELIX    1   1 VAL A    1  VAL A    2  1\n" +
                                   residues(1, 2));
  Protein p;
  stdoutOf([&] { p.read(input.path, ""); });
  ASSERT_EQ(p.hlces.size(), 1u);
  std::vector<std::string> rows = lines(written(p, 2, 2, true));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], "HEADER    WITH HEADER\r");
  EXPECT_EQ(rows[1], "HELIX    1   1 VAL A    1  VAL A    2  1");
  EXPECT_EQ(rows[2].substr(0, 27), "ATOM      1  N   VAL A   2 ");
}

TEST(PdbWriter, BadRangeOrPathReportsAndReturnsAtEndOfInput) {
  // Both reports wait for a key; with input at its end they must return.
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  Protein p = points2pdb({Coordinate(), Coordinate()}, "HOH", " O  ");
  TempFile target("never.pdb", "");
  std::remove(target.path.c_str());

  std::string out = stdoutOf([&] {
    p.writePDB(target.path, 2, 1, false);
    p.writePDB(target.path, 0, 1, false);
    p.writePDB(target.path, 1, 2, false);
  });
  const std::string frame = "\n================================ in Protein.writePDB() ====================\n";
  const std::string tail = std::string(79, '=') + "\n\aPress any key...\n";
  EXPECT_EQ(out, frame + "The given range (2, 1) is incorrect..or the portion os empty (no.AA= 1)\n" + tail +
                     frame + "The given range (0, 1) is incorrect..or the portion os empty (no.AA= 1)\n" +
                     tail + frame +
                     "The given range (1, 2) is incorrect..or the portion os empty (no.AA= 1)\n" + tail);
  EXPECT_EQ(std::fopen(target.path.c_str(), "r"), nullptr);

  out = stdoutOf([&] { p.writePDB("/nonexistent-dir/x.pdb", 1, 1, false); });
  EXPECT_EQ(out, "\n================================ in Protein.writePDBFile() ====================\n"
                 "Unable to open /nonexistent-dir/x.pdb\n" + tail);

  // No residues at all: nothing can be written.
  Protein empty;
  out = stdoutOf([&] { empty.writePDB(target.path, 1, 0, false); });
  EXPECT_NE(out.find("The given range (1, 0) is incorrect..or the portion os empty (no.AA= 0)"),
            std::string::npos);
}

TEST(PdbWriter, EmptyPointListWritesAnEmptyFile) {
  Protein p = points2pdb({}, "HOH", " O  ");
  ASSERT_EQ(p.numOfAA(), 1);
  TempFile file("empty.pdb", "old content");
  p.writePDB(file.path, 1, 1, false);
  EXPECT_EQ(readFile(file.path), "");
}

TEST(PdbWriter, WrittenPointsReadBackToThreeDecimals) {
  const PointList points = {Coordinate(1.23456, -7.89149, 100.0004), Coordinate(-0.5, 0.25, -99.9996),
                            Coordinate(12.3456, 3.0, -4.0)};
  Protein p = points2pdb(points, "GLY", " N  ");
  TempFile file("roundtrip.pdb", "");
  p.writePDB(file.path, 1, 1, false);
  Protein back;
  stdoutOf([&] { back.read(file.path, ""); });
  ASSERT_EQ(back.numOfAA(), 1);
  ASSERT_EQ(back.numOfAtoms(0), 3);
  for (std::size_t k = 0; k < points.size(); ++k) {
    const Coordinate& c = back.AAs[0].atoms[k].coord;
    EXPECT_NEAR(c.x, points[k].x, 0.0005 + 1e-9);
    EXPECT_NEAR(c.y, points[k].y, 0.0005 + 1e-9);
    EXPECT_NEAR(c.z, points[k].z, 0.0005 + 1e-9);
  }
  EXPECT_EQ(back.AAs[0].atoms[0].coord.x, 1.235);
  EXPECT_EQ(back.AAs[0].atoms[1].coord.z, -100.0);
}

}  // namespace

namespace {

TEST(PdbWriter, AtomRecordMatchesStreamedFieldsOfAnyLength) {
  AminoAcid aa;
  Atom atom;
  std::string line;
  const std::vector<std::string> texts = {"", "A", "CA", " CA ", "LONGER TEXT"};
  const std::vector<int> numbers = {0, 1, -12, 9999, 10000, -2147483647 - 1, 2147483647};
  for (size_t k = 0; k < texts.size() * numbers.size(); ++k) {
    const std::string& text = texts[k % texts.size()];
    const int number = numbers[k % numbers.size()];
    atom.name = text;
    aa.chr3 = texts[(k + 1) % texts.size()];
    aa.chain = texts[(k + 2) % texts.size()];
    atom.occupancy = texts[(k + 3) % texts.size()];
    atom.tempFactor = texts[(k + 4) % texts.size()];
    atom.charge = text;
    atom.altLoc = "A \0"[k % 3];
    atom.type = "C \0"[(k + 1) % 3];
    aa.iCode = "B \0"[(k + 2) % 3];
    aa.num = number;
    atom.coord = Coordinate(number * 0.0005, -0.0, 1e20 / (number == 0 ? 1 : number));
    line.clear();
    appendAtomRecord(line, number, atom, aa);
    EXPECT_EQ(line, plain::atomRecord(number, atom, aa)) << "case " << k;
  }
  // Records are appended to what is already there.
  line = "HEADER\n";
  appendAtomRecord(line, 1, atom, aa);
  EXPECT_EQ(line, "HEADER\n" + plain::atomRecord(1, atom, aa));
}

}  // namespace
