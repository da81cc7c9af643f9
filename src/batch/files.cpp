// Writing whole files, bounded reading, and the batch's own folders.

#include "batch/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <zlib.h>

#include "velmorantique/batch.h"
#include "velmorantique/summary.h"

namespace fs = std::filesystem;

namespace vel::batch {

namespace {

// Writes all of text to fd; false with errno set when the disk refuses.
bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

int64_t nanoseconds(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

}  // namespace

std::string writeFailure(const std::string& path, int error) {
  std::string why;
  if (error == ENOSPC) why = " (the disk that holds it is full)";
  if (error == EDQUOT) why = " (the disk quota is used up)";
  if (error == EROFS) why = " (the disk that holds it is read-only)";
  return "cannot write " + path + ": " + std::strerror(error) + why;
}

void writeAllAtomically(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::string> written;
  auto fail = [&](const std::string& path, int error) {
    for (const std::string& tmp : written) ::unlink(tmp.c_str());
    throw BatchError(writeFailure(path, error));
  };
  for (const auto& [path, text] : files) {
    const std::string tmp = path + ".tmp";
    ::unlink(tmp.c_str());
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) fail(path, errno);
    written.push_back(tmp);
    // Not flushed to the device (that would cost a run more than the batch's
    // whole share of it): after a crash a lost record makes its case run
    // again, one whose run's files were lost no longer stands, and the
    // tables are rebuilt from the records.
    const bool whole = writeAll(fd, text.data(), text.size());
    const int error = errno;
    if (::close(fd) != 0 || !whole) fail(path, whole ? errno : error);
  }
  for (const auto& [path, text] : files)
    if (std::rename((path + ".tmp").c_str(), path.c_str()) != 0) fail(path, errno);
}

void writeAtomically(const std::string& path, const std::string& text) { writeAllAtomically({{path, text}}); }

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string readSmallFile(const std::string& path, size_t maxBytes, std::string& problem) {
  return vel::readBoundedFile(path, maxBytes, problem);
}

void makeOwnFolder(const std::string& path) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec))) fs::remove(path, ec);
  if (!fs::is_directory(fs::symlink_status(path, ec))) {
    if (fs::exists(fs::symlink_status(path, ec))) fs::remove(path, ec);
    fs::create_directories(path, ec);
    // Another worker may have made it meanwhile.
    if (ec && !fs::is_directory(fs::symlink_status(path))) throw BatchError(writeFailure(path, ec.value()));
  }
}

std::vector<FileStamp> stampFiles(const std::string& dir) {
  std::vector<FileStamp> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) {
    struct stat st;
    if (::lstat(e.path().c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    files.push_back({e.path().filename().string(), static_cast<uint64_t>(st.st_size), nanoseconds(st)});
  }
  std::sort(files.begin(), files.end(), [](const FileStamp& a, const FileStamp& b) { return a.name < b.name; });
  return files;
}

uint64_t totalSize(const std::vector<FileStamp>& files) {
  uint64_t total = 0;
  for (const FileStamp& f : files) total += f.size;
  return total;
}

bool filesUnchanged(const std::string& dir, const std::vector<FileStamp>& files) {
  for (const FileStamp& f : files) {
    struct stat st;
    const std::string path = (fs::path(dir) / f.name).string();
    if (f.name.empty() || f.name.find('/') != std::string::npos || ::lstat(path.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) != f.size || nanoseconds(st) != f.mtimeNs)
      return false;
  }
  return true;
}

int64_t modificationTime(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? nanoseconds(st) : -1;
}

uint64_t compressStageFiles(const std::string& dir) {
  uint64_t saved = 0;
  for (const FileStamp& f : stampFiles(dir)) {
    if (fs::path(f.name).extension() != ".pdb") continue;
    const std::string plain = (fs::path(dir) / f.name).string(), gz = plain + ".gz";
    const std::string text = readText(plain);
    if (text.size() != f.size) continue;
    ::unlink(gz.c_str());
    const int fd = ::open(gz.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) continue;
    gzFile out = gzdopen(fd, "wb6");
    if (!out) {
      ::close(fd);
      ::unlink(gz.c_str());
      continue;
    }
    const bool written = text.empty() || gzwrite(out, text.data(), static_cast<unsigned>(text.size())) > 0;
    if (gzclose(out) != Z_OK || !written) {
      ::unlink(gz.c_str());
      continue;
    }
    struct stat st;
    if (::lstat(gz.c_str(), &st) != 0) continue;
    ::unlink(plain.c_str());
    const uint64_t after = static_cast<uint64_t>(st.st_size);
    if (text.size() > after) saved += text.size() - after;
  }
  return saved;
}

}  // namespace vel::batch
