// A region the user chose elsewhere (a box, a sphere, or a mask drawn in
// another program) cut out as one case, with the density at or above the
// level inside it.
#include <cmath>
#include <sstream>

#include "find_parts.h"

namespace vel {
namespace find {

namespace {

// The mask's value at a map-frame point: its nearest voxel, 0 outside it.
double maskValue(const DensityBox& mask, const Point& p) {
  int idx[3];
  for (int d = 0; d < 3; ++d) {
    const double at = std::round((p[d] - mask.origin[d]) / mask.voxel[d]);
    if (!(at >= 0 && at < mask.n[d])) return 0;
    idx[d] = static_cast<int>(at);
  }
  return mask.values[mask.index(idx[0], idx[1], idx[2])];
}

std::string regionText(const GuidedCut& cut) {
  std::ostringstream s;
  switch (cut.kind) {
    case GuidedCut::Kind::Box:
      s << "the box (" << cut.lo[0] << ", " << cut.lo[1] << ", " << cut.lo[2] << ") - (" << cut.hi[0] << ", "
        << cut.hi[1] << ", " << cut.hi[2] << ")";
      break;
    case GuidedCut::Kind::Sphere:
      s << "the sphere of radius " << cut.radius << " A around (" << cut.centre[0] << ", " << cut.centre[1] << ", "
        << cut.centre[2] << ")";
      break;
    case GuidedCut::Kind::Mask:
      s << "the mask " << cut.maskPath;
      break;
    case GuidedCut::Kind::None:
      break;
  }
  return s.str();
}

}  // namespace

Segment guidedRegion(const DensityBox& box, const std::vector<char>& inDensity, const GuidedCut& cut,
                     std::ostream& notes) {
  DensityBox mask;
  if (cut.kind == GuidedCut::Kind::Mask) mask = readWholeMap(cut.maskPath, notes);
  Segment seg;
  seg.id = 1;
  seg.method = cut.kind == GuidedCut::Kind::Box ? "box" : cut.kind == GuidedCut::Kind::Sphere ? "sphere" : "mask";
  for (size_t at = 0; at < box.values.size(); ++at) {
    if (!inDensity[at]) continue;
    const Point p = voxelPoint(box, at);
    bool inside = false;
    if (cut.kind == GuidedCut::Kind::Box) {
      inside = true;
      for (int d = 0; d < 3; ++d) inside = inside && p[d] >= cut.lo[d] && p[d] <= cut.hi[d];
    } else if (cut.kind == GuidedCut::Kind::Sphere) {
      double d2 = 0;
      for (int d = 0; d < 3; ++d) d2 += (p[d] - cut.centre[d]) * (p[d] - cut.centre[d]);
      inside = d2 <= cut.radius * cut.radius;
    } else {
      inside = maskValue(mask, p) > 0.5;
    }
    if (inside) seg.voxels.push_back(at);
  }
  if (seg.voxels.empty()) throw FindError("no voxel at or above the level lies inside " + regionText(cut));
  seg.kept = true;
  seg.reason = "cut by hand: " + regionText(cut);
  return seg;
}

}  // namespace find
}  // namespace vel
