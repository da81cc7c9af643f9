// Strand direction search: the main-twist rule, and a sheet without twist.

#include <gtest/gtest.h>

#include <sstream>

#include "driver/stages.h"

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
