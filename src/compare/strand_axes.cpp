// The axes of reference strands and the twist between neighbouring ones: the
// convention the run summary, the prepared cases' meta.json and the shape
// direction's measurements share. A strand's axis is the principal axis of
// its C-alphas, pointing from N to C; the twist from one strand to the next
// is the signed angle between their axes, the second turned to point like the
// first, its sign that of (u1 x u2) along the link between their centres.
// Natural sheets give negative angles.

#include <cmath>

#include "velmorantique/compare.h"

namespace vel {

namespace {

constexpr double kDegrees = 180.0 / kPi;

// The largest principal axis of a small symmetric 3 x 3 matrix, by repeated
// multiplication from a start close to it.
Vectors principalAxis(const double m[3][3], Vectors start) {
  Vectors v = start.unit();
  for (int i = 0; i < 200; ++i) {
    Vectors w(m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
              m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z);
    if (!(w.length() > 0)) break;
    v = w.unit();
  }
  return v;
}

}  // namespace

StrandAxis strandAxis(const PointList& cas) {
  StrandAxis axis;
  const double n = static_cast<double>(cas.size());
  double cx = 0, cy = 0, cz = 0;
  for (const Coordinate& p : cas) {
    cx += p.x;
    cy += p.y;
    cz += p.z;
  }
  axis.centre = Coordinate(cx / n, cy / n, cz / n);
  double m[3][3] = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (const Coordinate& p : cas) {
    const double d[3] = {p.x - axis.centre.x, p.y - axis.centre.y, p.z - axis.centre.z};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] += d[i] * d[j];
  }
  const Vectors run = cas.empty() ? Vectors() : Vectors(cas.front(), cas.back());
  axis.direction = principalAxis(m, run.length() > 0 ? run : Vectors(1, 0, 0));
  if (axis.direction.dot(run) < 0) axis.direction = axis.direction.mul(-1);  // N to C
  if (!cas.empty()) {
    const Vectors& u = axis.direction;
    const double first = Vectors(axis.centre, cas.front()).dot(u), last = Vectors(axis.centre, cas.back()).dot(u);
    const Coordinate& c = axis.centre;
    axis.start = Coordinate(c.x + first * u.x, c.y + first * u.y, c.z + first * u.z);
    axis.end = Coordinate(c.x + last * u.x, c.y + last * u.y, c.z + last * u.z);
  }
  return axis;
}

double interStrandAngle(const StrandAxis& a, const StrandAxis& b) {
  const Vectors u1 = a.direction;
  const Vectors u2 = b.direction.dot(u1) < 0 ? b.direction.mul(-1) : b.direction;
  Vectors link(a.centre, b.centre);
  link += u1.mul(-link.dot(u1));
  const Vectors k = link.unit();
  return std::atan2(u1.cross(u2).dot(k), u1.dot(u2)) * kDegrees;
}

}  // namespace vel
