#include "reference/plain_compare.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace vel::plain {

double Dist(const PointList& p, const PointList& q) {
  double sum = 0;
  for (const Coordinate& pp : p) {
    double nearest = 999;
    for (const Coordinate& qq : q) {
      double d = getDistance(pp, qq);
      if (nearest > d && d > 0) nearest = d;
    }
    sum += nearest;
  }
  return sum / static_cast<double>(p.size());
}

double OneWayDist(const StrandSet& a, const StrandSet& b) {
  std::vector<double> m;
  for (const PointList& strand : a) {
    double nearest = 999;
    for (const PointList& other : b) {
      double d = plain::Dist(strand, other);
      if (d < nearest && d > 0) nearest = d;
    }
    m.push_back(nearest);
  }

  if (a.size() <= b.size()) {
    double sum = 0;
    for (double d : m) sum += d;
    return sum / static_cast<double>(a.size());
  }

  double best = 99999;
  for (std::size_t k = 0; k + b.size() <= a.size(); ++k) {
    double sum = 0;
    for (std::size_t l = k; l < k + b.size(); ++l) sum += m[l];
    if (sum < best) best = sum;
  }
  return best / static_cast<double>(b.size());
}

std::pair<int, int> FindDetectAA(const ReferenceStrands& reference, const StrandSet& candidate) {
  int detected = 0, total = 0;
  for (const ReferenceStrand& record : reference) {
    std::vector<double> dist;
    double nearest = 999;
    for (const PointList& strand : candidate) {
      dist.push_back(plain::Dist(record.cas, strand));
      if (dist.back() < nearest && dist.back() > 0) nearest = dist.back();
    }
    for (std::size_t c = 0; c < candidate.size(); ++c) {
      if (!(std::fabs(dist[c] - nearest) < 0.001)) continue;
      for (const Coordinate& ca : record.cas) {
        for (const Coordinate& point : candidate[c]) {
          if (getDistance(ca, point) < 3.0) {
            ++detected;
            break;
          }
        }
      }
    }
    total += record.seqLength;
  }
  return {detected, total};
}

}  // namespace vel::plain
