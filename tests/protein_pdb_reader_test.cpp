#include <cmath>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <iostream>

#include "support/program.h"
#include "support/protein_fixture.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

std::vector<std::string> atomNames(const AminoAcid& aa) {
  std::vector<std::string> names;
  for (const Atom& a : aa.atoms) names.push_back(a.name);
  return names;
}

// Reads text as a PDB file, returning what the reader printed.
std::string readText(Protein& p, const std::string& text, const std::string& chain = "") {
  TempFile file("reader.pdb", text);
  return stdoutOf([&] { p.read(file.path, chain); });
}

std::string backbone(const std::string& resName, int num, char altLoc = ' ', char chain = 'A') {
  return pdbAtom(" N  ", resName, num, 0, 0, 0, altLoc, chain) +
         pdbAtom(" CA ", resName, num, 1.5, 0, 0, altLoc, chain);
}

TEST(PdbReader, NameComesFromTheFileName) {
  // The name is set before the file is opened, so even a missing file shows it.
  for (const auto& [path, name] : std::vector<std::pair<std::string, std::string>>{
           {"data/1abc.pdb", "1abc"}, {"data/1abcA.pdb", "1abc"}, {"x.pdb", "x"},
           {"2xyz.pdb", "2xyz"}, {"ab", "ab"}}) {
    Protein p;
    int status = 0;
    std::string out = stdoutOf([&] {
      try {
        p.read(path, "");
      } catch (const FatalError& e) {
        status = e.status;
        printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
      }
    });
    EXPECT_EQ(p.name, name) << path;
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("in Protein.read() ====================\nUnable to open " + path + "\n"), std::string::npos);
  }
}

TEST(PdbReader, KeepsBlankAndFirstAlternateLocation) {
  Protein p;
  std::string out = readText(
      p, backbone("SER", 1) + pdbAtom(" CB ", "SER", 1, 2, 0, 0, 'A') +
             pdbAtom(" CB ", "SER", 1, 9, 9, 9, 'B') + pdbAtom(" OG ", "SER", 1, 3, 0, 0, ' ') +
             // Residue 2 begins with its B conformer, here even a different residue type.
             pdbAtom(" N  ", "THR", 2, 9, 9, 9, 'B') + pdbAtom(" N  ", "ALA", 2, 4, 0, 0, 'A') +
             pdbAtom(" CA ", "ALA", 2, 5, 0, 0, 'A') + pdbAtom(" CA ", "THR", 2, 9, 9, 9, 'B'));
  EXPECT_EQ(out, "");
  ASSERT_EQ(p.numOfAA(), 2);
  EXPECT_EQ(atomNames(p.AAs[0]), (std::vector<std::string>{" N  ", " CA ", " CB ", " OG "}));
  EXPECT_EQ(p.AAs[0].atoms[2].altLoc, 'A');
  EXPECT_EQ(p.AAs[0].atoms[2].coord.x, 2.0);
  EXPECT_EQ(p.AAs[1].chr3, "ALA");
  EXPECT_EQ(p.AAs[1].chr1, 'A');
  EXPECT_EQ(atomNames(p.AAs[1]), (std::vector<std::string>{" N  ", " CA "}));
  EXPECT_EQ(p.AAs[1].atoms[1].coord.x, 5.0);
}

TEST(PdbReader, StopsAtTheFirstInsertionCode) {
  AtomRecord inserted;
  inserted.resNum = 2;
  inserted.iCode = 'A';
  Protein p;
  std::string out = readText(p, backbone("GLY", 1) + backbone("GLY", 2) + pdbAtom(inserted) +
                                    backbone("GLY", 3));
  EXPECT_EQ(out, p.name + " has code of residue inserting\n");
  ASSERT_EQ(p.numOfAA(), 2);
  EXPECT_EQ(p.numOfAtoms(1), 2);
}

TEST(PdbReader, ReadsOneChainAndOnlyHeaderLinesBeforeIt) {
  const std::string text = "HEADER    TEST\n" + backbone("GLY", 1, ' ', 'A') +
                           "TER\nREMARK   1 BETWEEN CHAINS\n" + backbone("ALA", 7, ' ', 'B') +
                           "HETATM    1  O   HOH B 101       0.000   0.000   0.000\n" +
                           backbone("ALA", 8, ' ', 'B') + "END\n";
  Protein first;
  readText(first, text);
  ASSERT_EQ(first.numOfAA(), 1);
  EXPECT_EQ(first.AAs[0].chain, "A");
  EXPECT_EQ(first.header, (std::vector<std::string>{"HEADER    TEST"}));

  // Chain A's records are neither atoms nor header lines when chain B is asked for.
  Protein second;
  readText(second, text, "B");
  ASSERT_EQ(second.numOfAA(), 2);
  EXPECT_EQ(second.AAs[1].num, 8);
  EXPECT_EQ(second.header,
            (std::vector<std::string>{"HEADER    TEST", "TER", "REMARK   1 BETWEEN CHAINS"}));
}

