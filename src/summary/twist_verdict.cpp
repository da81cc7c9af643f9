// How far to trust the shape twist: the range the sheet's own twist lies in.

#include <cmath>
#include <cstdio>

#include "velmorantique/summary.h"

namespace vel {

namespace {

// The sheet's mean twist minus the shape twist, its 10th and 90th
// percentiles over the calibration's tuning cases in each class (bench/
// calibration: sheets cut from simulated maps at 6, 8 and 10 Å, clean,
// low-passed and noisy), so the range holds the sheet's twist four times in
// five. Under resampling of the tuning proteins each class's share inside
// stayed between 0.71 and 0.87.
struct TwistClass {
  const char* level;
  double below, above;
  const char* reason;
};
constexpr TwistClass kTrusted{"high", -14, 3, "the direction's verdict is high or medium"};
constexpr TwistClass kFitted{"medium", -25, 4, "the direction's verdict is low but the surface fits the slab closely"};
constexpr TwistClass kLoose{"low", -46, -1, "the direction's verdict is low and the surface fits the slab loosely"};

// Above this rms residual (Å) a low-level sheet's shape twist says no more
// about its own twist than the spread of sheets' twists does.
constexpr double kLooseFit = 2.0;

}  // namespace

TwistVerdict judgeTwist(double shapeTwist, const std::string& directionLevel, double residualRms) {
  TwistVerdict v;
  if (!std::isfinite(shapeTwist)) return v;
  const TwistClass& c = directionLevel == "high" || directionLevel == "medium" ? kTrusted
                        : std::isfinite(residualRms) && residualRms <= kLooseFit ? kFitted
                                                                                 : kLoose;
  v.level = c.level;
  v.from = shapeTwist + c.below;
  v.to = shapeTwist + c.above;
  v.reason = c.reason;
  return v;
}

TwistVerdict judgeTwist(const RunSummary& summary) {
  if (!summary.confidence) return judgeTwist(summary.shapeTwist, "", NAN);
  const auto& signals = summary.confidence->signals;
  const auto residual = signals.find("residual_rms_A");
  return judgeTwist(summary.shapeTwist, summary.confidence->level, residual == signals.end() ? NAN : residual->second);
}

}  // namespace vel
