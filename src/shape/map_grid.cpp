// The map as the analysis read it, copied into a plain grid (x fastest).

#include "velmorantique/map.h"
#include "velmorantique/shape.h"

namespace vel {

DensityGrid densityGridFromMap(const Map& map) {
  DensityGrid grid;
  grid.nx = map.numRows();
  grid.ny = map.numCols();
  grid.nz = map.numSlcs();
  grid.voxel[0] = map.apixX;
  grid.voxel[1] = map.apixY;
  grid.voxel[2] = map.apixZ;
  grid.origin[0] = static_cast<double>(map.hdr.xorigin);
  grid.origin[1] = static_cast<double>(map.hdr.yorigin);
  grid.origin[2] = static_cast<double>(map.hdr.zorigin);
  // The map keeps its voxels in the same order, x fastest, then y, then z.
  grid.values = map.cube;
  return grid;
}

}  // namespace vel
