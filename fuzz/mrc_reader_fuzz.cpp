// Fuzz target: any bytes as an MRC map file. Reading either fills the grid or
// refuses the file with its framed message (FatalError); nothing else may
// happen: no crash, no undefined behaviour, no allocation beyond the grid the
// header asks for.

#include <unistd.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "velmorantique/fatal.h"
#include "velmorantique/map.h"

using namespace vel;

namespace {

// Grids above this many voxels are read correctly but slowly (every voxel is
// made and zeroed), which would only slow the search down: such inputs are
// passed over here, and the bad-input suite covers a large grid once.
constexpr uint64_t kMaxFuzzVoxels = uint64_t(1) << 22;

// The first 1024 bytes as the reader will see them: inflated when the input
// is gzip-compressed.
std::string headerBytes(const uint8_t* data, size_t size) {
  if (size < 2 || data[0] != 0x1f || data[1] != 0x8b)
    return std::string(reinterpret_cast<const char*>(data), size < 1024 ? size : 1024);
  // gzip members follow one another, and the header may span several.
  std::string out(1024, '\0');
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return std::string();
  z.next_in = const_cast<Bytef*>(data);
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  while (z.avail_out > 0) {
    const int rc = inflate(&z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END && z.avail_in > 0) {
      if (inflateReset(&z) != Z_OK) break;
      continue;
    }
    if (rc != Z_OK) break;
  }
  out.resize(out.size() - z.avail_out);
  inflateEnd(&z);
  return out;
}

int32_t fieldAt(const std::string& h, size_t offset, bool bigEndian) {
  unsigned char b[4] = {0, 0, 0, 0};
  for (size_t k = 0; k < 4 && offset + k < h.size(); ++k) b[k] = static_cast<unsigned char>(h[offset + k]);
  uint32_t v = bigEndian ? (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3])
                         : (uint32_t(b[3]) << 24 | uint32_t(b[2]) << 16 | uint32_t(b[1]) << 8 | b[0]);
  int32_t s;
  std::memcpy(&s, &v, 4);
  return s;
}

// Whether either byte order makes the header ask for a grid above the cap.
bool asksForHugeGrid(const std::string& h) {
  for (bool big : {false, true}) {
    uint64_t voxels = 1;
    bool inRange = true;
    for (size_t offset : {0, 4, 8}) {
      int32_t n = fieldAt(h, offset, big);
      if (n < 1 || n >= MAXLEN) inRange = false;
      voxels *= static_cast<uint64_t>(n < 1 ? 1 : n);
    }
    if (inRange && voxels > kMaxFuzzVoxels) return true;
  }
  return false;
}

std::string inputPath() {
  return "/tmp/vel_mrc_fuzz_" + std::to_string(getpid()) + ".mrc";
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cout.setstate(std::ios::badbit);  // the reader's messages are not what is checked here
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (asksForHugeGrid(headerBytes(data, size))) return 0;
  static const std::string path = inputPath();
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  Map map;
  try {
    map.read(path);
  } catch (const FatalError& e) {
    if (e.status != 1) __builtin_trap();
    return 0;
  }
  // A map that was read is a whole grid of the extents its header gave.
  const int rows = map.numRows(), cols = map.numCols(), slcs = map.numSlcs();
  if (rows < 1 || cols < 1 || slcs < 1 || rows >= MAXLEN || cols >= MAXLEN || slcs >= MAXLEN)
    __builtin_trap();
  if (map.cube.size() != static_cast<size_t>(rows) * static_cast<size_t>(cols) * static_cast<size_t>(slcs))
    __builtin_trap();
  map.filterize(0.5);
  return 0;
}
