#include <cstddef>
#include <string>
#include <vector>

#include "velmorantique/compare.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

namespace {

// The most strand axis one structure may ask to sample, in ångström: a
// million samples. Real sheets hold a few thousand ångström of strand, and a
// missing C-alpha's placeholder adds a few thousand more; only coordinates
// that are no positions at all (1e30, inf) or strands zigzagging across the
// whole coordinate range get near it, and sampling those would exhaust the
// memory or never end.
constexpr double kMaxAxisLength = 100000.0;

[[noreturn]] void refuseAxisLength(const Protein& protein, const SheetsSecondaryStructure& record,
                                   double length) {
  const AminoAcid& first = protein.AAs[record.start];
  const AminoAcid& last = protein.AAs[record.end];
  errMsg("Reference", "FindTrueStrands",
         "The strand axes of " + protein.fileName + " are too long to sample every 0.1 A ( " +
             toString(length) + " A reached at the strand " + first.chr3 + "-" + toString(first.num) +
             " to " + last.chr3 + "-" + toString(last.num) + "; at most " + toString(kMaxAxisLength) +
             " A in all ). Its C-alpha coordinates are not those of a sheet.");
  fatalExit(1);
}

// The axis of one strand sampled every 0.1 Å along the polyline through its
// end C-alphas and the centroids of its consecutive C-alpha triplets.
// sampledLength counts the axis sampled so far over all strands.
PointList sampleStrandAxis(const Protein& protein, const SheetsSecondaryStructure& record,
                           double& sampledLength) {
  const int a = record.start, b = record.end;

  PointList anchors;
  anchors.push_back(protein.getAtomCoordinate(a, " CA "));
  for (int j = a; j <= b - 2; ++j) {
    // One query per C-alpha in chain order, so that the reports of a missing
    // C-alpha come out in that order.
    Coordinate first = protein.getAtomCoordinate(j, " CA ");
    Coordinate second = protein.getAtomCoordinate(j + 1, " CA ");
    Coordinate third = protein.getAtomCoordinate(j + 2, " CA ");
    anchors.push_back(triangleCenter(first, second, third));
  }
  anchors.push_back(protein.getAtomCoordinate(b, " CA "));

  PointList axis;
  for (std::size_t k = 0; k + 1 < anchors.size(); ++k) {
    const Coordinate& from = anchors[k];
    const Coordinate& to = anchors[k + 1];
    double length = Vectors(from, to).length();
    if (length > 0.1) {
      sampledLength += length;
      if (!(sampledLength <= kMaxAxisLength)) refuseAxisLength(protein, record, sampledLength);
      // The offset grows by repeated addition, so a 1 Å segment yields 11
      // points: ten additions of 0.1 fall just short of 1.
      for (double t = 0; t < length; t += 0.1) axis.push_back(pointOnLine(from, to, t));
    } else {
      axis.push_back(from);
    }
  }
  axis.push_back(protein.getAtomCoordinate(b, " CA "));
  return axis;
}

}  // namespace

StrandSet FindTrueStrands(std::string pdbPath) {
  Protein protein;
  protein.read(pdbPath + ".pdb", "");

  StrandSet strands(protein.strands.size());
  double sampledLength = 0.0;
  for (std::size_t i = 0; i < protein.strands.size(); ++i)
    strands[i] = sampleStrandAxis(protein, protein.strands[i], sampledLength);
  return strands;
}

StrandSet FindTrueCAs(std::string pdbPath, std::vector<ReferenceStrandSpan>* spans) {
  Protein protein;
  protein.read(pdbPath + ".pdb", "");

  StrandSet cas(protein.strands.size());
  for (std::size_t i = 0; i < protein.strands.size(); ++i) {
    const SheetsSecondaryStructure& record = protein.strands[i];
    for (int j = record.start; j <= record.end; ++j) cas[i].push_back(protein.getAtomCoordinate(j, " CA "));
    if (!spans) continue;
    ReferenceStrandSpan span;
    span.seqLength = record.seqLength;
    span.sheetId = record.sheetID;
    span.strand = record.strand;
    if (record.start >= 0 && record.start < protein.numOfAA()) span.firstResidue = protein.AAs[record.start].num;
    if (record.end >= 0 && record.end < protein.numOfAA()) span.lastResidue = protein.AAs[record.end].num;
    spans->push_back(span);
  }
  return cas;
}
