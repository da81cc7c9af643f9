// The smoothing the sheet normal is read from: the separable passes, the
// empty map beyond the grid's faces and the boxes cut for one centre must
// give the Gaussian smoothing written out voxel by voxel.
#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "shape/shape_parts.h"

using namespace vel;

namespace {

// A voxel's value, and 0 beyond the grid.
double valueAt(const DensityGrid& g, int i, int j, int k) {
  return i < 0 || j < 0 || k < 0 || i >= g.nx || j >= g.ny || k >= g.nz ? 0.0 : g.at(i, j, k);
}

// One axis's normalised kernel, cut at `truncation` sigmas.
std::vector<double> kernel(double voxel, double sigma, double truncation) {
  const int reach = static_cast<int>(std::floor(truncation * sigma / voxel + 1e-9));
  std::vector<double> k;
  double sum = 0;
  for (int t = -reach; t <= reach; ++t) sum += std::exp(-(t * voxel) * (t * voxel) / (2 * sigma * sigma));
  for (int t = -reach; t <= reach; ++t) k.push_back(std::exp(-(t * voxel) * (t * voxel) / (2 * sigma * sigma)) / sum);
  return k;
}

// The smoothed value at one voxel, as a triple sum over the 3D kernel.
double directly(const DensityGrid& g, double sigma, double truncation, int i, int j, int k) {
  const std::vector<double> kx = kernel(g.voxel[0], sigma, truncation), ky = kernel(g.voxel[1], sigma, truncation),
                            kz = kernel(g.voxel[2], sigma, truncation);
  const int rx = static_cast<int>(kx.size() / 2), ry = static_cast<int>(ky.size() / 2),
            rz = static_cast<int>(kz.size() / 2);
  double s = 0;
  for (int c = -rz; c <= rz; ++c)
    for (int b = -ry; b <= ry; ++b)
      for (int a = -rx; a <= rx; ++a)
        s += kx[a + rx] * ky[b + ry] * kz[c + rz] *
             valueAt(g, i + a, j + b, k + c);
  return s;
}

TEST(ShapeSmoothing, MatchesTheGaussianWrittenOutAndTheBoxesMatchTheWholeGrid) {
  struct Row {
    int n[3];
    double voxel[3], sigma, truncation;
  };
  const Row rows[] = {
      {{7, 5, 6}, {1.0, 0.8, 1.3}, 1.5, 2.0},  // unequal voxels and axes
      {{9, 1, 4}, {1.0, 1.0, 1.0}, 1.0, 4.0},  // one voxel thick
      {{3, 4, 2}, {0.5, 0.5, 0.5}, 2.0, 4.0},  // the kernel reaches past twice the grid
  };
  for (const Row& row : rows) {
    DensityGrid g;
    g.nx = row.n[0];
    g.ny = row.n[1];
    g.nz = row.n[2];
    for (int a = 0; a < 3; ++a) g.voxel[a] = row.voxel[a];
    for (int v = 0; v < g.nx * g.ny * g.nz; ++v) g.values.push_back(static_cast<float>(std::sin(1.7 * v) + 0.1 * v));
    const std::vector<double> whole = smoothedGrid(g, row.sigma, row.truncation);
    ASSERT_EQ(whole.size(), static_cast<size_t>(g.nx + 2) * (g.ny + 2) * (g.nz + 2));
    for (int k = -1; k <= g.nz; ++k)  // and one voxel beyond each face
      for (int j = -1; j <= g.ny; ++j)
        for (int i = -1; i <= g.nx; ++i)
          EXPECT_NEAR(whole[smoothedIndex(g, i, j, k)],
                      directly(g, row.sigma, row.truncation, i, j, k), 1e-9)
              << row.n[0] << "x" << row.n[1] << "x" << row.n[2] << " at " << i << "," << j << "," << k;
    // A box smoothed for one centre reads the same values as the whole grid.
    for (const Coordinate& centre : {Coordinate(0, 0, 0), Coordinate(2.0, 1.5, 1.0)}) {
      double fromBoxes[3][3], fromWhole[3][3];
      const bool a = gradientTensor(g, -10, centre, 2.0, row.sigma, row.truncation, fromBoxes);
      const bool b = gradientTensor(g, -10, centre, 2.0, row.sigma, row.truncation, fromWhole, &whole);
      ASSERT_EQ(a, b);
      for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(fromBoxes[r][c], fromWhole[r][c], 1e-9 * (1 + std::fabs(fromWhole[r][c])));
    }
  }
}

}  // namespace
