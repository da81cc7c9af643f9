#pragma once
// The pieces of the shape estimator, each in its own unit.

#include <cmath>
#include <cstddef>
#include <vector>

#include "velmorantique/shape.h"

namespace vel {

// Whether a voxel belongs to the slab the shape is read from: the voxels the
// analysis keeps, at or above the threshold and above 0. At a threshold of 0
// or below the zeros of a map's padding and its negative density (solvent
// noise, the ripples a filter leaves) say nothing of the sheet, and counting
// them would make the reading depend on how far the box reaches.
inline bool inSlab(float value, double threshold) {
  return static_cast<double>(value) >= threshold && value > 0.0f && std::isfinite(value);
}

// Sum of w g g^T over the slab voxels (inSlab) within `radius` of
// `centre`, where g is the gradient (per Å) of the map smoothed by a Gaussian
// and w = value - threshold. Returns false when no such voxel has weight.
//
// `smoothed`, when given, is the whole grid already smoothed by the same
// Gaussian (smoothedGrid): the same values the box would get, computed once
// for several tensors. Beyond the grid the map is taken as empty, as a map cut
// from a larger one with a margin of solvent is: padding the grid with zeros
// changes no value.
bool gradientTensor(const DensityGrid& grid, double threshold, Coordinate centre, double radius,
                    double sigma, double truncation, double tensor[3][3],
                    const std::vector<double>* smoothed = nullptr);

// The whole grid smoothed by a Gaussian of `sigma` Å cut at `truncation`
// sigmas, with one voxel beyond each face for the gradients there: voxel
// (i, j, k), each index from -1 to n, at smoothedIndex(grid, i, j, k). Empty
// when the grid is too large to smooth whole (over a million voxels: the
// caller then smooths boxes as it goes).
std::vector<double> smoothedGrid(const DensityGrid& grid, double sigma, double truncation);
inline size_t smoothedIndex(const DensityGrid& grid, int i, int j, int k) {
  return (static_cast<size_t>(k + 1) * (grid.ny + 2) + (j + 1)) * (grid.nx + 2) + (i + 1);
}

// The estimate, reading the smoothed grid when one is given.
ShapeDirection estimateShapeDirection(const DensityGrid& grid, double threshold, const ShapeOptions& options,
                                      const std::vector<double>* smoothed);

// Solves the n x n system a x = b (a row-major, n <= 8) by Gaussian
// elimination with partial pivoting. Returns false when a is singular to
// working precision; a and b are overwritten.
bool solveLinear(double* a, double* b, int n);

}  // namespace vel
