// The grid the finder reads the density's shape on. A map at 6-10 Å holds
// nothing finer than about a quarter of its resolution, yet maps come on
// voxels of 1 Å or less. A classifier trained on a coarser grid (2 Å, say)
// reads every map on that grid, so that the work grows with the density's
// volume in Å^3 rather than with the map's voxels, and every map looks alike
// to it whatever its voxel size; the segments found there are carried back
// to the map's own voxels. A classifier trained on the maps' own voxels
// (spacing 0) reads the crop as it is.
#include <algorithm>
#include <cmath>

#include "find_parts.h"

namespace vel {
namespace find {

WorkingGrid workingGrid(const DensityBox& crop, const std::vector<char>& inDensity, double resolution, double spacing) {
  WorkingGrid w;
  bool finer = false;
  for (int d = 0; d < 3; ++d) finer = finer || crop.voxel[d] < spacing - 1e-6;
  if (!finer || crop.values.empty()) {
    w.box = crop;
    w.inDensity = inDensity;
    return w;
  }
  w.resampled = true;
  for (int d = 0; d < 3; ++d) {
    w.box.voxel[d] = std::max(crop.voxel[d], spacing);
    w.box.origin[d] = crop.origin[d];
    w.box.n[d] = static_cast<int>(std::floor((crop.n[d] - 1) * crop.voxel[d] / w.box.voxel[d] + 1e-9)) + 1;
  }
  // Sampling at the spacing keeps what the map holds when it is blurred by
  // at least half the spacing; a sharper map is blurred that far first.
  const std::vector<float>* values = &crop.values;
  std::vector<float> blurred;
  const double mapBlur = kMapBlurPerResolution * resolution, least = spacing / 2;
  if (mapBlur < least) {
    blurred = crop.values;
    for (float& v : blurred)
      if (!std::isfinite(v)) v = 0;
    gaussianSmooth(blurred, crop.n, crop.voxel, std::sqrt(least * least - mapBlur * mapBlur));
    values = &blurred;
  }
  const size_t total = static_cast<size_t>(w.box.n[0]) * w.box.n[1] * w.box.n[2];
  w.box.values.resize(total);
  w.inDensity.resize(total);
  // Per axis: each working plane's crop plane below it and the weight of the one above.
  std::array<std::vector<int>, 3> below;
  std::array<std::vector<float>, 3> upper;
  for (int d = 0; d < 3; ++d)
    for (int t = 0; t < w.box.n[d]; ++t) {
      const double f = t * w.box.voxel[d] / crop.voxel[d];
      const int lo = std::min(static_cast<int>(std::floor(f)), crop.n[d] - 1);
      below[d].push_back(lo);
      upper[d].push_back(lo + 1 < crop.n[d] ? static_cast<float>(f - lo) : 0.0f);
    }
  for (int k = 0; k < w.box.n[2]; ++k)
    for (int j = 0; j < w.box.n[1]; ++j)
      for (int i = 0; i < w.box.n[0]; ++i) {
        const int idx[3] = {i, j, k};
        double sum = 0;
        for (int corner = 0; corner < 8; ++corner) {
          double weight = 1;
          int at[3];
          for (int d = 0; d < 3; ++d) {
            const bool up = corner >> d & 1;
            const float u = upper[d][idx[d]];
            weight *= up ? u : 1 - u;
            at[d] = below[d][idx[d]] + (up && u > 0);
          }
          if (weight > 0) {
            const float v = (*values)[crop.index(at[0], at[1], at[2])];
            sum += weight * (std::isfinite(v) ? v : 0.0f);
          }
        }
        const size_t here = w.box.index(i, j, k);
        w.box.values[here] = static_cast<float>(sum);
        w.inDensity[here] = inDensity[nearestVoxel(crop, voxelPoint(w.box, here))];
      }
  return w;
}

size_t nearestVoxel(const DensityBox& box, const Point& p) {
  int idx[3];
  for (int d = 0; d < 3; ++d)
    idx[d] = std::clamp(static_cast<int>(std::lround((p[d] - box.origin[d]) / box.voxel[d])), 0, box.n[d] - 1);
  return box.index(idx[0], idx[1], idx[2]);
}

void toCropGrid(std::vector<Segment>& segments, const WorkingGrid& w, const DensityBox& crop) {
  if (!w.resampled) return;
  // A crop voxel joins the segment of its nearest working voxel: as part of
  // a kept case, and as part of a segment's core.
  const size_t total = w.box.values.size();
  std::vector<int> caseOf(total, -1), coreOf(total, -1);
  for (size_t s = 0; s < segments.size(); ++s) {
    for (size_t at : segments[s].core) coreOf[at] = static_cast<int>(s);
    if (segments[s].kept)
      for (size_t at : segments[s].voxels) caseOf[at] = static_cast<int>(s);
  }
  for (Segment& s : segments) {
    s.core.clear();
    s.voxels.clear();
  }
  std::array<std::vector<int>, 3> nearest;  // per axis: the working plane nearest each crop plane
  for (int d = 0; d < 3; ++d)
    for (int t = 0; t < crop.n[d]; ++t)
      nearest[d].push_back(std::min(static_cast<int>(std::lround(t * crop.voxel[d] / w.box.voxel[d])), w.box.n[d] - 1));
  size_t at = 0;
  for (int k = 0; k < crop.n[2]; ++k)
    for (int j = 0; j < crop.n[1]; ++j)
      for (int i = 0; i < crop.n[0]; ++i, ++at) {
        const size_t near = w.box.index(nearest[0][i], nearest[1][j], nearest[2][k]);
        if (coreOf[near] >= 0) segments[coreOf[near]].core.push_back(at);
        if (caseOf[near] >= 0) segments[caseOf[near]].voxels.push_back(at);
      }
  for (Segment& s : segments) {
    if (!s.kept) s.voxels = s.core;
    s.shape.voxels = s.voxels.size();
  }
}

}  // namespace find
}  // namespace vel
