// Sheet surface fitting: the sheet is moved onto the map centre, turned so its
// normal points along +z, and a cubic height field z = f(x, y) is fitted by
// linear least squares on the aligned coordinates as they stand (not centred).

#include <cmath>

#include "driver/stages.h"
#include "velmorantique/nr.h"

namespace vel {

double surfaceHeight(const std::array<double, 10>& c, double x, double y) {
  return c[0] * (x * x * x) + c[1] * (x * x * y) + c[2] * (x * y * y) + c[3] * (y * y * y) + c[4] * (x * x) +
         c[5] * (x * y) + c[6] * (y * y) + c[7] * x + c[8] * y + c[9];
}

namespace {

// The fit's own evaluation writes the x*y^2 term as y^2*x; the rounding of the
// reported error depends on it.
double fittedHeight(const std::array<double, 10>& c, double x, double y) {
  return c[0] * (x * x * x) + c[1] * (x * x * y) + c[2] * (y * y * x) + c[3] * (y * y * y) + c[4] * (x * x) +
         c[5] * (x * y) + c[6] * (y * y) + c[7] * x + c[8] * y + c[9];
}

void fillDesignRow(NRMat<double>& a, int i, double x, double y) {
  a[i][0] = x * x * x;
  a[i][1] = x * x * y;
  a[i][2] = x * y * y;
  a[i][3] = y * y * y;
  a[i][4] = x * x;
  a[i][5] = x * y;
  a[i][6] = y * y;
  a[i][7] = x;
  a[i][8] = y;
  a[i][9] = 1;
}

std::array<double, 10> solveLeastSquares(const PointList& points) {
  const int n = static_cast<int>(points.size());
  NRMat<double> a(n, 10), at(10, n), b(n, 1);
  for (int i = 0; i < n; ++i) {
    fillDesignRow(a, i, points[i].x, points[i].y);
    b[i][0] = points[i].z;
  }
  for (int j = 0; j < 10; ++j)
    for (int i = 0; i < n; ++i) at[j][i] = a[i][j];

  NRMat<double> ata(10, 10), atb(10, 1);
  for (int j = 0; j < 10; ++j) {
    for (int i = 0; i < 10; ++i) {
      double sum = 0;
      for (int k = 0; k < n; ++k) sum += at[i][k] * a[k][j];
      ata[i][j] = sum;
    }
  }
  for (int i = 0; i < 10; ++i) {
    double sum = 0;
    for (int k = 0; k < n; ++k) sum += at[i][k] * b[k][0];
    atb[i][0] = sum;
  }

  NRMat<double> inverse(ata), solution(atb);
  NR::gaussj(inverse, solution);
  std::array<double, 10> c{};
  for (int i = 0; i < 10; ++i) c[i] = solution[i][0];
  return c;
}

}  // namespace

SurfaceFit fitSurface(const SheetDensity& sheet, std::ostream& out) {
  SurfaceFit fit;
  Alignment& align = fit.alignment;
  const MRC_HEADER& h = sheet.densityMap.hdr;
  const double ox = h.xorigin, oy = h.yorigin, oz = h.zorigin;
  align.mapCentre = Coordinate(ox + static_cast<double>(h.xlen) / 2, oy + static_cast<double>(h.ylen) / 2,
                               oz + static_cast<double>(h.zlen) / 2);
  align.sheetCentre = sheet.sheetCentre;

  // +z as the map frame sees it: from the origin to one ångström above it.
  Vectors zAxis(Coordinate(ox, oy, oz), Coordinate(ox, oy, oz + 1));
  align.theta = sheet.sheetNormal.getAngleRadian(zAxis);
  out << "theta = " << align.theta << "\n";
  align.alignAxis = sheet.sheetNormal.cross(zAxis).unit();
  fit.alignedPoints = align.toAlignedFrame(sheet.sheetPoints);

  fit.surfaceCoefficients = solveLeastSquares(fit.alignedPoints);

  long double sumSq = 0.0L;
  fit.surfacePoints.reserve(fit.alignedPoints.size());
  for (const Coordinate& p : fit.alignedPoints) {
    double f = fittedHeight(fit.surfaceCoefficients, p.x, p.y);
    fit.surfacePoints.push_back(Coordinate(p.x, p.y, f));
    double diff = f - p.z;
    sumSq += diff * diff;
  }
  fit.fittingError = std::sqrt(sumSq / static_cast<long double>(fit.alignedPoints.size()));
  out << "RMSE sheet surface fitting error = " << fit.fittingError << "\n\n";
  return fit;
}

}  // namespace vel
