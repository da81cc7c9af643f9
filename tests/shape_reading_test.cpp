// The shape twist and the verdict: the twist's sign and size on analytic
// sheets, and the levels the verdict gives stable, unstable and ambiguous
// readings.
#include <cmath>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "velmorantique/confidence.h"

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

}  // namespace
