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
