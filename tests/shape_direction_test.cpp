#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "driver/reference_structure.h"
#include "support/program.h"

#include "velmorantique/compare.h"
#include "velmorantique/map.h"
#include "velmorantique/shape.h"

using namespace vel;

namespace {

// A grid of n^3 voxels centred on the origin, filled from a density function.
DensityGrid sampled(int n, const double voxel[3], const std::function<double(Vectors)>& density) {
  DensityGrid g;
  g.nx = g.ny = g.nz = n;
  for (int a = 0; a < 3; ++a) {
    g.voxel[a] = voxel[a];
    g.origin[a] = -0.5 * (n - 1) * voxel[a] + 0.3;  // off the grid's symmetry
  }
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i)
        g.values.push_back(static_cast<float>(density(
            Vectors(g.origin[0] + i * voxel[0], g.origin[1] + j * voxel[1], g.origin[2] + k * voxel[2]))));
  return g;
}

// 1 inside |s| < half, falling smoothly to 0 over an Å or so.
double window(double s, double half) { return 1.0 / (1.0 + std::exp((std::fabs(s) - half) / 0.7)); }

// A twisted sheet: strands along `strand` at the centre, turning by `twist`
// radians per Å about the axis `across`; positive twist is the natural sense.
// A Gaussian slab 1.5 Å thick, 24 Å along the strands and 18 Å across.
std::function<double(Vectors)> helicoid(Vectors strand, Vectors across, double twist) {
  const Vectors normal = strand.cross(across);
  return [=](Vectors x) {
    const double u = x.dot(strand), v = x.dot(across), w = x.dot(normal);
    const double height = -u * std::sin(twist * v) + w * std::cos(twist * v);
    return std::exp(-height * height / (2 * 1.5 * 1.5)) * window(u, 12) * window(v, 9);
  };
}

const double kCubic[3] = {1.0, 1.0, 1.0};
const Vectors kStrand = Vectors(1, 2, 0.5).unit();
const Vectors kAcross = Vectors(2, -1, 0).unit();             // perpendicular to kStrand
const double kTwist = 20.0 * kPi / 180.0 / 4.8;              // 20 degrees between strands 4.8 Å apart

}  // namespace

TEST(ShapeDirection, FlatSlabHasNoSaddleAndFallsBack) {
  // 24 Å by 16 Å, tilted away from every grid axis.
  const Vectors normal = kStrand.cross(kAcross);
  const DensityGrid grid = sampled(40, kCubic, [&](Vectors x) {
    const double h = x.dot(normal);
    return std::exp(-h * h / (2 * 1.5 * 1.5)) * window(x.dot(kStrand), 12) * window(x.dot(kAcross), 8);
  });
  const ShapeDirection d = estimateShapeDirection(grid, 0.3);
  ASSERT_TRUE(d.found);
  EXPECT_EQ(d.method, "fallback");
  EXPECT_LT(axisAngleDegrees(d.normal, normal), 1.0);
  // Nothing in a flat slab says where strands run; it keeps the long axis.
  EXPECT_LT(axisAngleDegrees(d.direction, kStrand), 2.0);
}

// One surface over the whole slab: the rules' own geometry, to the degree.
ShapeOptions withRule(StrandRule rule) {
  ShapeOptions o;
  o.rule = rule;
  o.patchSpacing = 0;
  return o;
}

const StrandRule kRules[] = {StrandRule::NaturalAsymptote, StrandRule::GreatestTwist};
const char* kTwistedMethod[] = {"saddle", "greatest_twist"};

