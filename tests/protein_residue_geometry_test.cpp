#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include <iostream>

#include "support/protein_fixture.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

Atom makeAtom(const std::string& name, char type, bool sideChain, Coordinate c) {
  Atom a;
  a.name = name;
  a.type = type;
  a.isSideChain = sideChain;
  a.coord = c;
  return a;
}

// One residue built in memory: CA at the origin, N beside it, and the given
// side-chain atoms.
Protein oneResidue(const std::string& chr3, std::vector<Atom> sideChain, bool withCA = true) {
  AminoAcid aa;
  aa.chr3 = chr3;
  aa.num = 17;
  aa.atoms.push_back(makeAtom(" N  ", 'N', false, Coordinate(-1.0, 1.0, 0.0)));
  if (withCA) aa.atoms.push_back(makeAtom(" CA ", 'C', false, Coordinate(0.0, 0.0, 0.0)));
  for (const Atom& a : sideChain) aa.atoms.push_back(a);
  Protein p;
  p.AAs.push_back(aa);
  return p;
}

TEST(ResidueGeometry, EndPointLiesBeyondCaAwayFromTheSideChain) {
  Protein p = oneResidue("ALA", {makeAtom(" CB ", 'C', true, Coordinate(1.5, 0.0, 0.0)),
                                 makeAtom(" HB1", 'H', true, Coordinate(2.0, 1.0, 0.0))});
  p.setScEndPoint(0, 'H');
  const AminoAcid& aa = p.AAs[0];
  EXPECT_EQ(aa.center.x, 1.5);
  EXPECT_EQ(aa.centerType, 'S');
  EXPECT_EQ(aa.centerMethod, 'H');
  // One carbon at the centre: the radius of gyration is its own radius.
  EXPECT_DOUBLE_EQ(aa.rg, 0.77);
  EXPECT_DOUBLE_EQ(aa.rgXYZ.y, 0.77);
  EXPECT_DOUBLE_EQ(aa.scEndPoint.x, -1.5 - 0.77);
  EXPECT_EQ(aa.scEndPoint.y, 0.0);

  // Another method recomputes the centre with all side-chain atoms but keeps
  // the radius of gyration already computed.
  p.setScEndPoint(0, 'A');
  EXPECT_EQ(p.AAs[0].center.x, 1.75);
  EXPECT_EQ(p.AAs[0].center.y, 0.5);
  EXPECT_DOUBLE_EQ(p.AAs[0].rg, 0.77);
  const double len = std::sqrt(1.75 * 1.75 + 0.5 * 0.5);
  EXPECT_DOUBLE_EQ(p.AAs[0].scEndPoint.x, -1.75 * (1.0 + 0.77 / len));
}

TEST(ResidueGeometry, RadiusOfGyrationAddsTheAtomRadius) {
  Protein p = oneResidue("SER", {makeAtom(" CB ", 'C', true, Coordinate(1.0, 0.0, 0.0)),
                                 makeAtom(" OG ", 'O', true, Coordinate(3.0, 0.0, 0.0))});
  p.setRgyration(0, 'H');
  // Centre (2, 0, 0); distances 1 + 0.77 and 1 + 0.66.
  const double s = 1.77 * 1.77 + 1.66 * 1.66;
  EXPECT_DOUBLE_EQ(p.AAs[0].rg, std::sqrt(s / 2));
  EXPECT_DOUBLE_EQ(p.AAs[0].rgXYZ.x, std::sqrt(((-1.0 + 0.77) * (-1.0 + 0.77) + 1.66 * 1.66) / 2));
  EXPECT_DOUBLE_EQ(p.AAs[0].rgXYZ.z, std::sqrt((0.77 * 0.77 + 0.66 * 0.66) / 2));
}

TEST(ResidueGeometry, GlycineIsCentredOnCaAndHasNoEndPoint) {
  Protein p = oneResidue("GLY", {});
  p.AAs[0].atoms[1].coord = Coordinate(2.0, 3.0, 4.0);
  p.setScEndPoint(0, 'H');
  const AminoAcid& aa = p.AAs[0];
  EXPECT_EQ(aa.center.x, 2.0);
  EXPECT_EQ(aa.center.z, 4.0);
  EXPECT_DOUBLE_EQ(aa.rg, std::sqrt(0.77));
  EXPECT_DOUBLE_EQ(aa.rgXYZ.z, std::sqrt(0.77));
  EXPECT_TRUE(std::isnan(aa.scEndPoint.x));
  EXPECT_TRUE(std::isnan(aa.scEndPoint.z));
}

