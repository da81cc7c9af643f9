// The density above the level as pieces, and the part of the map they lie
// in: noise specks are dropped, and the shape is worked out only around
// what is left, so that a large box of solvent costs little.
#include <algorithm>

#include "velmorantique/find.h"

namespace vel {
namespace find {

Pieces densityPieces(const DensityBox& map, double level, double minVolume) {
  Pieces out;
  const size_t total = map.values.size();
  // 1: at or above the level, 2: already in a piece.
  std::vector<unsigned char> state(total, 0);
  for (size_t i = 0; i < total; ++i) {
    const float v = map.values[i];
    if (static_cast<double>(v) >= level && v > 0) state[i] = 1;
  }
  const double cell = map.voxel[0] * map.voxel[1] * map.voxel[2];
  const int nx = map.n[0], ny = map.n[1], nz = map.n[2];
  std::vector<size_t> stack;
  for (size_t start = 0; start < total; ++start) {
    if (state[start] != 1) continue;
    std::vector<size_t> piece;
    state[start] = 2;
    stack.push_back(start);
    while (!stack.empty()) {
      const size_t at = stack.back();
      stack.pop_back();
      piece.push_back(at);
      const int i = static_cast<int>(at % nx), j = static_cast<int>((at / nx) % ny);
      const int k = static_cast<int>(at / (static_cast<size_t>(nx) * ny));
      for (int dk = -1; dk <= 1; ++dk)
        for (int dj = -1; dj <= 1; ++dj)
          for (int di = -1; di <= 1; ++di) {
            const int x = i + di, y = j + dj, z = k + dk;
            if (x < 0 || y < 0 || z < 0 || x >= nx || y >= ny || z >= nz) continue;
            const size_t next = map.index(x, y, z);
            if (state[next] == 1) {
              state[next] = 2;
              stack.push_back(next);
            }
          }
    }
    if (static_cast<double>(piece.size()) * cell < minVolume) {
      ++out.dropped;
      out.droppedVoxels += piece.size();
      continue;
    }
    std::sort(piece.begin(), piece.end());
    out.pieces.push_back(std::move(piece));
  }
  return out;
}

size_t Crop::toMap(size_t b, const std::array<int, 3>& mapSize) const {
  const size_t i = b % box.n[0], j = (b / box.n[0]) % box.n[1], k = b / (static_cast<size_t>(box.n[0]) * box.n[1]);
  return ((k + offset[2]) * static_cast<size_t>(mapSize[1]) + (j + offset[1])) * mapSize[0] + (i + offset[0]);
}

size_t Crop::fromMap(size_t m, const std::array<int, 3>& mapSize) const {
  const size_t i = m % mapSize[0], j = (m / mapSize[0]) % mapSize[1], k = m / (static_cast<size_t>(mapSize[0]) * mapSize[1]);
  return box.index(static_cast<int>(i - offset[0]), static_cast<int>(j - offset[1]), static_cast<int>(k - offset[2]));
}

Crop cropToPieces(const DensityBox& map, const Pieces& pieces, int margin) {
  std::array<int, 3> lo = map.n, hi = {-1, -1, -1};
  for (const auto& piece : pieces.pieces)
    for (size_t at : piece) {
      const int idx[3] = {static_cast<int>(at % map.n[0]), static_cast<int>((at / map.n[0]) % map.n[1]),
                          static_cast<int>(at / (static_cast<size_t>(map.n[0]) * map.n[1]))};
      for (int d = 0; d < 3; ++d) {
        lo[d] = std::min(lo[d], idx[d]);
        hi[d] = std::max(hi[d], idx[d]);
      }
    }
  Crop c;
  if (hi[0] < 0) return c;
  for (int d = 0; d < 3; ++d) {
    lo[d] = std::max(0, lo[d] - margin);
    hi[d] = std::min(map.n[d] - 1, hi[d] + margin);
    c.offset[d] = lo[d];
    c.box.n[d] = hi[d] - lo[d] + 1;
    c.box.voxel[d] = map.voxel[d];
    c.box.origin[d] = map.origin[d] + lo[d] * map.voxel[d];
  }
  c.box.values.resize(static_cast<size_t>(c.box.n[0]) * c.box.n[1] * c.box.n[2]);
  for (int k = 0; k < c.box.n[2]; ++k)
    for (int j = 0; j < c.box.n[1]; ++j) {
      const size_t from = map.index(lo[0], lo[1] + j, lo[2] + k);
      std::copy(map.values.begin() + static_cast<std::ptrdiff_t>(from),
                map.values.begin() + static_cast<std::ptrdiff_t>(from + c.box.n[0]),
                c.box.values.begin() + static_cast<std::ptrdiff_t>(c.box.index(0, j, k)));
    }
  return c;
}

}  // namespace find
}  // namespace vel
