// Stored values to numbers: words of either byte order, and voxel values
// to floats for each mode that holds real values.

#include <cmath>
#include <cstring>

#include "mrc_format.h"

namespace vel {

// Assembling the bytes by hand keeps the decoding independent of the host's
// byte order.
uint16_t bits16At(const unsigned char* bytes, ByteOrder order) {
  if (order == ByteOrder::Big) return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
  return static_cast<uint16_t>(bytes[1] << 8 | bytes[0]);
}

uint32_t bits32At(const unsigned char* bytes, ByteOrder order) {
  if (order == ByteOrder::Big)
    return static_cast<uint32_t>(bytes[3]) | static_cast<uint32_t>(bytes[2]) << 8 |
           static_cast<uint32_t>(bytes[1]) << 16 | static_cast<uint32_t>(bytes[0]) << 24;
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

float float32At(const unsigned char* bytes, ByteOrder order) {
  uint32_t bits = bits32At(bytes, order);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

int voxelBytes(int32_t mode) {
  switch (mode) {
    case 0: return 1;
    case 1:
    case 6:
    case 12: return 2;
    case 2: return 4;
    default: return 0;
  }
}

bool knownMode(int32_t mode) {
  return voxelBytes(mode) != 0 || mode == 3 || mode == 4 || mode == 101;
}

const char* modeName(int32_t mode) {
  switch (mode) {
    case 0: return "signed 8-bit integers";
    case 1: return "signed 16-bit integers";
    case 2: return "32-bit floats";
    case 3: return "complex 16-bit integers";
    case 4: return "complex 32-bit floats";
    case 6: return "unsigned 16-bit integers";
    case 12: return "16-bit half floats";
    case 101: return "4-bit integers";
    default: return "unknown";
  }
}

float halfToFloat(uint16_t half) {
  const uint32_t sign = static_cast<uint32_t>(half >> 15) << 31;
  const uint32_t exponent = (half >> 10) & 0x1fu;
  const uint32_t fraction = half & 0x3ffu;
  if (exponent == 0) {
    // Zero or subnormal: fraction * 2^-24, exact in float.
    const float magnitude = std::ldexp(static_cast<float>(fraction), -24);
    return sign ? -magnitude : magnitude;
  }
  uint32_t bits;
  if (exponent == 0x1f)
    bits = sign | 0x7f800000u | fraction << 13;  // infinity, or not-a-number keeping its payload
  else
    bits = sign | (exponent + 127 - 15) << 23 | fraction << 13;
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

void decodeVoxels(const unsigned char* bytes, size_t count, int32_t mode, ByteOrder order,
                  float* values) {
  switch (mode) {
    case 0:
      for (size_t i = 0; i < count; ++i) values[i] = static_cast<float>(static_cast<int8_t>(bytes[i]));
      break;
    case 1:
      for (size_t i = 0; i < count; ++i)
        values[i] = static_cast<float>(static_cast<int16_t>(bits16At(bytes + 2 * i, order)));
      break;
    case 6:
      for (size_t i = 0; i < count; ++i) values[i] = static_cast<float>(bits16At(bytes + 2 * i, order));
      break;
    case 12:
      for (size_t i = 0; i < count; ++i) values[i] = halfToFloat(bits16At(bytes + 2 * i, order));
      break;
    case 2:
      for (size_t i = 0; i < count; ++i) values[i] = float32At(bytes + 4 * i, order);
      break;
    default:
      break;
  }
}

}  // namespace vel
