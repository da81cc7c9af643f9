#include <cmath>
#include <map>

#include "velmorantique/points.h"

// The diameter pair of a set. Only a strictly larger distance replaces the
// best, so of equal pairs the one met first (smallest i, then smallest j) wins;
// coincident points never form a pair.
IndexPair findFarestPointInOneSet(const PointList& points) {
  double best = -999;
  IndexPair pair{-1, -1};
  const int n = static_cast<int>(points.size());
  for (int i = 0; i + 1 < n; ++i) {
    for (int j = i + 1; j < n; ++j) {
      double d = getDistance(points[i], points[j]);
      if (d > best && d > 0) {
        best = d;
        pair = {i, j};
      }
    }
  }
  return pair;
}

// The closest pair between two sets, at a positive distance below 999; the
// first pair met wins ties.
IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b) {
  double best = 999;
  IndexPair pair{-1, -1};
  const int na = static_cast<int>(a.size());
  const int nb = static_cast<int>(b.size());
  for (int i = 0; i < na; ++i) {
    for (int j = 0; j < nb; ++j) {
      double d = getDistance(a[i], b[j]);
      if (d < best && d > 0) {
        best = d;
        pair = {i, j};
      }
    }
  }
  return pair;
}

// The member whose distances to the two end members differ least. Keys are
// kept in an ordered map, so an exactly equal later key takes the place of an
// earlier one: the highest index wins an exact tie. -1 when the ends do not
// name two members of the set.
int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points) {
  const int n = static_cast<int>(points.size());
  if (ends.size() != 2) return -1;
  const int e0 = ends[0], e1 = ends[1];
  if (e0 < 0 || e0 >= n || e1 < 0 || e1 >= n) return -1;

  std::map<double, int> byImbalance;
  for (int i = 0; i < n; ++i) {
    double key = std::fabs(getDistance(points[i], points[e0]) - getDistance(points[i], points[e1]));
    byImbalance[key] = i;
  }
  return byImbalance.begin()->second;
}
