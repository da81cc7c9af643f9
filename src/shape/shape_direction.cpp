// The strand direction from the sheet's shape. The slab (voxels at or above
// the threshold, weighted by how far above) is fitted by a quadric height
// field over its mean plane. A twisted sheet is a saddle; along its strands
// the surface does not bend, and neighbouring strands turn about the axis
// across them the natural way. So the strands run along the asymptotic
// direction (zero normal curvature) with positive twist.
//
// A real sheet curls and coils, so no one surface holds all its strands. By
// default the sheet is read patch by patch: each patch of the slab is fitted
// on its own, in its own plane, and the strand line is the line that agrees
// best with the patches' lines, as the strands' own mean line is taken.

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <tuple>
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
// A lattice cell with less than this share of the heaviest cell's slab
// weight holds the sheet's fringe, not a patch of it.
constexpr double kLeastPatch = 0.2;

bool isFlat(double p, double q, double r) {
  return std::fabs(p) < kFlatCurvature && std::fabs(q) < kFlatCurvature && std::fabs(r) < kFlatCurvature;
}

bool usableGrid(const DensityGrid& grid) {
  if (grid.nx < 1 || grid.ny < 1 || grid.nz < 1) return false;
  if (grid.values.size() != static_cast<size_t>(grid.nx) * grid.ny * grid.nz) return false;
  for (int a = 0; a < 3; ++a)
    if (!(grid.voxel[a] > 0) || !std::isfinite(grid.voxel[a]) || !std::isfinite(grid.origin[a])) return false;
  return true;
}

// Every slab voxel (inSlab), in grid order, with its map-frame position and
// its weight (value - threshold). Visited afresh by each pass rather than
// stored: a map's slab may be large.
template <class Visit>
void forEachSlabVoxel(const DensityGrid& grid, double threshold, Visit visit) {
  for (int k = 0; k < grid.nz; ++k)
    for (int j = 0; j < grid.ny; ++j)
      for (int i = 0; i < grid.nx; ++i) {
        const float rho = grid.at(i, j, k);
        if (!inSlab(rho, threshold)) continue;
        visit(Coordinate(grid.origin[0] + i * grid.voxel[0], grid.origin[1] + j * grid.voxel[1],
                         grid.origin[2] + k * grid.voxel[2]),
              rho - threshold);
      }
}

// A slab voxel kept in memory, for the patches that read it again and again.
struct SlabVoxel {
  Coordinate position;
  double weight;
};

// The in-plane component of v, unit, or a zero vector when too little is left.
Vectors inPlane(Vectors v, Vectors normal) {
  Vectors p = v;
  p += normal.mul(-v.dot(normal));
  const double len = p.length();
  if (!(len >= kLeastInPlane)) return Vectors();
  return p.mul(1.0 / len);
}

