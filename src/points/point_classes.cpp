#include "point_classes.h"

#include <cmath>
#include <cstdint>

namespace vel::point_classes {

namespace {

uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdULL;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ULL;
  h ^= h >> 33;
  return h;
}

bool sameBits(const Coordinate& a, const Coordinate& b) {
  return bitsOf(a.x) == bitsOf(b.x) && bitsOf(a.y) == bitsOf(b.y) && bitsOf(a.z) == bitsOf(b.z);
}

}  // namespace

Classes gather(const PointList& points) {
  Classes c;
  const size_t n = points.size();
  c.classOf.resize(n);
  size_t capacity = 16;
  while (capacity < 2 * n) capacity *= 2;
  std::vector<int> table(capacity, -1);  // open addressing: slot -> class
  for (size_t i = 0; i < n; ++i) {
    const Coordinate& p = points[i];
    uint64_t h = mix(bitsOf(p.x) * 0x9e3779b97f4a7c15ULL ^ mix(bitsOf(p.y)) ^ (bitsOf(p.z) << 1));
    size_t slot = h & (capacity - 1);
    while (table[slot] >= 0 && !sameBits(c.distinct[table[slot]], p)) slot = (slot + 1) & (capacity - 1);
    if (table[slot] < 0) {
      table[slot] = static_cast<int>(c.distinct.size());
      c.distinct.push_back(p);
      c.first.push_back(static_cast<int>(i));
      c.count.push_back(0);
    }
    const int k = table[slot];
    c.classOf[i] = k;
    ++c.count[k];
  }
  return c;
}

bool indexable(const PointList& points, double& scale) {
  scale = 0;
  for (const Coordinate& p : points) {
    if (!withinReach(p)) return false;
    const double ax = std::fabs(p.x), ay = std::fabs(p.y), az = std::fabs(p.z);
    if (ax > scale) scale = ax;
    if (ay > scale) scale = ay;
    if (az > scale) scale = az;
  }
  return true;
}

}  // namespace vel::point_classes
