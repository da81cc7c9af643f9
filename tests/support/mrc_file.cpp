#include "support/mrc_file.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

struct Writer {
  std::vector<unsigned char>& bytes;
  bool big;

  void bits(size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) {
      const int shift = 8 * (big ? width - 1 - i : i);
      bytes[offset + i] = static_cast<unsigned char>(value >> shift);
    }
  }
  void int32(size_t offset, int32_t value) {
    uint32_t b;
    std::memcpy(&b, &value, sizeof b);
    bits(offset, b, 4);
  }
  void float32(size_t offset, float value) {
    uint32_t b;
    std::memcpy(&b, &value, sizeof b);
    bits(offset, b, 4);
  }
};

// Half-float bits of a value that a half float holds exactly (zero, normal
// or subnormal).
uint16_t halfBits(float value) {
  const uint16_t sign = std::signbit(value) ? 0x8000 : 0;
  const float magnitude = std::fabs(value);
  if (magnitude == 0.0f) return sign;
  int exponent;
  std::frexp(magnitude, &exponent);  // magnitude = f * 2^exponent, f in [0.5, 1)
  if (exponent - 1 < -14)
    return static_cast<uint16_t>(sign | static_cast<uint16_t>(std::ldexp(magnitude, 24)));
  const float fraction = std::ldexp(magnitude, -(exponent - 1)) - 1.0f;  // in [0, 1)
  return static_cast<uint16_t>(sign | (exponent - 1 + 15) << 10 |
                               static_cast<uint16_t>(std::ldexp(fraction, 10)));
}

int storedWidth(int32_t mode) {
  switch (mode) {
    case 0: return 1;
    case 1:
    case 6:
    case 12: return 2;
    default: return 4;
  }
}

void putVoxel(Writer& w, size_t offset, int32_t mode, float value) {
  switch (mode) {
    case 0: w.bytes[offset] = static_cast<unsigned char>(static_cast<int8_t>(value)); break;
    case 1: w.bits(offset, static_cast<uint16_t>(static_cast<int16_t>(value)), 2); break;
    case 6: w.bits(offset, static_cast<uint16_t>(value), 2); break;
    case 12: w.bits(offset, halfBits(value), 2); break;
    default: w.float32(offset, value); break;
  }
}

bool isPermutation(const std::array<int32_t, 3>& order) {
  bool seen[3] = {false, false, false};
  for (int32_t a : order) {
    if (a < 1 || a > 3 || seen[a - 1]) return false;
    seen[a - 1] = true;
  }
  return true;
}

// The values in storage order: column c, row r, section s is the voxel whose
// index along axis order[0] is c, along order[1] r and along order[2] s.
std::vector<float> storageOrder(const MrcMapFile& mrc) {
  const std::array<int32_t, 3> order = mrc.axisOrder;
  if (order == std::array<int32_t, 3>{1, 2, 3} || !isPermutation(order)) return mrc.data;
  const int32_t extent[3] = {mrc.nx, mrc.ny, mrc.nz};
  if (mrc.data.size() != static_cast<size_t>(mrc.nx) * mrc.ny * mrc.nz)
    throw std::runtime_error("a reordered test map needs one value per voxel");
  std::vector<float> stored;
  int32_t at[3];
  for (at[order[2] - 1] = 0; at[order[2] - 1] < extent[order[2] - 1]; ++at[order[2] - 1])
    for (at[order[1] - 1] = 0; at[order[1] - 1] < extent[order[1] - 1]; ++at[order[1] - 1])
      for (at[order[0] - 1] = 0; at[order[0] - 1] < extent[order[0] - 1]; ++at[order[0] - 1])
        stored.push_back(mrc.data[at[0] + static_cast<size_t>(mrc.nx) * (at[1] + static_cast<size_t>(mrc.ny) * at[2])]);
  return stored;
}

}  // namespace

std::vector<unsigned char> mrcFileBytes(const MrcMapFile& mrc) {
  const std::vector<float> stored = storageOrder(mrc);
  const size_t extended = mrc.nsymbt > 0 ? static_cast<size_t>(mrc.nsymbt) : 0;
  const size_t dataStart = 1024 + extended;
  const int width = storedWidth(mrc.mode);
  std::vector<unsigned char> bytes(dataStart + width * stored.size(), 0);
  Writer w{bytes, mrc.bigEndian};

  // Extents and starts go in the stored order of the axes.
  const bool permuted = isPermutation(mrc.axisOrder);
  const int32_t extent[3] = {mrc.nx, mrc.ny, mrc.nz};
  const int32_t start[3] = {mrc.nxstart, mrc.nystart, mrc.nzstart};
  for (int i = 0; i < 3; ++i) {
    const int axis = permuted ? mrc.axisOrder[i] - 1 : i;
    w.int32(0 + 4 * i, extent[axis]);
    w.int32(16 + 4 * i, start[axis]);
    w.int32(64 + 4 * i, mrc.axisOrder[i]);
  }
  w.int32(12, mrc.mode);
  w.int32(28, mrc.mx);
  w.int32(32, mrc.my);
  w.int32(36, mrc.mz);
  w.float32(40, mrc.xlen);
  w.float32(44, mrc.ylen);
  w.float32(48, mrc.zlen);
  w.float32(52, mrc.alpha);
  w.float32(56, mrc.beta);
  w.float32(60, mrc.gamma);
  w.int32(88, mrc.ispg);
  w.int32(92, mrc.nsymbt);
  w.float32(196, mrc.xorigin);
  w.float32(200, mrc.yorigin);
  w.float32(204, mrc.zorigin);
  std::memcpy(&bytes[208], "MAP ", 4);
  if (mrc.stamped) {
    bytes[212] = mrc.bigEndian ? 0x11 : 0x44;
    bytes[213] = mrc.bigEndian ? 0x11 : 0x44;
  }
  // Filler that reads as large voxel values if it is ever taken for data.
  for (size_t i = 0; i < extended; ++i) bytes[1024 + i] = 0x5a;
  for (size_t i = 0; i < stored.size(); ++i) putVoxel(w, dataStart + width * i, mrc.mode, stored[i]);
  if (mrc.fileLength >= 0) bytes.resize(static_cast<size_t>(mrc.fileLength), 0);
  return bytes;
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test file " + path);
}

void writeMrcFile(const std::string& path, const MrcMapFile& mrc) { writeBytes(path, mrcFileBytes(mrc)); }

void patchInt(std::vector<unsigned char>& bytes, size_t offset, int32_t value) {
  uint32_t b;
  std::memcpy(&b, &value, sizeof b);
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(b >> (8 * i));
}
