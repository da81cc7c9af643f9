#include <cmath>

#include "velmorantique/geometry.h"

namespace vel {

PointList flatten(const StrandSet& strands) {
  PointList all;
  for (const PointList& s : strands) all.insert(all.end(), s.begin(), s.end());
  return all;
}

Coordinate triangleCenter(Coordinate p1, Coordinate p2, Coordinate p3) {
  return Coordinate((p1.x + p2.x + p3.x) / 3, (p1.y + p2.y + p3.y) / 3, (p1.z + p2.z + p3.z) / 3);
}

Coordinate pointOnLine(Coordinate a, Coordinate b, double d) {
  Vectors v(a, b);
  double k = d / v.length();
  return Coordinate(a.x + v.x * k, a.y + v.y * k, a.z + v.z * k);
}

double getAngleDegree(Coordinate p1, Coordinate p2, Coordinate p3) {
  return Vectors(p1, p2).getAngleDegree(Vectors(p3, p2));
}

double getDistPlanePoint(Coordinate p1, Coordinate p2, Coordinate p3, Coordinate q) {
  Vectors n = Vectors(p1, p2).cross(Vectors(p2, p3));
  double num = n.x * (q.x - p2.x) + n.y * (q.y - p2.y) + n.z * (q.z - p2.z);
  return std::fabs(num) / std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
}

}  // namespace vel