TEST(PdbReader, RepeatedResidueNumbersJoinTheLastResidue) {
  Protein p;
  readText(p, "MODEL        1\n" + backbone("GLY", 1) + backbone("GLY", 2) + "ENDMDL\nMODEL        2\n" +
                  pdbAtom(" CB ", "ALA", 1, 7, 7, 7) + "ENDMDL\n");
  ASSERT_EQ(p.numOfAA(), 2);
  EXPECT_EQ(p.numOfAtoms(0), 2);
  ASSERT_EQ(p.numOfAtoms(1), 3);
  EXPECT_EQ(p.AAs[1].atoms[2].coord.x, 7.0);
}

TEST(PdbReader, FillsAtomFields) {
  AtomRecord a;
  a.name = " OG1";
  a.resName = "THR";
  a.resNum = -3;
  a.x = 11.104, a.y = -6.134, a.z = 100.5;
  Protein p;
  std::string out = readText(p, pdbAtom(a));
  EXPECT_NE(out.find("Ca atom is not found (THR--3)"), std::string::npos);
  ASSERT_EQ(p.numOfAA(), 1);
  const Atom& atom = p.AAs[0].atoms[0];
  EXPECT_EQ(p.AAs[0].num, -3);
  EXPECT_EQ(p.AAs[0].chain, "A");
  EXPECT_EQ(atom.name, " OG1");
  EXPECT_EQ(atom.type, 'O');
  EXPECT_TRUE(atom.isSideChain);
  EXPECT_EQ(atom.coord.x, 11.104);
  EXPECT_EQ(atom.coord.y, -6.134);
  EXPECT_EQ(atom.coord.z, 100.5);
  EXPECT_EQ(atom.occupancy, "  1.00");
  EXPECT_EQ(atom.tempFactor, " 20.00");
  EXPECT_EQ(atom.charge, "  ");
}

TEST(PdbReader, ShortLinesReadAsIfPaddedWithBlanks) {
  const std::string text =
      "HELIX\n"
      "HELIX    1   1 ALA A    1\n"
      "SHEET    1\n"
      "SHEET    2   A 2 ALA A   1  ALA A   2 -1  N  ALA A   1\n"
      "REMARK 465 MISSING RESIDUES\n"
      "REMARK 465   M RES C SSSEQI\n"
      "REMARK 465\n"
      "REMARK 465     MET A\n"
      "ATOM      1  N   ALA A   1      11.104   6.134\n"
      "ATOM      2  CA  ALA A   1      12.000   6.000  -1.500  1.0\n"
      "ATOM      3  CB  ALA A   2      12.000   6.000  -1.500  1.00  2.0\n"
      "ATOM      4  CA  ALA A   2      12.000   6.000  -1.500  1.00  2.00          C\n"
      "ATOM      5  N   ALA A\n"
      "ATOM\n";
  Protein p;
  readText(p, text);
  ASSERT_EQ(p.numOfAA(), 3);
  const Atom& n = p.AAs[0].atoms[0];
  EXPECT_EQ(n.coord.y, 6.134);
  EXPECT_EQ(n.coord.z, 0.0);
  EXPECT_EQ(n.occupancy, "");
  EXPECT_EQ(p.AAs[0].atoms[1].occupancy, "  1.0 ");
  EXPECT_EQ(p.AAs[1].atoms[0].tempFactor, "  2.0 ");
  EXPECT_EQ(p.AAs[1].atoms[1].charge, "");
  // The line cut after its chain has a blank residue number: residue 0.
  EXPECT_EQ(p.AAs[2].num, 0);
  EXPECT_TRUE(p.hlces.empty());
  ASSERT_EQ(p.strands.size(), 1u);
  EXPECT_EQ(p.strands[0].curAtom, " N  ");
  EXPECT_EQ(p.strands[0].curResIndx, 0);
  EXPECT_EQ(p.strands[0].prevAtom, "    ");
  EXPECT_EQ(p.strands[0].prevResIndx, 2);
  ASSERT_EQ(p.missingAAs.size(), 1u);
  EXPECT_EQ(p.missingAAs[0].chr3, "MET");
  EXPECT_EQ(p.missingAAs[0].num, 0);
}

TEST(PdbReader, CrlfHeaderLinesKeepTheCarriageReturn) {
  std::string text = "HEADER    CRLF TEST\r\n" + pdbAtom(" CA ", "GLY", 4, 1.25, -2.5, 3.75);
  text.insert(text.size() - 1, "\r");
  Protein p;
  readText(p, text);
  EXPECT_EQ(p.header, (std::vector<std::string>{"HEADER    CRLF TEST\r"}));
  ASSERT_EQ(p.numOfAA(), 1);
  EXPECT_EQ(p.AAs[0].atoms[0].coord.z, 3.75);
  EXPECT_EQ(p.AAs[0].atoms[0].charge, "  ");
}

