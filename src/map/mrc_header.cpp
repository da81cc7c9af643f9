// The 1024-byte header block: its byte order, its fields, and the axis order
// of the data it describes.

#include <cstring>

#include "mrc_format.h"

namespace vel {

namespace {

int32_t int32At(const unsigned char* block, size_t offset, ByteOrder order) {
  uint32_t bits = bits32At(block + offset, order);
  int32_t value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A header that could have been written in this byte order.
bool plausible(const unsigned char* block, ByteOrder order) {
  return extentInRange(int32At(block, 0, order)) && extentInRange(int32At(block, 4, order)) &&
         extentInRange(int32At(block, 8, order)) && knownMode(int32At(block, 12, order));
}

}  // namespace

bool extentInRange(int32_t n) { return n > 0 && n < MAXLEN; }

ByteOrder storedByteOrder(const unsigned char* block, bool& stampSaid) {
  const unsigned char s0 = block[212], s1 = block[213];
  stampSaid = true;
  if (s0 == 0x44 && (s1 == 0x44 || s1 == 0x41)) return ByteOrder::Little;
  if (s0 == 0x11 && s1 == 0x11) return ByteOrder::Big;
  stampSaid = false;
  if (!plausible(block, ByteOrder::Little) && plausible(block, ByteOrder::Big)) return ByteOrder::Big;
  return ByteOrder::Little;
}

MRC_HEADER decodeHeader(const unsigned char* block, ByteOrder order) {
  auto i32 = [&](size_t offset) { return int32At(block, offset, order); };
  auto f32 = [&](size_t offset) { return float32At(block + offset, order); };
  MRC_HEADER h;
  h.nx = i32(0);
  h.ny = i32(4);
  h.nz = i32(8);
  h.mode = i32(12);
  h.nxstart = i32(16);
  h.nystart = i32(20);
  h.nzstart = i32(24);
  h.mx = i32(28);
  h.my = i32(32);
  h.mz = i32(36);
  h.xlen = f32(40);
  h.ylen = f32(44);
  h.zlen = f32(48);
  h.alpha = f32(52);
  h.beta = f32(56);
  h.gamma = f32(60);
  h.mapc = i32(64);
  h.mapr = i32(68);
  h.maps = i32(72);
  h.amin = f32(76);
  h.amax = f32(80);
  h.amean = f32(84);
  h.ispg = i32(88);
  h.nsymbt = i32(92);
  std::memcpy(h.extra, block + 96, sizeof h.extra);
  h.xorigin = f32(196);
  h.yorigin = f32(200);
  h.zorigin = f32(204);
  std::memcpy(h.map, block + 208, sizeof h.map);
  std::memcpy(h.machst, block + 212, sizeof h.machst);
  h.rms = f32(216);
  h.nlabl = i32(220);
  std::memcpy(h.labels, block + 224, sizeof h.labels);
  return h;
}

bool storedAxisOrder(const MRC_HEADER& h, AxisOrder& axes) {
  if (h.mapc == 0 && h.mapr == 0 && h.maps == 0) {
    axes = {0, 1, 2};
    return true;
  }
  const int32_t stored[3] = {h.mapc, h.mapr, h.maps};
  bool seen[3] = {false, false, false};
  for (int i = 0; i < 3; ++i) {
    if (stored[i] < 1 || stored[i] > 3 || seen[stored[i] - 1]) return false;
    seen[stored[i] - 1] = true;
    axes[i] = stored[i] - 1;
  }
  return true;
}

bool isStandardAxisOrder(const AxisOrder& axes) { return axes == AxisOrder{0, 1, 2}; }

void reorderToXyz(MRC_HEADER& h, const AxisOrder& axes) {
  const int32_t extents[3] = {h.nx, h.ny, h.nz};
  const int32_t starts[3] = {h.nxstart, h.nystart, h.nzstart};
  int32_t* extentOf[3] = {&h.nx, &h.ny, &h.nz};
  int32_t* startOf[3] = {&h.nxstart, &h.nystart, &h.nzstart};
  for (int i = 0; i < 3; ++i) {
    *extentOf[axes[i]] = extents[i];
    *startOf[axes[i]] = starts[i];
  }
  h.mapc = 1;
  h.mapr = 2;
  h.maps = 3;
}

}  // namespace vel