// Least squares z = a u^2 + b uv + c v^2 + d u + e v + f, weighted.
// `slab(visit)` calls visit(position, weight) for each slab voxel read.
template <class Slab>
bool fitHeights(const Slab& slab, Coordinate centre, Vectors e1, Vectors e2, Vectors n, double taper, double coef[6]) {
  double ata[36] = {0};
  for (int i = 0; i < 6; ++i) coef[i] = 0;
  slab([&](Coordinate position, double w) {
    const Vectors x(centre, position);
    if (taper > 0) w *= std::exp(-x.dot(x) / (2 * taper * taper));
    const double u = x.dot(e1), v = x.dot(e2), z = x.dot(n);
    const double phi[6] = {u * u, u * v, v * v, u, v, 1.0};
    for (int r = 0; r < 6; ++r) {
      const double wr = w * phi[r];
      coef[r] += wr * z;
      for (int c = r; c < 6; ++c) ata[r * 6 + c] += wr * phi[c];
    }
  });
  for (int r = 1; r < 6; ++r)
    for (int c = 0; c < r; ++c) ata[r * 6 + c] = ata[c * 6 + r];
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

// Sets the line `theta` radians from the long axis in the plane, with the
// twist and bends of the fitted surface along it.
void setLine(ShapeDirection& d, double theta) {
  if (theta < 0) theta += kPi;  // the same line, reported within 0 to 180 degrees
  const Vectors e2 = d.normal.cross(d.longAxis).unit();
  Vectors v = d.longAxis.mul(std::cos(theta));
  v += e2.mul(std::sin(theta));
  d.direction = v.unit();
  d.theta_deg = theta * 180.0 / kPi;
  const double p = d.bendCoefficients[0], q = d.bendCoefficients[1], r = d.bendCoefficients[2];
  d.twistRate = twist(p, q, r, theta);
  d.bendAlong = bend(p, q, r, theta);
  d.bendAcross = bend(p, q, r, theta + kPi / 2);
}

// One surface fitted to the slab voxels `slab` visits, and the line the rule
// takes on it; the normal is read from the whole grid around the slab's
// centre.
// A patch needs only its line: `patch` skips the residual.
template <class Slab>
ShapeDirection readSurface(const DensityGrid& grid, double threshold, const ShapeOptions& options,
                           const std::vector<double>* smoothed, const Slab& slab, bool patch = false) {
  ShapeDirection out;
  out.method = "none";
  double total = 0, sum[3] = {0, 0, 0};
  long long voxels = 0;
  slab([&](Coordinate position, double w) {
    ++voxels;
    total += w;
    sum[0] += w * position.x;
    sum[1] += w * position.y;
    sum[2] += w * position.z;
  });
  if (!(total > 0) || !std::isfinite(total)) return out;
  const Coordinate centre(sum[0] / total, sum[1] / total, sum[2] / total);

  double cov[3][3] = {{0}};
  slab([&](Coordinate position, double w) {
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
  if (!fitHeights(slab, centre, e1, e2, normal, options.fitTaper, coef)) return out;
  const double p = 2 * coef[0], q = coef[1], r = 2 * coef[2];

  const bool flat = isFlat(p, q, r);
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
  const double theta = lineOf(options.rule, out.method);
  const double other = lineOf(
      options.rule == StrandRule::GreatestTwist ? StrandRule::NaturalAsymptote : StrandRule::GreatestTwist, otherMethod);
  Vectors o = e1.mul(std::cos(other));
  o += e2.mul(std::sin(other));
  out.otherRuleDirection = o.unit();

  out.found = true;
  out.normal = normal;
  out.longAxis = e1;
  setLine(out, theta);
  out.bendCoefficients[0] = p;
  out.bendCoefficients[1] = q;
  out.bendCoefficients[2] = r;
  out.voxels = voxels;
  out.centre = centre;
  for (int a = 0; a < 3; ++a) out.spread[a] = std::sqrt(std::max(0.0, shape.values[a]));
  if (patch) return out;
  double squares = 0;
  slab([&](Coordinate position, double w) {
    const Vectors x(centre, position);
    const double u = x.dot(e1), v = x.dot(e2), z = x.dot(normal);
    const double dz = z - (coef[0] * u * u + coef[1] * u * v + coef[2] * v * v + coef[3] * u + coef[4] * v + coef[5]);
    squares += w * dz * dz;
  });
  out.residualRms = std::sqrt(squares / total);
  return out;
}

// The line that agrees best with the patches' own lines: each patch is the
// slab within options.patchHalfWidth (along each axis) of the weighted
// centre of its cell of a lattice options.patchSpacing apart about the
// sheet's middle (the whole slab's weighted centre), read as a sheet of its
// own and counted by its cell's slab weight, tapered with its distance from
// that middle. Cells with under a fifth of the heaviest cell's
// weight hold the sheet's fringe and are left out, as are patches too flat to
// say. A zero line when no patch says anything.
struct PatchLine {
  Vectors line;            // zero when no patch says anything
  double agreement = NAN;  // the share of the patches' weighted scatter along the line
  int patches = 0;
};
PatchLine patchLine(const DensityGrid& grid, double threshold, const ShapeOptions& options,
                    const std::vector<double>* smoothed, Coordinate middle) {
  using Key = std::tuple<int, int, int>;
  struct Cell {
    double sum[3] = {0, 0, 0}, weight = 0;
    std::vector<SlabVoxel> voxels;
  };
  const double step = options.patchSpacing, half = options.patchHalfWidth;
  // The lattice is the sheet's own: a cell centred on its weighted middle,
  // so that the patches stay where they are on the sheet however the map's
  // box is cut, padded or placed.
  // Clamped, so that no voxel size however absurd overflows a cell's index.
  auto index = [step](double x) {
    return static_cast<int>(std::max(-1e9, std::min(1e9, std::floor(x / step + 0.5))));
  };
  std::map<Key, Cell> cells;  // ordered, so that every run adds alike
  forEachSlabVoxel(grid, threshold, [&](Coordinate x, double w) {
    Cell& c = cells[Key(index(x.x - middle.x), index(x.y - middle.y), index(x.z - middle.z))];
    c.sum[0] += w * x.x;
    c.sum[1] += w * x.y;
    c.sum[2] += w * x.z;
    c.weight += w;
    c.voxels.push_back({x, w});
  });
  double heaviest = 0;
  for (const auto& entry : cells) heaviest = std::max(heaviest, entry.second.weight);
  ShapeOptions one = options;
  one.patchSpacing = 0;
  double m[3][3] = {{0}};
  PatchLine out;
  std::vector<SlabVoxel> patch;
  for (const auto& entry : cells) {
    const Cell& c = entry.second;
    if (!(c.weight >= kLeastPatch * heaviest) || !(c.weight > 0)) continue;
    const Coordinate centre(c.sum[0] / c.weight, c.sum[1] / c.weight, c.sum[2] / c.weight);
    patch.clear();
    // The cells the patch's reach touches, by their lattice indices.
    const Vectors from(middle, centre);
    const int x0 = index(from.x - half), x1 = index(from.x + half), y0 = index(from.y - half),
              y1 = index(from.y + half), z0 = index(from.z - half), z1 = index(from.z + half);
    for (auto it = cells.lower_bound(Key(x0, INT_MIN, INT_MIN)); it != cells.end() && std::get<0>(it->first) <= x1;
         ++it) {
      const Key& k = it->first;
      if (std::get<1>(k) < y0 || std::get<1>(k) > y1 || std::get<2>(k) < z0 || std::get<2>(k) > z1) continue;
      for (const SlabVoxel& v : it->second.voxels)
        if (std::fabs(v.position.x - centre.x) <= half && std::fabs(v.position.y - centre.y) <= half &&
            std::fabs(v.position.z - centre.z) <= half)
          patch.push_back(v);
    }
    const ShapeDirection d = readSurface(grid, threshold, one, smoothed, [&](auto visit) {
      for (const SlabVoxel& v : patch) visit(v.position, v.weight);
    }, true);
    if (!d.found || d.method == "fallback") continue;
    const double v[3] = {d.direction.x, d.direction.y, d.direction.z};
    double weight = c.weight;
    if (options.patchTaper > 0) {
      const Vectors off(middle, centre);
      weight *= std::exp(-off.dot(off) / (2 * options.patchTaper * options.patchTaper));
    }
    for (int r = 0; r < 3; ++r)
      for (int k = 0; k < 3; ++k) m[r][k] += weight * v[r] * v[k];
    ++out.patches;
  }
  if (out.patches == 0) return out;
  const SymmetricEigen3 e = eigenSymmetric3(m);
  out.line = e.vectors[2];
  out.agreement = e.values[2] / (e.values[0] + e.values[1] + e.values[2]);
  return out;
}

}  // namespace

ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold, const ShapeOptions& options) {
  // The patches read the normal at many centres: smoothing the grid once
  // costs less than smoothing a box around each (the same values either way).
  if (options.patchSpacing > 0 && options.patchHalfWidth > 0 && usableGrid(grid)) {
    const std::vector<double> smoothed = smoothedGrid(grid, options.smoothingSigma, options.truncation);
    if (!smoothed.empty()) return estimateShapeDirection(grid, threshold, options, &smoothed);
  }
  return estimateShapeDirection(grid, threshold, options, nullptr);
}

ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold, const ShapeOptions& options,
                                      const std::vector<double>* smoothed) {
  if (!usableGrid(grid) || !std::isfinite(threshold)) {
    ShapeDirection none;
    none.method = "none";
    return none;
  }
  ShapeDirection out = readSurface(grid, threshold, options, smoothed,
                                   [&](auto visit) { forEachSlabVoxel(grid, threshold, visit); });
  out.surfaceDirection = out.direction;
  if (!out.found || !(options.patchSpacing > 0) || !(options.patchHalfWidth > 0)) return out;
  // A flat sheet has no twist anywhere: its patches would read only the
  // bends of its outline.
  if (isFlat(out.bendCoefficients[0], out.bendCoefficients[1], out.bendCoefficients[2])) return out;
  const PatchLine patches = patchLine(grid, threshold, options, smoothed, out.centre);
  out.patches = patches.patches;
  out.patchAgreement = patches.agreement;
  const Vectors line = patches.line;
  if (line.length() == 0) return out;
  // The twist and bends stay those of the whole sheet's surface, read along
  // the patches' line as it lies in the sheet's plane.
  const Vectors e2 = out.normal.cross(out.longAxis).unit();
  setLine(out, std::atan2(line.dot(e2), line.dot(out.longAxis)));
  out.direction = line.unit();
  return out;
}

}  // namespace vel
