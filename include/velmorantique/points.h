#pragma once
// Point sets and strand traces: clustering of density points, nearest,
// farthest and middle point queries, ordering clouds into sticks and building
// C-alpha traces along sticks.

#include <cstdint>
#include <utility>
#include <vector>

#include "velmorantique/geometry.h"

using IndexPair = std::vector<int>;  // two indices; (-1, -1) when no pair qualifies
using ClusterList = std::vector<PointList>;  // every cluster ends with its centroid

// Rounds to the given number of decimals, halves away from zero.
double round(double& value, int16_t decimals);

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold);
// Nearest point at a positive distance below 999; the first on ties; -1 if none.
int findClosestPointInSet(const PointList& points, Coordinate query);

IndexPair findFarestPointInOneSet(const PointList& points);
IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b);
int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points);
void fineStickUnordered(PointList& points, double spacing);
void roughStick(PointList& points, double gap);
void roughStickFromIndx(PointList& points, double gap, int anchor);

StrandSet buildSheetCa(StrandSet sticks, Vectors normal);
PointList buildStrandCa(const PointList& stick, int anchor, Vectors normal);

// Points bucketed into cubic cells a little wider than a search radius, so
// that "is some point closer than the radius?" looks at the 27 cells around
// the query only. Its answers are exactly those of a scan over every point.
class PointGrid {
 public:
  PointGrid(const PointList& points, double radius);
  // Whether some point lies at a distance below the radius (getDistance < radius).
  bool anyCloserThan(Coordinate query) const;

 private:
  bool cellOf(Coordinate p, long long cell[3]) const;
  const PointList& points_;
  double radius_, cellSize_;
  bool indexed_ = false;  // false: coordinates too large or not finite for cells; scan instead
  std::vector<long long> keys_;   // sorted cell keys
  std::vector<int> order_;        // point indices in key order
};
