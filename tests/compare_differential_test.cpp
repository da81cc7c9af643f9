// Dist and OneWayDist against plain scans of every pair of points: strands
// sampled every 0.1 Å as the scoring compares them, strands that coincide
// point for point, empty strands, points 999 Å apart and coordinates no box
// can bound.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "reference/plain_compare.h"
#include "support/same_bits.h"
#include "velmorantique/compare.h"
#include "velmorantique/points.h"

using namespace vel;

namespace {

// A strand axis sampled every 0.1 Å from `from` in a direction, bent a little.
PointList sampledStrand(Coordinate from, Vectors along, double length, double bend) {
  PointList strand;
  const Vectors u = along.unit();
  for (double t = 0; t < length; t += 0.1)
    strand.push_back(Coordinate(from.x + u.x * t, from.y + u.y * t + bend * t * t, from.z + u.z * t));
  return strand;
}

// Strands side by side 4.8 Å apart, each turned a few degrees further.
StrandSet sheetOfStrands(std::mt19937& rng, int count, double shift) {
  StrandSet sheet;
  for (int k = 0; k < count; ++k) {
    const double turn = 0.05 * k + 0.01 * static_cast<int>(rng() % 5);
    const double length = 8 + static_cast<int>(rng() % 120) * 0.1;
    sheet.push_back(sampledStrand(Coordinate(-length / 2 + shift, 4.8 * k, 0.3 * k), Vectors(1, 0, turn), length,
                                  0.002 * static_cast<int>(rng() % 4)));
  }
  return sheet;
}

// Reference strands of a few C-alphas 3.35 Å apart, in the plane of the
// strands of sheetOfStrands, some of them lying on a candidate's points.
ReferenceStrands referenceCas(std::mt19937& rng, int count) {
  ReferenceStrands reference;
  for (int k = 0; k < count; ++k) {
    ReferenceStrand record;
    const int residues = 3 + static_cast<int>(rng() % 8);
    const double x0 = -6 + 0.1 * static_cast<int>(rng() % 40), y = 4.8 * k + 0.5 * static_cast<int>(rng() % 5);
    for (int r = 0; r < residues; ++r) record.cas.push_back(Coordinate(x0 + 3.35 * r, y, 0.3 * k));
    record.seqLength = residues + static_cast<int>(rng() % 3);
    reference.push_back(record);
  }
  return reference;
}

void expectSameValue(double expected, double actual) {
  EXPECT_TRUE(sameBits(expected, actual)) << expected << " vs " << actual;
}

}  // namespace

TEST(DistDifferential, MatchesTheScanOnSampledStrands) {
  std::mt19937 rng(21);
  for (int round = 0; round < 30; ++round) {
    const StrandSet a = sheetOfStrands(rng, 3, 0.05 * (round % 7));
    const StrandSet b = sheetOfStrands(rng, 3, 0.0);
    for (const PointList& p : a)
      for (const PointList& q : b) expectSameValue(plain::Dist(p, q), Dist(p, q));
  }
}

TEST(DistDifferential, CoincidentPointsAndTheSentinel) {
  PointList p;
  for (int i = 0; i < 60; ++i) p.push_back(Coordinate(i * 0.25, 0, 0));
  // Q holds every point of P (distance 0 never counts) and points exactly
  // 999 Å away (no neighbour either).
  PointList q = p;
  for (int i = 0; i < 40; ++i) q.push_back(Coordinate(i * 0.25, 999, 0));
  expectSameValue(plain::Dist(p, q), Dist(p, q));
  expectSameValue(plain::Dist(p, p), Dist(p, p));
  PointList far;
  for (int i = 0; i < 40; ++i) far.push_back(Coordinate(i * 0.25, 999, 0));
  expectSameValue(plain::Dist(p, far), Dist(p, far));
  expectSameValue(plain::Dist(p, PointList()), Dist(p, PointList()));
  EXPECT_TRUE(std::isnan(Dist(PointList(), q)));
}

TEST(OneWayDistDifferential, MatchesTheScanForEveryShapeOfSets) {
  std::mt19937 rng(22);
  for (int round = 0; round < 20; ++round) {
    const StrandSet reference = sheetOfStrands(rng, 4, 0.0);
    // Candidate sets with fewer, as many and more strands than the reference.
    for (int lines : {1, 2, 4, 6}) {
      const StrandSet candidate = sheetOfStrands(rng, lines, 0.3 * (round % 3));
      expectSameValue(plain::OneWayDist(reference, candidate), OneWayDist(reference, candidate));
      expectSameValue(plain::OneWayDist(candidate, reference), OneWayDist(candidate, reference));
    }
  }
}

