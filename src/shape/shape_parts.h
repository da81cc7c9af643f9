#pragma once
// The pieces of the shape estimator, each in its own unit.

#include <vector>

#include "velmorantique/shape.h"

namespace vel {

// Sum of w g g^T over the voxels at or above the threshold within `radius` of
// `centre`, where g is the gradient (per Å) of the map smoothed by a Gaussian
// and w = value - threshold. Returns false when no such voxel has weight.
//
// `smoothed`, when given, is the whole grid already smoothed by the same
// Gaussian (smoothedGrid): the same values the box would get, computed once
// for several tensors.
bool gradientTensor(const DensityGrid& grid, double threshold, Coordinate centre, double radius,
                    double sigma, double truncation, double tensor[3][3],
                    const std::vector<double>* smoothed = nullptr);

// The whole grid smoothed by a Gaussian of `sigma` Å cut at `truncation`
// sigmas, x fastest; empty when the grid is too large to smooth whole (over
// a million voxels: the caller then smooths boxes as it goes).
std::vector<double> smoothedGrid(const DensityGrid& grid, double sigma, double truncation);

// The estimate, reading the smoothed grid when one is given.
ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold, const ShapeOptions& options,
                                      const std::vector<double>* smoothed);

// Solves the n x n system a x = b (a row-major, n <= 8) by Gaussian
// elimination with partial pivoting. Returns false when a is singular to
// working precision; a and b are overwritten.
bool solveLinear(double* a, double* b, int n);

}  // namespace vel
