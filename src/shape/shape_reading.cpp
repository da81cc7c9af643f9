// The shape estimate read together with how well it holds: repeated at
// nearby thresholds, smoothings and under the other rule, and set beside the
// fit's own figures and the core's candidates.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "shape/shape_parts.h"
#include "velmorantique/confidence.h"

namespace vel {

namespace {

constexpr double kDegrees = 180.0 / kPi;
// Å: gradients this near the centre count as the whole slab of one sheet.
constexpr double kWholeSlab = 40.0;
// Å: the smoothing of the gradients whose anisotropy is read.
constexpr double kAnisotropySigma = 1.0;

// The largest angle between the line of the whole sheet's one surface and
// those of the variants, each one surface read from its own smoothed grid (or
// none); 90 when a variant finds none. The patches' line is not repeated: it
// costs several times as much, and how well the one surface holds says how
// clearly the sheet's shape shows.
struct Variant {
  double threshold;
  ShapeOptions options;
  const std::vector<double>* smoothed;
};
double spread(const ShapeDirection& main, const DensityGrid& grid, const std::vector<Variant>& variants) {
  double worst = 0;
  for (const Variant& v : variants) {
    const ShapeDirection d = estimateShapeDirection(grid, v.threshold, v.options, v.smoothed);
    worst = std::max(worst, d.found ? axisAngleDegrees(main.surfaceDirection, d.direction) : 90.0);
  }
  return worst;
}

// The in-plane anisotropy of the gradients of the density smoothed over 1 Å,
// over the whole slab: edges and strands both leave their mark.
double inPlaneAnisotropy(const DensityGrid& grid, double threshold, const ShapeDirection& d,
                         const std::vector<double>* smoothed) {
  double t[3][3];
  if (!gradientTensor(grid, threshold, d.centre, kWholeSlab, kAnisotropySigma, 4.0, t, smoothed)) return NAN;
  const Vectors e1 = d.direction, e2 = d.normal.cross(d.direction).unit();
  auto form = [&](const Vectors& a, const Vectors& b) {
    const double av[3] = {a.x, a.y, a.z}, bv[3] = {b.x, b.y, b.z};
    double s = 0;
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) s += av[r] * t[r][c] * bv[c];
    return s;
  };
  const double a = form(e1, e1), b = form(e1, e2), c = form(e2, e2);
  const double root = std::sqrt(0.25 * (a - c) * (a - c) + b * b);
  const double largest = 0.5 * (a + c) + root, smallest = 0.5 * (a + c) - root;
  return largest > 0 ? 1 - smallest / largest : NAN;
}

// The thresholds the whole sheet's surface is repeated at, and at a threshold
// of 0 or below the largest change they make (NAN above 0). Above 0: 5 and 10%
// either side. At 0 or below the slab is bounded at 0 whatever the threshold,
// since only the positive density is read, and a tenth of a threshold near 0
// moves nothing: the repeats then move that bound by 5 and 10% of twice the
// positive density's mean. A map contoured to its sheet's volume has its level
// about there (the bundled examples at 2.1 and 2.0 times that mean), so the
// slab's edge moves about as far as 5 and 10% of such a level move it.
std::vector<double> repeatThresholds(const DensityGrid& grid, double threshold, double& change) {
  change = NAN;
  if (threshold > 0) return {threshold * 0.9, threshold * 0.95, threshold * 1.05, threshold * 1.1};
  double sum = 0;
  long long count = 0;
  for (float v : grid.values)
    if (inSlab(v, 0)) {
      sum += v;
      ++count;
    }
  const double level = count > 0 ? 2 * sum / static_cast<double>(count) : 0;
  change = 0.1 * level;
  return {-0.1 * level, -0.05 * level, 0.05 * level, 0.1 * level};
}

}  // namespace

// The normal turns by twistRate radians per Å across the lines, so lines
// kStrandSpacing apart differ by that many times over.
double twistDegrees(double twistRate) { return -kStrandSpacing * twistRate * kDegrees; }

