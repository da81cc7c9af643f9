#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "support/protein_fixture.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

const std::string kRule79(79, '=');

TEST(ErrMsg, PrintsFourFramedLinesWithoutWaiting) {
  std::string out = stdoutOf([] { errMsg("Protein", "read", "Unable to open x.pdb"); });
  EXPECT_EQ(out, "\n================================ in Protein.read() ====================\n"
                 "Unable to open x.pdb\n" + kRule79 + "\n");
}

TEST(ErrMsg, WaitingReportRingsAndReturnsAtEndOfInput) {
  // A run without a terminal must not stall on a report that asks for a key.
  ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
  std::string out = stdoutOf([] { errMsg("Protein", "writePDB", "msg", true); });
  EXPECT_EQ(out, "\n================================ in Protein.writePDB() ====================\n"
                 "msg\n" + kRule79 + "\n\aPress any key...\n");
}

TEST(ProteinModel, NumOfAtomsReportsAnIndexOutsideTheChain) {
  Protein p;
  AminoAcid aa;
  aa.atoms.resize(3);
  p.AAs.push_back(aa);
  EXPECT_EQ(p.numOfAtoms(0), 3);

  int below = 1, past = 1;
  std::string out = stdoutOf([&] {
    below = p.numOfAtoms(-1);
    past = p.numOfAtoms(1);
  });
  EXPECT_EQ(below, 0);
  EXPECT_EQ(past, 0);
  const std::string frame = "\n================================ in Protein.numOfAtoms() ====================\n";
  EXPECT_EQ(out, frame + "The given index (-1) is out of range..or the portion is empty (no.AAs= 1)\n" +
                     kRule79 + "\n" + frame +
                     "The given index (1) is out of range..or the portion is empty (no.AAs= 1)\n" +
                     kRule79 + "\n");
}

}  // namespace
