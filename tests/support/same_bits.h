#pragma once
// Results that must agree bit for bit, as the fast code and its plain scan
// must: not-a-number equals itself, -0 differs from +0.

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "velmorantique/geometry.h"

inline bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The same points in the same order; `what` names the list in a failure.
inline void expectSameList(const vel::PointList& expected, const vel::PointList& actual, const std::string& what = "") {
  ASSERT_EQ(expected.size(), actual.size()) << what;
  for (size_t i = 0; i < expected.size(); ++i)
    ASSERT_TRUE(sameBits(expected[i].x, actual[i].x) && sameBits(expected[i].y, actual[i].y) &&
                sameBits(expected[i].z, actual[i].z))
        << what << (what.empty() ? "" : ", ") << "point " << i;
}
