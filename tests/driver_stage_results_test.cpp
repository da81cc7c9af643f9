// What the stages hand on: the move between the two frames, and the bundled
// example run stage by stage, the candidate models handed on in the map frame.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "driver/setup.h"
#include "driver/stages.h"
#include "support/program.h"

using namespace vel;

namespace {

double nearest(const PointList& points, Coordinate q) {
  double best = 1e300;
  for (const Coordinate& p : points) best = std::min(best, getDistance(p, q));
  return best;
}

Alignment turnedAlignment() {
  Alignment a;
  a.mapCentre = Coordinate(10, 20, 30);
  a.sheetCentre = Coordinate(4, -2, 7);
  a.alignAxis = Vectors(1, 2, -2).unit();
  a.theta = 0.7;
  return a;
}

}  // namespace

TEST(Alignment, MapFrameUndoesTheAlignedFrame) {
  const Alignment a = turnedAlignment();
  const PointList points{Coordinate(4, -2, 7), Coordinate(0, 0, 0), Coordinate(-13.5, 8.25, 101)};
  const PointList aligned = a.toAlignedFrame(points);
  // The sheet centre lands on the map centre.
  EXPECT_NEAR(getDistance(aligned[0], a.mapCentre), 0, 1e-12);
  // Distances survive the move, and the way back returns every point.
  EXPECT_NEAR(getDistance(aligned[1], aligned[2]), getDistance(points[1], points[2]), 1e-9);
  const PointList back = a.toMapFrame(aligned);
  for (size_t i = 0; i < points.size(); ++i) EXPECT_NEAR(getDistance(back[i], points[i]), 0, 1e-9) << i;
  // turnBack alone leaves the shift: the map centre stays put.
  EXPECT_NEAR(getDistance(a.turnBack({a.mapCentre})[0], a.mapCentre), 0, 1e-12);
}

TEST(Alignment, NoTurnForASheetFacingUpOrAnUndefinedAngle) {
  Alignment a = turnedAlignment();
  for (double theta : {0.0, 1e-4, -1e-4, std::nan("")}) {
    a.theta = theta;
    EXPECT_FALSE(a.turns()) << theta;
    const PointList moved = a.toAlignedFrame({Coordinate(5, 5, 5)});
    EXPECT_DOUBLE_EQ(moved[0].x, 11);
    EXPECT_DOUBLE_EQ(moved[0].y, 27);
    EXPECT_DOUBLE_EQ(moved[0].z, 28);
  }
  a.theta = 1.0001e-4;
  EXPECT_TRUE(a.turns());
}

TEST(StageResults, CandidateModelsComeBackInTheMapFrame) {
  const std::string name = "1hpv_b_8a";
  const std::string work = makeTempDir();
  for (const char* ext : {".pdb", ".mrc"})
    copyFile(sourceDir() + "/examples/" + name + "/" + name + ext, work + "/" + name + ext);
  const std::string base = work + "/" + name;
  RunSetup run;
  std::ostringstream out, err;
  setUpRun(run, base.c_str(), base.c_str(), "0.04737", out, err);

  const SheetDensity sheet = extractSheet(run, out);
  const SurfaceFit surface = fitSurface(sheet, out);
  const TwistSearch search = searchStrandDirections(surface, out);
  const CandidateScores scores = scoreCandidates(run, sheet, surface, search, out);

  ASSERT_EQ(scores.scored.size(), search.twistRanking.size());
  for (const ScoredCandidate& model : scores.scored) {
    const auto [t, o] = model.candidate;
    const StrandSet& lines = search.strandLines[t][o];
    // A stick starts at one of its line's samples: taken into the aligned
    // frame again it lies on that line, while in the map frame it does not.
    ASSERT_EQ(model.sticks.size(), lines.size());
    for (size_t l = 0; l < lines.size(); ++l) {
      const Coordinate start = model.sticks[l].front();
      EXPECT_LT(nearest(lines[l], surface.alignment.toAlignedFrame({start})[0]), 1e-9);
      EXPECT_GT(nearest(lines[l], start), 1.0);
    }
  }
  std::filesystem::remove_all(work);
}
