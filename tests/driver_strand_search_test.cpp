// Strand direction search: the main-twist rule, a sheet without twist, and
// which candidates are ranked.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "driver/stages.h"
#include "driver/strand_search_flow.h"

using namespace vel;

TEST(MainTwist, ShortListsAverageEverything) {
  EXPECT_DOUBLE_EQ(mainTwist({10}), 10);
  EXPECT_DOUBLE_EQ(mainTwist({10, 20}), 15);
  EXPECT_DOUBLE_EQ(mainTwist({10, 20, 30}), 20);
}

TEST(MainTwist, DropsTheOutermostPairsThenAveragesAroundTheLargestInnerTwist) {
  EXPECT_DOUBLE_EQ(mainTwist({100, 12, 14, -100}), 13);
  EXPECT_DOUBLE_EQ(mainTwist({100, 12, 14, 16, -100}), 14);
  EXPECT_DOUBLE_EQ(mainTwist({10, 12, 30, 14, 16, 11}), (12.0 + 30 + 14) / 3);
  // Largest first or last in the inner list: the three at that end.
  EXPECT_DOUBLE_EQ(mainTwist({0, 40, 12, 14, 16, 0}), (40.0 + 12 + 14) / 3);
  EXPECT_DOUBLE_EQ(mainTwist({0, 12, 14, 16, 40, 0}), (14.0 + 16 + 40) / 3);
  // Ties go to the first largest.
  EXPECT_DOUBLE_EQ(mainTwist({0, 1, 30, 2, 30, 3, 0}), (1.0 + 30 + 2) / 3);
}

// On a flat sheet every pair of neighbouring lines is parallel: the
// handedness is 0 (not right-handed), the twist 0, and nothing is accepted.
TEST(StrandSearch, FlatSheetYieldsNoCandidate) {
  SurfaceFit surface;
  surface.alignment.sheetCentre = Coordinate(0, 0, 0);
  surface.surfaceCoefficients = {0, 0, 0, 0, 0, 0, 0, 0, 0, 2};
  for (int x = -10; x <= 10; ++x)
    for (int y = -10; y <= 10; ++y) surface.surfacePoints.push_back(Coordinate(x, y, 2));
  std::ostringstream out;
  TwistSearch search = searchStrandDirections(surface, out);

  EXPECT_TRUE(search.twistRanking.empty());
  EXPECT_TRUE(search.topCandidates.empty());
  EXPECT_EQ(out.str().find("avg RH"), std::string::npos);
  EXPECT_EQ(out.str().find("Top "), std::string::npos);
  // At 0 degrees the lines are y = y0 + d, 4.6 Å apart; five of them run
  // over the 20 Å square. Only ranked candidates keep their lines; the start
  // and end points of every line stay.
  EXPECT_TRUE(search.strandLines[0][0].empty());
  const PointList& starts = search.strandStarts[0][0];
  const PointList& ends = search.strandEnds[0][0];
  ASSERT_EQ(starts.size(), 5u);
  ASSERT_EQ(ends.size(), 5u);
  for (size_t i = 0; i < starts.size(); ++i) {
    EXPECT_EQ(ends[i].y, starts[i].y);
    if (i > 0) {
      EXPECT_NEAR(starts[i].y - starts[i - 1].y, 4.6, 1e-9);
    }
  }
  EXPECT_NE(out.str().find("sheet translation = 0\n\nangle = 0\n"), std::string::npos);
}

// Lines given outright: each is its two quarter points, and the closest pair
// of two lines is their first points. Line i starts at (0, 4.6 i, 0) and runs
// along (cos a_i, 0, sin a_i), so neighbours i-1, i are right-handed with a
// twist of a_i - a_(i-1) when that difference is positive.
struct GivenLines {
  using Line = PointList;
  static strand_search::KeyPoints keyPoints(const Line&) { return {0, 1}; }
  static IndexPair closestPair(const Line&, const Line&) { return {0, 0}; }
  static Coordinate sample(const Line& line, int position) { return line[position]; }
  static PointList samples(const Line& line) { return line; }
};

// A candidate is ranked only when every neighbouring pair is right-handed,
// the mean twist lies within 3 to 32 degrees and their spread is at most 20.
TEST(StrandSearch, RanksOnlyRightHandedCandidatesWithinThePlausibleTwist) {
  const struct {
    std::vector<double> twists;  // between neighbours, degrees
    bool ranked;
  } cases[] = {
      {{3.1, 3.1}, true},    {{2.9, 2.9}, false},  // the window's low edge
      {{31.9, 31.9}, true},  {{32.1, 32.1}, false},  // and its high edge
      {{5.2, 44.8}, true},   {{4.8, 45.2}, false},  // spread 19.8 and 20.2 about 25
      {{15, -15, 15}, false},                       // one left-handed pair
  };
  for (const auto& c : cases) {
    std::vector<PointList> lines;
    double angle = 0;
    for (size_t i = 0; i <= c.twists.size(); ++i) {
      if (i > 0) angle += c.twists[i - 1] * kPi / 180;
      const Coordinate q1(0, 4.6 * i, 0);
      lines.push_back({q1, Coordinate(10 * std::cos(angle), 4.6 * i, 10 * std::sin(angle))});
    }
    TwistSearch search;
    std::ostringstream out;
    strand_search::analyseCandidate<GivenLines>(search, lines, 0, 0, 0.0, out);
    EXPECT_EQ(search.twistRanking.size(), c.ranked ? 1u : 0u) << ::testing::PrintToString(c.twists);
  }
}
