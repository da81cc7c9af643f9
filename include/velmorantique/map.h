#pragma once
// A cryo-EM density map read from an MRC file: the header as read, the voxel
// size along each axis and the voxel values in a grid addressed at(x, y, z).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vel {

constexpr int MAXLEN = 2000;  // extents must lie in 1 .. MAXLEN - 1

// The 1024-byte file header. After Map::read the numeric fields hold their
// values whatever byte order the file used, and the fields that depend on the
// stored axis order (extents, starts, mapc/mapr/maps) describe the grid as held,
// along x, y, z. When ORIGIN is all 0 and the grid starts elsewhere, the
// origin fields hold the position of voxel (0, 0, 0) taken from the starts.
struct MRC_HEADER {
  int32_t nx = 0, ny = 0, nz = 0;
  int32_t mode = 2;
  int32_t nxstart = 0, nystart = 0, nzstart = 0;
  int32_t mx = 0, my = 0, mz = 0;
  float xlen = 0.0f, ylen = 0.0f, zlen = 0.0f;
  float alpha = 0.0f, beta = 0.0f, gamma = 0.0f;
  int32_t mapc = 0, mapr = 0, maps = 0;
  float amin = 0.0f, amax = 0.0f, amean = 0.0f;
  int32_t ispg = 0, nsymbt = 0;
  char extra[100] = {};
  float xorigin = 0.0f, yorigin = 0.0f, zorigin = 0.0f;
  char map[4] = {};
  char machst[4] = {};
  float rms = 0.0f;
  int32_t nlabl = 0;
  char labels[10][80] = {};
};

class Map {
 public:
  MRC_HEADER hdr;
  double apixX = 0.0, apixY = 0.0, apixZ = 0.0;
  // The voxels in one block, x fastest, then y, then z: the order in which
  // a plain MRC file stores them and in which a sheet is walked.
  std::vector<float> cube;
  int16_t valueSize = 4;

  float& at(int x, int y, int z) { return cube[index(x, y, z)]; }
  float at(int x, int y, int z) const { return cube[index(x, y, z)]; }

  // Fills header, voxel size and grid, or stops the run with the parts of a
  // framed message (FatalError, status 1). Reads modes 0, 1, 2, 6 and 12 in either
  // byte order and any axis order, passes over an extended header, and reads
  // gzip-compressed files (path + ".gz" when path itself is missing). A map
  // stored in other than the plain form (little-endian floats in x, y, z
  // order at byte 1024) gets one line on the run's output saying how it was read.
  void read(std::string path);
  void setApix();
  void createCube(int16_t rows, int16_t cols, int16_t slcs);
  // Every voxel strictly below the threshold becomes 0.
  void filterize(double threshold);
  int16_t numRows() const { return rows_; }
  int16_t numCols() const { return cols_; }
  int16_t numSlcs() const { return slcs_; }

 private:
  size_t index(int x, int y, int z) const {
    return (static_cast<size_t>(z) * static_cast<size_t>(cols_) + static_cast<size_t>(y)) *
               static_cast<size_t>(rows_) +
           static_cast<size_t>(x);
  }
  int16_t rows_ = 0, cols_ = 0, slcs_ = 0;  // extents along x, y, z
};

// Bytes that a grid of nx x ny x nz voxels takes: four per voxel.
uint64_t cubeFootprint(int32_t nx, int32_t ny, int32_t nz);
// The memory a run may use, in MB, when something other than the machine
// decides it: a batch running several jobs at once gives each its share.
constexpr const char* kMemoryShareVariable = "VELMORANTIQUE_MEMORY_MB";
// The most a map grid may take: the share kMemoryShareVariable gives when it
// is set to a positive whole number, otherwise half of the machine's
// physical memory, or 0 when the machine does not say how much it has.
uint64_t cubeMemoryLimit();
// That bound as messages name it: "half of the memory", or "the memory this
// run may use" when the share is given.
std::string memoryLimitName();

}  // namespace vel
