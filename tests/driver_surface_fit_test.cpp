// Sheet surface fitting: the move onto the map centre, the turn that brings
// the sheet normal onto +z, and the least-squares cubic height field.

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "driver/stages.h"

using namespace vel;

namespace {

// A 20 Å cube whose centre is (10, 10, 10).
SheetDensity sheetInCube(Coordinate sheetCentre, Vectors normal) {
  SheetDensity sheet;
  sheet.densityMap.hdr.xlen = sheet.densityMap.hdr.ylen = sheet.densityMap.hdr.zlen = 20.0f;
  sheet.sheetCentre = sheetCentre;
  sheet.sheetNormal = normal;
  return sheet;
}

}  // namespace

TEST(SurfaceFit, SheetFacingUpIsOnlyMovedAndAPlaneIsFittedExactly) {
  // Sheet centre at (4, 5, 6): every point moves by (6, 5, 4) and is not turned.
  SheetDensity sheet = sheetInCube(Coordinate(4, 5, 6), Vectors(0, 0, 5));
  for (int x = -4; x <= 4; ++x)
    for (int y = -4; y <= 4; ++y) sheet.sheetPoints.push_back(Coordinate(x - 6, y - 5, 2 * x + 3 * y + 5 - 4));
  std::ostringstream out;
  SurfaceFit fit = fitSurface(sheet, out);

  EXPECT_EQ(out.str().substr(0, 10), "theta = 0\n");
  EXPECT_FALSE(fit.alignment.turns());
  EXPECT_DOUBLE_EQ(fit.alignedPoints[0].x, -4);
  EXPECT_DOUBLE_EQ(fit.alignedPoints[0].y, -4);
  // The sheet is handed on as it came, in the map frame.
  EXPECT_DOUBLE_EQ(sheet.sheetPoints[0].x, -10);
  EXPECT_DOUBLE_EQ(sheet.sheetPoints[0].y, -9);
  // z = 2x + 3y + 5 in the aligned frame.
  const auto& c = fit.surfaceCoefficients;
  EXPECT_NEAR(c[7], 2, 1e-9);
  EXPECT_NEAR(c[8], 3, 1e-9);
  EXPECT_NEAR(c[9], 5, 1e-9);
  for (int k = 0; k < 7; ++k) EXPECT_NEAR(c[k], 0, 1e-9) << "c" << k;
  EXPECT_LT(fit.fittingError, 1e-9L);
  EXPECT_EQ(fit.surfacePoints.size(), sheet.sheetPoints.size());
}

TEST(SurfaceFit, SheetNormalAlongXIsTurnedOntoZAboutMinusY) {
  SheetDensity sheet = sheetInCube(Coordinate(10, 10, 10), Vectors(1, 0, 0));
  // A sheet in the plane x = 10 (normal along x), with some curvature in x.
  for (int y = -5; y <= 5; ++y)
    for (int z = -5; z <= 5; ++z) sheet.sheetPoints.push_back(Coordinate(10 + 0.01 * y * z, 10 + y, 10 + z));
  sheet.sheetPoints.push_back(Coordinate(11, 10, 10));  // one ångström along +x from the centre
  std::ostringstream out;
  SurfaceFit fit = fitSurface(sheet, out);

  EXPECT_EQ(out.str().substr(0, 15), "theta = 1.5708\n");
  EXPECT_NEAR(fit.alignment.alignAxis.x, 0, 1e-15);
  EXPECT_NEAR(fit.alignment.alignAxis.y, -1, 1e-15);
  EXPECT_NEAR(fit.alignment.alignAxis.z, 0, 1e-15);
  const Coordinate& turned = fit.alignedPoints.back();
  EXPECT_NEAR(turned.x, 10, 1e-12);
  EXPECT_NEAR(turned.y, 10, 1e-12);
  EXPECT_NEAR(turned.z, 11, 1e-12);
}

TEST(SurfaceFit, ZeroNormalMovesWithoutTurningAndFitsACubicExactly) {
  SheetDensity sheet = sheetInCube(Coordinate(10, 10, 10), Vectors(0, 0, 0));
  auto f = [](double x, double y) { return 0.01 * x * x * x - 0.02 * x * y * y + 0.5 * x * y - y + 3; };
  for (int x = -6; x <= 6; ++x)
    for (int y = -6; y <= 6; ++y) sheet.sheetPoints.push_back(Coordinate(x, y, f(x - 10, y - 10) + 10));
  std::ostringstream out;
  SurfaceFit fit = fitSurface(sheet, out);

  // 0/0 inside the arc cosine: the platform prints that not-a-number as -nan.
  EXPECT_EQ(out.str().substr(0, 13), "theta = -nan\n");
  EXPECT_FALSE(fit.alignment.turns());
  EXPECT_LT(fit.fittingError, 1e-9L);
  EXPECT_NEAR(fit.surfaceCoefficients[0], 0.01, 1e-9);
  EXPECT_NEAR(fit.surfaceCoefficients[2], -0.02, 1e-9);
}

TEST(SurfaceFit, HeightTermsAreAddedInTheirFixedOrder) {
  std::array<double, 10> c{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  // 1*8 + 2*4*3 + 3*2*9 + 4*27 + 5*4 + 6*6 + 7*9 + 8*2 + 9*3 + 10 at (2, 3)
  EXPECT_DOUBLE_EQ(surfaceHeight(c, 2, 3), 8 + 24 + 54 + 108 + 20 + 36 + 63 + 16 + 27 + 10);
}
