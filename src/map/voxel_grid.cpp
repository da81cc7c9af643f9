#include <unistd.h>

#include <ostream>

#include "velmorantique/fatal.h"
#include "velmorantique/map.h"

namespace {

// glibc hands out blocks in 16-byte steps, each with a 16-byte chunk header
// (8 of which overlap the block), so a block costs its size rounded up plus
// a header.
uint64_t heapBlock(uint64_t bytes) { return (bytes + 15) / 16 * 16 + 16; }

}  // namespace

void Map::createCube(int16_t rows, int16_t cols, int16_t slcs) {
  // A negative extent names no voxels; it must not wrap round into a size
  // that no machine could allocate.
  const size_t nRows = rows > 0 ? static_cast<size_t>(rows) : 0;
  const size_t nCols = cols > 0 ? static_cast<size_t>(cols) : 0;
  const size_t nSlcs = slcs > 0 ? static_cast<size_t>(slcs) : 0;
  cube.assign(nRows, std::vector<std::vector<float>>(nCols, std::vector<float>(nSlcs, 0.0f)));
  valueSize = 4;
}

void Map::filterize(double threshold) {
  std::ostream& out = *runStreams().out;
  out << "Filtering the map ..." << std::endl;
  out << std::endl;
  // The comparison is made in double; a not-a-number voxel is never below the
  // threshold and so stays as read.
  for (auto& row : cube)
    for (auto& column : row)
      for (float& value : column)
        if (static_cast<double>(value) < threshold) value = 0.0f;
}

int16_t Map::numRows() const { return static_cast<int16_t>(cube.size()); }

int16_t Map::numCols() const {
  if (cube.empty()) return 0;
  return static_cast<int16_t>(cube[0].size());
}

int16_t Map::numSlcs() const {
  if (cube.empty() || cube[0].empty()) return 0;
  return static_cast<int16_t>(cube[0][0].size());
}

uint64_t cubeFootprint(int32_t nx, int32_t ny, int32_t nz) {
  if (nx <= 0 || ny <= 0 || nz <= 0) return 0;
  const uint64_t x = static_cast<uint64_t>(nx), y = static_cast<uint64_t>(ny);
  const uint64_t z = static_cast<uint64_t>(nz);
  const uint64_t vectorSize = sizeof(std::vector<float>);
  const uint64_t slices = x * y * heapBlock(z * sizeof(float));  // one block per column
  const uint64_t columns = x * heapBlock(y * vectorSize);         // one block per row
  const uint64_t rows = heapBlock(x * vectorSize);
  return slices + columns + rows;
}

uint64_t cubeMemoryLimit() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2;
}