TEST(ShapeDirection, HelicoidGivesItsStrandDirectionByEitherRule) {
  for (int rule = 0; rule < 2; ++rule) {
    const ShapeOptions options = withRule(kRules[rule]);
    for (double twist : {kTwist, 0.5 * kTwist}) {
      const ShapeDirection d =
          estimateShapeDirection(sampled(40, kCubic, helicoid(kStrand, kAcross, twist)), 0.3, options);
      ASSERT_TRUE(d.found);
      EXPECT_EQ(d.method, kTwistedMethod[rule]);
      EXPECT_LT(axisAngleDegrees(d.direction, kStrand), 2.0) << "rule " << rule << " twist " << twist;
      EXPECT_NEAR(d.direction.length(), 1.0, 1e-12);
    }
    // Strands along the sheet's short axis: the long axis does not decide.
    const ShapeDirection across = estimateShapeDirection(
        sampled(40, kCubic, helicoid(kAcross, kStrand.mul(-1), kTwist)), 0.3, options);
    EXPECT_LT(axisAngleDegrees(across.direction, kAcross), 2.0) << "rule " << rule;
  }
}

TEST(ShapeDirection, MirrorImageHelicoidGivesTheOtherAsymptoticDirection) {
  for (int rule = 0; rule < 2; ++rule) {
    const ShapeDirection d = estimateShapeDirection(sampled(40, kCubic, helicoid(kStrand, kAcross, -kTwist)), 0.3,
                                                    withRule(kRules[rule]));
    ASSERT_TRUE(d.found);
    EXPECT_EQ(d.method, kTwistedMethod[rule]);
    EXPECT_LT(axisAngleDegrees(d.direction, kAcross), 2.0) << "rule " << rule;
  }
}

TEST(ShapeDirection, CoiledStrandsSeparateTheTwoRules) {
  // Heights z = k u v + c u^2 / 2 over (strand, across): p = c, q = k, r = 0.
  // No bend along tan(theta) = -c / 2k; the greatest twist at half that turn.
  const double k = kTwist, c = 0.03;
  const Vectors normal = kStrand.cross(kAcross);
  const DensityGrid grid = sampled(40, kCubic, [&](Vectors x) {
    const double u = x.dot(kStrand), v = x.dot(kAcross);
    const double h = x.dot(normal) - (k * u * v + 0.5 * c * u * u);
    return std::exp(-h * h / (2 * 1.5 * 1.5)) * window(u, 12) * window(v, 9);
  });
  const double expected[2] = {std::atan(-c / (2 * k)), 0.5 * std::atan2(-0.5 * c, k)};
  for (int rule = 0; rule < 2; ++rule) {
    const ShapeDirection d = estimateShapeDirection(grid, 0.3, withRule(kRules[rule]));
    Vectors want = kStrand.mul(std::cos(expected[rule]));
    want += kAcross.mul(std::sin(expected[rule]));
    EXPECT_LT(axisAngleDegrees(d.direction, want), 1.5) << "rule " << rule;
  }
}

TEST(ShapeDirection, BowlIsNoSaddleAndTakesTheGreatestTwist) {
  // p = 0.04, q = 0.01, r = 0.02 per Å over (strand, across): pr > q^2.
  const double p = 0.04, q = 0.01, r = 0.02;
  const Vectors normal = kStrand.cross(kAcross);
  const DensityGrid grid = sampled(40, kCubic, [&](Vectors x) {
    const double u = x.dot(kStrand), v = x.dot(kAcross);
    const double h = x.dot(normal) - (0.5 * p * u * u + q * u * v + 0.5 * r * v * v);
    return std::exp(-h * h / (2 * 1.5 * 1.5)) * window(u, 12) * window(v, 9);
  });
  const double theta = 0.5 * std::atan2(0.5 * (r - p), q);
  Vectors want = kStrand.mul(std::cos(theta));
  want += kAcross.mul(std::sin(theta));
  const char* method[2] = {"fallback", "greatest_twist"};
  for (int rule = 0; rule < 2; ++rule) {
    const ShapeDirection d = estimateShapeDirection(grid, 0.3, withRule(kRules[rule]));
    EXPECT_EQ(d.method, method[rule]);
    EXPECT_LT(axisAngleDegrees(d.direction, want), 2.0) << "rule " << rule;
  }
}

