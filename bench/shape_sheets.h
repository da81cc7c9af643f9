#pragma once
// Simulated beta-sheets of known strand direction for measuring the shape
// estimator: strands laid on a twisted (and optionally bent) surface, turned
// to a random orientation, blurred to a resolution as a sum of Gaussians per
// atom, and contoured by mass. Copies low-passed at the resolution and with
// noise added test whether a method relies on detail real maps lack.

#include <cstdint>
#include <string>
#include <vector>

#include "velmorantique/geometry.h"
#include "velmorantique/shape.h"

namespace vel {

struct SheetRecipe {
  int strands = 4;
  int residues = 7;
  double twistDeg = 18;        // per strand, natural sense when positive
  bool parallel = false;
  double resolution = 8;       // Å
  double voxel = 1.0;          // Å
  double bendPerAngstrom = 0;  // curvature of the strands along their length (coiling), 1/Å
  double curlPerAngstrom = 0;  // curvature across the strands (a half-barrel), 1/Å
  int lengthJitter = 0;        // each strand up to this many residues shorter
  uint32_t seed = 1;           // orientation, sub-voxel offset, register shifts, twist jitter
};

struct SimulatedSheet {
  SheetRecipe recipe;
  DensityGrid grid;
  double threshold = 0;
  Vectors strandAxis;  // mean strand axis, map frame
};

SimulatedSheet simulateSheet(const SheetRecipe& recipe);

// The rotation of the unit quaternion drawn from three uniform numbers in
// (0, 1): uniform over all rotations when they are.
void rotationFromUniforms(double u1, double u2, double u3, double m[3][3]);

// The threshold whose voxels at or above it enclose `volume` Å^3.
double thresholdForVolume(const DensityGrid& grid, double volume);
// Every Fourier component finer than `resolution` Å removed.
DensityGrid lowPassed(const DensityGrid& grid, double resolution);
// White Gaussian noise of the given standard deviation added (fixed seed).
DensityGrid withNoise(const DensityGrid& grid, double sigma, uint32_t seed);
// The noise seed of a named case: the CRC-32 of the whole name, so that every
// case gets its own noise stream and the same case always the same one.
uint32_t noiseSeed(const std::string& name);
// The copy with noise band-limited like the signal (white noise low-passed at
// the resolution) of a standard deviation of 0.3 of the contour level.
DensityGrid withBandLimitedNoise(const DensityGrid& grid, double contour, double resolution, uint32_t seed);

// The mean line of the strand axes (meanLineDirection), each the principal
// axis of its C-alphas.
Vectors meanStrandAxis(const StrandSet& caTraces);
// The same of the middle strand alone, or of the two middle strands of an
// even count: the direction a sheet's centre has, still defined when the
// strands fan over 180 degrees or more from edge to edge and their mean line
// turns to lie across the middle strand.
Vectors centralStrandAxis(const StrandSet& caTraces);

}  // namespace vel
