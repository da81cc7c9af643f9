// The finder from map to segments: read, choose the level, keep the pieces
// of density that could hold a sheet, ask the classifier how likely each
// voxel is of a sheet and of a sheet's backbone, cut sheets from that, judge
// each, and give each kept one its own threshold. A guided cut replaces the
// last steps with the region the user gave.
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

// Å: the widest smoothing of the voxel features reaches about this far.
constexpr double kShapeContext = 13.5;

}  // namespace

FindResult locateDensity(const FindOptions& o, std::ostream& progress) {
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

  // The shape of the density is read this far beyond it.
  const double reach = kShapeContext;
  const double smallestVoxel = std::min(map.voxel[0], std::min(map.voxel[1], map.voxel[2]));
  r.crop = cropToPieces(map, r.pieces, static_cast<int>(std::ceil(reach / smallestVoxel)));
  r.inDensity.assign(r.crop.box.values.size(), 0);
  for (const auto& piece : r.pieces.pieces)
    for (size_t at : piece) r.inDensity[r.crop.fromMap(at, map.n)] = 1;
  // Only the crop is worked on from here: let a large map's memory go.
  std::vector<float>().swap(map.values);
  return r;
}

FindResult findSheets(const FindOptions& o, std::ostream& progress) {
  FindResult r = locateDensity(o, progress);
  const bool guided = o.guided.kind != GuidedCut::Kind::None;
  const DensityBox& box = r.crop.box;

  if (guided) {
    Segment s = guidedRegion(box, r.inDensity, o.guided, progress);
    s.shape = measureSegment(box, s.voxels, {});
    s.caseName = r.name + "_s1";
    r.segments.push_back(std::move(s));
    return r;
  }

  const WorkingGrid work = workingGrid(box, r.inDensity, o.resolution, sheetNet().voxel);
  progress << "local shape over " << work.box.n[0] << " x " << work.box.n[1] << " x " << work.box.n[2] << " voxels of "
           << work.box.voxel[0] << " A\n";
  const SheetMaps maps = sheetMaps(work.box, work.inDensity, o.resolution, r.level.value, sheetNet());
  r.segments = sheetSegments(work.box, maps, o.rules, r.tinySegments);
  toCropGrid(r.segments, work, box);
  int cases = 0;
  for (Segment& s : r.segments) {
    s.id = static_cast<int>(&s - r.segments.data()) + 1;
    if (!s.kept) continue;
    s.caseName = r.name + "_s" + std::to_string(++cases);
    trimToSheet(box, s, o.rules.trimReach);
    s.level = caseLevel(box, s.voxels, r.level, o.resolution, o.rules.caseVolumeShare);
  }
  progress << "  " << r.segments.size() << " segments considered (" << r.tinySegments << " of under "
           << o.rules.tinyVolume << " A^3 left out), " << cases << " kept\n";
  return r;
}

}  // namespace find
}  // namespace vel
