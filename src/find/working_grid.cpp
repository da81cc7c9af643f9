// The grid the finder reads the density's shape on: the one its classifier
// was trained on. Every measure the classifier sees is meant in Å, yet a
// finite difference, a crest band or a smoothing is read differently on
// voxels of 0.7 Å and of 1.4 Å, and maps come on voxels of 0.6-2 Å and more.
// So every map is read on the classifier's own grid (1 Å for the shipped
// one), finer maps sampled down and coarser ones interpolated up, and the
// segments found there are carried back to the map's own voxels. A
// classifier trained on the maps' own voxels (spacing 0) reads the crop as
// it is.
#include <algorithm>
#include <cmath>

#include "find_parts.h"

namespace vel {
namespace find {

namespace {

// The values resampled along one axis to `count` planes, `step` of the old
// planes apart from the first one on: each a Catmull-Rom blend of the four
// old planes around it, the line carried on straight beyond its ends.
std::vector<float> resampleAxis(const std::vector<float>& in, const std::array<int, 3>& n, int axis, int count,
                                double step) {
  std::array<int, 3> m = n;
  m[axis] = count;
  std::vector<float> out(static_cast<size_t>(m[0]) * m[1] * m[2]);
  const size_t stride = axis == 0 ? 1 : axis == 1 ? static_cast<size_t>(n[0]) : static_cast<size_t>(n[0]) * n[1];
  const size_t outStride = axis == 0 ? 1 : axis == 1 ? static_cast<size_t>(m[0]) : static_cast<size_t>(m[0]) * m[1];
  const int last = n[axis] - 1;
  // Per new plane: the four old planes it blends and their weights.
  std::vector<std::array<int, 4>> taps(count);
  std::vector<std::array<double, 4>> weights(count);
  for (int t = 0; t < count; ++t) {
    const double f = std::min(t * step, static_cast<double>(last));
    const int lo = std::min(static_cast<int>(std::floor(f)), std::max(0, last - 1));
    const double u = f - lo, u2 = u * u, u3 = u2 * u;
    std::array<double, 4> wt = {(-u3 + 2 * u2 - u) / 2, (3 * u3 - 5 * u2 + 2) / 2, (-3 * u3 + 4 * u2 + u) / 2, (u3 - u2) / 2};
    std::array<int, 4> at = {lo - 1, lo, lo + 1, lo + 2};
    if (last == 0) wt = {0, 1, 0, 0}, at = {0, 0, 0, 0};
    // Beyond an end the line goes on straight: plane -1 is 2 f(0) - f(1).
    if (at[0] < 0) wt[1] += 2 * wt[0], wt[2] -= wt[0], wt[0] = 0, at[0] = 0;
    if (at[3] > last && last > 0) wt[2] += 2 * wt[3], wt[1] -= wt[3], wt[3] = 0, at[3] = last;
    taps[t] = at;
    weights[t] = wt;
  }
  for (size_t line = 0; line < out.size() / static_cast<size_t>(count); ++line) {
    // The first voxel of this line in both grids.
    size_t from, to;
    if (axis == 0) from = line * n[0], to = line * m[0];
    else if (axis == 1) from = (line / n[0]) * n[0] * n[1] + line % n[0], to = (line / m[0]) * m[0] * m[1] + line % m[0];
    else from = to = line;
    for (int t = 0; t < count; ++t) {
      double sum = 0;
      for (int q = 0; q < 4; ++q) sum += weights[t][q] * in[from + taps[t][q] * stride];
      out[to + t * outStride] = static_cast<float>(sum);
    }
  }
  return out;
}

}  // namespace

WorkingGrid workingGrid(const DensityBox& crop, const std::vector<char>& inDensity, double resolution, double spacing) {
  WorkingGrid w;
  bool other = false;
  for (int d = 0; d < 3; ++d) other = other || std::fabs(crop.voxel[d] - spacing) > 1e-6 * spacing;
  if (!(spacing > 0) || !other || crop.values.empty()) {
    w.box = crop;
    w.inDensity = inDensity;
    return w;
  }
  w.resampled = true;
  for (int d = 0; d < 3; ++d) {
    w.box.voxel[d] = spacing;
    w.box.origin[d] = crop.origin[d];
    w.box.n[d] = static_cast<int>(std::floor((crop.n[d] - 1) * crop.voxel[d] / w.box.voxel[d] + 1e-9)) + 1;
  }
  // Sampling at the spacing keeps what the map holds when it is blurred by
  // at least half the spacing; a sharper map is blurred that far first. A
  // coarser map is interpolated, which adds nothing it did not hold.
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
  // Cubic (Catmull-Rom) interpolation, one axis at a time: trilinear
  // interpolation would bend a coarser map's density at every crop voxel
  // and its curvature, which the classifier reads, with it.
  std::vector<float> v = *values;
  for (float& x : v)
    if (!std::isfinite(x)) x = 0;
  std::array<int, 3> n = crop.n;
  for (int d = 0; d < 3; ++d) {
    v = resampleAxis(v, n, d, w.box.n[d], w.box.voxel[d] / crop.voxel[d]);
    n[d] = w.box.n[d];
  }
  w.box.values = std::move(v);
  w.inDensity.resize(w.box.values.size());
  for (size_t at = 0; at < w.box.values.size(); ++at) w.inDensity[at] = inDensity[nearestVoxel(crop, voxelPoint(w.box, at))];
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
