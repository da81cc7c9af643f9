#pragma once
// The pieces of the shape estimator, each in its own unit.

#include "velmorantique/shape.h"

namespace vel {

// Sum of w g g^T over the voxels at or above the threshold within `radius` of
// `centre`, where g is the gradient (per Å) of the map smoothed by a Gaussian
// and w = value - threshold. Returns false when no such voxel has weight.
bool gradientTensor(const DensityGrid& grid, double threshold, Coordinate centre, double radius,
                    double sigma, double truncation, double tensor[3][3]);

// Solves the n x n system a x = b (a row-major, n <= 8) by Gaussian
// elimination with partial pivoting. Returns false when a is singular to
// working precision; a and b are overwritten.
bool solveLinear(double* a, double* b, int n);

}  // namespace vel
