// Sheet density extraction: reference strands out as points; the map read and
// thresholded; every voxel that keeps density becomes a sheet point; 5 Å
// patches give centroids inside the density; the sheet centre, the centre
// plane and the sheet normal.

#include <algorithm>
#include <iostream>

#include "driver/pseudo_atoms.h"
#include "driver/stages.h"
#include "velmorantique/compare.h"
#include "velmorantique/fatal.h"
#include "velmorantique/points.h"

namespace {

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
      for (int r = 0; r < rows; ++r) visit(r, c, s, map.cube[r][c][s]);
}

void refuseEmptySheet(double threshold, size_t n, std::ostream& out) {
  out << "============================== in sheet extraction ==========================\n";
  out << "No sheet density is left at threshold " << threshold
      << ": at least two distinct sheet points are needed ( num of points = " << n << " ).\n";
  out << std::string(79, '=') << "\n";
  out.flush();
  fatalExit(1);
}

// A centroid survives only when no empty voxel lies within 1.5 Å of it.
void pruneCentroidsNearEmptyVoxels(const Map& map, PointList& centroids) {
  forEachVoxel(map, [&](int r, int c, int s, float value) {
    if (static_cast<double>(value) >= 0.0001) return;
    Coordinate empty = voxelPosition(map, r, c, s);
    centroids.erase(std::remove_if(centroids.begin(), centroids.end(),
                                   [&](const Coordinate& p) { return getDistance(p, empty) <= 1.5; }),
                    centroids.end());
  });
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

}  // namespace

SheetDensity extractSheet(const RunSetup& run, std::ostream& out) {
  SheetDensity sheet;
  sheet.referenceStrands = FindTrueStrands(run.pdbPath);
  PointList strandPoints;
  for (const PointList& strand : sheet.referenceStrands)
    strandPoints.insert(strandPoints.end(), strand.begin(), strand.end());
  writePseudoAtoms(run.outputPath("_strandPoints.pdb"), strandPoints, "HOH", " H  ");

  Map& map = sheet.densityMap;
  map.read(run.mapBase + ".mrc");
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
  if (n == 0 || centreIndex == -1) refuseEmptySheet(run.threshold, n, out);

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

  PointList normalPoints;
  Vectors direction = sheet.sheetNormal.unit();
  for (int m = 0; m < 10; ++m) {
    const Coordinate& c = sheet.sheetCentre;
    normalPoints.push_back(Coordinate(c.x + m * direction.x, c.y + m * direction.y, c.z + m * direction.z));
  }
  writePseudoAtoms(run.outputPath("_normal.pdb"), normalPoints, "HOH", " O  ");
  return sheet;
}