ShapeReading readShape(const DensityGrid& grid, double threshold, const ShapeOptions& options) {
  ShapeReading out;
  // The smoothed grids that several estimates read are smoothed once: the
  // estimate's own (and its repeats at other thresholds), and the finer one
  // that the anisotropy reads too.
  const double fineSigma = options.smoothingSigma * 0.5;
  const std::vector<double> own = smoothedGrid(grid, options.smoothingSigma, options.truncation);
  out.direction = estimateShapeDirection(grid, threshold, options, &own);
  const ShapeDirection& d = out.direction;
  if (!d.found) return out;
  out.twistDegrees = twistDegrees(d.twistRate);
  const std::vector<double> fine = smoothedGrid(grid, fineSigma, options.truncation);
  ShapeOptions fineOptions = options, coarseOptions = options;
  fineOptions.smoothingSigma = fineSigma;
  coarseOptions.smoothingSigma = options.smoothingSigma * 1.5;
  ShapeOptions surface = options;
  surface.patchSpacing = 0;
  fineOptions.patchSpacing = coarseOptions.patchSpacing = 0;
  std::vector<Variant> thresholds;
  for (double t : repeatThresholds(grid, threshold, out.thresholdChange)) thresholds.push_back({t, surface, &own});
  out.thresholdSpread = spread(d, grid, thresholds);
  out.smoothingSpread = spread(d, grid, {{threshold, fineOptions, &fine}, {threshold, coarseOptions, nullptr}});
  out.ruleSpread = axisAngleDegrees(d.surfaceDirection, d.otherRuleDirection);
  out.patchOffset = axisAngleDegrees(d.direction, d.surfaceDirection);
  out.axisOffset = std::min({d.theta_deg, std::fabs(90 - d.theta_deg), 180 - d.theta_deg});
  const ShapeOptions anisotropy{};
  out.inPlaneAnisotropy =
      inPlaneAnisotropy(grid, threshold, d, fineSigma == kAnisotropySigma && options.truncation == anisotropy.truncation
                                                ? &fine
                                                : nullptr);
  return out;
}