TEST(ShapeDirection, PositionsFollowVoxelSizeAndOrigin) {
  // Unequal voxel sides: a mix-up of axes or of voxel sizes turns the sheet.
  const double voxel[3] = {0.8, 1.1, 0.95};
  DensityGrid grid = sampled(40, voxel, helicoid(kStrand, kAcross, kTwist));
  const ShapeDirection d = estimateShapeDirection(grid, 0.3);
  EXPECT_LT(axisAngleDegrees(d.direction, kStrand), 3.0);
  EXPECT_GT(d.patches, 10);
  // The whole map moved, and the patches with it: the same direction.
  for (double& o : grid.origin) o += 123.25;
  const ShapeDirection moved = estimateShapeDirection(grid, 0.3);
  EXPECT_LT(axisAngleDegrees(moved.direction, d.direction), 1e-6);
  EXPECT_EQ(moved.method, d.method);
}

TEST(ShapeDirection, PatchesFollowTheMiddleStrandsOfStronglyTwistedSheets) {
  // Wide sheets whose strands turn by 75-110 degrees from the middle to an
  // edge: the patches at the edges must not outvote those in the middle.
  struct Row {
    double degreesPerStrand, halfWidth;
  };
  for (const Row& row : {Row{20, 9}, Row{30, 15}, Row{40, 12}}) {
    const double twist = row.degreesPerStrand * kPi / 180.0 / 4.8;
    const Vectors normal = kStrand.cross(kAcross);
    const DensityGrid grid = sampled(48, kCubic, [&](Vectors x) {
      const double u = x.dot(kStrand), v = x.dot(kAcross), w = x.dot(normal);
      const double height = -u * std::sin(twist * v) + w * std::cos(twist * v);
      return std::exp(-height * height / (2 * 1.5 * 1.5)) * window(u, 12) * window(v, row.halfWidth);
    });
    const ShapeDirection d = estimateShapeDirection(grid, 0.3);
    EXPECT_GT(d.patches, 20) << row.degreesPerStrand;
    EXPECT_LT(axisAngleDegrees(d.direction, kStrand), 3.0) << row.degreesPerStrand << " " << row.halfWidth;
  }
}

TEST(ShapeDirection, NothingFoundWithoutUsableDensity) {
  const DensityGrid grid = sampled(12, kCubic, helicoid(kStrand, kAcross, kTwist));
  EXPECT_FALSE(estimateShapeDirection(grid, 2.0).found);            // nothing reaches the threshold
  EXPECT_FALSE(estimateShapeDirection(grid, std::nan("")).found);
  EXPECT_EQ(estimateShapeDirection(grid, 2.0).method, "none");

  DensityGrid line = grid;  // a row of voxels has no plane to fit
  for (float& v : line.values) v = 0;
  for (int i = 0; i < line.nx; ++i) line.values[i] = 1;
  EXPECT_FALSE(estimateShapeDirection(line, 0.5).found);

  DensityGrid broken = grid;
  broken.values.pop_back();  // fewer values than voxels
  EXPECT_FALSE(estimateShapeDirection(broken, 0.3).found);
  DensityGrid flatVoxel = grid;
  flatVoxel.voxel[1] = 0;
  EXPECT_FALSE(estimateShapeDirection(flatVoxel, 0.3).found);
  EXPECT_FALSE(estimateShapeDirection(DensityGrid(), 0.3).found);
}

TEST(ShapeDirection, NonNumberVoxelsAreLeftOut) {
  DensityGrid grid = sampled(40, kCubic, helicoid(kStrand, kAcross, kTwist));
  grid.values[5] = std::nanf("");
  grid.values[grid.values.size() / 2] = INFINITY;
  const ShapeDirection d = estimateShapeDirection(grid, 0.3);
  ASSERT_TRUE(d.found);
  EXPECT_LT(axisAngleDegrees(d.direction, kStrand), 2.0);
}

