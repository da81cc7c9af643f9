#include <algorithm>
#include <cmath>

#include "velmorantique/shape.h"

double axisAngleDegrees(Vectors a, Vectors b) {
  const double la = a.length(), lb = b.length();
  if (!(la > 0) || !(lb > 0) || !std::isfinite(la) || !std::isfinite(lb)) return std::nan("");
  // A strand axis and its reverse are the same line: fold onto 0..90 degrees.
  const double c = std::min(1.0, std::fabs(a.dot(b)) / (la * lb));
  return std::acos(c) * 180.0 / kPi;
}
