// The twist of a sheet as its strands record it: the signed angle between the
// axes of neighbouring strands, by the same convention as the run summary.
#include "velmorantique/compare.h"
#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

PointList coordinates(const std::vector<Point>& points) {
  PointList list;
  for (const Point& p : points) list.push_back(Coordinate(p[0], p[1], p[2]));
  return list;
}

}  // namespace

std::vector<double> interStrandAngles(const std::vector<std::vector<Point>>& strandCAs) {
  std::vector<double> angles;
  for (size_t s = 0; s + 1 < strandCAs.size(); ++s)
    angles.push_back(interStrandAngle(strandAxis(coordinates(strandCAs[s])), strandAxis(coordinates(strandCAs[s + 1]))));
  return angles;
}

}  // namespace prepare
}  // namespace vel
