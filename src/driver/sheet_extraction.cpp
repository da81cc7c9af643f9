// Sheet density extraction: reference strands out as points; the map read and
// thresholded; every voxel that keeps density becomes a sheet point; 5 Å
// patches give centroids inside the density; the sheet centre, the centre
// plane and the sheet normal.

#include <algorithm>
#include <cmath>
#include <iostream>
#include <sstream>

#include "driver/pseudo_atoms.h"
#include "driver/reference_structure.h"
#include "driver/stages.h"
#include "velmorantique/compare.h"
#include "velmorantique/fatal.h"
#include "velmorantique/points.h"

namespace vel {

namespace {

constexpr double kCentroidClearance = 1.5;  // no empty voxel this near a kept centroid

Coordinate voxelPosition(const Map& map, int r, int c, int s) {
  return Coordinate(static_cast<double>(map.hdr.xorigin) + map.apixX * r,
                    static_cast<double>(map.hdr.yorigin) + map.apixY * c,
                    static_cast<double>(map.hdr.zorigin) + map.apixZ * s);
}

// Every voxel, slice outermost, then column, then row.
template <class Visit>
void forEachVoxel(const Map& map, Visit visit) {
  const int rows = map.numRows(), cols = map.numCols(), slcs = map.numSlcs();
  for (int s = 0; s < slcs; ++s)
    for (int c = 0; c < cols; ++c)
      for (int r = 0; r < rows; ++r) visit(r, c, s, map.at(r, c, s));
}

// Measured peaks per sheet point lie under this bound, by a factor of 1.3
// to 7: synthetic sheets of 30,000 to 960,000 points, 1 to 0.16 Å voxels,
// and noise slabs up to 280 Å across (bench/sheet_limits.sh).
constexpr double kBytesPerPoint = 400;
constexpr double kBytesPerPointAndLine = 280;

// A sheet the later stages could not hold, or would take many minutes over,
// is refused before any point is made.
void refuseIfTooLarge(const Map& map, double threshold) {
  const SheetFootprint footprint = sheetFootprint(map, threshold);
  const uint64_t limit = cubeMemoryLimit(), mb = 1024 * 1024;
  const uint64_t needed = map.cube.size() * sizeof(float) + sheetMemoryBound(footprint);
  const std::string advice = " Cut the map down to the sheet, raise the threshold, or resample the map more coarsely.";
  std::ostringstream message;
  if (footprint.points > kMostSheetPoints) {
    message << "Too many sheet points: " << footprint.points << " voxels keep density at threshold " << threshold
            << ", more than the " << kMostSheetPoints << " that the map of one sheet is meant to give." << advice;
  } else if (limit != 0 && needed > limit) {
    message << "Sheet too large for this machine. Its " << footprint.points << " points, spread over "
            << std::lround(footprint.span) << " A, may need up to " << (needed + mb - 1) / mb
            << " MB with the map's grid, more than " << memoryLimitName() << " ( " << limit / mb << " MB )." << advice;
  } else {
    return;
  }
  stopRun(FrameStyle::Banner, "sheet extraction", message.str());
}

[[noreturn]] void refuseEmptySheet(double threshold, size_t n) {
  std::ostringstream message;
  message << "No sheet density is left at threshold " << threshold
          << ": at least two distinct sheet points are needed ( num of points = " << n << " ).";
  stopRun(FrameStyle::Banner, "sheet extraction", message.str());
}

// Whether some empty voxel lies within 1.5 Å of p. Only the voxels whose
// row, column and slice numbers can place them that near are visited (one
// voxel of slack on every side for rounding); a map whose voxel sizes or
// origin give no such numbers is searched whole.
bool nearEmptyVoxel(const Map& map, Coordinate p) {
  const int rows = map.numRows(), cols = map.numCols(), slcs = map.numSlcs();
  const double origin[3] = {static_cast<double>(map.hdr.xorigin), static_cast<double>(map.hdr.yorigin),
                            static_cast<double>(map.hdr.zorigin)};
  const double apix[3] = {map.apixX, map.apixY, map.apixZ};
  const double centre[3] = {p.x, p.y, p.z};
  int lo[3] = {0, 0, 0}, hi[3] = {rows - 1, cols - 1, slcs - 1};
  for (int a = 0; a < 3; ++a) {
    const double first = (centre[a] - kCentroidClearance - origin[a]) / apix[a];
    const double last = (centre[a] + kCentroidClearance - origin[a]) / apix[a];
    if (!(apix[a] > 1e-6) || !(std::fabs(first) < 1e9) || !(std::fabs(last) < 1e9)) continue;
    lo[a] = std::max(lo[a], static_cast<int>(std::floor(first)) - 1);
    hi[a] = std::min(hi[a], static_cast<int>(std::ceil(last)) + 1);
    if (lo[a] > hi[a]) return false;
  }
  for (int s = lo[2]; s <= hi[2]; ++s)
    for (int c = lo[1]; c <= hi[1]; ++c)
      for (int r = lo[0]; r <= hi[0]; ++r)
        // Empty: below 0.0001, or not a number.
        if (!(static_cast<double>(map.at(r, c, s)) >= 0.0001) &&
            getDistance(p, voxelPosition(map, r, c, s)) <= kCentroidClearance)
          return true;
  return false;
}

// The first two plane points are the two centroids nearest the sheet centre;
// the third is the nearest remaining one that makes 30 to 135 degrees with them.
Vectors findCentrePlane(PointList centroids, Coordinate sheetCentre, PointList& planePoints) {
  Vectors normal;
  for (int i = 0; i < static_cast<int>(centroids.size()); ++i) {
    if (planePoints.size() <= 2) {
      int k = findClosestPointInSet(centroids, sheetCentre);
      if (k != -1) {
        planePoints.push_back(centroids[k]);
        centroids.erase(centroids.begin() + k);
        --i;
      }
    }
    if (planePoints.size() == 3) {
      Vectors e1(planePoints[0], planePoints[1]), e2(planePoints[0], planePoints[2]);
      double angle = e1.getAngleDegree(e2);
      if (angle > 135 || angle < 30) {
        planePoints.pop_back();
      } else {
        normal = e1.cross(e2);
        break;
      }
    }
  }
  return normal;
}

// The map's voxels are lent to the shape estimate and taken back, not
// copied: a map near the memory limit must not need its grid twice.
ShapeReading shapeReadingOf(Map& map, double threshold) {
  std::vector<float> voxels;
  voxels.swap(map.cube);
  DensityGrid grid = densityGridFromMap(map);  // the header's part only: the map holds no voxels now
  grid.values.swap(voxels);
  const ShapeReading reading = readShape(grid, threshold);
  map.cube.swap(grid.values);
  return reading;
}

}  // namespace

SheetFootprint sheetFootprint(const Map& map, double threshold) {
  SheetFootprint footprint;
  int lo[3] = {map.numRows(), map.numCols(), map.numSlcs()}, hi[3] = {-1, -1, -1};
  forEachVoxel(map, [&](int r, int c, int s, float value) {
    // As thresholding leaves it: kept when not below the threshold, a point when above 0.
    if (static_cast<double>(value) < threshold || !(value > 0.0f)) return;
    ++footprint.points;
    const int at[3] = {r, c, s};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], at[a]);
      hi[a] = std::max(hi[a], at[a]);
    }
  });
  if (footprint.points == 0) return footprint;
  const double apix[3] = {map.apixX, map.apixY, map.apixZ};
  double sum = 0;
  for (int a = 0; a < 3; ++a) sum += std::pow((hi[a] - lo[a]) * apix[a], 2);
  footprint.span = std::sqrt(sum);
  return footprint;
}

