#include <string>

#include <gtest/gtest.h>

#include <iostream>

#include "velmorantique/fatal.h"
#include "velmorantique/nr.h"

using namespace vel;

namespace {

NRMat<double> matrix(int n, int m, std::initializer_list<double> values) {
  NRMat<double> a(n, m);
  auto it = values.begin();
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < m; ++j) a[i][j] = *it++;
  return a;
}

struct SolveFailure {
  int status = -1;  // -1: solved without stopping
  std::string err;
};

SolveFailure solveExpectingFailure(NRMat<double>& a, NRMat<double>& b) {
  SolveFailure f;
  testing::internal::CaptureStderr();
  try {
    NR::gaussj(a, b);
  } catch (const FatalError& e) {
    f.status = e.status;
    printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
  }
  f.err = testing::internal::GetCapturedStderr();
  return f;
}

const char* const kSingular =
    "Numerical Recipes run-time error...\n"
    "gaussj: Singular Matrix\n"
    "...now exiting to system...\n";

}  // namespace

TEST(GaussJordan, RowExchangeSolvesAndLeavesThePermutationAsItsOwnInverse) {
  NRMat<double> a = matrix(2, 2, {0, 1, 1, 0});
  NRMat<double> b = matrix(2, 1, {3, 5});
  NR::gaussj(a, b);
  EXPECT_EQ(b[0][0], 5);
  EXPECT_EQ(b[1][0], 3);
  EXPECT_EQ(a[0][0], 0);
  EXPECT_EQ(a[0][1], 1);
  EXPECT_EQ(a[1][0], 1);
  EXPECT_EQ(a[1][1], 0);
}

TEST(GaussJordan, IdentityLeavesBothMatricesUnchanged) {
  NRMat<double> a = matrix(3, 3, {1, 0, 0, 0, 1, 0, 0, 0, 1});
  NRMat<double> b = matrix(3, 2, {1.5, -2, 0.25, 7, 3, 0});
  NR::gaussj(a, b);
  const double want[3][2] = {{1.5, -2}, {0.25, 7}, {3, 0}};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_EQ(a[i][j], i == j ? 1.0 : 0.0);
    for (int j = 0; j < 2; ++j) EXPECT_EQ(b[i][j], want[i][j]);
  }
}

TEST(GaussJordan, ReturnsTheInverseAndEverySolutionColumn) {
  const double A[3][3] = {{2, 1, 1}, {1, 3, 2}, {1, 0, 0}};
  NRMat<double> a = matrix(3, 3, {2, 1, 1, 1, 3, 2, 1, 0, 0});
  // Columns: the solutions (1, 2, 3) and (-1, 0, 4).
  NRMat<double> b = matrix(3, 2, {7, 2, 13, 7, 1, -1});
  NR::gaussj(a, b);
  const double x[3][2] = {{1, -1}, {2, 0}, {3, 4}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 2; ++j) EXPECT_NEAR(b[i][j], x[i][j], 1e-12) << i << "," << j;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double product = 0;
      for (int k = 0; k < 3; ++k) product += A[i][k] * a[k][j];
      EXPECT_NEAR(product, i == j ? 1.0 : 0.0, 1e-12) << i << "," << j;
    }
}

TEST(GaussJordan, ExactlyZeroPivotStopsTheRunOnStandardError) {
  NRMat<double> twins = matrix(2, 2, {1, 2, 1, 2});
  NRMat<double> b = matrix(2, 1, {1, 1});
  SolveFailure f = solveExpectingFailure(twins, b);
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.err, kSingular);

  NRMat<double> zeroRow = matrix(3, 3, {4, 1, 0, 0, 0, 0, 2, 5, 1});
  NRMat<double> c = matrix(3, 1, {1, 2, 3});
  f = solveExpectingFailure(zeroRow, c);
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(f.err, kSingular);
}

TEST(NRMatrix, RowsAreOneContiguousBlockAndCopiesAreIndependent) {
  NRMat<double> a = matrix(2, 3, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(a.nrows(), 2);
  EXPECT_EQ(a.ncols(), 3);
  EXPECT_EQ(a[1], a[0] + 3);

  NRMat<double> copy(a);
  copy[0][1] = 20;
  a[1][2] = 60;
  EXPECT_EQ(a[0][1], 2);
  EXPECT_EQ(copy[1][2], 6);
  EXPECT_NE(copy[0], a[0]);
}

TEST(NRMatrix, SwapExchangesValues) {
  double x = 1.5, y = -2;
  SWAP(x, y);
  EXPECT_EQ(x, -2);
  EXPECT_EQ(y, 1.5);
}
