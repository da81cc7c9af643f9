#pragma once
// The point-set kernels written as straight scans over every point, exactly
// as the behaviour is defined: the reference the indexed library versions are
// checked against. Not used by the program.

#include "velmorantique/points.h"

namespace vel::plain {

void peakClustering(const PointList& points, ClusterList& clusters, Coordinate start, double threshold);
int findClosestPointInSet(const PointList& points, Coordinate query);
IndexPair findFarestPointInOneSet(const PointList& points);
IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b);
int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points);
void fineStickUnordered(PointList& points, double spacing);
void roughStick(PointList& points, double gap);
void roughStickFromIndx(PointList& points, double gap, int anchor);
// The program's tracing (points/strand_trace.h) with the plain kernels: the
// grid searched position by position, the sheet anchored by the scans above.
StrandSet buildSheetCa(StrandSet sticks, Vectors normal);
PointList buildStrandCa(const PointList& stick, int anchor, Vectors normal);
// Whether some point lies closer than the radius to the query.
bool anyCloserThan(const PointList& points, Coordinate query, double radius);

}  // namespace vel::plain
