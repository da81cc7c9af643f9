#include <cmath>

#include "velmorantique/geometry.h"

namespace vel {

// The axis is not normalised first: dividing every entry by L^2 (and scaling
// the sine terms by L) does it, so points on the axis stay fixed.
void buildRotationMatrix(RotationMatrix m, Coordinate p1, Coordinate p2, double theta) {
  double a = p1.x, b = p1.y, c = p1.z;
  double u = p2.x - a, v = p2.y - b, w = p2.z - c;
  double u2 = u * u, v2 = v * v, w2 = w * w;
  double l2 = u2 + v2 + w2;
  double l = std::sqrt(l2);
  double cs = std::cos(theta), sn = std::sin(theta);

  m[0][0] = (u2 + (v2 + w2) * cs) / l2;
  m[0][1] = (u * v * (1 - cs) + w * l * sn) / l2;
  m[0][2] = (u * w * (1 - cs) - v * l * sn) / l2;
  m[0][3] = 0.0;

  m[1][0] = (u * v * (1 - cs) - w * l * sn) / l2;
  m[1][1] = (v2 + (u2 + w2) * cs) / l2;
  m[1][2] = (v * w * (1 - cs) + u * l * sn) / l2;
  m[1][3] = 0.0;

  m[2][0] = (u * w * (1 - cs) + v * l * sn) / l2;
  m[2][1] = (v * w * (1 - cs) - u * l * sn) / l2;
  m[2][2] = (w2 + (u2 + v2) * cs) / l2;
  m[2][3] = 0.0;

  m[3][0] = ((a * (v2 + w2) - u * (b * v + c * w)) * (1 - cs) + (b * w - c * v) * l * sn) / l2;
  m[3][1] = ((b * (u2 + w2) - v * (a * u + c * w)) * (1 - cs) + (c * u - a * w) * l * sn) / l2;
  m[3][2] = ((c * (u2 + v2) - w * (a * u + b * v)) * (1 - cs) + (a * v - b * u) * l * sn) / l2;
  m[3][3] = 1.0;
}

void rotatePoint(const RotationMatrix m, Coordinate& p) {
  const double row[4] = {p.x, p.y, p.z, 1.0};
  double out[4] = {0.0, 0.0, 0.0, 0.0};
  for (int i = 0; i < 4; ++i)
    for (int k = 0; k < 4; ++k) out[i] += row[k] * m[k][i];
  p = Coordinate(out[0], out[1], out[2]);
}

}  // namespace vel
