#pragma once
// The set distances written as straight scans, exactly as the behaviour is
// defined: the reference the library versions are checked against. Not used
// by the program.

#include "velmorantique/compare.h"

namespace vel::plain {

double Dist(const PointList& p, const PointList& q);
double OneWayDist(const StrandSet& a, const StrandSet& b);
std::pair<int, int> FindDetectAA(const ReferenceStrands& reference, const StrandSet& candidate);

}  // namespace vel::plain
