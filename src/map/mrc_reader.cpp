#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>

#include "velmorantique/fatal.h"
#include "velmorantique/map.h"

namespace {

constexpr size_t kHeaderBytes = 1024;  // the voxel data starts right after it

const char* const kFrameTop =
    "============================== in MRC::read (string) ==========================";
const char* const kFrameBottom =
    "===============================================================================";

[[noreturn]] void refuseMap(const std::string& middle) {
  std::cout << kFrameTop << std::endl;
  std::cout << middle << std::endl;
  std::cout << kFrameBottom << std::endl;
  fatalExit(1);
}

// Fields are little-endian as stored; assembling the bytes by hand keeps the
// decoding independent of the host's byte order.
uint32_t bitsAt(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

int32_t int32At(const unsigned char* block, size_t offset) {
  uint32_t bits = bitsAt(block + offset);
  int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float float32At(const unsigned char* block, size_t offset) {
  uint32_t bits = bitsAt(block + offset);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

MRC_HEADER decodeHeader(const unsigned char* block) {
  MRC_HEADER h;
  h.nx = int32At(block, 0);
  h.ny = int32At(block, 4);
  h.nz = int32At(block, 8);
  h.mode = int32At(block, 12);
  h.nxstart = int32At(block, 16);
  h.nystart = int32At(block, 20);
  h.nzstart = int32At(block, 24);
  h.mx = int32At(block, 28);
  h.my = int32At(block, 32);
  h.mz = int32At(block, 36);
  h.xlen = float32At(block, 40);
  h.ylen = float32At(block, 44);
  h.zlen = float32At(block, 48);
  h.alpha = float32At(block, 52);
  h.beta = float32At(block, 56);
  h.gamma = float32At(block, 60);
  h.mapc = int32At(block, 64);
  h.mapr = int32At(block, 68);
  h.maps = int32At(block, 72);
  h.amin = float32At(block, 76);
  h.amax = float32At(block, 80);
  h.amean = float32At(block, 84);
  h.ispg = int32At(block, 88);
  h.nsymbt = int32At(block, 92);
  std::memcpy(h.extra, block + 96, sizeof h.extra);
  h.xorigin = float32At(block, 196);
  h.yorigin = float32At(block, 200);
  h.zorigin = float32At(block, 204);
  std::memcpy(h.map, block + 208, sizeof h.map);
  std::memcpy(h.machst, block + 212, sizeof h.machst);
  h.rms = float32At(block, 216);
  h.nlabl = int32At(block, 220);
  std::memcpy(h.labels, block + 224, sizeof h.labels);
  return h;
}

bool extentInRange(int32_t n) { return n > 0 && n < MAXLEN; }

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

}  // namespace

void Map::setApix() {
  apixX = static_cast<double>(hdr.xlen) / hdr.mx;
  apixY = static_cast<double>(hdr.ylen) / hdr.my;
  apixZ = static_cast<double>(hdr.zlen) / hdr.mz;
}

void Map::read(std::string path) {
  FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) refuseMap("Can't open given Map file ( " + path + " ). ");

  // A file shorter than the header leaves the bytes it lacks as in the
  // default header: all zero, mode 2.
  unsigned char block[kHeaderBytes] = {};
  block[12] = 2;
  unsigned char got[kHeaderBytes];
  size_t headerRead = std::fread(got, 1, kHeaderBytes, file.get());
  std::memcpy(block, got, headerRead);
  hdr = decodeHeader(block);

  if (!extentInRange(hdr.nx) || !extentInRange(hdr.ny) || !extentInRange(hdr.nz))
    refuseMap("Strange header of the file. One of (nx,ny,nz) exceeds MAXLEN ( " +
              std::to_string(MAXLEN) + " ).");
  // A zero sampling interval gives an infinite voxel size, and with it no
  // position for any voxel.
  if (hdr.mx == 0 || hdr.my == 0 || hdr.mz == 0)
    refuseMap("Strange header of the file. One of (mx,my,mz) is zero: the voxel size is undefined.");

  // The header alone decides the grid's size, whatever the file holds; check
  // it against the machine before touching memory.
  const uint64_t needed = cubeFootprint(hdr.nx, hdr.ny, hdr.nz);
  const uint64_t limit = cubeMemoryLimit();
  const uint64_t mb = 1024 * 1024;
  const std::string tooLarge = "Map too large for this machine. The grid of (nx,ny,nz) needs " +
                               std::to_string((needed + mb - 1) / mb) + " MB";
  if (limit != 0 && needed > limit)
    refuseMap(tooLarge + ", more than half of the memory ( " + std::to_string(limit / mb) +
              " MB ).");

  setApix();
  try {
    createCube(static_cast<int16_t>(hdr.nx), static_cast<int16_t>(hdr.ny),
               static_cast<int16_t>(hdr.nz));
  } catch (const std::bad_alloc&) {
    cube.clear();
    refuseMap(tooLarge + ", more than can be allocated.");
  }

  // Storage order is x fastest, then y, then z: one z slice at a time is one
  // bulk read. Voxels past the end of the data (a partial last one included)
  // keep the 0 the grid was made with.
  const size_t nx = static_cast<size_t>(hdr.nx), ny = static_cast<size_t>(hdr.ny);
  const size_t nz = static_cast<size_t>(hdr.nz);
  const size_t stride = static_cast<size_t>(valueSize);
  std::vector<unsigned char> slice(nx * ny * stride);
  for (size_t z = 0; z < nz; ++z) {
    const size_t bytes = std::fread(slice.data(), 1, slice.size(), file.get());
    const size_t voxels = bytes / stride;
    size_t i = 0;
    for (size_t y = 0; y < ny && i < voxels; ++y)
      for (size_t x = 0; x < nx && i < voxels; ++x, ++i)
        cube[x][y][z] = float32At(slice.data(), i * stride);
    if (bytes < slice.size()) break;
  }
}