uint64_t sheetMemoryBound(const SheetFootprint& footprint) {
  // The lines of a family that can cross the sheet: as many as fit across
  // its span and the 1 Å a line reaches on either side, at most all of them.
  const double allLines = std::floor(2 * kOffsetReach / kLineSpacing) + 1;
  const double lines = std::min(allLines, std::floor((footprint.span + 2) / kLineSpacing) + 1);
  return static_cast<uint64_t>(static_cast<double>(footprint.points) * (kBytesPerPoint + kBytesPerPointAndLine * lines));
}

// A centroid survives only when no empty voxel lies within 1.5 Å of it.
void pruneCentroidsNearEmptyVoxels(const Map& map, PointList& centroids) {
  centroids.erase(std::remove_if(centroids.begin(), centroids.end(),
                                 [&](const Coordinate& p) { return nearEmptyVoxel(map, p); }),
                  centroids.end());
}

SheetDensity extractSheet(const RunSetup& run, std::ostream& out) {
  SheetDensity sheet;
  sheet.referenceStrands = FindTrueStrands(run.pdbPath);
  writePseudoAtoms(run.outputPath("_strandPoints.pdb"), sheet.referenceStrands, "HOH", " H  ");
  // The twist analysis goes on without them; only the scores against them fail.
  if (sheet.referenceStrands.empty())
    out << "No reference strands: " << run.pdbPath
        << ".pdb has no SHEET record of the chain read, so the distance and RMS scores are not numbers.\n";

  Map& map = sheet.densityMap;
  map.read(run.mapBase + ".mrc");
  refuseIfTooLarge(map, run.threshold);
  // The shape estimate weighs each voxel by how far it rises above the
  // threshold and smooths the density around it, so it reads the map before
  // thresholding empties what lies below.
  sheet.shape = shapeReadingOf(map, run.threshold);
  map.filterize(run.threshold);

  double sumX = 0, sumY = 0, sumZ = 0;
  forEachVoxel(map, [&](int r, int c, int s, float value) {
    if (!(value > 0.0f)) return;
    Coordinate p = voxelPosition(map, r, c, s);
    sheet.sheetPoints.push_back(p);
    sumX += p.x;
    sumY += p.y;
    sumZ += p.z;
  });
  const size_t n = sheet.sheetPoints.size();
  out << "num of points = " << n << "\n";
  const double count = static_cast<double>(n);
  Coordinate mean(sumX / count, sumY / count, sumZ / count);
  int centreIndex = findClosestPointInSet(sheet.sheetPoints, mean);
  if (n == 0 || centreIndex == -1) refuseEmptySheet(run.threshold, n);

  ClusterList voxelClusters;
  peakClustering(sheet.sheetPoints, voxelClusters, sheet.sheetPoints[0], 5.0);
  PointList centroids;
  for (const PointList& cluster : voxelClusters) centroids.push_back(cluster.back());
  pruneCentroidsNearEmptyVoxels(map, centroids);
  writePseudoAtoms(run.outputPath("_centroids.pdb"), centroids, "HOH", " O  ");

  sheet.sheetCentre = sheet.sheetPoints[centreIndex];
  PointList planePoints;
  sheet.sheetNormal = findCentrePlane(centroids, sheet.sheetCentre, planePoints);
  writePseudoAtoms(run.outputPath("_centerPlane.pdb"), planePoints, "HOH", " N  ");
  // Without a plane there is no normal: the sheet is not turned, and the fit
  // and the strand search run on the sheet as it lies in the map.
  if (!(sheet.sheetNormal.length() > 0))
    out << "No centre plane was found: fewer than three centroids pass the angle test, so the surface fit and "
           "the twists are not meaningful.\n";

  PointList normalPoints;
  Vectors direction = sheet.sheetNormal.unit();
  for (int m = 0; m < 10; ++m) {
    const Coordinate& c = sheet.sheetCentre;
    normalPoints.push_back(Coordinate(c.x + m * direction.x, c.y + m * direction.y, c.z + m * direction.z));
  }
  writePseudoAtoms(run.outputPath("_normal.pdb"), normalPoints, "HOH", " O  ");
  return sheet;
}

}  // namespace vel
