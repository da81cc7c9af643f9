#include "reference/plain_sheet.h"

#include <algorithm>

namespace vel::plain {

void pruneCentroidsNearEmptyVoxels(const Map& map, PointList& centroids) {
  const int rows = map.numRows(), cols = map.numCols(), slcs = map.numSlcs();
  for (int s = 0; s < slcs; ++s) {
    for (int c = 0; c < cols; ++c) {
      for (int r = 0; r < rows; ++r) {
        if (static_cast<double>(map.at(r, c, s)) >= 0.0001) continue;
        const Coordinate empty(static_cast<double>(map.hdr.xorigin) + map.apixX * r,
                               static_cast<double>(map.hdr.yorigin) + map.apixY * c,
                               static_cast<double>(map.hdr.zorigin) + map.apixZ * s);
        centroids.erase(std::remove_if(centroids.begin(), centroids.end(),
                                       [&](const Coordinate& p) { return getDistance(p, empty) <= 1.5; }),
                        centroids.end());
      }
    }
  }
}

}  // namespace vel::plain
