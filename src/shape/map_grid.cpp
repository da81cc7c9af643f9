// The map as the analysis read it, copied into a plain grid (x fastest).

#include "velmorantique/map.h"
#include "velmorantique/shape.h"

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
  grid.values.reserve(static_cast<size_t>(grid.nx) * grid.ny * grid.nz);
  for (int k = 0; k < grid.nz; ++k)
    for (int j = 0; j < grid.ny; ++j)
      for (int i = 0; i < grid.nx; ++i) grid.values.push_back(map.cube[i][j][k]);
  return grid;
}
