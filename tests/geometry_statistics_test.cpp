#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "velmorantique/geometry.h"

using namespace vel;

TEST(Statistics, MeanOfValues) {
  EXPECT_EQ(mean({1, 2, 3, 4}), 2.5);
  EXPECT_EQ(mean({-7}), -7);
  EXPECT_TRUE(std::isnan(mean({})));
}

TEST(Statistics, StandardDeviationDividesByTheCount) {
  // Population deviation 2; the sample deviation would be about 2.138.
  EXPECT_EQ(std_dev({2, 4, 4, 4, 5, 5, 7, 9}), 2.0);
  EXPECT_EQ(std_dev({1, 3}), 1.0);
  EXPECT_EQ(std_dev({5}), 0.0);
  EXPECT_TRUE(std::isnan(std_dev({})));
}

TEST(Statistics, OnePassDeviationOfAConstantCanRoundBelowZero) {
  // Sum of squares over n falls just short of the squared mean, and the
  // square root of that small negative difference is not-a-number.
  EXPECT_TRUE(std::isnan(std_dev({0.05, 0.05, 0.05})));
}
