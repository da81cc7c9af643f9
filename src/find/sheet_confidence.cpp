// Whether a kept segment is a sheet at all. The finder keeps every segment
// that could be one; on simulated maps of known proteins about one kept
// segment in six lies near no sheet. Such segments are as plate-like and
// often as large as real sheets, but their voxels look less like sheet to
// the classifier, and their backbone bends less.

#include <cstdio>

#include "velmorantique/find.h"

namespace vel::find {

namespace {

// Limits chosen on the tuning half of the finder's benchmark
// (bench/find_accuracy --cases, simulated maps at 6, 8 and 10 Å): below
// either low limit a segment is `low`, which took in 94% of the segments
// there that were not sheets (92% or more in 19 of 20 resamplings of the
// proteins), and also 84% of the real sheets: most real sheets look no
// different from the segments that are not.
constexpr double kLowProbability = 0.56;
// Å: a real sheet's backbone curls and twists away from the one smooth
// surface fitted to it; the small flat pieces that are not sheets mostly
// lie closer to theirs.
constexpr double kLowResidual = 1.4;
// Not low, and at or above this, `high` (95% of such segments were sheets,
// against 90% of the `medium` ones).
constexpr double kHighProbability = 0.59;

std::string figure(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

SheetConfidence judgeSheetConfidence(const SegmentShape& shape) {
  SheetConfidence c;
  const std::string probability = figure("%.2f", shape.sheetProbability);
  const std::string residual = figure("%.2f", shape.fitResidual);
  if (!(shape.sheetProbability >= kLowProbability))
    c.reasons.push_back("its voxels' sheet probability (" + probability + ") is below " +
                        figure("%.2f", kLowProbability) + ", where most segments that are not sheets lie");
  if (!(shape.fitResidual >= kLowResidual))
    c.reasons.push_back("its backbone lies as close to one smooth surface (" + residual + " \u00c5 rms, under " +
                        figure("%.1f", kLowResidual) + " \u00c5) as the flat pieces that are not sheets mostly do");
  if (!c.reasons.empty()) {
    c.level = "low";
    return c;
  }
  const bool clear = shape.sheetProbability >= kHighProbability;
  c.level = clear ? "high" : "medium";
  c.reasons.push_back("its sheet probability (" + probability + ") and its backbone's curl and twist (" + residual +
                      " \u00c5 rms from one smooth surface) are those of a sheet" +
                      (clear ? "" : ", near the limit where segments that are not sheets also lie"));
  return c;
}

}  // namespace vel::find
