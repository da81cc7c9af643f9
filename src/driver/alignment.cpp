#include <cmath>
#include <sstream>
#include <utility>

#include "driver/run.h"

namespace vel {

bool Alignment::turns() const { return std::fabs(theta) > 0.0001; }

PointList translatePoints(PointList points, Vectors v) {
  for (Coordinate& p : points) p = Coordinate(p.x + v.x, p.y + v.y, p.z + v.z);
  return points;
}

static void turnAboutAxis(PointList& points, Coordinate centre, Vectors axis, double angle) {
  RotationMatrix m;
  Coordinate axisEnd(centre.x + axis.x, centre.y + axis.y, centre.z + axis.z);
  buildRotationMatrix(m, centre, axisEnd, angle);
  for (Coordinate& p : points) rotatePoint(m, p);
}

PointList Alignment::toAlignedFrame(PointList points) const {
  points = translatePoints(std::move(points), Vectors(sheetCentre, mapCentre));
  if (turns()) turnAboutAxis(points, mapCentre, alignAxis, theta);
  return points;
}

PointList Alignment::turnBack(PointList points) const {
  if (turns()) turnAboutAxis(points, mapCentre, alignAxis, -theta);
  return points;
}

PointList Alignment::toMapFrame(PointList points) const {
  return translatePoints(turnBack(std::move(points)), shiftBack());
}

Vectors Alignment::shiftBack() const { return Vectors(mapCentre, sheetCentre); }

std::string translationText(int t) { return std::to_string(t); }
std::string angleText(int o) { return std::to_string(10 * o); }
std::string setName(Candidate c) { return "trans_" + translationText(c.first) + "_orient_" + angleText(c.second); }

}  // namespace vel
