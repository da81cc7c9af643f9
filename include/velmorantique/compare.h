#pragma once
// Reference comparison: the reference strands as the comparison sees them,
// distances and RMS between strand sets, and the count of reference residues
// a candidate detects. Everything here works on values; reading the
// reference structure is the caller's.

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "velmorantique/geometry.h"

namespace vel {

class PointSetIndex;

// One strand record of the reference structure.
struct ReferenceStrand {
  PointList cas;      // C-alphas of its residues, first to last in chain order (none when the record runs backwards)
  int seqLength = 0;  // residue numbers it spans, gaps included
  int firstResidue = 0, lastResidue = 0;  // the residue numbers its record names
  std::string sheetId;                    // the SHEET record's sheet and strand number, which
  int strand = 0;                         // give the order of neighbouring strands
};
using ReferenceStrands = std::vector<ReferenceStrand>;  // record order

// The axis of a strand: the principal axis of its C-alphas (the direction of
// their largest spread), pointing from the N end to the C end.
struct StrandAxis {
  Coordinate start, end;  // the C-alphas' extent along the axis, N to C
  Coordinate centre;      // the C-alphas' mean
  Vectors direction;      // unit
};
StrandAxis strandAxis(const PointList& cas);
// Signed angle in degrees from strand a to its neighbour b: b's axis turned to
// point like a's, the sign that of (u1 x u2) along the link from a's centre to
// b's made perpendicular to a's axis. Natural sheets give negative angles.
double interStrandAngle(const StrandAxis& a, const StrandAxis& b);

// The most strand axis one structure may ask to sample, in ångström: a
// million samples. Real sheets hold a few thousand ångström of strand, and a
// missing C-alpha's placeholder adds a few thousand more; only coordinates
// that are no positions at all (1e30, inf) or strands zigzagging across the
// whole coordinate range get near it, and sampling those would exhaust the
// memory or never end.
constexpr double kMaxAxisLength = 100000.0;

// The axis of one strand, sampled every 0.1 Å along the polyline from
// `first` through the centroids of consecutive triplets of `cas` to `last`
// (first and last: the C-alphas of the residues its record names first and
// last). Adds the length sampled to sampledLength, which counts over all
// strands of a structure, and stops as soon as that exceeds kMaxAxisLength.
PointList sampleStrandAxis(Coordinate first, const PointList& cas, Coordinate last, double& sampledLength);

double Dist(const PointList& p, const PointList& q);
// The same, with q given as its index: for a list measured against many others.
double Dist(const PointList& p, const PointSetIndex& q);
double OneWayDist(const StrandSet& a, const StrandSet& b);

// A strand set with each strand indexed once, and the box around each: for a
// set measured against many others (the reference strands against every
// candidate, a candidate's sticks both ways).
class IndexedStrands {
 public:
  explicit IndexedStrands(const StrandSet& strands);
  ~IndexedStrands();
  IndexedStrands(IndexedStrands&&) noexcept;
  IndexedStrands& operator=(IndexedStrands&&) noexcept;

  const StrandSet& strands() const { return *strands_; }
  const PointSetIndex& index(std::size_t strand) const;
  // A distance that Dist(points, index(strand)) never comes out below, taken
  // from the boxes around both; 0 when either gives no bound.
  double distBound(const PointList& points, std::size_t strand) const;

 private:
  friend double OneWayDist(const StrandSet& a, const IndexedStrands& b);
  struct Parts;
  const StrandSet* strands_;  // held by the caller, which keeps it unchanged while this lives
  std::unique_ptr<Parts> parts_;
};
// OneWayDist with b indexed beforehand.
double OneWayDist(const StrandSet& a, const IndexedStrands& b);
// Not a point-to-point distance: the shorter list paired point for point along
// the longer, at its best shift and direction; (mean paired distance, sum of
// squared paired distances).
std::pair<double, double> Dist_OneToOne(const PointList& p, const PointList& q);
std::pair<std::pair<double, double>, int> RMS(const StrandSet& a, const StrandSet& b);

// (detected, total): reference residues a candidate detects, and residue
// numbers the reference strands span.
std::pair<int, int> FindDetectAA(const ReferenceStrands& reference, const StrandSet& candidate);
// The same, with the candidate's strands indexed beforehand.
std::pair<int, int> FindDetectAA(const ReferenceStrands& reference, const IndexedStrands& candidate);
// Residue numbers the reference strands span, gaps included: the total of FindDetectAA.
int spannedResidues(const ReferenceStrands& reference);

}  // namespace vel
