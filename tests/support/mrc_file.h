#pragma once
// Writes small MRC density maps for tests: a 1024-byte header, an optional
// extended header, then the voxels in storage order (columns fastest, then
// rows, then sections), in the mode, byte order and axis order asked for.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct MrcMapFile {
  int32_t nx = 1, ny = 1, nz = 1;  // extents along x, y, z
  int32_t mode = 2;
  int32_t nxstart = 0, nystart = 0, nzstart = 0;  // starts along x, y, z
  int32_t mx = 1, my = 1, mz = 1;
  float xlen = 1.0f, ylen = 1.0f, zlen = 1.0f;
  float alpha = 90.0f, beta = 90.0f, gamma = 90.0f;
  int32_t ispg = 1;  // a single volume
  float xorigin = 0.0f, yorigin = 0.0f, zorigin = 0.0f;
  // mapc, mapr, maps: the axes (1 = x, 2 = y, 3 = z) of the stored columns,
  // rows and sections. Extents and starts are written in that order.
  std::array<int32_t, 3> axisOrder = {1, 2, 3};
  bool bigEndian = false;
  bool stamped = true;     // false leaves the machine stamp zero
  int32_t nsymbt = 0;      // when positive, that many filler bytes precede the data
  // Voxel values with x fastest, then y, then z, stored in the file's axis
  // order and converted to its mode: modes 0, 1 and 6 take integers, mode
  // 12 values a half float holds exactly, any other mode is written as
  // float32. In x, y, z order the values are written as given, whatever
  // nx * ny * nz says; in any other order there must be one per voxel.
  std::vector<float> data;
  long fileLength = -1;  // when >= 0 the file is cut (or zero-padded) to this many bytes
};

// The file's bytes: header, extended header, data, then cut to fileLength
// when that is set.
std::vector<unsigned char> mrcFileBytes(const MrcMapFile& mrc);
void writeMrcFile(const std::string& path, const MrcMapFile& mrc);
void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes);
// Overwrites the 4-byte field at offset with value, little-endian.
void patchInt(std::vector<unsigned char>& bytes, size_t offset, int32_t value);