TEST(PdbReader, ReordersAtomsParentFirst) {
  Protein p;
  readText(p, pdbAtom(" N  ", "ALA", 1) + pdbAtom(" CA ", "ALA", 1) + pdbAtom(" C  ", "ALA", 1) +
                  pdbAtom(" O  ", "ALA", 1) + pdbAtom(" CB ", "ALA", 1) + pdbAtom(" H  ", "ALA", 1) +
                  pdbAtom(" HA ", "ALA", 1) + pdbAtom(" HB2", "ALA", 1) + pdbAtom(" HB3", "ALA", 1) +
                  pdbAtom(" OXT", "ALA", 1) + pdbAtom(" HG1", "ILE", 2) + pdbAtom(" N  ", "ILE", 2) +
                  pdbAtom(" CA ", "ILE", 2) + pdbAtom(" CD1", "ILE", 2) + pdbAtom("HD11", "ILE", 2) +
                  pdbAtom("HD12", "ILE", 2));
  ASSERT_EQ(p.numOfAA(), 2);
  EXPECT_EQ(atomNames(p.AAs[0]), (std::vector<std::string>{" N  ", " H  ", " CA ", " HA ", " CB ",
                                                          " HB2", " HB3", " C  ", " O  ", " OXT"}));
  // A hydrogen listed before its parent atom is not collected.
  EXPECT_EQ(atomNames(p.AAs[1]), (std::vector<std::string>{" N  ", " CA ", " CD1", "HD11", "HD12"}));
}

TEST(PdbReader, ReorderingAShortAtomNameIsFatal) {
  Protein p;
  AminoAcid aa;
  aa.chr3 = "LYS";
  Atom atom;
  atom.name = " N";
  aa.atoms.push_back(atom);
  p.AAs.push_back(aa);
  int status = 0;
  std::string out = stdoutOf([&] {
    try {
      p.reOrderAtoms(0);
    } catch (const FatalError& e) {
      status = e.status;
      printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
    }
  });
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("in Protein.reOrderAtoms() ====================\nError occured in the name of the AA LYS\n"),
            std::string::npos);
}

TEST(PdbReader, ElementIsTheFirstKnownLetterOfTheName) {
  Protein p;
  EXPECT_EQ(p.getAtomType(" CA "), 'C');
  EXPECT_EQ(p.getAtomType(" OG1"), 'O');
  EXPECT_EQ(p.getAtomType(" HD1"), 'H');
  EXPECT_EQ(p.getAtomType(" HN "), 'N');

  int status = 0;
  std::string out = stdoutOf([&] {
    try {
      p.getAtomType(" XE ");
    } catch (const FatalError& e) {
      status = e.status;
      printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
    }
  });
  EXPECT_EQ(status, 1);
  EXPECT_NE(out.find("in Protein.getAtomType() ====================\nUnknown atom type.....\n"), std::string::npos);
}

// Neutron structures carry deuterium where others carry hydrogen; it is read
// as hydrogen, and names with no element letter at all still stop the run.
TEST(PdbReader, DeuteriumIsReadAsHydrogen) {
  Protein p;
  EXPECT_EQ(p.getAtomType(" D  "), 'H');
  EXPECT_EQ(p.getAtomType(" DA "), 'H');
  EXPECT_EQ(p.getAtomType("1DB2"), 'H');
  EXPECT_EQ(p.getAtomType(" X1 ", " D"), 'H');  // element D in columns 77-78
  EXPECT_EQ(p.getAtomType(" ND2", " N"), 'N');
  EXPECT_FALSE(p.isSideChainAtom(" DA "));
  EXPECT_TRUE(p.isSideChainAtom(" DB2"));
  for (const char* name : {" XD ", " QX "}) {
    int status = 0;
    stdoutOf([&] {
      try {
        p.getAtomType(name, " X");
      } catch (const FatalError& e) {
        status = e.status;
        printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
      }
    });
    EXPECT_EQ(status, 1) << name;
  }

  // A deuterated residue orders like its protonated twin: the amide
  // deuterium after N, DA after CA, the side chain's after their carbon.
  AtomRecord d;
  d.element = " D";
  std::string text;
  int serial = 1;
  for (const char* name : {" N  ", " CA ", " C  ", " O  ", " CB ", " D  ", " DA ", " DB1"}) {
    d.serial = serial++;
    d.name = name;
    d.element = name[1] == 'D' ? " D" : std::string(" ") + name[1];
    text += pdbAtom(d);
  }
  TempFile file("deuterated.pdb", text);
  Protein q;
  q.read(file.path, "");
  ASSERT_EQ(q.numOfAA(), 1);
  std::string order;
  for (const Atom& atom : q.AAs[0].atoms) order += atom.name + atom.type + "|";
  EXPECT_EQ(order, " N  N| D  H| CA C| DA H| CB C| DB1H| C  C| O  O|");
}

