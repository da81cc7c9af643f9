#pragma once
// Exact duplicates of a point list gathered into classes. Lines sampled from
// the sheet surface hold many identical points (every surface point proposes
// one, duplicates kept); the queries work on the distinct points and map the
// answers back to list positions.

#include <vector>

#include "velmorantique/geometry.h"

namespace vel::point_classes {

struct Classes {
  PointList distinct;        // one point per class, in order of first occurrence
  std::vector<int> classOf;  // list position -> class
  std::vector<int> first;    // class -> first list position
  std::vector<int> count;    // class -> number of list positions
};

// Classes of bit-for-bit equal coordinates. Equal bits give equal distances
// to every other point and distance 0 to each other, which is all the
// queries rely on.
Classes gather(const PointList& points);

// Whether every point is within reach (withinReach); scale is then the
// largest coordinate magnitude.
bool indexable(const PointList& points, double& scale);

// The pruning allowance for coordinates up to the given magnitude: far above
// the rounding of any distance or box bound computed from them.
inline double marginFor(double scale) { return 1e-9 * (1.0 + scale); }

}  // namespace vel::point_classes
