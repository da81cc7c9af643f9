#include <cmath>
#include <sstream>

#include "driver/run.h"

bool Alignment::turns() const { return std::fabs(theta) > 0.0001; }

void translatePoints(PointList& points, Vectors v) {
  for (Coordinate& p : points) p = Coordinate(p.x + v.x, p.y + v.y, p.z + v.z);
}

static void turnAboutAxis(PointList& points, Coordinate centre, Vectors axis, double angle) {
  RotationMatrix m;
  Coordinate axisEnd(centre.x + axis.x, centre.y + axis.y, centre.z + axis.z);
  buildRotationMatrix(m, centre, axisEnd, angle);
  for (Coordinate& p : points) rotatePoint(m, p);
}

void Alignment::toAlignedFrame(PointList& points) const {
  translatePoints(points, Vectors(sheetCentre, mapCentre));
  if (turns()) turnAboutAxis(points, mapCentre, alignAxis, theta);
}

void Alignment::turnBack(PointList& points) const {
  if (turns()) turnAboutAxis(points, mapCentre, alignAxis, -theta);
}

Vectors Alignment::shiftBack() const { return Vectors(mapCentre, sheetCentre); }

std::string translationText(int t) { return std::to_string(t); }
std::string angleText(int o) { return std::to_string(10 * o); }
