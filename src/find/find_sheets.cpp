// The finder from map to segments: read, choose the level, keep the pieces
// of density that could hold a sheet, read the local shape around them, cut
// the plate score into segments, judge each, and widen the kept ones into
// their density. A guided cut replaces the last four steps with the region
// the user gave.
#include <algorithm>
#include <cmath>
#include <ostream>

#include "find_parts.h"

namespace vel {
namespace find {

namespace {

// A sheet of three strands of three residues with its side chains fills
// about 1200 Å^3; pieces of under half that are noise or loose side chains.
constexpr double kLeastPieceVolume = 600;

// A segment too thick or too far from one smooth surface for a sheet is
// often a sheet fused with what packs on it (a helix, a second sheet, the
// side chains between them). Its most plate-like voxels are kept and cut
// again, until the pieces are thin enough, too small, or this deep.
constexpr int kMostSplits = 4;
constexpr double kSplitKeeps = 0.6;

bool worthSplitting(const Segment& s, const SegmentRules& rules) {
  return !s.kept && s.shape.area >= rules.minArea &&
         (s.shape.thickness > rules.maxThickness || s.shape.fitResidual > rules.maxFitResidual);
}

// The centre of b lies within this of a's plane, and the two come this near.
constexpr double kCoplanar = 3.0;
constexpr double kAdjacent = 8.0;

bool continues(const DensityBox& box, const Segment& a, const Segment& b, double cosAngle) {
  const SegmentShape &sa = a.shape, &sb = b.shape;
  const double dot = sa.normal[0] * sb.normal[0] + sa.normal[1] * sb.normal[1] + sa.normal[2] * sb.normal[2];
  if (std::fabs(dot) < cosAngle) return false;
  double offA = 0, offB = 0;
  for (int d = 0; d < 3; ++d) {
    offA += (sb.centre[d] - sa.centre[d]) * sa.normal[d];
    offB += (sa.centre[d] - sb.centre[d]) * sb.normal[d];
  }
  if (std::fabs(offA) > kCoplanar || std::fabs(offB) > kCoplanar) return false;
  for (size_t i : a.core) {
    const Point p = voxelPoint(box, i);
    for (size_t j : b.core) {
      const Point q = voxelPoint(box, j);
      const double d2 = (p[0] - q[0]) * (p[0] - q[0]) + (p[1] - q[1]) * (p[1] - q[1]) + (p[2] - q[2]) * (p[2] - q[2]);
      if (d2 <= kAdjacent * kAdjacent) return true;
    }
  }
  return false;
}

// Where something crosses a sheet, the score dips along the crossing and
// cuts the sheet in two; pieces that continue one another's plane, side by
// side, are one sheet again.
void joinContinuations(const DensityBox& box, const PlateField& field, std::vector<Segment>& segments,
                       const SegmentRules& rules) {
  const double cosAngle = std::cos(rules.mergeAngleDeg * 3.14159265358979323846 / 180.0);
  for (bool joined = true; joined;) {
    joined = false;
    for (size_t a = 0; a < segments.size() && !joined; ++a)
      for (size_t b = a + 1; b < segments.size() && !joined; ++b) {
        if (!continues(box, segments[a], segments[b], cosAngle)) continue;
        Segment& s = segments[a];
        s.core.insert(s.core.end(), segments[b].core.begin(), segments[b].core.end());
        std::sort(s.core.begin(), s.core.end());
        s.voxels = s.core;
        s.shape = measureSegment(box, s.voxels, s.core, &field);
        segments.erase(segments.begin() + static_cast<std::ptrdiff_t>(b));
        joined = true;
      }
  }
}

std::vector<Segment> judgedSegments(const DensityBox& box, const std::vector<char>& mask, const PlateField& field,
                                    const SegmentRules& rules, int depth, size_t& tiny) {
  size_t tinyHere = 0;
  std::vector<Segment> found = watershedSegments(box, mask, field, rules, tinyHere);
  tiny += tinyHere;
  for (Segment& s : found) s.shape = measureSegment(box, s.voxels, s.core, &field);
  joinContinuations(box, field, found, rules);
  std::vector<Segment> out;
  for (Segment& s : found) {
    judgeSegment(s, rules);
    if (depth < kMostSplits && worthSplitting(s, rules)) {
      std::vector<char> inner(mask.size(), 0);
      for (size_t at : s.core) inner[at] = 1;
      SegmentRules deeper = rules;
      deeper.plateShare = kSplitKeeps;
      deeper.plateMin = 0;
      std::vector<Segment> parts = judgedSegments(box, inner, field, deeper, depth + 1, tiny);
      bool anyKept = false;
      for (const Segment& p : parts) anyKept = anyKept || p.kept;
      if (anyKept) {
        for (Segment& p : parts) out.push_back(std::move(p));
        continue;
      }
    }
    out.push_back(std::move(s));
  }
  return out;
}

}  // namespace

FindResult findSheets(const FindOptions& o, std::ostream& progress) {
  FindResult r;
  r.name = findName(o.mapPath);
  progress << "reading " << o.mapPath << "\n";
  DensityBox map = readWholeMap(o.mapPath, progress);
  progress << "  " << map.n[0] << " x " << map.n[1] << " x " << map.n[2] << " voxels of " << map.voxel[0] << " x "
           << map.voxel[1] << " x " << map.voxel[2] << " A\n";
  r.stats = mapStatistics(map);
  r.level = chooseLevel(map, r.stats, o.level);
  progress << "level " << r.level.text << ": " << r.level.description << "\n";

  const bool guided = o.guided.kind != GuidedCut::Kind::None;
  r.pieces = densityPieces(map, r.level.value, guided ? 0 : kLeastPieceVolume);
  size_t kept = 0;
  for (const auto& piece : r.pieces.pieces) kept += piece.size();
  progress << "  " << kept << " voxels at or above it in " << r.pieces.pieces.size() << " piece"
           << (r.pieces.pieces.size() == 1 ? "" : "s");
  if (r.pieces.dropped) progress << " (" << r.pieces.dropped << " smaller pieces left out)";
  progress << "\n";
  if (r.pieces.pieces.empty())
    throw FindError("no piece of density at or above the level " + r.level.text + " is large enough to hold a sheet");

  // The smoothing and the averaging reach this far beyond the density.
  const double reach = 3 * (o.scale.totalSigma + o.scale.averagingSigma);
  const double smallestVoxel = std::min(map.voxel[0], std::min(map.voxel[1], map.voxel[2]));
  r.crop = cropToPieces(map, r.pieces, static_cast<int>(std::ceil(reach / smallestVoxel)));
  r.inDensity.assign(r.crop.box.values.size(), 0);
  for (const auto& piece : r.pieces.pieces)
    for (size_t at : piece) r.inDensity[r.crop.fromMap(at, map.n)] = 1;
  // Only the crop is worked on from here: let a large map's memory go.
  std::vector<float>().swap(map.values);
  const DensityBox& box = r.crop.box;

  if (guided) {
    Segment s = guidedRegion(box, r.inDensity, o.guided, progress);
    s.shape = measureSegment(box, s.voxels, {}, nullptr);
    s.caseName = r.name + "_s1";
    r.segments.push_back(std::move(s));
    return r;
  }

  progress << "local shape over " << box.n[0] << " x " << box.n[1] << " x " << box.n[2] << " voxels\n";
  const PlateField field = plateField(box, r.inDensity, o.resolution, o.scale);
  r.segments = judgedSegments(box, r.inDensity, field, o.rules, 0, r.tinySegments);
  int cases = 0;
  for (Segment& s : r.segments) {
    s.id = static_cast<int>(&s - r.segments.data()) + 1;
    if (s.kept) s.caseName = r.name + "_s" + std::to_string(++cases);
  }
  growIntoDensity(box, r.inDensity, r.segments, o.rules.growReach);
  for (Segment& s : r.segments) {
    if (!s.kept) continue;
    const double plateScore = s.shape.plateScore, fitResidual = s.shape.fitResidual;
    s.shape = measureSegment(box, s.voxels, {}, nullptr);
    s.shape.plateScore = plateScore;
    s.shape.fitResidual = fitResidual;
  }
  progress << "  " << r.segments.size() << " segments considered (" << r.tinySegments << " of under "
           << o.rules.tinyVoxels << " voxels left out), " << cases << " kept\n";
  return r;
}

}  // namespace find
}  // namespace vel