TEST(AxisAngle, FoldsOppositeDirectionsTogether) {
  EXPECT_DOUBLE_EQ(axisAngleDegrees(Vectors(1, 0, 0), Vectors(-3, 0, 0)), 0.0);
  EXPECT_NEAR(axisAngleDegrees(Vectors(1, 0, 0), Vectors(0, 0, 2)), 90.0, 1e-12);
  EXPECT_NEAR(axisAngleDegrees(Vectors(1, 1, 0), Vectors(-1, 0, 0)), 45.0, 1e-12);
  EXPECT_TRUE(std::isnan(axisAngleDegrees(Vectors(), Vectors(1, 0, 0))));
  EXPECT_TRUE(std::isnan(axisAngleDegrees(Vectors(1, 0, 0), Vectors(NAN, 0, 0))));
}

TEST(SymmetricEigen, RecoversATurnedDiagonalInAscendingOrder) {
  // R diag(5, -1, 2) R^T with R a rotation about (1, 1, 1).
  const Vectors axes[3] = {Vectors(2, -1, -1).unit(), Vectors(0, 1, -1).unit(), Vectors(1, 1, 1).unit()};
  const double values[3] = {5, -1, 2};
  double m[3][3] = {{0}};
  for (int a = 0; a < 3; ++a) {
    const double v[3] = {axes[a].x, axes[a].y, axes[a].z};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) m[r][c] += values[a] * v[r] * v[c];
  }
  const SymmetricEigen3 e = eigenSymmetric3(m);
  EXPECT_NEAR(e.values[0], -1, 1e-12);
  EXPECT_NEAR(e.values[1], 2, 1e-12);
  EXPECT_NEAR(e.values[2], 5, 1e-12);
  EXPECT_LT(axisAngleDegrees(e.vectors[0], axes[1]), 1e-6);
  EXPECT_LT(axisAngleDegrees(e.vectors[1], axes[2]), 1e-6);
  EXPECT_LT(axisAngleDegrees(e.vectors[2], axes[0]), 1e-6);
}

TEST(DensityGridFromMap, CopiesValuesXFastestWithTheMapFrame) {
  Map map;
  map.createCube(2, 3, 4);
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 4; ++k) map.at(i, j, k) = static_cast<float>(i + 10 * j + 100 * k);
  map.apixX = 1.5;
  map.apixY = 2;
  map.apixZ = 0.5;
  map.hdr.xorigin = -3;
  map.hdr.yorigin = 4;
  map.hdr.zorigin = 7.25f;
  const DensityGrid g = densityGridFromMap(map);
  ASSERT_EQ(g.values.size(), 24u);
  EXPECT_EQ(g.nx, 2);
  EXPECT_EQ(g.ny, 3);
  EXPECT_EQ(g.nz, 4);
  EXPECT_EQ(g.values[1], 1.0f);
  EXPECT_EQ(g.values[2], 10.0f);
  EXPECT_EQ(g.at(1, 2, 3), 321.0f);
  EXPECT_EQ(g.voxel[0], 1.5);
  EXPECT_EQ(g.voxel[2], 0.5);
  EXPECT_EQ(g.origin[0], -3.0);
  EXPECT_EQ(g.origin[2], 7.25);
}

TEST(MeanLineDirection, CountsNoStrandBackwardsAcrossAStronglyTwistedSheet) {
  // Five strands turned -60 .. 60 degrees about x, alternate ones reversed
  // (antiparallel): the outer two are more than 90 degrees apart.
  std::vector<Vectors> axes;
  for (int k = -2; k <= 2; ++k) {
    const double a = k * 30.0 * kPi / 180.0, sense = (k % 2 == 0) ? 1.0 : -1.0;
    axes.push_back(Vectors(0, sense * std::cos(a), sense * std::sin(a)));
  }
  EXPECT_LT(axisAngleDegrees(meanLineDirection(axes), Vectors(0, 1, 0)), 1e-9);
  axes.push_back(Vectors());  // an empty strand is left out
  EXPECT_LT(axisAngleDegrees(meanLineDirection(axes), Vectors(0, 1, 0)), 1e-9);
  EXPECT_EQ(meanLineDirection({}).length(), 0.0);
}

