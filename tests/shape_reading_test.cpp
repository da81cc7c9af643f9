// The shape twist and the verdict: the twist's sign and size on analytic
// sheets, the levels the verdict gives stable, unstable and ambiguous
// readings, and a reading that neither the box the map is cut to nor a
// threshold at or below 0 changes.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "driver/stages.h"
#include "support/program.h"
#include "velmorantique/confidence.h"
#include "velmorantique/map.h"

using namespace vel;

namespace {

// A twisted slab: strands along u turning by `twist` radians per Å about v
// (positive: the natural sense), 1.5 Å thick, `half` Å either way along u
// and 9 Å across, sampled on a 40^3 grid of 1 Å voxels off its symmetry.
DensityGrid twistedSlab(double twist, double halfLength, double halfWidth) {
  const Vectors strand = Vectors(1, 2, 0.5).unit(), across = Vectors(2, -1, 0).unit();
  const Vectors normal = strand.cross(across);
  auto window = [](double s, double half) { return 1.0 / (1.0 + std::exp((std::fabs(s) - half) / 0.7)); };
  DensityGrid g;
  g.nx = g.ny = g.nz = 40;
  for (int a = 0; a < 3; ++a) g.origin[a] = -19.5 + 0.3;
  for (int k = 0; k < 40; ++k)
    for (int j = 0; j < 40; ++j)
      for (int i = 0; i < 40; ++i) {
        const Vectors x(g.origin[0] + i, g.origin[1] + j, g.origin[2] + k);
        const double u = x.dot(strand), v = x.dot(across), w = x.dot(normal);
        const double height = -u * std::sin(twist * v) + w * std::cos(twist * v);
        g.values.push_back(static_cast<float>(std::exp(-height * height / (2 * 1.5 * 1.5)) * window(u, halfLength) *
                                              window(v, halfWidth)));
      }
  return g;
}

constexpr double kPerStrand = kPi / 180 / vel::kStrandSpacing;  // one degree between strands 4.8 Å apart, per Å

TEST(ShapeTwist, NaturalSheetsAreNegativeAndTheSizeIsTheTurnBetweenStrands) {
  for (double degrees : {20.0, 10.0}) {
    const vel::ShapeReading r = vel::readShape(twistedSlab(degrees * kPerStrand, 12, 9), 0.3);
    ASSERT_TRUE(r.direction.found);
    EXPECT_NEAR(r.twistDegrees, -degrees, 0.1 * degrees) << degrees;
  }
  // A flat slab has no twist to give.
  EXPECT_NEAR(vel::readShape(twistedSlab(0, 12, 9), 0.3).twistDegrees, 0, 0.5);
  // Between strands 4.8 Å apart a turn of 1 degree per strand.
  EXPECT_NEAR(vel::twistDegrees(kPerStrand), -1.0, 1e-12);
}

vel::ShapeReading steady() {
  vel::ShapeReading r;
  r.direction.found = true;
  r.direction.spread[2] = 8;
  r.direction.twistRate = 0.01;
  r.direction.bendAlong = 0.001;
  r.thresholdSpread = 0.5;
  r.smoothingSpread = 3;
  r.ruleSpread = 5;
  r.axisOffset = 5;
  r.inPlaneAnisotropy = 0.5;
  r.patchOffset = 5;
  r.direction.patchAgreement = 0.8;
  return r;
}

TEST(Verdict, LevelsFollowTheStabilityAndTheShapeOfTheReading) {
  struct Row {
    const char* what;
    std::function<void(vel::ShapeReading&)> change;
    const char* level;
    const char* reason;  // a word the first reason holds
  };
  const Row rows[] = {
      {"steady, large, its patches agreeing", [](vel::ShapeReading&) {}, "high", "holds"},
      {"moves with the threshold", [](vel::ShapeReading& r) { r.thresholdSpread = 25; }, "low", "threshold"},
      {"moves with the smoothing", [](vel::ShapeReading& r) { r.smoothingSpread = 40; }, "low", "smoothing"},
      {"bends as much as it twists", [](vel::ShapeReading& r) { r.direction.bendAlong = -0.009; }, "low", "bends"},
      {"a middling sheet", [](vel::ShapeReading& r) { r.direction.spread[2] = 6; }, "medium", "small"},
      {"patches disagree", [](vel::ShapeReading& r) { r.direction.patchAgreement = 0.5; }, "medium", "disagree"},
      {"patches run elsewhere", [](vel::ShapeReading& r) { r.patchOffset = 40; }, "medium", "patches run"},
      {"askew of the outline", [](vel::ShapeReading& r) { r.axisOffset = 30; }, "medium", "askew"},
      {"a small sheet", [](vel::ShapeReading& r) { r.direction.spread[2] = 4; }, "low", "small"},
      {"no twist", [](vel::ShapeReading& r) { r.direction.twistRate = 0; }, "low", "no twist"},
      {"no number", [](vel::ShapeReading& r) { r.thresholdSpread = NAN; }, "low", "threshold"},
      {"no direction", [](vel::ShapeReading& r) { r.direction.found = false; }, "low", "no direction"},
  };
  for (const Row& row : rows) {
    vel::ShapeReading r = steady();
    row.change(r);
    const vel::Confidence c = vel::judgeConfidence(r, vel::RunEvidence());
    EXPECT_EQ(c.level, row.level) << row.what;
    ASSERT_FALSE(c.reasons.empty()) << row.what;
    EXPECT_NE(c.reasons.front().find(row.reason), std::string::npos) << row.what << ": " << c.reasons.front();
  }
}

TEST(Verdict, AnEstimateThatMovesWhenRepeatedIsLowAndAClearOneHigh) {
  // A narrow slab, 14 Å across, its normal read over 10 Å of the centre:
  // smoothed over 3 Å, the gradients there run across its width rather than
  // through its faces, and the estimate turns over.
  vel::ShapeOptions wide;
  wide.normalRadius = 10;
  const vel::ShapeReading unstable = vel::readShape(twistedSlab(20 * kPerStrand, 14, 7), 0.3, wide);
  ASSERT_TRUE(unstable.direction.found);
  EXPECT_GT(unstable.smoothingSpread, 60.0);
  const vel::Confidence low = vel::judgeConfidence(unstable, vel::RunEvidence());
  EXPECT_EQ(low.level, "low");
  EXPECT_NE(low.reasons.front().find("smoothing"), std::string::npos) << low.reasons.front();
  // 18 Å across, it holds under every repetition and reads clearly.
  const vel::ShapeReading clear = vel::readShape(twistedSlab(20 * kPerStrand, 12, 9), 0.3);
  EXPECT_EQ(vel::judgeConfidence(clear, vel::RunEvidence()).level, "high");
}

// The grid with `lo` voxels added before its first and `hi` after its last
// along each axis, empty, or as many cut away where negative; the density
// stays where it was in the map frame.
DensityGrid reframed(const DensityGrid& g, const int lo[3], const int hi[3]) {
  DensityGrid p = g;
  p.nx = g.nx + lo[0] + hi[0];
  p.ny = g.ny + lo[1] + hi[1];
  p.nz = g.nz + lo[2] + hi[2];
  for (int a = 0; a < 3; ++a) p.origin[a] = g.origin[a] - lo[a] * g.voxel[a];
  p.values.assign(static_cast<size_t>(p.nx) * p.ny * p.nz, 0.0f);
  for (int k = 0; k < p.nz; ++k)
    for (int j = 0; j < p.ny; ++j)
      for (int i = 0; i < p.nx; ++i) {
        const int from[3] = {i - lo[0], j - lo[1], k - lo[2]};
        if (from[0] >= 0 && from[1] >= 0 && from[2] >= 0 && from[0] < g.nx && from[1] < g.ny && from[2] < g.nz)
          p.values[(static_cast<size_t>(k) * p.ny + j) * p.nx + i] = g.at(from[0], from[1], from[2]);
      }
  return p;
}

TEST(ShapeReading, NeitherTheBoxNorAThresholdAtOrBelowZeroChangesIt) {
  Map map;
  map.read(examplePath("1hpv_b_8a", ".mrc"));
  const int cut[3] = {-17, 0, 0}, none[3] = {0, 0, 0};
  const struct {
    const char* what;
    DensityGrid grid;
    std::vector<double> thresholds;
    const Map* analysed;  // the map as the analysis reads it, when there is one
  } cases[] = {
      {"a bundled example", densityGridFromMap(map), {0.04737, 0.0, -0.01}, &map},
      // The sheet's middle 2 Å from a face: what lies beyond it is read as empty.
      {"a sheet cut at a face", reframed(twistedSlab(20 * kPerStrand, 12, 9), cut, none), {0.3}, nullptr},
  };
  const struct {
    int lo[3], hi[3];
  } pads[] = {{{3, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 5, 0}}, {{0, 2, 7}, {4, 0, 0}}, {{1, 1, 1}, {0, 0, 9}}};
  for (const auto& c : cases)
    for (double threshold : c.thresholds) {
      SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(threshold));
      const ShapeReading own = readShape(c.grid, threshold);
      ASSERT_TRUE(own.direction.found);
      // The voxels the analysis keeps, and no others.
      if (c.analysed) {
        EXPECT_EQ(own.direction.voxels, static_cast<long long>(sheetFootprint(*c.analysed, threshold).points));
      }
      // A tenth of a threshold of 0 is no change: the repeats still move the
      // slab's edge, and the check means something.
      if (threshold <= 0) {
        EXPECT_GT(own.thresholdSpread, 0.0);
      }
      const Confidence verdict = judgeConfidence(own, RunEvidence());
      for (const auto& pad : pads) {
        SCOPED_TRACE(std::to_string(pad.lo[0]) + std::to_string(pad.lo[1]) + std::to_string(pad.lo[2]) + " " +
                     std::to_string(pad.hi[0]) + std::to_string(pad.hi[1]) + std::to_string(pad.hi[2]));
        const ShapeReading r = readShape(reframed(c.grid, pad.lo, pad.hi), threshold);
        EXPECT_LT(axisAngleDegrees(r.direction.direction, own.direction.direction), 1e-6);
        EXPECT_NEAR(r.twistDegrees, own.twistDegrees, 1e-9);
        EXPECT_NEAR(r.direction.spread[2], own.direction.spread[2], 1e-9);
        EXPECT_EQ(r.direction.voxels, own.direction.voxels);
        const Confidence v = judgeConfidence(r, RunEvidence());
        EXPECT_EQ(v.level, verdict.level);
        EXPECT_EQ(v.reasons, verdict.reasons);
      }
    }
}

}  // namespace
