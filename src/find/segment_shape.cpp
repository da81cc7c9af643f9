// What a segment looks like, and whether it could be a sheet: a plate at
// least three strands of three residues wide, not much thicker than a sheet
// with its side chains, wide in both directions (a helix is long in one), and
// lying on one smooth surface.
#include <cmath>
#include <sstream>

#include "find_parts.h"
#include "shape/shape_parts.h"

namespace vel {
namespace find {

namespace {

const double kSqrt12 = std::sqrt(12.0);

struct Frame3 {
  Point centre{};
  Vectors axes[3];  // ascending spread: normal, width, length
  double spread[3] = {0, 0, 0};
};

Frame3 principalFrame(const DensityBox& box, const std::vector<size_t>& voxels) {
  Frame3 f;
  double sum[3] = {0, 0, 0};
  for (size_t at : voxels) {
    const Point p = voxelPoint(box, at);
    for (int d = 0; d < 3; ++d) sum[d] += p[d];
  }
  const double n = static_cast<double>(voxels.size());
  for (int d = 0; d < 3; ++d) f.centre[d] = sum[d] / n;
  double cov[3][3] = {{0}};
  for (size_t at : voxels) {
    const Point p = voxelPoint(box, at);
    const double d[3] = {p[0] - f.centre[0], p[1] - f.centre[1], p[2] - f.centre[2]};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) cov[r][c] += d[r] * d[c] / n;
  }
  const SymmetricEigen3 e = eigenSymmetric3(cov);
  for (int a = 0; a < 3; ++a) {
    f.axes[a] = e.vectors[a];
    f.spread[a] = std::max(0.0, e.values[a]);
  }
  return f;
}

// Least squares z = a u^2 + b uv + c v^2 + d u + e v + f over the voxels, in
// the frame; the coefficients, or false when the fit is singular.
bool fitQuadric(const DensityBox& box, const std::vector<size_t>& voxels, const Frame3& f, double coef[6]) {
  double ata[36] = {0};
  for (int i = 0; i < 6; ++i) coef[i] = 0;
  for (size_t at : voxels) {
    const Point p = voxelPoint(box, at);
    const Vectors x(p[0] - f.centre[0], p[1] - f.centre[1], p[2] - f.centre[2]);
    const double u = x.dot(f.axes[2]), v = x.dot(f.axes[1]), z = x.dot(f.axes[0]);
    const double phi[6] = {u * u, u * v, v * v, u, v, 1.0};
    for (int r = 0; r < 6; ++r) {
      coef[r] += phi[r] * z;
      for (int c = 0; c < 6; ++c) ata[r * 6 + c] += phi[r] * phi[c];
    }
  }
  return voxels.size() >= 6 && solveLinear(ata, coef, 6);
}

double rmsFromSurface(const DensityBox& box, const std::vector<size_t>& voxels, const Frame3& f, const double coef[6]) {
  double sumSq = 0;
  for (size_t at : voxels) {
    const Point p = voxelPoint(box, at);
    const Vectors x(p[0] - f.centre[0], p[1] - f.centre[1], p[2] - f.centre[2]);
    const double u = x.dot(f.axes[2]), v = x.dot(f.axes[1]), z = x.dot(f.axes[0]);
    const double surface = coef[0] * u * u + coef[1] * u * v + coef[2] * v * v + coef[3] * u + coef[4] * v + coef[5];
    sumSq += (z - surface) * (z - surface);
  }
  return std::sqrt(sumSq / static_cast<double>(voxels.size()));
}

}  // namespace

SegmentShape measureSegment(const DensityBox& box, const std::vector<size_t>& voxels, const std::vector<size_t>& core) {
  SegmentShape s;
  s.voxels = voxels.size();
  if (voxels.empty()) return s;
  s.volume = static_cast<double>(voxels.size()) * box.voxel[0] * box.voxel[1] * box.voxel[2];
  const Frame3 f = principalFrame(box, voxels);
  s.centre = f.centre;
  s.normal = {f.axes[0].x, f.axes[0].y, f.axes[0].z};
  s.length = kSqrt12 * std::sqrt(f.spread[2]);
  s.width = kSqrt12 * std::sqrt(f.spread[1]);
  double coef[6];
  const bool fitted = fitQuadric(box, voxels, f, coef);
  s.thickness = kSqrt12 * (fitted ? rmsFromSurface(box, voxels, f, coef) : std::sqrt(f.spread[0]));
  s.area = s.thickness > 0 ? s.volume / s.thickness : 0;
  const std::vector<size_t>& spine = core.empty() ? voxels : core;
  const Frame3 fc = principalFrame(box, spine);
  double coreCoef[6];
  s.fitResidual = fitQuadric(box, spine, fc, coreCoef) ? rmsFromSurface(box, spine, fc, coreCoef) : std::sqrt(fc.spread[0]);
  return s;
}

void judgeSegment(Segment& seg, const SegmentRules& r) {
  const SegmentShape& s = seg.shape;
  std::ostringstream why;
  why.precision(3);
  if (s.area < r.minArea) why << "area " << s.area << " A^2 below " << r.minArea;
  else if (s.thickness > r.maxThickness) why << "thickness " << s.thickness << " A above " << r.maxThickness;
  else if (s.width < r.minWidth) why << "width " << s.width << " A below " << r.minWidth << " (rod-like)";
  else if (s.sheetProbability < r.minSheetProbability)
    why << "sheet probability " << s.sheetProbability << " below " << r.minSheetProbability;
  else if (s.fitResidual > r.maxFitResidual)
    why << "its plate lies " << s.fitResidual << " A from a smooth surface, more than " << r.maxFitResidual;
  seg.kept = why.str().empty();
  if (seg.kept)
    why << "a sheet of " << s.area << " A^2, " << s.thickness << " A thick, sheet probability " << s.sheetProbability;
  seg.reason = why.str();
}

double analysisThickness(const DensityBox& box, const std::vector<size_t>& voxels, double level) {
  std::vector<size_t> kept;
  for (size_t at : voxels)
    if (box.values[at] >= level && box.values[at] > 0) kept.push_back(at);
  if (kept.size() < 3) return 0;
  const Frame3 f = principalFrame(box, kept);
  const double volume = static_cast<double>(kept.size()) * box.voxel[0] * box.voxel[1] * box.voxel[2];
  const double span = 12 * std::sqrt(f.spread[1]) * std::sqrt(f.spread[2]);
  return span > 0 ? volume / span : 0;
}

void judgeCase(Segment& seg, const DensityBox& box, double level, const SegmentRules& r) {
  if (!seg.kept) return;
  const double thickness = analysisThickness(box, seg.voxels, level);
  if (!(thickness > r.maxCaseThickness)) return;
  std::ostringstream why;
  why.precision(3);
  why << "its case would be " << thickness << " A thick as the analysis reads it, above " << r.maxCaseThickness
      << " (more than one sheet)";
  seg.kept = false;
  seg.reason = why.str();
}

}  // namespace find
}  // namespace vel
