#include "support/mrc_file.h"

#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

void putBits(std::vector<unsigned char>& bytes, size_t offset, uint32_t bits) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<unsigned char>(bits >> (8 * i));
}

void putInt(std::vector<unsigned char>& bytes, size_t offset, int32_t value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  putBits(bytes, offset, bits);
}

void putFloat(std::vector<unsigned char>& bytes, size_t offset, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  putBits(bytes, offset, bits);
}

}  // namespace

std::vector<unsigned char> mrcFileBytes(const MrcMapFile& mrc) {
  std::vector<unsigned char> bytes(1024 + 4 * mrc.data.size(), 0);
  putInt(bytes, 0, mrc.nx);
  putInt(bytes, 4, mrc.ny);
  putInt(bytes, 8, mrc.nz);
  putInt(bytes, 12, mrc.mode);
  putInt(bytes, 28, mrc.mx);
  putInt(bytes, 32, mrc.my);
  putInt(bytes, 36, mrc.mz);
  putFloat(bytes, 40, mrc.xlen);
  putFloat(bytes, 44, mrc.ylen);
  putFloat(bytes, 48, mrc.zlen);
  putFloat(bytes, 52, 90.0f);
  putFloat(bytes, 56, 90.0f);
  putFloat(bytes, 60, 90.0f);
  putInt(bytes, 64, 1);
  putInt(bytes, 68, 2);
  putInt(bytes, 72, 3);
  putFloat(bytes, 196, mrc.xorigin);
  putFloat(bytes, 200, mrc.yorigin);
  putFloat(bytes, 204, mrc.zorigin);
  std::memcpy(&bytes[208], "MAP ", 4);
  bytes[212] = 0x44;  // little-endian machine stamp
  bytes[213] = 0x44;
  for (size_t i = 0; i < mrc.data.size(); ++i) putFloat(bytes, 1024 + 4 * i, mrc.data[i]);
  if (mrc.fileLength >= 0) bytes.resize(static_cast<size_t>(mrc.fileLength), 0);
  return bytes;
}

void writeMrcFile(const std::string& path, const MrcMapFile& mrc) {
  std::vector<unsigned char> bytes = mrcFileBytes(mrc);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write test map " + path);
}
