#include <cstddef>
#include <vector>

#include "velmorantique/points.h"

// Orders a cloud into a stick by a greedy nearest-neighbour walk from one end
// of its diameter, and resamples every step of the walk at the given spacing.
// The walk stops once two points or fewer are left; they are not emitted.
void fineStickUnordered(PointList& points, double spacing) {
  PointList remaining = points;
  points.clear();

  int cur = findFarestPointInOneSet(remaining)[0];
  if (cur < 0) return;  // fewer than two distinct points: nothing to walk
  int nxt = findClosestPointInSet(remaining, remaining[cur]);

  while (remaining.size() > 2 && cur != -1 && nxt != -1) {
    Coordinate a = remaining[cur];
    Coordinate b = remaining[nxt];
    double length = Vectors(a, b).length();
    if (length > spacing) {
      // t grows by repeated addition, so a 1 Å step sampled every 0.1 Å gets
      // 11 points (t reaches 0.9999999999999999 before 1).
      for (double t = 0; t < length; t += spacing) points.push_back(pointOnLine(a, b, t));
    } else {
      points.push_back(a);
    }

    // Drop the point just left, with any point sitting on top of it.
    PointList rest;
    for (const Coordinate& p : remaining) {
      if (getDistance(a, p) < 0.001) continue;
      rest.push_back(p);
    }
    remaining = rest;

    cur = findClosestPointInSet(remaining, a);
    if (cur == -1) break;
    nxt = findClosestPointInSet(remaining, remaining[cur]);
  }
}

// Thins an ordered stick: a point closer than the gap to the last kept point
// is removed, until the first point far enough away. The last point of the
// stick is never removed.
void roughStick(PointList& points, double gap) {
  for (std::size_t i = 0; i < points.size(); ++i) {
    std::size_t j = i + 1;
    while (j + 1 < points.size() && getDistance(points[i], points[j]) < gap) {
      points.erase(points.begin() + static_cast<std::ptrdiff_t>(j));
    }
  }
}

// Thins a stick outwards in both directions from the anchor, which is kept,
// as are both end points. An anchor outside the stick leaves it empty.
void roughStickFromIndx(PointList& points, double gap, int anchor) {
  const int n = static_cast<int>(points.size());
  if (anchor < 0 || anchor >= n) {
    points.clear();
    return;
  }

  PointList forward(points.begin() + anchor, points.end());
  PointList backward;
  for (int i = anchor; i >= 0; --i) backward.push_back(points[i]);
  roughStick(forward, gap);
  roughStick(backward, gap);

  points.clear();
  for (std::size_t i = backward.size() - 1; i >= 1; --i) points.push_back(backward[i]);
  points.insert(points.end(), forward.begin(), forward.end());
}
