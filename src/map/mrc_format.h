#pragma once
// The ways an MRC file may store its map, and the byte source it is read
// from. Maps come from many writers: either byte order, 8-bit, 16-bit or
// half-float voxels, any order of the axes, an extended header before the
// data, and often gzip-compressed as downloaded.

#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "velmorantique/map.h"

namespace vel {

constexpr size_t kMrcHeaderBytes = 1024;  // the voxel data (or extended header) follows

enum class ByteOrder { Little, Big };

// The 16- or 32-bit word at bytes, stored in the given byte order.
uint16_t bits16At(const unsigned char* bytes, ByteOrder order);
uint32_t bits32At(const unsigned char* bytes, ByteOrder order);
// The float32 at bytes, stored in the given byte order.
float float32At(const unsigned char* bytes, ByteOrder order);

// The byte order the header block was written in. The machine stamp (bytes
// 212-213) decides when it names one; otherwise the order that gives a known
// mode and extents in range wins, little-endian when both or neither do.
// stampSaid tells which way it was decided.
ByteOrder storedByteOrder(const unsigned char* block, bool& stampSaid);
MRC_HEADER decodeHeader(const unsigned char* block, ByteOrder order);
bool extentInRange(int32_t n);

// Grid axis (0 = x, 1 = y, 2 = z) of the stored columns, rows and sections.
using AxisOrder = std::array<int, 3>;
// The axis order the header gives; false when mapc, mapr, maps are not an
// order of 1, 2, 3. All three 0, as old writers leave them, is x, y, z.
bool storedAxisOrder(const MRC_HEADER& h, AxisOrder& axes);
bool isStandardAxisOrder(const AxisOrder& axes);
// Moves the extents and starts, stored per column, row and section, onto the
// axes x, y, z, and marks the header as x, y, z. Sampling and cell lengths
// are per axis in the file already and stay.
void reorderToXyz(MRC_HEADER& h, const AxisOrder& axes);

// Bytes per stored voxel for the modes that hold real values (0, 1, 2, 6,
// 12); 0 for every other mode.
int voxelBytes(int32_t mode);
// Whether a mode is one the format defines (complex and 4-bit ones included).
bool knownMode(int32_t mode);
// A reader's name for what a mode stores, "unknown" for undefined modes.
const char* modeName(int32_t mode);
// IEEE binary16 to float; exact for every value, subnormals, infinities and
// not-a-number included.
float halfToFloat(uint16_t bits);
// count voxels of the given mode and byte order, as floats.
void decodeVoxels(const unsigned char* bytes, size_t count, int32_t mode, ByteOrder order,
                  float* values);

// A map file read front to back, decompressed on the way when it is gzip.
class MapSource {
 public:
  MapSource() = default;
  MapSource(const MapSource&) = delete;
  MapSource& operator=(const MapSource&) = delete;
  ~MapSource();

  // False when the file cannot be opened.
  bool open(const std::string& path);
  bool gzipped() const { return gz_ != nullptr; }
  // Up to n bytes; fewer only where the data ends or the stream is damaged.
  size_t read(unsigned char* into, size_t n);
  // Passes over n bytes; false when the data ends first.
  bool skip(uint64_t n);
  // zlib's account of a damaged compressed stream; empty while it is sound.
  const std::string& damage() const { return damage_; }
  // For a plain regular file, true with the bytes still to be read, known
  // before any is read; false when only reading to the end can tell (a
  // compressed file, a pipe).
  bool bytesLeft(uint64_t& left) const;
  // True when a compressed file's trailer gives, as gzip keeps it (modulo
  // 2^32), the length that n more bytes than those read so far would make.
  // An honest file says so; one that does not may end far sooner than its
  // header claims.
  bool trailerGives(uint64_t n) const;

 private:
  void close();
  size_t readMore(unsigned char* into, size_t n);

  std::FILE* file_ = nullptr;
  gzFile gz_ = nullptr;
  uint64_t position_ = 0;   // bytes read or passed over
  bool trailerRead_ = false;
  uint32_t trailerLength_ = 0;  // the last four bytes of a compressed file
  std::string damage_;
};

}  // namespace vel
