#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#include "velmorantique/fatal.h"
#include "velmorantique/map.h"

namespace vel {

void Map::createCube(int16_t rows, int16_t cols, int16_t slcs) {
  // A negative extent names no voxels; it must not wrap round into a size
  // that no machine could allocate. An axis without voxels leaves the axes
  // after it without any either.
  rows_ = rows > 0 ? rows : 0;
  cols_ = rows_ > 0 && cols > 0 ? cols : 0;
  slcs_ = cols_ > 0 && slcs > 0 ? slcs : 0;
  cube.assign(static_cast<size_t>(rows_) * static_cast<size_t>(cols_) * static_cast<size_t>(slcs_), 0.0f);
  valueSize = 4;
}

void Map::filterize(double threshold) {
  std::ostream& out = *runStreams().out;
  out << "Filtering the map ..." << std::endl;
  out << std::endl;
  // The comparison is made in double; a not-a-number voxel is never below the
  // threshold and so stays as read.
  for (float& value : cube)
    if (static_cast<double>(value) < threshold) value = 0.0f;
}

uint64_t cubeFootprint(int32_t nx, int32_t ny, int32_t nz) {
  if (nx <= 0 || ny <= 0 || nz <= 0) return 0;
  return static_cast<uint64_t>(nx) * static_cast<uint64_t>(ny) * static_cast<uint64_t>(nz) * sizeof(float);
}

namespace {

// The share the environment gives, in bytes; 0 when it gives none.
uint64_t givenShare() {
  const char* text = std::getenv(kMemoryShareVariable);
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  errno = 0;
  const unsigned long long mb = std::strtoull(text, &end, 10);
  if (*end != '\0' || errno != 0 || text[0] == '-' || mb == 0 || mb > (UINT64_MAX >> 20)) return 0;
  return static_cast<uint64_t>(mb) << 20;
}

}  // namespace

std::string memoryLimitName() { return givenShare() != 0 ? "the memory this run may use" : "half of the memory"; }

uint64_t cubeMemoryLimit() {
  if (const uint64_t share = givenShare()) return share;
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || pageSize <= 0) return 0;
  return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) / 2;
}

}  // namespace vel
