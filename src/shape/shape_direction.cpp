// The strand direction from the sheet's shape. The slab (voxels at or above
// the threshold, weighted by how far above) is fitted by a quadric height
// field over its mean plane. A twisted sheet is a saddle; along its strands
// the surface does not bend, and neighbouring strands turn about the axis
// across them the natural way. So the strands run along the asymptotic
// direction (zero normal curvature) with positive twist.

#include <algorithm>
#include <cmath>
#include <vector>

#include "shape/shape_parts.h"

namespace vel {

namespace {

// Second derivatives all below this (per Å: a radius of curvature beyond
// 1000 Å, a twist under 0.3 degrees between strands 4.8 Å apart) are the
// voxel staircase of a flat slab, not shape.
constexpr double kFlatCurvature = 1e-3;
// A long axis this nearly along the normal says nothing about the plane.
constexpr double kLeastInPlane = 0.3;

bool usableGrid(const DensityGrid& grid) {
  if (grid.nx < 1 || grid.ny < 1 || grid.nz < 1) return false;
  if (grid.values.size() != static_cast<size_t>(grid.nx) * grid.ny * grid.nz) return false;
  for (int a = 0; a < 3; ++a)
    if (!(grid.voxel[a] > 0) || !std::isfinite(grid.voxel[a]) || !std::isfinite(grid.origin[a])) return false;
  return true;
}

// Every voxel at or above the threshold, in grid order, with its map-frame
// position and its weight (value - threshold). Visited afresh by each pass
// rather than stored: a map's slab may be large.
template <class Visit>
void forEachSlabVoxel(const DensityGrid& grid, double threshold, Visit visit) {
  for (int k = 0; k < grid.nz; ++k)
    for (int j = 0; j < grid.ny; ++j)
      for (int i = 0; i < grid.nx; ++i) {
        const double rho = static_cast<double>(grid.at(i, j, k));
        if (!(rho >= threshold) || !std::isfinite(rho)) continue;
        visit(Coordinate(grid.origin[0] + i * grid.voxel[0], grid.origin[1] + j * grid.voxel[1],
                         grid.origin[2] + k * grid.voxel[2]),
              rho - threshold);
      }
}

// The in-plane component of v, unit, or a zero vector when too little is left.
Vectors inPlane(Vectors v, Vectors normal) {
  Vectors p = v;
  p += normal.mul(-v.dot(normal));
  const double len = p.length();
  if (!(len >= kLeastInPlane)) return Vectors();
  return p.mul(1.0 / len);
}

// Least squares z = a u^2 + b uv + c v^2 + d u + e v + f, weighted.
bool fitHeights(const DensityGrid& grid, double threshold, Coordinate centre, Vectors e1, Vectors e2, Vectors n,
                double taper, double coef[6]) {
  double ata[36] = {0};
  for (int i = 0; i < 6; ++i) coef[i] = 0;
  forEachSlabVoxel(grid, threshold, [&](Coordinate position, double w) {
    const Vectors x(centre, position);
    if (taper > 0) w *= std::exp(-x.dot(x) / (2 * taper * taper));
    const double u = x.dot(e1), v = x.dot(e2), z = x.dot(n);
    const double phi[6] = {u * u, u * v, v * v, u, v, 1.0};
    for (int r = 0; r < 6; ++r) {
      coef[r] += w * phi[r] * z;
      for (int c = 0; c < 6; ++c) ata[r * 6 + c] += w * phi[r] * phi[c];
    }
  });
  return solveLinear(ata, coef, 6);
}

double bend(double p, double q, double r, double t) {
  const double c = std::cos(t), s = std::sin(t);
  return p * c * c + 2 * q * s * c + r * s * s;
}

double twist(double p, double q, double r, double t) { return q * std::cos(2 * t) + 0.5 * (r - p) * std::sin(2 * t); }

// The first step of the sweep where bend changes sign with the natural twist,
// in radians, or a negative value when there is none.
double naturalAsymptote(double p, double q, double r, const ShapeOptions& options) {
  if (!(options.stepDegrees >= 0.001) || !(options.stepDegrees <= 180)) return -1;
  const int steps = static_cast<int>(std::lround(180.0 / options.stepDegrees));
  const double step = options.stepDegrees * kPi / 180.0;
  for (int i = 0; i <= steps; ++i) {
    const double t0 = i * step, t1 = (i + 1) * step;
    const double b0 = bend(p, q, r, t0), b1 = bend(p, q, r, t1);
    if (!(b0 * b1 <= 0) || !(twist(p, q, r, t0) > 0)) continue;
    return t0;
  }
  return -1;
}

}  // namespace

ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold, const ShapeOptions& options) {
  return estimateShapeDirection(grid, threshold, options, nullptr);
}

ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold, const ShapeOptions& options,
                                      const std::vector<double>* smoothed) {
  ShapeDirection out;
  out.method = "none";
  if (!usableGrid(grid) || !std::isfinite(threshold)) return out;

  double total = 0, sum[3] = {0, 0, 0};
  long long voxels = 0;
  forEachSlabVoxel(grid, threshold, [&](Coordinate position, double w) {
    ++voxels;
    total += w;
    sum[0] += w * position.x;
    sum[1] += w * position.y;
    sum[2] += w * position.z;
  });
  if (!(total > 0) || !std::isfinite(total)) return out;
  const Coordinate centre(sum[0] / total, sum[1] / total, sum[2] / total);

  double cov[3][3] = {{0}};
  forEachSlabVoxel(grid, threshold, [&](Coordinate position, double w) {
    const double d[3] = {position.x - centre.x, position.y - centre.y, position.z - centre.z};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) cov[r][c] += w * d[r] * d[c];
  });
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) cov[r][c] /= total;
  const SymmetricEigen3 shape = eigenSymmetric3(cov);

  // The normal: the axis the smoothed density falls off along near the
  // centre; the slab's thinnest axis when no gradient is there to say.
  Vectors normal = shape.vectors[0];
  double tensor[3][3];
  if (gradientTensor(grid, threshold, centre, options.normalRadius, options.smoothingSigma, options.truncation,
                     tensor, smoothed)) {
    const SymmetricEigen3 g = eigenSymmetric3(tensor);
    if (g.values[2] > 0) normal = g.vectors[2];
  }

  Vectors e1 = inPlane(shape.vectors[2], normal);
  if (e1.length() == 0) e1 = inPlane(shape.vectors[1], normal);
  if (e1.length() == 0) return out;
  const Vectors e2 = normal.cross(e1).unit();

  double coef[6];
  if (!fitHeights(grid, threshold, centre, e1, e2, normal, options.fitTaper, coef)) return out;
  const double p = 2 * coef[0], q = coef[1], r = 2 * coef[2];

  const bool flat = std::fabs(p) < kFlatCurvature && std::fabs(q) < kFlatCurvature && std::fabs(r) < kFlatCurvature;
  // The direction of greatest natural twist: tau(theta) = A cos(2 theta - phi)
  // is largest at 2 theta = phi.
  const double greatestTwist = 0.5 * std::atan2(0.5 * (r - p), q);
  // The line each rule takes; both come from the same fit, so the other
  // rule's choice is kept beside this one's at no cost.
  auto lineOf = [&](StrandRule rule, std::string& method) {
    if (flat) {
      method = "fallback";
      return 0.0;  // nothing in a flat slab says where strands run: keep its long axis
    }
    if (rule == StrandRule::GreatestTwist) {
      method = "greatest_twist";
      return greatestTwist;
    }
    double t = -1;
    if (p * r - q * q < 0) t = naturalAsymptote(p, q, r, options);
    method = "saddle";
    if (t < 0) {
      t = greatestTwist;
      method = "fallback";
    }
    return t;
  };
  std::string otherMethod;
  double theta = lineOf(options.rule, out.method);
  const double other = lineOf(
      options.rule == StrandRule::GreatestTwist ? StrandRule::NaturalAsymptote : StrandRule::GreatestTwist, otherMethod);
  Vectors o = e1.mul(std::cos(other));
  o += e2.mul(std::sin(other));
  out.otherRuleDirection = o.unit();
  if (theta < 0) theta += kPi;  // the same line, reported within 0 to 180 degrees

  Vectors d = e1.mul(std::cos(theta));
  d += e2.mul(std::sin(theta));
  out.found = true;
  out.direction = d.unit();
  out.normal = normal;
  out.theta_deg = theta * 180.0 / kPi;
  out.bendCoefficients[0] = p;
  out.bendCoefficients[1] = q;
  out.bendCoefficients[2] = r;
  out.twistRate = twist(p, q, r, theta);
  out.bendAlong = bend(p, q, r, theta);
  out.bendAcross = bend(p, q, r, theta + kPi / 2);
  out.voxels = voxels;
  out.centre = centre;
  for (int a = 0; a < 3; ++a) out.spread[a] = std::sqrt(std::max(0.0, shape.values[a]));
  double squares = 0;
  forEachSlabVoxel(grid, threshold, [&](Coordinate position, double w) {
    const Vectors x(centre, position);
    const double u = x.dot(e1), v = x.dot(e2), z = x.dot(normal);
    const double dz = z - (coef[0] * u * u + coef[1] * u * v + coef[2] * v * v + coef[3] * u + coef[4] * v + coef[5]);
    squares += w * dz * dz;
  });
  out.residualRms = std::sqrt(squares / total);
  return out;
}

}  // namespace vel
