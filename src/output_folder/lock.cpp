// One writer at a time in an output folder: two would tear each other's
// files, or one would silently replace the other's results. The lock is the
// system's (flock on a file in the folder), so it ends with its holder, even
// one killed outright; the file says who holds it.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include "velmorantique/output_folder.h"

namespace fs = std::filesystem;

namespace vel::output {

namespace {

std::string cannotWrite(const std::string& path, int error) {
  return "cannot write " + path + ": " + std::strerror(error) +
         (error == ENOSPC || error == EDQUOT ? " (the disk that holds it is full)" : "");
}

std::string holderOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(512, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

// Locks the file without waiting long: a run killed a moment ago can leave,
// for an instant, a process it had just started (and that the system is
// about to stop) holding the lock, so the folder counts as taken only when
// it stays locked for a while.
int lockSoon(int fd) {
  int locked = ::flock(fd, LOCK_EX | LOCK_NB);
  for (int tries = 0; locked != 0 && errno == EWOULDBLOCK && tries < 40; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  }
  return locked == 0 ? 0 : errno;
}

bool sameFile(int fd, const std::string& path) {
  struct stat held, there;
  return ::fstat(fd, &held) == 0 && ::stat(path.c_str(), &there) == 0 && held.st_ino == there.st_ino &&
         held.st_dev == there.st_dev;
}

}  // namespace

FolderLock::FolderLock(const std::string& folder, const std::string& lockFile, const std::string& tool,
                       const std::string& noun, bool keepFile)
    : path_((fs::path(folder) / lockFile).string()), lockFile_(lockFile), tool_(tool), noun_(noun), keepFile_(keepFile) {
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  char when[64] = "";
  const std::time_t now = std::time(nullptr);
  std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  holder_ = "process " + std::to_string(getpid()) + " on " + host + ", since " + when + "\n";
  const std::string& path = path_;
  // A folder replaced whole by the run that held it brings its own lock
  // file: the lock counts only on the file that is in the folder now.
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) throw OutputFolderError(cannotWrite(folder, ec.value()));
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) throw OutputFolderError(cannotWrite(path, errno));
    const int error = lockSoon(fd);
    if (error == EWOULDBLOCK) {
      const std::string holder = holderOf(path);
      ::close(fd);
      throw OutputFolderError(folder + " is in use by another " + tool + " (" +
                              (holder.empty() ? std::string("its process is starting") : holder) +
                              "): wait until it ends, or stop it, then start this " + noun + " again");
    }
    if (error != 0) {
      // A file system without locks: the run goes on, and says so.
      std::cerr << tool << ": warning: cannot lock " << path << " (" << std::strerror(error)
                << "): make sure that no other " << tool << " writes to " << folder << "\n";
      fds_.push_back(fd);
      return;
    }
    if (!sameFile(fd, path)) {
      ::close(fd);
      continue;
    }
    fds_.push_back(fd);
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, holder_.data(), holder_.size(), 0) < 0) {
      // Only the holder's name is lost; the lock holds.
    }
    return;
  }
  throw OutputFolderError(folder + " is being replaced over and over by other runs: stop them, then start this " +
                          noun + " again");
}

void FolderLock::holdAlso(const std::string& folder) {
  const std::string path = (fs::path(folder) / lockFile_).string();
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) throw OutputFolderError(cannotWrite(path, errno));
  fds_.push_back(fd);
  if (lockSoon(fd) != 0) return;  // a new folder no one else knows of: the lock is only for later
  if (::pwrite(fd, holder_.data(), holder_.size(), 0) < 0) {
    // Only the holder's name is lost; the lock holds.
  }
}

FolderLock::~FolderLock() {
  // A run waiting for the file removed here finds it gone once it has the
  // lock, and takes the folder's new one.
  bool removed = keepFile_;
  for (int fd : fds_) {
    if (!removed && sameFile(fd, path_)) removed = ::unlink(path_.c_str()) == 0;
    ::close(fd);
  }
}

}  // namespace vel::output
