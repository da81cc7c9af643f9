#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>
#include <vector>

#include "velmorantique/compare.h"
#include "velmorantique/points.h"

namespace vel {

namespace {

// Whether a and b lie 3 Å apart or more along some axis, so that their
// distance is at least 3 Å: the square of such a difference rounds to at least
// 9, and neither adding the other squares nor the square root rounds below it.
bool apartAlongAnAxis(Coordinate a, Coordinate b) {
  return std::fabs(a.x - b.x) >= 3.0 || std::fabs(a.y - b.y) >= 3.0 || std::fabs(a.z - b.z) >= 3.0;
}

// The reference C-alphas that have some point of the line within 3 Å. The
// cut-off applies to single points of the line, and a C-alpha lying exactly
// on a point counts. Most points of a line lie far along some axis from a
// given C-alpha and are passed over without measuring.
int countCovered(const PointList& reference, const PointList& line) {
  int covered = 0;
  for (const Coordinate& ca : reference) {
    for (const Coordinate& point : line) {
      if (apartAlongAnAxis(ca, point)) continue;
      if (getDistance(ca, point) < 3.0) {
        ++covered;
        break;
      }
    }
  }
  return covered;
}

}  // namespace

// A reference residue is detected when its C-alpha lies within 3 Å of a point
// of the candidate strand nearest to its reference strand. Candidate strands
// tied for nearest (within 0.001 Å) each count the residues they cover, so a
// residue may be counted more than once. The total counts residue numbers
// spanned by the strand records, gaps included.
std::pair<int, int> FindDetectAA(const ReferenceStrands& referenceStrands, const StrandSet& candidate) {
  // Without reference strands nothing is measured, so nothing is indexed.
  if (referenceStrands.empty()) return std::make_pair(0, 0);
  return FindDetectAA(referenceStrands, IndexedStrands(candidate));
}

std::pair<int, int> FindDetectAA(const ReferenceStrands& referenceStrands, const IndexedStrands& indexed) {
  const StrandSet& candidate = indexed.strands();
  int detected = 0;
  for (const ReferenceStrand& record : referenceStrands) {
    const PointList& reference = record.cas;

    // Strands are measured from the one with the lowest bound on. A strand
    // whose bound lies more than 0.002 Å beyond the nearest distance found so
    // far can neither be the nearest nor lie within 0.001 Å of it, so it is
    // not measured (such a bound lies below 999, and a distance never above).
    std::vector<double> bound(candidate.size());
    std::vector<std::size_t> order(candidate.size());
    for (std::size_t c = 0; c < candidate.size(); ++c) {
      bound[c] = indexed.distBound(reference, c);
      order[c] = c;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t u, std::size_t v) { return bound[u] < bound[v]; });
    std::vector<double> dist(candidate.size());
    std::vector<bool> measured(candidate.size(), false);
    double nearest = kNoNeighbour;
    for (std::size_t c : order) {
      if (bound[c] > nearest + 0.002) continue;
      dist[c] = Dist(reference, indexed.index(c));
      measured[c] = true;
      if (dist[c] < nearest && dist[c] > 0) nearest = dist[c];
    }

    for (std::size_t c = 0; c < candidate.size(); ++c) {
      if (measured[c] && std::fabs(dist[c] - nearest) < 0.001) detected += countCovered(reference, candidate[c]);
    }
  }
  return std::make_pair(detected, spannedResidues(referenceStrands));
}

int spannedResidues(const ReferenceStrands& referenceStrands) {
  int total = 0;
  for (const ReferenceStrand& record : referenceStrands) total += record.seqLength;
  return total;
}

}  // namespace vel
