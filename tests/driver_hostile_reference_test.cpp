// Reference strands from C-alpha coordinates that are no positions: a
// coordinate text that reads as infinite or as 1e30 (found by fuzzing the
// reader), and strands zigzagging across the whole coordinate range. Sampling
// their axes every 0.1 Å would never end or would exhaust the memory; they are
// refused with a framed message instead, and so is a strand residue without
// its C-alpha, whose placeholder would draw the axis far from the sheet.

#include <gtest/gtest.h>

#include <iostream>

#include <chrono>
#include <string>

#include "support/pdb_text.h"
#include "support/protein_fixture.h"
#include "driver/reference_structure.h"
#include "velmorantique/fatal.h"

using namespace vel;

namespace {

struct AxesResult {
  int status = 0;
  std::string out;
  StrandSet axes;
  double seconds = 0.0;
};

AxesResult sampleAxes(const std::string& name, const std::string& text) {
  PdbFile pdb(name, text);
  AxesResult r;
  const auto start = std::chrono::steady_clock::now();
  r.out = stdoutOf([&] {
    try {
      r.axes = FindTrueStrands(pdb.base);
    } catch (const FatalError& e) {
      r.status = e.status;
      printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
    }
  });
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

// Three C-alphas of a strand, the middle one at the given coordinate text.
std::string strandWithMiddleX(const std::string& xText) {
  std::string middle = atomLine(2, " CA ", "VAL", 2, 0.0, 0.0, 0.0);
  middle.replace(30, 8, std::string(8 - xText.size(), ' ') + xText);
  return sheetLine(1, 1, 3) + atomLine(1, " CA ", "VAL", 1, -3.5, 0, 0) + middle +
         atomLine(3, " CA ", "VAL", 3, 3.5, 0, 0);
}

const std::string kFrameTop = "================================ in Reference.FindTrueStrands() ====================\n";

}  // namespace

TEST(HostileReferenceStrands, CoordinatesThatAreNoPositionsAreRefusedByTheReader) {
  for (const auto& [x, shown] : std::vector<std::pair<std::string, std::string>>{
           {"1e3009", "inf"}, {"inf", "inf"}, {"1e30", "1e+30"}, {"-1e300", "-1e+300"}, {"nan", "nan"},
           {"1000001.", "1e+06"}}) {
    SCOPED_TRACE(x);
    AxesResult r = sampleAxes("far_" + std::to_string(x.size()), strandWithMiddleX(x));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\n================================ in Protein.read() ====================\nThe atom  CA  "
                         "of residue VAL-2 in "),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(" lies at ( " + shown + " 0 0 ): not a finite position within 1e+06 A. Check columns "
                         "31-54 of its ATOM record.\n" +
                         std::string(79, '=') + "\n"),
              std::string::npos)
        << r.out;
    EXPECT_LT(r.seconds, 5.0);
  }
  // A million ångström itself is still a position (whose strand is then too
  // long to sample).
  AxesResult atReach = sampleAxes("at_reach", strandWithMiddleX("1000000."));
  EXPECT_EQ(atReach.status, 1);
  EXPECT_NE(atReach.out.find(kFrameTop + "The strand axes of "), std::string::npos) << atReach.out;
}

TEST(HostileReferenceStrands, StrandsAcrossTheWholeCoordinateRangeAreRefusedInBoundedTime) {
  // Residues alternating between the corners of what the columns can hold:
  // about 17000 Å per segment.
  std::string text = sheetLine(1, 1, 40);
  for (int num = 1; num <= 40; ++num) {
    const double c = num % 2 ? 9999.0 : -999.0;
    text += atomLine(num, " CA ", "VAL", num, c, c, c);
  }
  AxesResult r = sampleAxes("zigzag", text);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find(kFrameTop), std::string::npos);
  EXPECT_LT(r.seconds, 5.0);
}

TEST(HostileReferenceStrands, MissingCAlphaIsRefusedBeforeAnyPlaceholderIsSampled) {
  // Residue 2 has no C-alpha: its placeholder (-999, -999, -999) would draw
  // the axis some 576 Å away; the strand is refused instead, at once.
  std::string text = sheetLine(1, 1, 3) + atomLine(1, " CA ", "VAL", 1, 0, 0, 0) +
                     atomLine(2, " N  ", "VAL", 2, 1, 0, 0) + atomLine(3, " CA ", "VAL", 3, 2, 0, 0);
  AxesResult r = sampleAxes("placeholder", text);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.axes.empty());
  EXPECT_EQ(r.out.find("No such atom"), std::string::npos);
  EXPECT_NE(r.out.find(kFrameTop + "The strand VAL-1 to VAL-3 of "), std::string::npos) << r.out;
}
