#pragma once
// How far to trust a sheet's strand direction, from what a run has without
// any reference: the map, the threshold, the shape estimate repeated at
// nearby thresholds, smoothings and rules, the fit's own figures, and the
// core's candidates. The result stands beside the analysis and changes none
// of its output.

#include <string>
#include <utility>
#include <vector>

#include "velmorantique/geometry.h"
#include "velmorantique/shape.h"

namespace vel {

// What the run knows besides the map and the threshold.
struct RunEvidence {
  double resolution = NAN;                   // Å, when the case's meta.json gives it
  std::vector<Vectors> candidateDirections;  // the core's top candidates, best first, map frame
  double fittingError = NAN;                 // the core's surface fit
};

struct Confidence {
  std::string level = "low";                             // "high", "medium" or "low"
  std::vector<std::pair<std::string, double>> signals;  // by name, in a fixed order; NAN when unknown
  std::vector<std::string> reasons;                      // in words, the weakest first
};

// The distance between neighbouring strands of a sheet, over which its twist
// is given.
constexpr double kStrandSpacing = 4.8;

struct ShapeReading {
  ShapeDirection direction;
  // Signed angle in degrees between neighbouring lines along the direction,
  // kStrandSpacing apart: natural sheets are negative, as for the reference.
  double twistDegrees = NAN;
  // The largest angle, in degrees, between the line of one surface fitted
  // over the whole slab (surfaceDirection) and the same surface's line at
  // thresholds 10 and 5 % either side (see thresholdChange), at half and one and a half times the
  // smoothing, and under the other rule (90 when one finds none).
  double thresholdSpread = NAN, smoothingSpread = NAN, ruleSpread = NAN;
  // At a threshold of 0 or below, where only the positive density is read:
  // the largest change the threshold repeats made, about 0 rather than the
  // threshold (readShape says how it is chosen). NAN when they were 5 and 10%
  // of the threshold itself.
  double thresholdChange = NAN;
  // Degrees between the patches' line and the whole sheet's one surface's.
  double patchOffset = NAN;
  // Degrees from the direction to the nearer of the slab's long and short
  // in-plane axes (0 to 45).
  double axisOffset = NAN;
  // 1 - smallest / largest in-plane eigenvalue of the density's gradients
  // (smoothed over 1 Å) over the whole slab: 0 for a round patch, towards 1
  // for density drawn out along one line of the plane.
  double inPlaneAnisotropy = NAN;
};

// The shape direction and twist, and how far the estimate moves when it is
// repeated. Unusable input gives a reading whose direction is not found.
ShapeReading readShape(const DensityGrid& grid, double threshold, const ShapeOptions& options = ShapeOptions());

// The verdict on a reading, given what else the run knows.
Confidence judgeConfidence(const ShapeReading& reading, const RunEvidence& evidence);

// The twist between neighbouring lines kStrandSpacing apart of a surface that
// turns at `twistRate` per Å the natural way, in the reference's convention.
double twistDegrees(double twistRate);

}  // namespace vel
