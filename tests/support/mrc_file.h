#pragma once
// Writes small MRC density maps for tests: a 1024-byte little-endian header
// followed by float32 voxels in storage order (x fastest, then y, then z).

#include <cstdint>
#include <string>
#include <vector>

struct MrcMapFile {
  int32_t nx = 1, ny = 1, nz = 1;
  int32_t mode = 2;
  int32_t mx = 1, my = 1, mz = 1;
  float xlen = 1.0f, ylen = 1.0f, zlen = 1.0f;
  float xorigin = 0.0f, yorigin = 0.0f, zorigin = 0.0f;
  std::vector<float> data;  // written as given, whatever nx * ny * nz says
  long fileLength = -1;     // when >= 0 the file is cut (or zero-padded) to this many bytes
};

// The file's bytes: header, data, then cut to fileLength when that is set.
std::vector<unsigned char> mrcFileBytes(const MrcMapFile& mrc);
void writeMrcFile(const std::string& path, const MrcMapFile& mrc);
