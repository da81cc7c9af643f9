// The finder from map to segments: read, choose the level, keep the pieces
// of density that could hold a sheet, ask the classifier how likely each
// voxel is of a sheet and of a sheet's backbone, cut sheets from that, judge
// each, and give each kept one its own threshold. A guided cut replaces the
// last steps with the region the user gave.
#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>

#include "find_parts.h"

namespace vel {
namespace find {

namespace {

// A sheet of three strands of three residues with its side chains fills
// about 1200 Å^3; pieces of under half that are noise or loose side chains.
constexpr double kLeastPieceVolume = 600;

// Å: the widest smoothing of the voxel features reaches about this far.
constexpr double kShapeContext = 13.5;

// A map of coarse voxels grows on the classifier's finer grid: 3.5 Å
// voxels become 43 times as many. More than a 512^3 grid's voxels (about
// 6 GB of features) is refused before anything is taken.
constexpr double kMostWorkingVoxels = 512.0 * 512 * 512;

double workingVoxels(const DensityBox& crop, double spacing, int d) {
  return spacing > 0 ? std::floor((crop.n[d] - 1) * crop.voxel[d] / spacing) + 1 : crop.n[d];
}

// The larger of the crop and the working grid along each axis: both are held
// while the classifier reads the local shape. Called once checkWorkingGrid
// has bounded the count.
std::array<int, 3> workingSize(const DensityBox& crop, double spacing) {
  std::array<int, 3> n{};
  for (int d = 0; d < 3; ++d) n[d] = std::max(crop.n[d], static_cast<int>(workingVoxels(crop, spacing, d)));
  return n;
}

void checkWorkingGrid(const DensityBox& crop, double spacing) {
  if (!(spacing > 0)) return;
  double voxels = 1, cropVoxels = 1;
  for (int d = 0; d < 3; ++d) {
    voxels *= workingVoxels(crop, spacing, d);
    cropVoxels *= crop.n[d];
  }
  if (voxels <= std::max(kMostWorkingVoxels, cropVoxels)) return;
  std::ostringstream why;
  why << "the density's box, " << std::llround(crop.n[0] * crop.voxel[0]) << " x " << std::llround(crop.n[1] * crop.voxel[1])
      << " x " << std::llround(crop.n[2] * crop.voxel[2]) << " A, would take " << std::llround(voxels / 1e6)
      << " million voxels on the " << spacing << " A grid the classifier reads, more than the "
      << std::llround(kMostWorkingVoxels / 1e6)
      << " million allowed: cut the map around the molecule, or cut one region with --box, --around or --mask";
  throw FindError(why.str());
}

}  // namespace

FindResult locateDensity(const FindOptions& o, std::ostream& progress) {
  FindResult r;
  r.name = findName(o.mapPath);
  progress << "reading " << o.mapPath << "\n";
  DensityBox map = readWholeMap(o.mapPath, progress);
  progress << "  " << map.n[0] << " x " << map.n[1] << " x " << map.n[2] << " voxels of " << map.voxel[0] << " x "
           << map.voxel[1] << " x " << map.voxel[2] << " A\n";
  refuseOverBudget(o, map.n, kMapBytesPerVoxel, "dividing the density of the map's");
  r.stats = mapStatistics(map);
  // A voxel without a number (NaN, inf: masked or damaged) is no density: it
  // is set to 0 before anything compares with it or copies it into a case.
  for (float& v : map.values)
    if (!std::isfinite(v)) v = 0, ++r.nonFinite;
  if (r.nonFinite) {
    progress << "  " << r.nonFinite << " voxels without a number (NaN or infinite) set to 0\n";
    r.stats.zeros += r.nonFinite;
  }
  r.level = chooseLevel(map, r.stats, o.level);
  progress << "level " << r.level.text << " (" << r.level.rule << "): " << r.level.description << "; it encloses "
           << std::llround(r.level.volume) << " A^3\n";

  const bool guided = o.guided.kind != GuidedCut::Kind::None;
  r.pieces = densityPieces(map, r.level.value, guided ? 0 : kLeastPieceVolume);
  size_t kept = 0;
  for (const auto& piece : r.pieces.pieces) kept += piece.size();
  progress << "  " << kept << " voxels at or above it in " << r.pieces.pieces.size() << " piece"
           << (r.pieces.pieces.size() == 1 ? "" : "s");
  if (r.pieces.dropped) progress << " (" << r.pieces.dropped << " smaller pieces left out)";
  progress << "\n";
  if (r.pieces.pieces.empty())
    throw FindError("no piece of density at or above the level " + r.level.text + " is large enough to hold a sheet" +
                    (r.level.rule == "contour" || r.level.rule == "mass"
                         ? std::string()
                         : " (the level read from the map may be too high: give the map's recommended level with "
                           "--contour, or the protein's mass with --mass-kda)"));

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
  // A resolution far from the map's own finds sheets that are not there, or misses those that are.
  r.resolution = checkResolution(box, o.resolution);
  if (r.resolution.disagrees)
    progress << "warning: " << r.resolution.warning << "\n";
  else
    progress << "resolution: " << r.resolution.note << "\n";

  if (guided) {
    Segment s = guidedRegion(box, r.inDensity, o.guided, progress);
    s.shape = measureSegment(box, s.voxels, {});
    s.caseName = r.name + "_s1";
    r.segments.push_back(std::move(s));
    return r;
  }

  checkWorkingGrid(box, sheetNet().voxel);
  refuseOverBudget(o, workingSize(box, sheetNet().voxel), kShapeBytesPerVoxel, "reading the local shape of the density's");
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
    trimToSheet(box, s, o.rules.trimReach);
    const double volume = static_cast<double>(s.voxels.size()) * box.voxel[0] * box.voxel[1] * box.voxel[2];
    if (volume < o.rules.minCaseVolume) {
      s.kept = false;
      std::ostringstream why;
      why << "its case would hold " << std::llround(volume) << " A^3, less than the smallest sheet of three strands ("
          << o.rules.minCaseVolume << " A^3): a sliver";
      s.reason = why.str();
      s.voxels = s.core;
      continue;
    }
    s.level = caseLevel(box, s.voxels, r.level, o.resolution, o.rules.caseVolumeShare);
    judgeCase(s, box, s.level.text.empty() ? r.level.value : s.level.value, o.rules);
    if (s.kept) s.caseName = r.name + "_s" + std::to_string(++cases);
  }
  progress << "  " << r.segments.size() << " segments considered (" << r.tinySegments << " of under "
           << o.rules.tinyVolume << " A^3 left out), " << cases << " kept\n";
  return r;
}

}  // namespace find
}  // namespace vel
