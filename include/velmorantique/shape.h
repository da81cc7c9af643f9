#pragma once
// The strand direction read from a sheet's shape alone: a twisted sheet is a
// saddle, and its strands run along the asymptotic direction whose
// neighbouring lines twist the natural (right-handed along the strands) way.
// Only the map and the threshold are used, never a reference structure; the
// result stands beside the analysis and changes none of its output.

#include <cmath>
#include <string>
#include <vector>

#include "velmorantique/geometry.h"

namespace vel {

class Map;

// A density map as plain values: voxel (i, j, k) holds values[(k*ny + j)*nx + i]
// and lies at origin + (i*voxel[0], j*voxel[1], k*voxel[2]), the frame the
// analysis uses.
struct DensityGrid {
  int nx = 0, ny = 0, nz = 0;
  double voxel[3] = {1.0, 1.0, 1.0};
  double origin[3] = {0.0, 0.0, 0.0};
  std::vector<float> values;

  float at(int i, int j, int k) const {
    return values[(static_cast<size_t>(k) * ny + j) * nx + i];
  }
};

// The raw values of a map as read (before any thresholding).
DensityGrid densityGridFromMap(const Map& map);

struct ShapeDirection {
  bool found = false;
  Vectors direction;      // unit, map frame; its sign carries no meaning
  Vectors normal;         // unit normal of the sheet's mean plane
  Vectors longAxis;       // unit, in that plane: the slab's long axis, from which theta is measured
  // Angle of the direction from the sheet's long in-plane axis, 0 to 180; read
  // patch by patch, the direction may leave the plane, and this is the angle
  // of its shadow in it.
  double theta_deg = 0;
  // "saddle" (a natural asymptotic direction), "greatest_twist", "fallback"
  // (no saddle, or a flat slab), or "none" when nothing was found.
  std::string method;
  double bendCoefficients[3] = {0, 0, 0};  // p, q, r: second derivatives of the height fit, per Å
  // Along the direction: how fast neighbouring lines turn about the axis
  // across it (per Å, positive the natural way) and how much the surface
  // bends (per Å).
  double twistRate = 0, bendAlong = 0, bendAcross = 0;
  double residualRms = 0;    // Å: weighted RMS height of the slab about the fitted surface
  double spread[3] = {0, 0, 0};  // Å: the slab's weighted standard deviations along its principal axes, ascending
  long long voxels = 0;      // voxels at or above the threshold
  Coordinate centre;         // the slab's weighted centre, map frame
  Vectors otherRuleDirection;  // the line the other StrandRule takes from the same fit
  // The line of one surface fitted over the whole slab: the direction itself
  // unless the sheet was read patch by patch.
  Vectors surfaceDirection;
  int patches = 0;  // patches that said where the strands run
  // The share of the patches' weighted scatter of lines along their common
  // line: 1 when they all agree, towards 1/3 when they point anywhere; NAN
  // when the sheet was not read by patches.
  double patchAgreement = NAN;
};

// Which line of the fitted surface the strands are taken to follow.
enum class StrandRule {
  // A saddle's asymptotic direction (no bend along it) whose neighbouring
  // lines twist the natural way; the direction of greatest natural twist
  // when the surface is no saddle.
  NaturalAsymptote,
  // Always the direction of greatest natural twist. On a pure helicoid the
  // two agree; on a sheet whose strands are also coiled along their length it
  // errs half as much. Measured the better on simulated sheets, clean,
  // low-passed and noisy (bench/shape_accuracy).
  GreatestTwist,
};

struct ShapeOptions {
  StrandRule rule = StrandRule::GreatestTwist;
  double smoothingSigma = 2.0;  // Å, Gaussian smoothing before the gradient
  double truncation = 4.0;      // the smoothing kernel ends at this many sigmas
  // Å: slab voxels this near the centroid set the normal. Real sheets curve
  // and coil, so the plane that holds their strands is the one at the middle:
  // on the tuning half of real sheets a radius of 3 Å put the mean strand
  // line nearer the plane (median 10° out of it, against 12° at 10 Å) and
  // brought the direction within 20° on 47% of the sheets, against 38%.
  double normalRadius = 3.0;
  double stepDegrees = 0.25;    // the sweep over in-plane directions for the asymptote
  // Å: when above 0, each voxel's weight in the height fit is tapered by a
  // Gaussian of this width about the centre, so the fit reads the sheet's
  // middle rather than its outline.
  double fitTaper = 0;
  // Å: the sheet read patch by patch (lattice spacing, and each patch's reach
  // from its centre along each axis); 0 reads one surface over the whole
  // slab. A curved sheet's strands do not all lie along one line of one
  // surface: on the tuning half of real sheets patches of 8 Å on a 4 Å lattice
  // brought the direction within 20 degrees on 53% of the cases, against 47%
  // for one surface, every copy gaining (spacings of 4-5 Å and reaches of
  // 8-13 Å all gave 52-54%).
  double patchSpacing = 4.0;
  double patchHalfWidth = 8.0;
  // Å: each patch counts less with its distance from the sheet's middle, by a
  // Gaussian of this width (0: all alike). A strongly twisted wide sheet
  // turns its strands by 90 degrees and more from edge to edge, and its edges
  // would outvote the middle; on real sheets 12 Å costs a point against none
  // (6 Å: three).
  double patchTaper = 12.0;
};

ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold,
                                      const ShapeOptions& options = ShapeOptions());

// Angle in degrees, 0 to 90, between two undirected lines (a strand
// direction's sign carries no meaning); not-a-number when either is zero or
// not finite.
double axisAngleDegrees(Vectors a, Vectors b);

// The line that agrees best with a set of lines (strand axes, say): the
// largest eigenvector of the sum of d d^T over the unit directions. Unlike
// turning each to agree with the first and adding, it does not count a strand
// backwards when the sheet twists by more than 90 degrees from edge to edge.
// A zero vector when no direction is usable.
Vectors meanLineDirection(const std::vector<Vectors>& directions);

// Eigenvalues of a symmetric 3 x 3 matrix in ascending order, with unit
// eigenvectors; Jacobi rotations, so the result depends only on the input.
struct SymmetricEigen3 {
  double values[3];
  Vectors vectors[3];
};
SymmetricEigen3 eigenSymmetric3(const double m[3][3]);

}  // namespace vel