TEST(ResidueGeometry, ResidueWithoutCaGetsNoEndPoint) {
  Protein p = oneResidue("ALA", {makeAtom(" CB ", 'C', true, Coordinate(1.5, 0.0, 0.0))}, false);
  std::string out = stdoutOf([&] { p.setScEndPoint(0, 'H'); });
  EXPECT_EQ(out,
            "\n================================ in Protein.setScEndPoint() ====================\n"
            "Ca atom is not found (ALA-17) ....no EndPoint has been computed\n" +
                std::string(79, '=') + "\n");
  EXPECT_EQ(p.AAs[0].centerType, 'N');
  EXPECT_EQ(p.AAs[0].rg, 0.0);
  EXPECT_EQ(p.AAs[0].scEndPoint.x, 0.0);

  Coordinate c;
  out = stdoutOf([&] { c = p.getAtomCoordinate(0, " CA "); });
  EXPECT_EQ(c.x, -999.0);
  EXPECT_NE(out.find("\nNo such atom (  CA ) found in AA (ALA-17 )\n"), std::string::npos);
}

TEST(ResidueGeometry, CachedCentreKeepsTheEndPointUnset) {
  Protein p = oneResidue("ALA", {makeAtom(" CB ", 'C', true, Coordinate(1.5, 0.0, 0.0))});
  p.setSCCenter(0, 'H');
  p.setScEndPoint(0, 'H');
  EXPECT_EQ(p.AAs[0].scEndPoint.x, 0.0);
  EXPECT_EQ(p.AAs[0].rg, 0.0);
}

TEST(ResidueGeometry, AtomSearchIsBySubstring) {
  Protein p = oneResidue("SER", {makeAtom(" CB ", 'C', true, Coordinate()),
                                 makeAtom(" OG ", 'O', true, Coordinate())});
  p.AAs[0].atoms.push_back(makeAtom(" C  ", 'C', false, Coordinate(7.0, 0.0, 0.0)));
  EXPECT_EQ(p.getAtomIndx(0, " C  "), 4);
  EXPECT_EQ(p.getAtomIndx(0, "C"), 1);
  EXPECT_EQ(p.getAtomIndx(0, " OXT"), -1);
  EXPECT_EQ(p.getAtomCoordinate(0, " C  ").x, 7.0);

  int k = 0;
  Coordinate c;
  std::string out = stdoutOf([&] {
    k = p.getAtomIndx(3, " CA ");
    c = p.getAtomCoordinate(-1, " CA ");
  });
  EXPECT_EQ(k, -1);
  EXPECT_EQ(c.y, -999.0);
  EXPECT_NE(out.find("in Protein.getAtomIndx() ====================\nThe given index (3) is out of range..or the portion "
                     "is empty (No.AAs= 1)\n"),
            std::string::npos);
  EXPECT_NE(out.find("\nNo such atom (  CA ) found ...pad AA indx (-1).\n"), std::string::npos);
}

TEST(ResidueGeometry, SideChainCountsByMethod) {
  Protein p = oneResidue("XXX", {makeAtom(" CB ", 'C', true, Coordinate()),
                                 makeAtom(" HB ", 'H', true, Coordinate()),
                                 makeAtom(" P  ", 'P', true, Coordinate())});
  EXPECT_EQ(p.numOfSCAtoms(0, 'H'), 1);
  EXPECT_EQ(p.numOfSCAtoms(0, 'A'), 3);
  EXPECT_EQ(p.numOfSCAtoms(0, 'Q'), 0);
  int n = 1;
  std::string out = stdoutOf([&] { n = p.numOfSCAtoms(1, 'H'); });
  EXPECT_EQ(n, 0);
  EXPECT_NE(out.find("\nAAindx given (1is out of range..\n"), std::string::npos);
}

TEST(ResidueGeometry, UnknownElementOrScaleIsFatal) {
  for (auto [element, scale] : {std::pair<char, char>{'X', 'C'}, {'C', 'Z'}}) {
    int status = 0;
    std::string out = stdoutOf([&] {
      try {
        getRadius(element, scale);
      } catch (const FatalError& e) {
        status = e.status;
        printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
      }
    });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out,
              "============================= in getRadius(char, char) ===============\n"
              "The atomtype or method class sent are incorrect\n"
              "======================================================================\n");
  }
}

}  // namespace
