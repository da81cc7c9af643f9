// One batch at a time in an output folder: two batches on one folder would
// run every case twice at once and tear the tables. The lock is the
// system's (flock on OUT/batch.lock), so it ends with its holder, even one
// killed outright; the file says who holds it.

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <thread>

#include "batch/files.h"
#include "velmorantique/batch.h"

namespace fs = std::filesystem;

namespace vel::batch {

OutputLock::OutputLock(const std::string& outDir) {
  std::error_code ec;
  fs::create_directories(outDir, ec);
  if (ec) throw BatchError(writeFailure(outDir, ec.value()));
  const std::string path = (fs::path(outDir) / "batch.lock").string();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) throw BatchError(writeFailure(path, errno));
  // A batch killed a moment ago can leave, for an instant, a run it had
  // just started (and that the system is about to stop) holding the lock:
  // the folder counts as taken only when it stays locked for a while.
  int locked = ::flock(fd_, LOCK_EX | LOCK_NB);
  for (int tries = 0; locked != 0 && errno == EWOULDBLOCK && tries < 40; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    locked = ::flock(fd_, LOCK_EX | LOCK_NB);
  }
  if (locked != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK) {
      // A file system without locks: the batch goes on, and says so.
      std::cerr << "velmorantique-batch: warning: cannot lock " << path << " (" << std::strerror(error)
                << "): make sure that no other batch writes to " << outDir << "\n";
      return;
    }
    std::string holder = readText(path);
    while (!holder.empty() && (holder.back() == '\n' || holder.back() == ' ')) holder.pop_back();
    ::close(fd_);
    fd_ = -1;
    throw BatchError(outDir + " is in use by another velmorantique-batch (" +
                     (holder.empty() ? std::string("its process is starting") : holder) +
                     "): wait until it ends, or stop it, then start this batch again");
  }
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  char when[64] = "";
  const std::time_t now = std::time(nullptr);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  const std::string who = "process " + std::to_string(getpid()) + " on " + host + ", since " + when + "\n";
  if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, who.data(), who.size(), 0) < 0) {
    // Only the holder's name is lost; the lock holds.
  }
}

OutputLock::~OutputLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace vel::batch
