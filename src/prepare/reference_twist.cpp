// The twist of a sheet as its strands record it: the signed angle between the
// axes of neighbouring strands. Natural sheets give negative angles (left-handed
// when viewed across the strands).
#include <gemmi/eig3.hpp>

#include <cmath>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

constexpr double kPi = 3.141592653589793;

struct Axis {
  gemmi::Vec3 centre, direction;
};

// The principal axis of the C-alphas (the direction of their largest spread),
// pointing from the strand's N end to its C end.
Axis strandAxis(const std::vector<Point>& cas) {
  Axis axis;
  if (cas.size() < 2) return axis;
  for (const Point& p : cas) axis.centre += gemmi::Vec3(p[0], p[1], p[2]);
  axis.centre /= static_cast<double>(cas.size());
  gemmi::SMat33<double> scatter{0, 0, 0, 0, 0, 0};
  for (const Point& p : cas) {
    const gemmi::Vec3 d = gemmi::Vec3(p[0], p[1], p[2]) - axis.centre;
    scatter.u11 += d.x * d.x;
    scatter.u22 += d.y * d.y;
    scatter.u33 += d.z * d.z;
    scatter.u12 += d.x * d.y;
    scatter.u13 += d.x * d.z;
    scatter.u23 += d.y * d.z;
  }
  double values[3];
  const gemmi::Mat33 vectors = gemmi::eigen_decomposition(scatter, values);
  int largest = 0;
  for (int i = 1; i < 3; ++i)
    if (values[i] > values[largest]) largest = i;
  axis.direction = vectors.column_copy(largest).normalized();
  const gemmi::Vec3 run = gemmi::Vec3(cas.back()[0], cas.back()[1], cas.back()[2]) -
                          gemmi::Vec3(cas.front()[0], cas.front()[1], cas.front()[2]);
  if (axis.direction.dot(run) < 0) axis.direction = -axis.direction;
  return axis;
}

}  // namespace

std::vector<double> interStrandAngles(const std::vector<std::vector<Point>>& strandCAs) {
  std::vector<double> angles;
  for (size_t s = 0; s + 1 < strandCAs.size(); ++s) {
    const Axis a = strandAxis(strandCAs[s]), b = strandAxis(strandCAs[s + 1]);
    const gemmi::Vec3 u1 = a.direction;
    gemmi::Vec3 u2 = b.direction;
    if (u1.dot(u2) < 0) u2 = -u2;
    gemmi::Vec3 link = b.centre - a.centre;
    link -= u1 * link.dot(u1);
    const gemmi::Vec3 k = link.normalized();
    angles.push_back(std::atan2(u1.cross(u2).dot(k), u1.dot(u2)) * 180 / kPi);
  }
  return angles;
}

}  // namespace prepare
}  // namespace vel
