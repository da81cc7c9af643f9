// Picking the best scored candidate: the smallest score, the first scored
// among equal ones, and scores that are not numbers ranked exactly as an
// ordered multimap ranks them.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "driver/run.h"

using namespace vel;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

ScoredCandidate scored(int t, int o, double twoWay, double rmsMean) {
  ScoredCandidate c;
  c.candidate = Candidate(t, o);
  c.twoWay = twoWay;
  c.rmsMean = rmsMean;
  return c;
}

}  // namespace

TEST(FirstInRanking, SmallestKeyAndFirstOfEqualKeys) {
  EXPECT_EQ(firstInRanking({}), -1);
  EXPECT_EQ(firstInRanking({7}), 0);
  EXPECT_EQ(firstInRanking({3, 1, 2, 1}), 1);
  EXPECT_EQ(firstInRanking({2, 2, 2}), 0);
  EXPECT_EQ(firstInRanking({-0.0, 0.0}), 0);  // equal keys, whatever their sign
  EXPECT_EQ(firstInRanking({0.5, std::numeric_limits<double>::infinity(), -1e300}), 2);
}

TEST(FirstInRanking, KeysThatAreNotNumbersFollowTheMultimapsTree) {
  EXPECT_EQ(firstInRanking({kNaN, kNaN, kNaN}), 0);
  EXPECT_EQ(firstInRanking({kNaN, 2, 1}), 0);
  EXPECT_EQ(firstInRanking({2, kNaN, 1}), 2);
  // The second not-a-number turns the tree so that the first one becomes its
  // root; a later 1, compared with that root, goes right of it and of 5. The
  // map yields 5 first, where a scan for the smallest value would stop at 1.
  EXPECT_EQ(firstInRanking({5, kNaN, kNaN, 1}), 0);
}

TEST(CandidateScores, BestByEachScoreAndLookUp) {
  CandidateScores scores;
  EXPECT_EQ(scores.bestByTwoWay(), nullptr);
  EXPECT_EQ(scores.bestByRms(), nullptr);
  scores.scored = {scored(0, 3, 2.5, 1.0), scored(1, 4, 1.5, 3.0), scored(2, 5, 1.5, 1.0)};
  EXPECT_EQ(scores.bestByTwoWay()->candidate, Candidate(1, 4));
  EXPECT_EQ(scores.bestByRms()->candidate, Candidate(0, 3));
  EXPECT_EQ(scores.find(Candidate(2, 5)), &scores.scored[2]);
  EXPECT_EQ(scores.find(Candidate(2, 6)), nullptr);
}
