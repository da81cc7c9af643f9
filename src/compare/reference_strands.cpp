#include <cstddef>

#include "velmorantique/compare.h"

namespace vel {

PointList sampleStrandAxis(Coordinate first, const PointList& cas, Coordinate last, double& sampledLength) {
  PointList anchors{first};
  for (std::size_t j = 0; j + 2 < cas.size(); ++j) anchors.push_back(triangleCenter(cas[j], cas[j + 1], cas[j + 2]));
  anchors.push_back(last);

  PointList axis;
  for (std::size_t k = 0; k + 1 < anchors.size(); ++k) {
    const Coordinate& from = anchors[k];
    const Coordinate& to = anchors[k + 1];
    double length = Vectors(from, to).length();
    if (length > 0.1) {
      sampledLength += length;
      if (!(sampledLength <= kMaxAxisLength)) return axis;
      // The offset grows by repeated addition, so a 1 Å segment yields 11
      // points: ten additions of 0.1 fall just short of 1.
      for (double t = 0; t < length; t += 0.1) axis.push_back(pointOnLine(from, to, t));
    } else {
      axis.push_back(from);
    }
  }
  axis.push_back(last);
  return axis;
}

}  // namespace vel
