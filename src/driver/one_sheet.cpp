// Whether the density looks like one beta-sheet. A sheet with its side
// chains is a plate about 10 Å thick; a whole protein given by mistake is a
// lump as thick as it is wide, or fits no smooth surface, or is simply far
// larger than any sheet.
//
// The thickness is the volume spread over the plate the points span: a flat
// slab of sides a and b and thickness t has standard deviations a/sqrt(12)
// and b/sqrt(12) along its two long axes, so t = volume / (12 s1 s2). It
// needs no fitted surface and no normal, so a twisted or curled sheet keeps
// its own thickness. Measured on the sheets prepared from the test
// structures (5 to 12 Å, 0.5 and 1 Å voxels) it is 9.0 to 11.3 Å, on 200
// synthetic sheets of 3 to 8 strands 5.8 to 9.2 Å; on whole chains of the
// same structures, 13.9 to 16.8 Å.

#include <cmath>

#include "driver/stages.h"
#include "velmorantique/shape.h"

namespace vel {

namespace {

constexpr double kMostSheetThickness = 12.5;  // Å
constexpr double kMostSheetFittingError = 9.0;  // Å; the same sheets: at most 7.3
constexpr double kMostSheetVolume = 60000.0;  // Å³: some 450 residues, many times the largest sheet

}  // namespace

SheetLikeness judgeOneSheet(const SheetDensity& sheet, const SurfaceFit& surface) {
  SheetLikeness j;
  const PointList& points = sheet.sheetPoints;
  const Map& map = sheet.densityMap;
  const double n = static_cast<double>(points.size());
  j.volume = n * map.apixX * map.apixY * map.apixZ;
  j.fittingError = static_cast<double>(surface.fittingError);

  double centre[3] = {0, 0, 0};
  for (const Coordinate& p : points)
    for (int a = 0; a < 3; ++a) centre[a] += axisValue(p, a) / n;
  double cov[3][3] = {{0}};
  for (const Coordinate& p : points)
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) cov[r][c] += (axisValue(p, r) - centre[r]) * (axisValue(p, c) - centre[c]) / n;
  const SymmetricEigen3 spread = eigenSymmetric3(cov);
  j.thickness = j.volume / (12 * std::sqrt(spread.values[1]) * std::sqrt(spread.values[2]));

  j.oneSheet = !(j.thickness > kMostSheetThickness) && !(j.fittingError > kMostSheetFittingError) &&
               !(j.volume > kMostSheetVolume);
  return j;
}

}  // namespace vel