TEST(OneWayDistDifferential, CoincidentAndEmptyStrands) {
  std::mt19937 rng(23);
  const StrandSet reference = sheetOfStrands(rng, 4, 0.0);
  StrandSet candidate = reference;          // every strand coincides with one of the reference
  candidate.push_back(PointList());         // and one has no points
  candidate.push_back(reference[1]);
  expectSameValue(plain::OneWayDist(reference, candidate), OneWayDist(reference, candidate));
  expectSameValue(plain::OneWayDist(candidate, reference), OneWayDist(candidate, reference));
  expectSameValue(plain::OneWayDist(reference, reference), OneWayDist(reference, reference));
  const StrandSet none;
  EXPECT_TRUE(std::isnan(OneWayDist(none, reference)));
  expectSameValue(plain::OneWayDist(reference, none), OneWayDist(reference, none));
}

TEST(OneWayDistDifferential, UnboundedCoordinatesFallBackToTheScan) {
  std::mt19937 rng(24);
  StrandSet reference = sheetOfStrands(rng, 3, 0.0);
  StrandSet candidate = sheetOfStrands(rng, 3, 0.4);
  candidate[1][10].x = std::numeric_limits<double>::quiet_NaN();
  candidate[2][5].y = 5e7;
  reference[0][3].z = std::numeric_limits<double>::infinity();
  expectSameValue(plain::OneWayDist(reference, candidate), OneWayDist(reference, candidate));
  expectSameValue(plain::OneWayDist(candidate, reference), OneWayDist(candidate, reference));
  for (const PointList& p : candidate)
    for (const PointList& q : reference) expectSameValue(plain::Dist(p, q), Dist(p, q));
}

TEST(FindDetectAADifferential, MatchesTheScanOnFinelySampledCandidates) {
  std::mt19937 rng(25);
  for (int round = 0; round < 20; ++round) {
    const ReferenceStrands reference = referenceCas(rng, 4);
    StrandSet candidate = sheetOfStrands(rng, 5, 0.1 * (round % 4));
    // A strand twice over (tied for nearest), an empty one, and a C-alpha
    // that coincides with a point (distance 0: no neighbour, yet detected).
    candidate.push_back(candidate[round % 5]);
    if (round % 3 == 0) candidate.push_back(PointList());
    if (round % 2 == 0) candidate[1].push_back(reference[1].cas[0]);
    EXPECT_EQ(plain::FindDetectAA(reference, candidate), FindDetectAA(reference, candidate));
    for (const ReferenceStrand& record : reference)
      for (const PointList& q : candidate) expectSameValue(plain::Dist(record.cas, q), Dist(record.cas, PointSetIndex(q)));
  }
}

TEST(FindDetectAADifferential, UnboundedCoordinatesFallBackToTheScan) {
  std::mt19937 rng(26);
  const ReferenceStrands reference = referenceCas(rng, 3);
  StrandSet candidate = sheetOfStrands(rng, 3, 0.2);
  candidate[0][7].y = std::numeric_limits<double>::quiet_NaN();
  candidate[2][3].x = 5e7;
  EXPECT_EQ(plain::FindDetectAA(reference, candidate), FindDetectAA(reference, candidate));
}

TEST(OneWayDistDifferential, TheStrandNearestAtTheMiddleIsNotAlwaysNearestOnAverage) {
  // The short strand lies nearest to a's middle point and is measured first;
  // the long one, a little farther at the middle, is nearer on average, by
  // less and less, so that measuring it must not be given up too soon.
  const PointList a = sampledStrand(Coordinate(0, 0, 0), Vectors(1, 0, 0), 20, 0);
  const PointList shortStrand = sampledStrand(Coordinate(4, 5, 0), Vectors(1, 0, 0), 12, 0);
  for (double y : {5.05, 5.1, 5.15, 5.19, 5.2, 5.25}) {
    const PointList longStrand = sampledStrand(Coordinate(-1, y, 0.01), Vectors(1, 0, 0), 22, 0);
    const StrandSet b{shortStrand, longStrand};
    expectSameValue(plain::OneWayDist({a}, b), OneWayDist({a}, b));
    expectSameValue(plain::OneWayDist(b, {a}), OneWayDist(b, {a}));
  }
}

