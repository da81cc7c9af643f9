// A disk that fills up, for runs of the built program: preloaded
// (LD_PRELOAD), it lets writes to files whose path contains
// VEL_FULL_DISK_MATCH take VEL_FULL_DISK_BYTES bytes in all (0 when unset),
// the last write as far as it fits, and fails every later one with ENOSPC, as
// a full file system does. With VEL_FULL_DISK_CLOSE set, closing such a file
// fails with EIO instead, as a network file system reports a lost write.
// Every other file, standard output and standard error included, is left
// alone.

#include <dlfcn.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

template <class F>
F next(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool matches(int fd) {
  const char* pattern = getenv("VEL_FULL_DISK_MATCH");
  if (pattern == nullptr || *pattern == '\0' || fd <= 2) return false;
  char link[64], path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return false;
  path[n] = '\0';
  return strstr(path, pattern) != nullptr;
}

// How many of n bytes the disk still takes; sets errno when none.
size_t room(size_t n) {
  static long long left = getenv("VEL_FULL_DISK_BYTES") ? atoll(getenv("VEL_FULL_DISK_BYTES")) : 0;
  if (getenv("VEL_FULL_DISK_CLOSE") != nullptr) return n;
  const size_t take = left <= 0 ? 0 : (static_cast<long long>(n) < left ? n : static_cast<size_t>(left));
  left -= static_cast<long long>(take);
  if (take == 0 && n > 0) errno = ENOSPC;
  return take;
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, size_t n) {
  static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
  if (!matches(fd)) return real(fd, data, n);
  const size_t take = room(n);
  if (take == 0 && n > 0) return -1;
  return real(fd, data, take);
}

extern "C" ssize_t writev(int fd, const struct iovec* iov, int count) {
  static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
  if (!matches(fd)) return real(fd, iov, count);
  // Written piece by piece, as far as the disk takes them.
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    const ssize_t w = write(fd, iov[i].iov_base, iov[i].iov_len);
    if (w < 0) return total > 0 ? total : -1;
    total += w;
    if (static_cast<size_t>(w) < iov[i].iov_len) break;
  }
  return total;
}

extern "C" int close(int fd) {
  static auto real = next<int (*)(int)>("close");
  const bool fail = getenv("VEL_FULL_DISK_CLOSE") != nullptr && matches(fd);
  const int r = real(fd);
  if (!fail || r != 0) return r;
  errno = EIO;
  return -1;
}
