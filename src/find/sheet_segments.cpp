// Sheets from the classifier's two maps. A sheet's backbone is a thin plate,
// and two sheets packed face to face (a sandwich) are about 10 Å apart,
// backbone to backbone, though their side chains touch: so each sheet starts
// as a connected piece of backbone voxels whose normals turn only gradually
// from voxel to voxel (where two sheets meet at an edge the normal turns
// sharply), and then widens through the voxels of sheet residues around it.
#include <algorithm>
#include <cmath>
#include <deque>

#include "find_parts.h"

namespace vel {
namespace find {

SheetMaps sheetMaps(const DensityBox& box, const std::vector<char>& inDensity, double resolution, double level,
                    const VoxelNet& net) {
  const VoxelFeatures f = voxelFeatures(box, inDensity, resolution, level);
  const std::vector<float> p = sheetProbabilities(f, net);
  const size_t outputs = static_cast<size_t>(net.outputs);
  SheetMaps m;
  m.inDensity = inDensity;
  m.sheet.assign(box.values.size(), 0.0f);
  m.backbone.assign(box.values.size(), 0.0f);
  m.plate.assign(box.values.size(), 0.0f);
  m.normal.assign(box.values.size(), {0.0f, 0.0f, 0.0f});
  for (size_t row = 0; row < f.voxels.size(); ++row) {
    const size_t at = f.voxels[row];
    m.plate[at] = f.values[row * kVoxelFeatureCount + kPlateFeature];
    m.sheet[at] = p[row * outputs + kSheetOutput];
    m.backbone[at] = p[row * outputs + kBackboneOutput];
    m.normal[at] = f.normal[row];
  }
  return m;
}

namespace {

// The connected pieces of the candidates whose backbone probability reaches
// `level`, neighbours joining only where their normals agree.
std::vector<std::vector<size_t>> backbonePieces(const DensityBox& box, const SheetMaps& maps,
                                                const std::vector<size_t>& candidates, double level, double cosStep,
                                                std::vector<int>& label, int& nextLabel) {
  std::vector<std::vector<size_t>> pieces;
  const int mark = nextLabel++;  // candidates above the level wait under this label
  for (size_t at : candidates)
    if (maps.backbone[at] >= level) label[at] = mark;
  std::deque<size_t> queue;
  for (size_t start : candidates) {
    if (label[start] != mark) continue;
    const int id = nextLabel++;
    std::vector<size_t> piece;
    label[start] = id;
    queue.push_back(start);
    while (!queue.empty()) {
      const size_t at = queue.front();
      queue.pop_front();
      piece.push_back(at);
      const std::array<float, 3>& n = maps.normal[at];
      forEachNeighbour(box, at, [&](size_t nb) {
        if (label[nb] != mark) return;
        const std::array<float, 3>& m = maps.normal[nb];
        if (std::fabs(n[0] * m[0] + n[1] * m[1] + n[2] * m[2]) < cosStep) return;
        label[nb] = id;
        queue.push_back(nb);
      });
    }
    std::sort(piece.begin(), piece.end());
    pieces.push_back(std::move(piece));
  }
  return pieces;
}

// Where two sheets touch (face to face through their side chains, or edge
// to edge) their backbones join into one piece that lies on no one smooth
// surface; such a piece is cut again at a higher backbone probability, which
// the thin strip between the sheets does not reach.
void splitBackbone(const DensityBox& box, const SheetMaps& maps, const std::vector<size_t>& candidates, double level,
                   const SegmentRules& rules, double cosStep, std::vector<int>& label, int& nextLabel,
                   std::vector<std::vector<size_t>>& out, size_t& tinyCount) {
  for (std::vector<size_t>& piece : backbonePieces(box, maps, candidates, level, cosStep, label, nextLabel)) {
    // In Å^3, so that the working grid's spacing does not change what counts as tiny.
    if (static_cast<double>(piece.size()) * box.voxel[0] * box.voxel[1] * box.voxel[2] < rules.tinyVolume) {
      ++tinyCount;
      continue;
    }
    const double higher = level + rules.coreStep;
    if (higher <= rules.coreMost + 1e-9 && measureSegment(box, piece, piece).fitResidual > rules.splitFit) {
      std::vector<std::vector<size_t>> parts;
      size_t tinyParts = 0;
      splitBackbone(box, maps, piece, higher, rules, cosStep, label, nextLabel, parts, tinyParts);
      if (!parts.empty()) {
        tinyCount += tinyParts;
        for (std::vector<size_t>& p : parts) out.push_back(std::move(p));
        continue;
      }
    }
    out.push_back(std::move(piece));
  }
}

// A noisy map's probabilities are speckled: each is averaged with its
// neighbours in the density (weighted by a Gaussian, the voxels outside left out).
void averageInside(std::vector<float>& p, const std::vector<char>& inside, const DensityBox& box, double sigma) {
  std::vector<float> weight(p.size());
  for (size_t at = 0; at < p.size(); ++at) weight[at] = inside[at] ? 1.0f : 0.0f;
  gaussianSmooth(p, box.n, box.voxel, sigma);
  gaussianSmooth(weight, box.n, box.voxel, sigma);
  for (size_t at = 0; at < p.size(); ++at) p[at] = inside[at] && weight[at] > 0 ? p[at] / weight[at] : 0.0f;
}

}  // namespace

std::vector<Segment> sheetSegments(const DensityBox& box, const SheetMaps& given, const SegmentRules& rules,
                                   size_t& tinyCount) {
  const size_t total = given.sheet.size();
  SheetMaps averaged;
  if (rules.averaging > 0) {
    averaged = given;
    averageInside(averaged.sheet, given.inDensity, box, rules.averaging);
    averageInside(averaged.backbone, given.inDensity, box, rules.averaging);
  }
  const SheetMaps& maps = rules.averaging > 0 ? averaged : given;
  std::vector<size_t> candidates;
  for (size_t at = 0; at < total; ++at)
    if (maps.sheet[at] >= rules.sheetMin) candidates.push_back(at);
  const double cosStep = std::cos(rules.normalStepDeg * 3.14159265358979323846 / 180.0);
  std::vector<int> label(total, -1);
  int nextLabel = 0;
  std::vector<std::vector<size_t>> pieces;
  tinyCount = 0;
  splitBackbone(box, maps, candidates, rules.coreMin, rules, cosStep, label, nextLabel, pieces, tinyCount);
  std::vector<Segment> segments;
  for (std::vector<size_t>& piece : pieces) {
    Segment s;
    s.core = std::move(piece);
    s.method = "sheet classifier";
    segments.push_back(std::move(s));
  }
  // Largest first; the smallest are only counted.
  std::stable_sort(segments.begin(), segments.end(),
                   [](const Segment& a, const Segment& b) { return a.core.size() > b.core.size(); });
  std::vector<Segment> out;
  for (Segment& s : segments) {
    s.id = static_cast<int>(out.size()) + 1;
    s.voxels = s.core;
    s.kept = true;  // for the widening below; judged after it
    out.push_back(std::move(s));
  }
  std::vector<char> sheetVoxel(total, 0);
  for (size_t at = 0; at < total; ++at) sheetVoxel[at] = maps.sheet[at] >= rules.widenMin;
  growIntoDensity(box, sheetVoxel, out, rules.growReach);
  for (Segment& s : out) {
    s.shape = measureSegment(box, s.voxels, s.core);
    double sheet = 0, plate = 0;
    for (size_t at : s.voxels) sheet += maps.sheet[at];
    for (size_t at : s.core) plate += maps.plate[at];
    s.shape.sheetProbability = s.voxels.empty() ? 0 : sheet / static_cast<double>(s.voxels.size());
    s.shape.plateScore = s.core.empty() ? 0 : plate / static_cast<double>(s.core.size());
    judgeSegment(s, rules);
  }
  // A sheet's residues reach beyond the density at the level (the level
  // encloses about the atoms' own volume): each kept sheet also takes the
  // voxels below the level next to it, as a cut around a model's atoms does.
  std::vector<char> around(total, 0);
  for (size_t at = 0; at < total; ++at) around[at] = !maps.inDensity[at];
  std::vector<std::vector<size_t>> cores;
  for (Segment& s : out) {
    cores.push_back(s.core);
    if (s.kept) s.core = s.voxels;
  }
  growIntoDensity(box, around, out, rules.surroundReach);
  for (size_t i = 0; i < out.size(); ++i) out[i].core = std::move(cores[i]);
  return out;
}

}  // namespace find
}  // namespace vel