TEST(IndexedStrandsDifferential, OneIndexServesEveryMeasurementOfItsSet) {
  // The reference strands indexed once and measured against candidate after
  // candidate, and each candidate indexed once for both of its measurements:
  // nothing one measurement leaves behind may change the next.
  std::mt19937 rng(27);
  const StrandSet reference = sheetOfStrands(rng, 4, 0.0);
  const ReferenceStrands cas = referenceCas(rng, 4);
  IndexedStrands indexedReference(reference);
  for (int round = 0; round < 12; ++round) {
    StrandSet candidate = sheetOfStrands(rng, 2 + round % 5, 0.2 * (round % 3));
    if (round % 4 == 0) candidate.push_back(reference[round % 4]);  // a strand that coincides
    if (round == 6) indexedReference = IndexedStrands(reference);  // an index moved in serves as well
    const IndexedStrands indexedCandidate(candidate);
    expectSameValue(plain::OneWayDist(candidate, reference), OneWayDist(candidate, indexedReference));
    expectSameValue(plain::OneWayDist(reference, candidate), OneWayDist(reference, indexedCandidate));
    EXPECT_EQ(plain::FindDetectAA(cas, candidate), FindDetectAA(cas, indexedCandidate));
    EXPECT_EQ(FindDetectAA(cas, candidate), FindDetectAA(cas, indexedCandidate));
  }
  EXPECT_EQ(FindDetectAA(ReferenceStrands(), IndexedStrands(reference)), std::make_pair(0, 0));
}

TEST(FindDetectAADifferential, PointsNearTheThreeAngstromCutOff) {
  // C-alphas with one point each of a line at offsets on either side of 3 Å:
  // along one axis, along all three, and beyond reach of any number.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double below = std::nextafter(3.0, 0.0);
  const Vectors offsets[] = {{3.0, 0, 0},    {below, 0, 0},   {0, -3.0, 0}, {0, 0, -below}, {1.7320508, 1.7320508, 1.7320508},
                             {2, 2, 2},      {2.9, 0.7, 0},   {0, 0, 0},    {nan, 0, 0},    {inf, 0, 0},
                             {0, inf, nan},  {-2.99, 0.2, 0.1}};
  for (const Vectors& offset : offsets) {
    ReferenceStrands reference(1);
    reference[0].seqLength = 1;
    reference[0].cas.push_back(Coordinate(10, 20, 30));
    const StrandSet candidate{{Coordinate(10 + offset.x, 20 + offset.y, 30 + offset.z)}};
    EXPECT_EQ(plain::FindDetectAA(reference, candidate), FindDetectAA(reference, candidate))
        << offset.x << " " << offset.y << " " << offset.z;
  }
}

TEST(FindDetectAADifferential, StrandsTiedOrAlmostTiedForNearest) {
  // Parallel copies of one strand at distances that tie within 0.001 Å, miss
  // the tie by a little, or lie far off; listed far ones first, so that a
  // strand passed over for its box must not have been the nearest or a tie.
  ReferenceStrands reference(1);
  reference[0].seqLength = 6;
  for (int r = 0; r < 6; ++r) reference[0].cas.push_back(Coordinate(3.35 * r, 0, 0));
  const PointList line = sampledStrand(Coordinate(-2, 0, 0), Vectors(1, 0, 0), 20, 0);
  for (double base : {0.5, 2.0, 2.9995, 40.0}) {
    StrandSet candidate;
    for (double extra : {30.0, 0.0025, 0.0015, 0.0009, 0.0, 0.0004, 900.0, 2000.0}) {
      PointList copy = line;
      for (Coordinate& p : copy) p.z += base + extra;
      candidate.push_back(copy);
    }
    EXPECT_EQ(plain::FindDetectAA(reference, candidate), FindDetectAA(reference, candidate)) << base;
    candidate.push_back(reference[0].cas);  // a strand on the C-alphas: distance 0, yet detecting
    EXPECT_EQ(plain::FindDetectAA(reference, candidate), FindDetectAA(reference, candidate)) << base;
  }
}
