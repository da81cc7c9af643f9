#include <cmath>
#include <map>

#include "velmorantique/points.h"

namespace vel {

// The diameter pair of a set. Only a strictly larger distance replaces the
// best, so of equal pairs the one met first (smallest i, then smallest j) wins;
// coincident points never form a pair.
IndexPair findFarestPointInOneSet(const PointList& points) { return PointSetIndex(points).farthestPair(); }

// The closest pair between two sets, at a positive distance below 999; the
// first pair met wins ties.
IndexPair findClosestPointBtwSets(const PointList& a, const PointList& b) {
  return closestPairBetween(PointSetIndex(a), PointSetIndex(b));
}

// The member whose distances to the two end members differ least. Keys are
// kept as in an ordered map, so an exactly equal later key takes the place of
// an earlier one: the highest index wins an exact tie. -1 when the ends do not
// name two members of the set.
int findMiddlePointBtwTwoPointsInOneSet(const IndexPair& ends, const PointList& points) {
  const int n = static_cast<int>(points.size());
  if (ends.size() != 2) return -1;
  const int e0 = ends[0], e1 = ends[1];
  if (e0 < 0 || e0 >= n || e1 < 0 || e1 >= n) return -1;

  double bestKey = 0;
  int best = -1;
  for (int i = 0; i < n; ++i) {
    const double key = std::fabs(getDistance(points[i], points[e0]) - getDistance(points[i], points[e1]));
    if (std::isnan(key)) {
      // A key that is not a number breaks the map's ordering; only the map
      // itself says which position it then keeps.
      std::map<double, int> byImbalance;
      for (int k = 0; k < n; ++k)
        byImbalance[std::fabs(getDistance(points[k], points[e0]) - getDistance(points[k], points[e1]))] = k;
      return byImbalance.begin()->second;
    }
    if (best < 0 || key <= bestKey) {
      bestKey = key;
      best = i;
    }
  }
  return best;
}

}  // namespace vel
