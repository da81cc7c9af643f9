// A full disk on demand, for the tests, wherever they run (no mount needed):
// preloaded into a program (LD_PRELOAD), it lets write() and writev() put
// VEL_FULL_DISK_BYTES bytes into files whose paths begin with VEL_FULL_DISK_DIR,
// then fails them as a full disk does: a short write, then ENOSPC. Each
// process counts its own bytes. Every other write passes unchanged.

#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using WriteFn = ssize_t (*)(int, const void*, size_t);
using WritevFn = ssize_t (*)(int, const struct iovec*, int);

std::atomic<long long> left{-1};  // bytes the disk still takes; -1 before the first write

bool onTheFullDisk(int fd) {
  const char* dir = std::getenv("VEL_FULL_DISK_DIR");
  if (!dir || !*dir) return false;
  char link[64], path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return false;
  path[n] = '\0';
  const size_t len = std::strlen(dir);  // a plain prefix: a folder, or the start of file names
  return std::strncmp(path, dir, len) == 0;
}

// How many of n bytes the disk takes now (0 when it is full).
size_t room(size_t n) {
  long long expected = left.load();
  if (expected < 0) {
    const char* bytes = std::getenv("VEL_FULL_DISK_BYTES");
    left.compare_exchange_strong(expected, bytes ? std::atoll(bytes) : 0);
  }
  for (;;) {
    long long now = left.load();
    const long long take = now < static_cast<long long>(n) ? now : static_cast<long long>(n);
    if (left.compare_exchange_weak(now, now - take)) return static_cast<size_t>(take);
  }
}

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
  static const WriteFn real = reinterpret_cast<WriteFn>(dlsym(RTLD_NEXT, "write"));
  if (n == 0 || !onTheFullDisk(fd)) return real(fd, buf, n);
  const size_t take = room(n);
  if (take == 0) {
    errno = ENOSPC;
    return -1;
  }
  return real(fd, buf, take);
}

extern "C" ssize_t writev(int fd, const struct iovec* iov, int count) {
  static const WritevFn real = reinterpret_cast<WritevFn>(dlsym(RTLD_NEXT, "writev"));
  if (!onTheFullDisk(fd)) return real(fd, iov, count);
  // Written piece by piece through write(), which counts the bytes.
  ssize_t total = 0;
  for (int i = 0; i < count; ++i) {
    if (iov[i].iov_len == 0) continue;
    const ssize_t n = write(fd, iov[i].iov_base, iov[i].iov_len);
    if (n < 0) return total > 0 ? total : -1;
    total += n;
    if (static_cast<size_t>(n) < iov[i].iov_len) break;
  }
  return total;
}
