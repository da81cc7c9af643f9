#pragma once
// The find tests' map: a plate of density, as a sheet looks at low resolution.

#include <cmath>
#include <string>

#include "velmorantique/find.h"

// A plate 24 x 20 Å across z = 0 in a 40 Å cube of 1 Å voxels, origin at -20.
inline std::string writePlate(const std::string& dir) {
  vel::find::DensityBox box;
  box.n = {40, 40, 40};
  box.voxel = {1, 1, 1};
  box.origin = {-20, -20, -20};
  box.values.resize(40 * 40 * 40);
  for (int k = 0; k < 40; ++k)
    for (int j = 0; j < 40; ++j)
      for (int i = 0; i < 40; ++i) {
        const double x = i - 20, y = j - 20, z = k - 20;
        const double in = std::fabs(x) <= 12 && std::fabs(y) <= 10 ? 1 : 0.05;
        box.values[box.index(i, j, k)] = static_cast<float>(in * std::exp(-z * z / 5.0));
      }
  const std::string path = dir + "/plate.mrc";
  vel::prepare::writeMrc(path, box);
  return path;
}

