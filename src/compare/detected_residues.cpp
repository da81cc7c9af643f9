#include <cmath>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "velmorantique/compare.h"
#include "velmorantique/protein.h"

namespace {

// The reference C-alphas that have some point of the line within 3 Å. The
// cut-off applies to single points of the line, and a C-alpha lying exactly
// on a point counts.
int countCovered(const PointList& reference, const PointList& line) {
  int covered = 0;
  for (const Coordinate& ca : reference) {
    for (const Coordinate& point : line) {
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
std::pair<int, int> FindDetectAA(std::string pdbPath, const StrandSet& candidate) {
  Protein protein;
  protein.read(pdbPath + ".pdb", "");

  StrandSet referenceCAs;
  std::vector<ReferenceStrandSpan> spans;
  for (const SheetsSecondaryStructure& record : protein.strands) {
    PointList reference;
    for (int j = record.start; j <= record.end; ++j)
      reference.push_back(protein.getAtomCoordinate(j, " CA "));
    referenceCAs.push_back(std::move(reference));
    ReferenceStrandSpan span;
    span.seqLength = record.seqLength;
    spans.push_back(span);
  }
  return detectResidues(referenceCAs, spans, candidate);
}

std::pair<int, int> detectResidues(const StrandSet& referenceCAs, const std::vector<ReferenceStrandSpan>& spans,
                                   const StrandSet& candidate) {
  int detected = 0, total = 0;
  for (std::size_t r = 0; r < referenceCAs.size(); ++r) {
    const PointList& reference = referenceCAs[r];
    std::vector<double> dist;
    double nearest = 999;
    for (const PointList& strand : candidate) {
      dist.push_back(Dist(reference, strand));
      if (dist.back() < nearest && dist.back() > 0) nearest = dist.back();
    }

    for (std::size_t c = 0; c < candidate.size(); ++c) {
      if (std::fabs(dist[c] - nearest) < 0.001) detected += countCovered(reference, candidate[c]);
    }
    total += r < spans.size() ? spans[r].seqLength : 0;
  }
  return std::make_pair(detected, total);
}
