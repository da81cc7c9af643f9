// The indexed point-set kernels against plain scans of every point: random
// clouds with duplicates and exact distance ties, points exactly at the
// thresholds the kernels compare against, line-like clouds as the strand
// search makes them, and coordinates that no box can bound.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "reference/plain_points.h"
#include "support/same_bits.h"
#include "velmorantique/points.h"

using namespace vel;

namespace {

// Deterministic draws: integers only, so every platform makes the same clouds.
class Draw {
 public:
  explicit Draw(unsigned seed) : rng_(seed) {}
  int integer(int lo, int hi) { return lo + static_cast<int>(rng_() % static_cast<unsigned>(hi - lo + 1)); }
  // A value on a lattice of the given step: many equal values, many exactly
  // equal distances.
  double onLattice(int halfWidth, double step) { return integer(-halfWidth, halfWidth) * step; }

 private:
  std::mt19937 rng_;
};

PointList latticeCloud(Draw& draw, int count, int halfWidth, double step) {
  PointList cloud;
  for (int i = 0; i < count; ++i)
    cloud.push_back(Coordinate(draw.onLattice(halfWidth, step), draw.onLattice(halfWidth, step),
                               draw.onLattice(halfWidth, step)));
  return cloud;
}

// Samples along a gently bent line, each proposed by several "surface
// points" (duplicates kept, in scrambled order), as the strand search lays them.
PointList lineCloud(Draw& draw, int distinct, double length, double spread) {
  PointList samples;
  for (int i = 0; i < distinct; ++i) {
    const double t = length * draw.integer(0, 100000) / 100000.0;
    const Coordinate p(t, 0.3 * t + spread * draw.integer(-50, 50) / 50.0, 0.02 * t * t);
    const int copies = draw.integer(1, 4);
    for (int c = 0; c < copies; ++c) samples.push_back(p);
  }
  for (size_t i = samples.size(); i > 1; --i) std::swap(samples[i - 1], samples[draw.integer(0, static_cast<int>(i) - 1)]);
  return samples;
}

void expectSameClusters(const ClusterList& expected, const ClusterList& actual) {
  ASSERT_EQ(expected.size(), actual.size());
  for (size_t c = 0; c < expected.size(); ++c) expectSameList(expected[c], actual[c]);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Clouds whose coordinates no box can bound, mixed into ordinary ones.
std::vector<PointList> unboundedClouds() {
  PointList base{{0, 0, 0}, {1, 0, 0}, {2, 1, 0}, {1, 0, 0}, {0, 3, 1}, {4, 4, 4}};
  std::vector<PointList> clouds;
  for (Coordinate odd : {Coordinate(kNaN, 0, 0), Coordinate(0, kInf, 0), Coordinate(0, 0, -kInf),
                         Coordinate(2e7, 0, 0), Coordinate(1, -3e6, 2)}) {
    PointList cloud = base;
    cloud.insert(cloud.begin() + 2, odd);
    clouds.push_back(cloud);
    cloud.push_back(odd);
    clouds.push_back(cloud);
  }
  return clouds;
}

}  // namespace

TEST(FarthestPairDifferential, MatchesTheScanOnCloudsWithDuplicatesAndTies) {
  Draw draw(1);
  for (int round = 0; round < 300; ++round) {
    const int count = draw.integer(0, round < 250 ? 60 : 1500);
    const PointList cloud = latticeCloud(draw, count, draw.integer(0, 6), 0.5);
    ASSERT_EQ(plain::findFarestPointInOneSet(cloud), findFarestPointInOneSet(cloud)) << "round " << round;
  }
}

TEST(FarthestPairDifferential, MatchesTheScanOnLineLikeClouds) {
  Draw draw(2);
  for (int round = 0; round < 40; ++round) {
    const PointList cloud = lineCloud(draw, draw.integer(2, 800), 5 + draw.integer(0, 30), 0.2);
    ASSERT_EQ(plain::findFarestPointInOneSet(cloud), findFarestPointInOneSet(cloud)) << "round " << round;
  }
}

TEST(ClosestPairDifferential, MatchesTheScanWithSharedPointsAndTies) {
  Draw draw(3);
  for (int round = 0; round < 300; ++round) {
    const double step = round % 2 ? 0.5 : 1.0;
    const PointList a = latticeCloud(draw, draw.integer(0, round < 250 ? 50 : 800), 4, step);
    PointList b = latticeCloud(draw, draw.integer(0, round < 250 ? 50 : 800), 4, step);
    // Points shared by both sets lie at distance 0, which never counts.
    if (!a.empty() && !b.empty()) b[draw.integer(0, static_cast<int>(b.size()) - 1)] = a[0];
    ASSERT_EQ(plain::findClosestPointBtwSets(a, b), findClosestPointBtwSets(a, b)) << "round " << round;
  }
}

TEST(ClosestPairDifferential, MatchesTheScanBetweenNeighbouringLines) {
  Draw draw(4);
  for (int round = 0; round < 30; ++round) {
    const PointList a = lineCloud(draw, draw.integer(1, 600), 20, 0.1);
    PointList b = lineCloud(draw, draw.integer(1, 600), 20, 0.1);
    // The neighbour 4.6 Å away across the line, turned a little.
    for (Coordinate& p : b) p = Coordinate(p.x + 0.05 * p.z, p.y + 4.6, p.z + 0.01 * p.x);
    ASSERT_EQ(plain::findClosestPointBtwSets(a, b), findClosestPointBtwSets(a, b)) << "round " << round;
  }
}

TEST(ClosestPairDifferential, ExactlyParallelLinesTieAllAlongAndTheFirstPairWins) {
  // Two straight lines 4.5 Å apart sampled on the same lattice: every pair
  // straight across lies at exactly the smallest distance, so the answer
  // rests on the tie rule alone, however the search opens the pairs.
  for (int shift : {0, 3, 7}) {
    PointList a, b;
    for (int i = 0; i < 700; ++i) a.push_back(Coordinate(0.25 * ((i * 37) % 700), 0, 0));
    for (int i = 0; i < 650; ++i) b.push_back(Coordinate(0.25 * ((i * 11 + shift) % 650), 4.5, 0));
    EXPECT_EQ(plain::findClosestPointBtwSets(a, b), findClosestPointBtwSets(a, b)) << shift;
    EXPECT_EQ(plain::findClosestPointBtwSets(b, a), findClosestPointBtwSets(b, a)) << shift;
  }
}

TEST(ClosestPairDifferential, NothingCountsAt999OrBeyond) {
  const PointList a{{0, 0, 0}, {0, 0, 0}};
  for (double far : {999.0, 998.9999999999999, 999.0000000000001, 1500.0}) {
    const PointList b{{far, 0, 0}, {0, far, 0}};
    EXPECT_EQ(plain::findClosestPointBtwSets(a, b), findClosestPointBtwSets(a, b)) << far;
    // With enough points to be indexed.
    PointList manyA(40, Coordinate(0, 0, 0)), manyB;
    for (int i = 0; i < 40; ++i) manyB.push_back(Coordinate(far, i * 1e-9, 0));
    EXPECT_EQ(plain::findClosestPointBtwSets(manyA, manyB), findClosestPointBtwSets(manyA, manyB)) << far;
  }
}

TEST(MiddlePointDifferential, MatchesTheOrderedMapOnTies) {
  Draw draw(5);
  for (int round = 0; round < 300; ++round) {
    // Lattice clouds tie on many keys; long lines let the boxes rule most
    // points out.
    const PointList cloud = round < 250 ? latticeCloud(draw, draw.integer(1, 120), draw.integer(0, 4), 1.0)
                                        : lineCloud(draw, draw.integer(1, 3000), 25, 0.1);
    const int n = static_cast<int>(cloud.size());
    const IndexPair ends{draw.integer(0, n - 1), draw.integer(0, n - 1)};
    ASSERT_EQ(plain::findMiddlePointBtwTwoPointsInOneSet(ends, cloud), findMiddlePointBtwTwoPointsInOneSet(ends, cloud))
        << "round " << round;
    const PointSetIndex index(cloud);
    ASSERT_EQ(plain::findMiddlePointBtwTwoPointsInOneSet(ends, cloud), index.middlePoint(cloud[ends[0]], cloud[ends[1]]))
        << "round " << round;
  }
}

TEST(NearestPointDifferential, IndexGivesTheScannedNearestDistance) {
  Draw draw(6);
  for (int round = 0; round < 60; ++round) {
    const PointList cloud = round % 2 ? latticeCloud(draw, draw.integer(0, 400), 5, 0.5)
                                      : lineCloud(draw, draw.integer(1, 400), 15, 0.3);
    const PointSetIndex index(cloud);
    int hint = -1;
    for (int q = 0; q < 50; ++q) {
      const Coordinate query(draw.onLattice(8, 0.5), draw.onLattice(8, 0.5), draw.onLattice(8, 0.5));
      double expected = 999;
      for (const Coordinate& p : cloud) {
        const double d = getDistance(query, p);
        if (expected > d && d > 0) expected = d;
      }
      ASSERT_TRUE(sameBits(expected, index.nearestDistance(query, hint))) << "round " << round;
    }
  }
}

TEST(FineStickDifferential, MatchesTheScanningWalkOnLineLikeClouds) {
  Draw draw(7);
  for (int round = 0; round < 40; ++round) {
    PointList expected = lineCloud(draw, draw.integer(0, 500), 2 + draw.integer(0, 20), 0.05);
    PointList actual = expected;
    const double spacing = round % 3 == 0 ? 0.25 : 0.1;
    plain::fineStickUnordered(expected, spacing);
    fineStickUnordered(actual, spacing);
    expectSameList(expected, actual);
  }
}

TEST(FineStickDifferential, PointsExactlyAThousandthApartAreNotUsedUpTogether) {
  // Points 0.0005 apart on a lattice: neighbours two steps away lie exactly
  // 0.001 away (kept), one step away 0.0005 (used up with the walk's point).
  for (double step : {0.0005, 0.001, 0.00099999}) {
    PointList expected;
    for (int i = 0; i < 200; ++i) expected.push_back(Coordinate(i * step, (i % 7) * step, 0));
    PointList actual = expected;
    plain::fineStickUnordered(expected, 0.1);
    fineStickUnordered(actual, 0.1);
    expectSameList(expected, actual);
  }
}

TEST(FineStickDifferential, MatchesTheScanningWalkOnLatticeClouds) {
  Draw draw(8);
  for (int round = 0; round < 200; ++round) {
    PointList expected = latticeCloud(draw, draw.integer(0, 40), draw.integer(0, 3), 0.5);
    PointList actual = expected;
    plain::fineStickUnordered(expected, 0.3);
    fineStickUnordered(actual, 0.3);
    expectSameList(expected, actual);
  }
}

TEST(FineStickDifferential, LinesAcrossTheOriginWithSignedZeros) {
  // The walk's list is sorted along the widest axis: values of both signs,
  // 0 and -0 among them, and values far apart in magnitude.
  Draw draw(9);
  for (int round = 0; round < 30; ++round) {
    PointList expected = lineCloud(draw, draw.integer(20, 400), 2 + draw.integer(0, 20), 0.05);
    const double shift = round % 2 ? expected.front().x : 1e-300;
    for (Coordinate& p : expected) p.x -= shift;
    if (round % 3 == 0) {
      for (int k = 0; k < 5; ++k) expected.push_back(Coordinate(k % 2 ? 0.0 : -0.0, 0.01 * k, 0));
    }
    PointList actual = expected;
    plain::fineStickUnordered(expected, 0.1);
    fineStickUnordered(actual, 0.1);
    expectSameList(expected, actual);
  }
}

TEST(RoughStickDifferential, ThinsAsTheErasingLoopDoes) {
  Draw draw(9);
  for (int round = 0; round < 200; ++round) {
    PointList stick;
    double x = 0;
    for (int i = draw.integer(0, 80); i > 0; --i) {
      x += draw.integer(0, 20) * 0.25;
      stick.push_back(Coordinate(x, draw.integer(0, 2) * 0.5, 0));
    }
    const double gap = draw.integer(1, 12) * 0.5;
    PointList expected = stick, actual = stick;
    plain::roughStick(expected, gap);
    roughStick(actual, gap);
    expectSameList(expected, actual);
    if (stick.empty()) continue;
    const int anchor = draw.integer(0, static_cast<int>(stick.size()) - 1);
    expected = stick;
    actual = stick;
    plain::roughStickFromIndx(expected, gap, anchor);
    roughStickFromIndx(actual, gap, anchor);
    expectSameList(expected, actual);
  }
}

TEST(PeakClusteringDifferential, MatchesTheScanningSweeps) {
  Draw draw(10);
  for (int round = 0; round < 120; ++round) {
    // Half-ångström lattices put many distances exactly at, just under and
    // just over the rounded 5 Å threshold.
    const PointList cloud = latticeCloud(draw, draw.integer(0, round < 100 ? 150 : 2500), draw.integer(1, 30), 0.5);
    const double threshold = round % 5 == 4 ? 2.5 : 5.0;
    const Coordinate start = cloud.empty() || round % 3 == 0 ? Coordinate(draw.onLattice(40, 1), 0, 0) : cloud[0];
    ClusterList expected, actual;
    plain::peakClustering(cloud, expected, start, threshold);
    peakClustering(cloud, actual, start, threshold);
    expectSameClusters(expected, actual);
  }
}

TEST(PeakClusteringDifferential, RoundedDistancesAtTheThreshold) {
  // 4.9995 rounds up to 5.000 and does not join; 4.9994 rounds to 4.999 and
  // does; 9998.9995 from the start seeds nothing.
  for (double d : {4.9995, 4.99949999, 4.9994, 5.0, 5.0004, 9998.9995, 9998.9994}) {
    PointList cloud{{0, 0, 0}, {d, 0, 0}, {0, d, 0}, {d, d, 0}, {0, 0, 2 * d}};
    for (int i = 0; i < 30; ++i) cloud.push_back(Coordinate(i * d / 7, 0, 1));
    ClusterList expected, actual;
    plain::peakClustering(cloud, expected, cloud[0], 5.0);
    peakClustering(cloud, actual, cloud[0], 5.0);
    expectSameClusters(expected, actual);
    expected.clear();
    actual.clear();
    plain::peakClustering(cloud, expected, Coordinate(-d, 0, 0), 5.0);
    peakClustering(cloud, actual, Coordinate(-d, 0, 0), 5.0);
    expectSameClusters(expected, actual);
  }
}

TEST(PeakClusteringDifferential, ThresholdsWithoutGrowthOrWithoutBound) {
  Draw draw(11);
  const PointList cloud = latticeCloud(draw, 300, 10, 0.5);
  for (double threshold : {0.0, -1.0, kNaN, 0.0004, 1e9, kInf}) {
    ClusterList expected, actual;
    plain::peakClustering(cloud, expected, cloud[0], threshold);
    peakClustering(cloud, actual, cloud[0], threshold);
    expectSameClusters(expected, actual);
  }
}

TEST(PointGridDifferential, DecidesAsTheScanAtExactlyTheRadius) {
  Draw draw(12);
  for (int round = 0; round < 40; ++round) {
    // Spread-out clouds take the sparse cells, compact ones the dense cells.
    const double step = round % 4 == 0 ? 50.0 : 0.5;
    const PointList cloud = latticeCloud(draw, draw.integer(0, 300), 6, step);
    const PointGrid grid(cloud, 1.0);
    int hint = -1;
    for (int q = 0; q < 200; ++q) {
      const Coordinate query(draw.onLattice(8, step), draw.onLattice(8, step * 0.5), draw.onLattice(8, step));
      const bool expected = plain::anyCloserThan(cloud, query, 1.0);
      ASSERT_EQ(expected, grid.anyCloserThan(query)) << "round " << round;
      ASSERT_EQ(expected, grid.anyCloserThan(query, hint)) << "round " << round;
    }
  }
}

TEST(UnboundedCoordinates, EveryKernelFallsBackToTheScan) {
  for (const PointList& cloud : unboundedClouds()) {
    EXPECT_EQ(plain::findFarestPointInOneSet(cloud), findFarestPointInOneSet(cloud));
    EXPECT_EQ(plain::findClosestPointBtwSets(cloud, cloud), findClosestPointBtwSets(cloud, cloud));
    const IndexPair ends{0, static_cast<int>(cloud.size()) - 1};
    EXPECT_EQ(plain::findMiddlePointBtwTwoPointsInOneSet(ends, cloud), findMiddlePointBtwTwoPointsInOneSet(ends, cloud));
    EXPECT_EQ(plain::findMiddlePointBtwTwoPointsInOneSet({2, 1}, cloud), findMiddlePointBtwTwoPointsInOneSet({2, 1}, cloud));
    PointList expected = cloud, actual = cloud;
    plain::fineStickUnordered(expected, 0.5);
    fineStickUnordered(actual, 0.5);
    expectSameList(expected, actual);
    ClusterList expectedClusters, actualClusters;
    plain::peakClustering(cloud, expectedClusters, cloud[0], 5.0);
    peakClustering(cloud, actualClusters, cloud[0], 5.0);
    expectSameClusters(expectedClusters, actualClusters);
    const PointGrid grid(cloud, 1.0);
    for (const Coordinate& q : cloud) EXPECT_EQ(plain::anyCloserThan(cloud, q, 1.0), grid.anyCloserThan(q));
  }
}

TEST(StrandCaDifferential, GridSearchTakesTheSameFirstFittingPositions) {
  Draw draw(13);
  size_t traced = 0;
  for (int round = 0; round < 12; ++round) {
    // Three to five sticks side by side, 4.8 Å apart and turned a little,
    // resampled every 0.1 Å as the scoring gives them.
    StrandSet sticks;
    const int count = draw.integer(3, 5);
    for (int k = 0; k < count; ++k) {
      PointList stick;
      const double turn = 0.04 * k + 0.01 * draw.integer(0, 3), length = 10 + draw.integer(0, 80) * 0.1;
      for (double t = 0; t < length; t += 0.1)
        stick.push_back(Coordinate(t - length / 2, 4.8 * k + turn * t, 0.3 * std::sin(t) + turn * t * 0.5));
      sticks.push_back(stick);
    }
    const Vectors normal(0.1 * draw.integer(-5, 5), 0.1 * draw.integer(-5, 5), 1);
    const StrandSet expected = plain::buildSheetCa(sticks, normal);
    const StrandSet actual = buildSheetCa(sticks, normal);
    ASSERT_EQ(expected.size(), actual.size());
    for (size_t s = 0; s < expected.size(); ++s) {
      expectSameList(expected[s], actual[s]);
      traced += actual[s].size();
    }
  }
  EXPECT_GT(traced, 100u);  // the sticks do get C-alphas to compare
  // Straight sticks span no plane: no position passes anywhere.
  PointList straight;
  for (int i = 0; i < 50; ++i) straight.push_back(Coordinate(i * 0.1, 0, 0));
  expectSameList(plain::buildStrandCa(straight, 20, Vectors(0, 0, 1)), buildStrandCa(straight, 20, Vectors(0, 0, 1)));
}
