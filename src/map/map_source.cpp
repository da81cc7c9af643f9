// A map file as a stream of bytes: read as it is, or through zlib when it
// starts with the gzip magic bytes.

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "mrc_format.h"

namespace vel {

MapSource::~MapSource() { close(); }

void MapSource::close() {
  if (file_ != nullptr) std::fclose(file_);
  if (gz_ != nullptr) gzclose(gz_);
  file_ = nullptr;
  gz_ = nullptr;
}

bool MapSource::open(const std::string& path) {
  close();
  damage_.clear();
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) return false;
  unsigned char magic[2] = {0, 0};
  const size_t got = std::fread(magic, 1, 2, file_);
  position_ = 0;
  trailerRead_ = false;
  if (got == 2 && magic[0] == 0x1f && magic[1] == 0x8b) {
    unsigned char trailer[4];
    if (std::fseek(file_, -4, SEEK_END) == 0 && std::fread(trailer, 1, 4, file_) == 4) {
      trailerRead_ = true;
      trailerLength_ = static_cast<uint32_t>(trailer[0]) | static_cast<uint32_t>(trailer[1]) << 8 |
                       static_cast<uint32_t>(trailer[2]) << 16 | static_cast<uint32_t>(trailer[3]) << 24;
    }
    std::fclose(file_);
    file_ = nullptr;
    gz_ = gzopen(path.c_str(), "rb");
    if (gz_ == nullptr) return false;
    gzbuffer(gz_, 1u << 17);
    return true;
  }
  std::rewind(file_);
  return true;
}

size_t MapSource::read(unsigned char* into, size_t n) {
  const size_t got = readMore(into, n);
  position_ += got;
  return got;
}

bool MapSource::bytesLeft(uint64_t& left) const {
  struct stat st;
  if (file_ == nullptr || ::fstat(fileno(file_), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const uint64_t size = static_cast<uint64_t>(st.st_size);
  left = size > position_ ? size - position_ : 0;
  return true;
}

bool MapSource::trailerGives(uint64_t n) const {
  return trailerRead_ && static_cast<uint32_t>(position_ + n) == trailerLength_;
}

size_t MapSource::readMore(unsigned char* into, size_t n) {
  if (file_ != nullptr) return std::fread(into, 1, n, file_);
  if (gz_ == nullptr || !damage_.empty()) return 0;
  size_t total = 0;
  while (total < n) {
    const unsigned ask = static_cast<unsigned>(std::min<size_t>(n - total, INT_MAX));
    const int got = gzread(gz_, into + total, ask);
    int status = Z_OK;
    const char* message = gzerror(gz_, &status);
    // A stream cut short ends the data like a short file does; anything else
    // wrong with it is damage.
    if (status != Z_OK && status != Z_BUF_ERROR) {
      damage_ = message != nullptr && *message != '\0' ? message : "compressed data error";
      return total;
    }
    if (got <= 0) break;
    total += static_cast<size_t>(got);
    if (static_cast<unsigned>(got) < ask) break;
  }
  return total;
}

bool MapSource::skip(uint64_t n) {
  std::vector<unsigned char> scratch(static_cast<size_t>(std::min<uint64_t>(n, 1u << 16)));
  while (n > 0) {
    const size_t ask = static_cast<size_t>(std::min<uint64_t>(n, scratch.size()));
    const size_t got = read(scratch.data(), ask);
    n -= got;
    if (got < ask) return false;
  }
  return true;
}

}  // namespace vel