namespace {

// The rule, calibrated on the tuning half of real sheets (bench/calibration,
// docs/verdict.md). A reading is low when the sheet's surface moves as the
// threshold or the smoothing does, when the sheet bends about as much as it
// twists (it curls about its strands, or closes on itself, and its saddle
// says little about where they run), or when it is small. It is high only
// for a large sheet whose patches agree with one another and with its whole
// surface, and whose strand line runs along or across its outline, as
// strands do in a sheet that is not skewed.
struct Limits {
  double smoothing, threshold, bendPerTwist;  // at most
  double length;                              // at least
  double patchOffset, axisOffset;             // at most
  double patchAgreement;                      // at least
};
constexpr Limits kHigh{20, 3, 0.7, 6.5, 30, 20, 0.6};
constexpr Limits kLow{20, 3, 0.7, 5, INFINITY, INFINITY, 0};  // beyond these (either way), low

// How much the surface bends along the direction for each unit it twists.
double bendPerTwist(const ShapeDirection& d) {
  const double twistRate = std::fabs(d.twistRate);
  return twistRate > 0 ? std::fabs(d.bendAlong) / twistRate : NAN;
}

std::string degrees(double v) {
  if (!std::isfinite(v)) return "an unknown angle";
  char s[32];
  std::snprintf(s, sizeof s, "%.0f\u00b0", v);
  return s;
}

// How far the threshold repeats moved it, in words: "10%", or at a threshold
// of 0 or below how far either side of 0 (thresholdChange).
std::string thresholdMove(const ShapeReading& r) {
  if (!std::isfinite(r.thresholdChange)) return "10%";
  char s[96];
  std::snprintf(s, sizeof s, "%.3g about 0 (a fifth of the positive density's mean)", r.thresholdChange);
  return s;
}

// What keeps the reading within `limits`, in words.
std::vector<std::string> shortfalls(const ShapeReading& r, const Limits& limits) {
  std::vector<std::string> out;
  if (!(r.smoothingSpread <= limits.smoothing))
    out.push_back("the sheet's surface turns its line by " + degrees(r.smoothingSpread) + " with the smoothing");
  if (!(r.thresholdSpread <= limits.threshold))
    out.push_back("the sheet's surface turns its line by " + degrees(r.thresholdSpread) +
                  " when the threshold changes by up to " + thresholdMove(r));
  const double bend = bendPerTwist(r.direction);
  if (!std::isfinite(bend)) {
    out.push_back("the sheet shows no twist to read the strands from");
  } else if (!(bend <= limits.bendPerTwist)) {
    char ratio[64];
    std::snprintf(ratio, sizeof ratio, "%.2f", bend);
    out.push_back(std::string("the sheet bends about as much as it twists (") + ratio +
                  " of its twist), where readings of real sheets were mostly wrong");
  }
  if (!(r.direction.spread[2] >= limits.length)) {
    char spread[96];
    std::snprintf(spread, sizeof spread, "the sheet is small: its long spread is %.1f \u00c5, under %g \u00c5",
                  r.direction.spread[2], limits.length);
    out.push_back(spread);
  }
  if (limits.patchAgreement > 0 && !(r.direction.patchAgreement >= limits.patchAgreement))
    out.push_back("the sheet's patches disagree on where the strands run");
  if (std::isfinite(limits.patchOffset) && !(r.patchOffset <= limits.patchOffset))
    out.push_back("the sheet's patches run " + degrees(r.patchOffset) + " away from its whole surface's line");
  if (std::isfinite(limits.axisOffset) && !(r.axisOffset <= limits.axisOffset))
    out.push_back("the strand line runs " + degrees(r.axisOffset) + " askew of the sheet's outline");
  return out;
}

void judge(const ShapeReading& r, Confidence& c) {
  c.reasons = shortfalls(r, kLow);
  if (!c.reasons.empty()) {
    c.level = "low";
    return;
  }
  c.reasons = shortfalls(r, kHigh);
  if (!c.reasons.empty()) {
    c.level = "medium";
    return;
  }
  c.level = "high";
  c.reasons = {"the sheet is large and its surface holds at thresholds " + thresholdMove(r) +
                   " either side and at other smoothings",
               "its patches agree with one another and with its whole surface",
               "the strand line runs along its outline"};
}

}  // namespace

Confidence judgeConfidence(const ShapeReading& reading, const RunEvidence& evidence) {
  Confidence c;
  const ShapeDirection& d = reading.direction;
  if (!d.found) {
    c.reasons.push_back("no direction could be read from the sheet's shape");
    return c;
  }
  double toCore = NAN, coreNear = NAN;
  if (!evidence.candidateDirections.empty()) {
    toCore = axisAngleDegrees(d.direction, evidence.candidateDirections.front());
    int near = 0;
    for (const Vectors& v : evidence.candidateDirections)
      if (axisAngleDegrees(d.direction, v) <= 20) ++near;
    coreNear = static_cast<double>(near) / evidence.candidateDirections.size();
  }
  const double twistRate = std::fabs(d.twistRate);
  c.signals = {{"threshold_spread_deg", reading.thresholdSpread},
               {"axis_offset_deg", reading.axisOffset},
               {"in_plane_anisotropy", reading.inPlaneAnisotropy},
               {"smoothing_spread_deg", reading.smoothingSpread},
               {"rule_spread_deg", reading.ruleSpread},
               {"patch_offset_deg", reading.patchOffset},
               {"patch_agreement", d.patchAgreement},
               {"shape_twist_deg", reading.twistDegrees},
               {"bend_along_per_twist", bendPerTwist(d)},
               {"bend_across_per_twist", twistRate > 0 ? std::fabs(d.bendAcross) / twistRate : NAN},
               {"residual_rms_A", d.residualRms},
               {"thickness_A", d.spread[0]},
               {"width_A", d.spread[1]},
               {"length_A", d.spread[2]},
               {"voxels", static_cast<double>(d.voxels)},
               {"resolution_A", evidence.resolution},
               {"fitting_error", evidence.fittingError},
               {"core_top_angle_deg", toCore},
               {"core_candidates_near", coreNear}};

  judge(reading, c);
  return c;
}

}  // namespace vel
