// Stored voxel values as floats, and the byte order of a header block.

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "map/mrc_format.h"

using namespace vel;

namespace {

uint32_t floatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

std::vector<float> decode(std::vector<unsigned char> bytes, int32_t mode, ByteOrder order) {
  std::vector<float> values(bytes.size() / static_cast<size_t>(voxelBytes(mode)));
  decodeVoxels(bytes.data(), values.size(), mode, order, values.data());
  return values;
}

}  // namespace

TEST(VoxelModes, HalfFloatsConvertExactly) {
  EXPECT_EQ(halfToFloat(0x3c00), 1.0f);
  EXPECT_EQ(halfToFloat(0xc000), -2.0f);
  EXPECT_EQ(halfToFloat(0x3555), 0.333251953125f);  // (1 + 341/1024) / 4
  EXPECT_EQ(halfToFloat(0x7bff), 65504.0f);                       // largest finite
  EXPECT_EQ(halfToFloat(0x0400), std::ldexp(1.0f, -14));          // smallest normal
  EXPECT_EQ(halfToFloat(0x0001), std::ldexp(1.0f, -24));          // smallest subnormal
  EXPECT_EQ(halfToFloat(0x83ff), -std::ldexp(1023.0f, -24));      // largest subnormal, negative
  EXPECT_EQ(floatBits(halfToFloat(0x0000)), floatBits(0.0f));
  EXPECT_EQ(floatBits(halfToFloat(0x8000)), floatBits(-0.0f));
  EXPECT_EQ(halfToFloat(0x7c00), std::numeric_limits<float>::infinity());
  EXPECT_EQ(halfToFloat(0xfc00), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(halfToFloat(0x7e00)));
  EXPECT_TRUE(std::isnan(halfToFloat(0xfc01)));
}

TEST(VoxelModes, IntegersKeepTheirSignAndRangeInEitherByteOrder) {
  EXPECT_EQ(decode({0x80, 0x7f, 0xff, 0x00}, 0, ByteOrder::Big), (std::vector<float>{-128, 127, -1, 0}));
  EXPECT_EQ(decode({0x00, 0x80, 0xff, 0x7f, 0xfe, 0xff}, 1, ByteOrder::Little),
            (std::vector<float>{-32768, 32767, -2}));
  EXPECT_EQ(decode({0x80, 0x00, 0x7f, 0xff, 0xff, 0xfe}, 1, ByteOrder::Big),
            (std::vector<float>{-32768, 32767, -2}));
  EXPECT_EQ(decode({0xff, 0xff, 0x01, 0x00}, 6, ByteOrder::Little), (std::vector<float>{65535, 1}));
  EXPECT_EQ(decode({0x00, 0x01}, 6, ByteOrder::Big), (std::vector<float>{1}));
  EXPECT_EQ(decode({0x00, 0xbc, 0xbc, 0x00}, 12, ByteOrder::Little), (std::vector<float>{-1.0f, 0x00bc / 16777216.0f}));
  EXPECT_EQ(decode({0x3f, 0xc0, 0x00, 0x00}, 2, ByteOrder::Big), (std::vector<float>{1.5f}));
  EXPECT_EQ(decode({0x00, 0x00, 0xc0, 0x3f}, 2, ByteOrder::Little), (std::vector<float>{1.5f}));
}

TEST(VoxelModes, OnlyModesOfRealValuesHaveAVoxelSize) {
  for (int32_t mode : {0, 1, 2, 6, 12}) EXPECT_NE(voxelBytes(mode), 0) << mode;
  for (int32_t mode : {3, 4, 101, 5, -1, 1 << 24}) {
    EXPECT_EQ(voxelBytes(mode), 0) << mode;
    EXPECT_EQ(knownMode(mode), mode == 3 || mode == 4 || mode == 101) << mode;
  }
}

TEST(ByteOrderWords, EitherOrderReadsTheSameValue) {
  const unsigned char little[4] = {0x00, 0x00, 0xc0, 0x3f}, big[4] = {0x3f, 0xc0, 0x00, 0x00};
  EXPECT_EQ(float32At(little, ByteOrder::Little), 1.5f);
  EXPECT_EQ(float32At(big, ByteOrder::Big), 1.5f);
  EXPECT_EQ(bits32At(little, ByteOrder::Little), bits32At(big, ByteOrder::Big));
  EXPECT_EQ(bits32At(big, ByteOrder::Little), 0x0000c03fu);
  const unsigned char word[2] = {0x12, 0x34};
  EXPECT_EQ(bits16At(word, ByteOrder::Big), 0x1234);
  EXPECT_EQ(bits16At(word, ByteOrder::Little), 0x3412);
}

TEST(HeaderByteOrder, StampDecidesAndOtherwiseTheHeaderThatMakesSense) {
  unsigned char block[kMrcHeaderBytes] = {};
  bool stampSaid = false;
  // Extents 1 x 1 x 1 and mode 2 little-endian; read big-endian they are absurd.
  block[0] = block[4] = block[8] = 1;
  block[12] = 2;
  EXPECT_EQ(storedByteOrder(block, stampSaid), ByteOrder::Little);
  EXPECT_FALSE(stampSaid);
  block[212] = 0x11, block[213] = 0x11;
  EXPECT_EQ(storedByteOrder(block, stampSaid), ByteOrder::Big);  // the stamp outranks the guess
  EXPECT_TRUE(stampSaid);
  block[212] = 0x44, block[213] = 0x41;
  EXPECT_EQ(storedByteOrder(block, stampSaid), ByteOrder::Little);
  EXPECT_TRUE(stampSaid);

  // The same fields big-endian, with a stamp that names no byte order.
  unsigned char big[kMrcHeaderBytes] = {};
  big[3] = big[7] = big[11] = 1;
  big[15] = 2;
  big[212] = 0x11, big[213] = 0x44;
  EXPECT_EQ(storedByteOrder(big, stampSaid), ByteOrder::Big);
  EXPECT_FALSE(stampSaid);
  // Big-endian extents with a mode no reader knows: not taken as big-endian.
  big[15] = 5;
  EXPECT_EQ(storedByteOrder(big, stampSaid), ByteOrder::Little);
}
