#include <algorithm>
#include <cmath>

#include "velmorantique/shape.h"

namespace vel {

double axisAngleDegrees(Vectors a, Vectors b) {
  const double la = a.length(), lb = b.length();
  if (!(la > 0) || !(lb > 0) || !std::isfinite(la) || !std::isfinite(lb)) return std::nan("");
  // A strand axis and its reverse are the same line: fold onto 0..90 degrees.
  const double c = std::min(1.0, std::fabs(a.dot(b)) / (la * lb));
  return std::acos(c) * (180.0 / kPi);
}

Vectors meanLineDirection(const std::vector<Vectors>& directions) {
  double sum[3][3] = {{0}};
  bool any = false;
  for (const Vectors& d : directions) {
    const double len = d.length();
    if (!(len > 0) || !std::isfinite(len)) continue;
    const double a[3] = {d.x / len, d.y / len, d.z / len};
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 3; ++c) sum[r][c] += a[r] * a[c];
    any = true;
  }
  if (!any) return Vectors();
  return eigenSymmetric3(sum).vectors[2];
}

}  // namespace vel
