#pragma once
// gzip-compressed copies of test files, as maps are often downloaded. Kept in
// a header so that only the tests that use it link with zlib.

#include <zlib.h>

#include <stdexcept>
#include <string>
#include <vector>

inline void writeGzipFile(const std::string& path, const std::vector<unsigned char>& bytes) {
  gzFile gz = gzopen(path.c_str(), "wb");
  if (gz == nullptr) throw std::runtime_error("cannot write " + path);
  const int written = bytes.empty() ? 0 : gzwrite(gz, bytes.data(), static_cast<unsigned>(bytes.size()));
  if (gzclose(gz) != Z_OK || written != static_cast<int>(bytes.size()))
    throw std::runtime_error("cannot compress into " + path);
}

// The bytes of a file, gzip-compressed or plain (zlib reads both).
inline std::string readGzipFile(const std::string& path) {
  gzFile gz = gzopen(path.c_str(), "rb");
  if (gz == nullptr) throw std::runtime_error("cannot read " + path);
  std::string text;
  char buf[65536];
  int n;
  while ((n = gzread(gz, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  gzclose(gz);
  if (n < 0) throw std::runtime_error("cannot decompress " + path);
  return text;
}