TEST(ShapeDirection, SheetAtTheMapFaceAndGridsSmallerThanTheSmoothing) {
  // The centre 2 Å from the first x face: the smoothing and the gradient
  // there read the empty map beyond it.
  const DensityGrid whole = sampled(40, kCubic, helicoid(kStrand, kAcross, kTwist));
  DensityGrid edge = whole;  // the first 17 x columns cut away
  edge.nx = whole.nx - 17;
  edge.origin[0] = whole.origin[0] + 17;
  edge.values.clear();
  for (int k = 0; k < whole.nz; ++k)
    for (int j = 0; j < whole.ny; ++j)
      for (int i = 17; i < whole.nx; ++i) edge.values.push_back(whole.at(i, j, k));
  const ShapeDirection d = estimateShapeDirection(edge, 0.3);
  ASSERT_TRUE(d.found);
  EXPECT_NEAR(d.direction.length(), 1.0, 1e-12);
  EXPECT_NEAR(d.normal.length(), 1.0, 1e-12);

  // Four voxels a side, finer than the 8 Å reach of the kernel: its taps
  // beyond the grid must read nothing.
  const double fine[3] = {0.5, 0.5, 0.5};
  const DensityGrid tiny = sampled(4, fine, [](Vectors x) { return 1.0 - 0.1 * x.dot(Vectors(0, 0, 1)) * x.z; });
  const ShapeDirection t = estimateShapeDirection(tiny, 0.5);
  EXPECT_TRUE(t.found);
  EXPECT_NEAR(t.direction.length(), 1.0, 1e-12);
}

TEST(ShapeDirection, BundledSyntheticSheetTwistsTheNaturalWay) {
  // Four antiparallel strands, 18 degrees of natural twist between
  // neighbours, simulated at 8 Å: a mirror-image reading would land across
  // the strands.
  Map map;
  map.read(examplePath("synth_4x7_t18_8a", ".mrc"));
  std::vector<Vectors> axes;
  for (const PointList& cas : FindTrueCAs(examplePath("synth_4x7_t18_8a", ""))) axes.push_back(Vectors(cas.front(), cas.back()));
  const Vectors reference = meanLineDirection(axes);
  for (StrandRule rule : kRules) {
    const ShapeDirection d = estimateShapeDirection(densityGridFromMap(map), 0.0483, withRule(rule));
    ASSERT_TRUE(d.found);
    EXPECT_LT(axisAngleDegrees(d.direction, reference), 10.0);
  }
}

TEST(ShapeDirection, TheNormalIsReadAtTheSheetsMiddle) {
  // A twisted sheet whose strands bend away on one side of the middle only
  // (z = k u v + c max(u, 0)^2 / 2): gradients read far from the middle tilt
  // the plane about the line across the strands, and the direction, kept in
  // that plane, leaves the strands by as much. Read over 10 Å the normal
  // tilts by 3 and 6.7 degrees; at the middle by under half that.
  const Vectors normal = kStrand.cross(kAcross);
  const struct {
    double bend, tilt;  // per Å; degrees at most
  } rows[] = {{0.04, 1.5}, {0.08, 3.2}};
  for (const auto& row : rows) {
    const DensityGrid grid = sampled(40, kCubic, [&](Vectors x) {
      const double u = x.dot(kStrand), v = x.dot(kAcross), bent = std::max(u, 0.0);
      const double h = x.dot(normal) - (kTwist * u * v + 0.5 * row.bend * bent * bent);
      return std::exp(-h * h / (2 * 1.5 * 1.5)) * window(u, 12) * window(v, 9);
    });
    const ShapeDirection d = estimateShapeDirection(grid, 0.3);
    ASSERT_TRUE(d.found) << row.bend;
    EXPECT_LT(axisAngleDegrees(d.normal, normal), row.tilt) << row.bend;
  }
}
