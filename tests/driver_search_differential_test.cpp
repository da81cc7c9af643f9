// The strand direction search against a version that scans every surface
// point for every sample and uses the plain point-set kernels: the same
// printed measurements, ranking, start and end points, and the same lines for
// every ranked candidate, sample for sample.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "driver/stages.h"
#include "reference/plain_search.h"
#include "support/same_bits.h"

using namespace vel;

namespace {

// A twisted patch: the saddle term x*y turns neighbouring lines against each
// other. Surface points on a lattice turned by `turn` degrees (0 keeps many
// equal x values, so many samples are duplicates), each dropped onto f.
SurfaceFit twistedPatch(double spacing, double turn, Coordinate anchor, double saddle) {
  SurfaceFit s;
  s.alignment.sheetCentre = anchor;
  s.surfaceCoefficients = {0.0004, -0.0003, 0.0002, 0.0001, 0.004, saddle, -0.003, 0.05, -0.02, 1.5};
  const double c = std::cos(turn * kPi / 180), sn = std::sin(turn * kPi / 180);
  for (int i = -7; i <= 7; ++i) {
    for (int j = -6; j <= 6; ++j) {
      double x = anchor.x + c * i * spacing - sn * j * spacing, y = anchor.y + sn * i * spacing + c * j * spacing;
      if (x == 0) x = (j % 2) ? -0.0 : 0.0;  // both signs of zero are written differently
      s.surfacePoints.push_back(Coordinate(x, y, surfaceHeight(s.surfaceCoefficients, x, y)));
    }
  }
  return s;
}

void expectSameSearch(const SurfaceFit& surface) {
  std::ostringstream expectedOut, actualOut;
  const TwistSearch expected = plain::searchStrandDirections(surface, expectedOut);
  const TwistSearch actual = searchStrandDirections(surface, actualOut);
  EXPECT_EQ(expectedOut.str(), actualOut.str());
  ASSERT_EQ(expected.twistRanking.size(), actual.twistRanking.size());
  for (auto e = expected.twistRanking.begin(), a = actual.twistRanking.begin(); e != expected.twistRanking.end();
       ++e, ++a) {
    EXPECT_TRUE(sameBits(e->first, a->first));
    EXPECT_EQ(e->second, a->second);
  }
  EXPECT_EQ(expected.topCandidates, actual.topCandidates);
  for (int t = 0; t < kTranslations; ++t) {
    for (int o = 0; o < kOrientations; ++o) {
      const std::string where = "candidate " + std::to_string(t) + ", " + std::to_string(o);
      expectSameList(expected.strandStarts[t][o], actual.strandStarts[t][o], where + " starts");
      expectSameList(expected.strandEnds[t][o], actual.strandEnds[t][o], where + " ends");
      if (!actual.topCandidates.count(Candidate(t, o))) continue;
      ASSERT_EQ(expected.strandLines[t][o].size(), actual.strandLines[t][o].size()) << where;
      for (size_t l = 0; l < actual.strandLines[t][o].size(); ++l)
        expectSameList(expected.strandLines[t][o][l], actual.strandLines[t][o][l], where + " line " + std::to_string(l));
    }
  }
}

}  // namespace

TEST(StrandSearchDifferential, LatticeSheetWithDuplicateSamples) {
  const SurfaceFit surface = twistedPatch(1.2, 0, Coordinate(0, 0, 0), 0.06);
  std::ostringstream out;
  ASSERT_FALSE(searchStrandDirections(surface, out).twistRanking.empty());  // candidates to compare
  expectSameSearch(surface);
}

TEST(StrandSearchDifferential, TurnedSheetOffTheAnchor) {
  expectSameSearch(twistedPatch(1.1, 23, Coordinate(3.7, -2.2, 0.5), 0.05));
}

TEST(StrandSearchDifferential, FlatSheet) { expectSameSearch(twistedPatch(1.0, 10, Coordinate(0, 0, 0), 0.0)); }

// A surface point beyond any bound (not a number, or millions of ångström
// away) leaves no shortcut usable: every line is sampled in full.
TEST(StrandSearchDifferential, UnboundedSurfacePoints) {
  SurfaceFit surface = twistedPatch(1.2, 15, Coordinate(0, 0, 0), 0.06);
  surface.surfacePoints[7].x = NAN;
  surface.surfacePoints[40] = Coordinate(3e6, -2e6, 1);
  expectSameSearch(surface);
}
