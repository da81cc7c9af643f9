#pragma once
// Centroid pruning written as the scan of every voxel for every centroid: the
// reference the driver's local search is checked against. Not used by the
// program.

#include "velmorantique/geometry.h"
#include "velmorantique/map.h"

namespace vel::plain {

// Visits every voxel in voxel order; each empty one (value below 0.0001, or
// not a number) removes the centroids within 1.5 Å of it.
void pruneCentroidsNearEmptyVoxels(const Map& map, PointList& centroids);

}  // namespace vel::plain