TEST(PdbReader, UnknownResidueNamesGetX) {
  Protein p;
  char code = ' ';
  std::string out = stdoutOf([&] { code = p.chr3ToChr1("HOH"); });
  EXPECT_EQ(code, 'X');
  EXPECT_NE(out.find("in Protein.Chr3toChr1() ====================\nUnknown character (X) has been returned for AA (HOH ).."),
            std::string::npos);
  EXPECT_EQ(p.chr3ToChr1("TRP"), 'W');
}

TEST(PdbReader, MissingResiduesOfTheChainAndFirstModel) {
  const std::string text =
      "HELIX    1   1 ALA A   10  ALA A   11  1                                  2\n"
      "SHEET    1   A 2 ALA A  20  ALA A  21  0\n"
      "REMARK 465 MISSING RESIDUES\n"
      "REMARK 465 THE FOLLOWING RESIDUES WERE NOT LOCATED.\n"
      "REMARK 465   M RES C SSSEQI\n"
      "REMARK 465   1 MET A     5\n"
      "REMARK 465   1 GLU B     6\n"
      "REMARK 465   1 LYS A    10A\n"
      "REMARK 465   1 SER A    20\n"
      "REMARK 465   2 MET A     5\n"
      "REMARK 470 MISSING ATOM\n"
      "REMARK 465   1 GLY A    99\n" +
      backbone("ALA", 10) + backbone("ALA", 11) + backbone("ALA", 20) + backbone("ALA", 21);
  Protein p;
  readText(p, text);
  ASSERT_EQ(p.missingAAs.size(), 3u);
  EXPECT_EQ(p.missingAAs[0].chr3, "MET");
  EXPECT_EQ(p.missingAAs[0].chr1, 'M');
  EXPECT_EQ(p.missingAAs[0].ssType, 'L');
  EXPECT_EQ(p.missingAAs[1].num, 10);
  EXPECT_EQ(p.missingAAs[1].iCode, 'A');
  EXPECT_EQ(p.missingAAs[1].ssType, 'H');
  EXPECT_EQ(p.missingAAs[2].ssType, 'S');
  // Residues inside the records are marked too.
  EXPECT_EQ(p.AAs[0].ssType, 'H');
  EXPECT_EQ(p.AAs[2].ssType, 'S');
}

// The bundled example structures: header, one sheet's SHEET records, one chain.
struct ExampleCase {
  std::string path;
  int residues;
  int strands;
};

TEST(PdbReader, ExampleStructuresReadCleanlyAndKeepTheirHeader) {
  for (const ExampleCase& c : {ExampleCase{examplePath("1hpv_b_8a", ".pdb"), 99, 4},
                               ExampleCase{testDataPath("1a7g_a_6a.pdb"), 82, 3},
                               ExampleCase{examplePath("synth_4x7_t18_8a", ".pdb"), 28, 4}}) {
    const std::string& path = c.path;
    Protein p;
    std::string out = stdoutOf([&] { p.read(path, ""); });
    EXPECT_EQ(out, "") << c.path;
    EXPECT_EQ(p.numOfAA(), c.residues) << c.path;
    EXPECT_EQ(p.strands.size(), static_cast<size_t>(c.strands)) << c.path;
    for (int i = 0; i < p.numOfAA(); ++i) {
      EXPECT_EQ(p.getAtomIndx(i, " CA "), 1) << c.path << " residue " << i;
      if (p.AAs[i].chr3 != "GLY") {
        EXPECT_TRUE(std::isfinite(p.AAs[i].scEndPoint.x)) << c.path << " " << i;
      }
    }

    TempFile copy("example_copy.pdb", "");
    p.writePDB(copy.path, 1, p.numOfAA(), true);
    const std::string original = readFile(path);
    const std::string written = readFile(copy.path);
    const std::size_t headerEnd = original.find("\nATOM") + 1;
    EXPECT_EQ(written.substr(0, headerEnd), original.substr(0, headerEnd)) << c.path;

    // Past the serial number, every atom is written back as it was read
    // (atoms are reordered, so lines are compared as a set).
    std::multiset<std::string> readLines, writtenLines;
    for (const auto& [text, lines] : {std::pair{original, &readLines}, std::pair{written, &writtenLines}}) {
      std::istringstream in(text);
      for (std::string line; std::getline(in, line);)
        if (line.compare(0, 4, "ATOM") == 0) lines->insert(line.substr(11));
    }
    EXPECT_FALSE(readLines.empty());
    EXPECT_EQ(writtenLines, readLines) << c.path;
  }
}

}  // namespace
