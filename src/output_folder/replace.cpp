// A folder replaced whole: the new one is written beside it and the two are
// exchanged in one step (renameat2 with RENAME_EXCHANGE), so that no moment
// shows the earlier folder gone or a mix of the two.

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "velmorantique/output_folder.h"

namespace fs = std::filesystem;

namespace vel::output {

namespace {

fs::path plain(const std::string& path) {
  fs::path p = fs::path(path).lexically_normal();
  if (p.filename().empty()) p = p.parent_path();  // "out/" names out
  return p;
}

fs::path besideAs(const std::string& target, const char* kind) {
  const fs::path p = plain(target);
  return p.parent_path() / ("." + p.filename().string() + kind + std::to_string(getpid()));
}

// ".NAME.partial-PID" or ".NAME.old-PID": NAME, and whether it was renamed aside.
bool leftover(const std::string& file, std::string& name, bool& aside) {
  for (const char* kind : {".partial-", ".old-"}) {
    const size_t at = file.rfind(kind);
    if (file.size() < 2 || file[0] != '.' || at == std::string::npos || at < 2) continue;
    const size_t digits = at + std::strlen(kind);
    if (digits == file.size()) continue;
    bool number = true;
    for (size_t i = digits; i < file.size(); ++i) number = number && std::isdigit(static_cast<unsigned char>(file[i]));
    if (!number) continue;
    name = file.substr(1, at - 1);
    aside = kind[1] == 'o';
    return true;
  }
  return false;
}

std::string failed(const std::string& what, int error) { return what + ": " + std::strerror(error); }

}  // namespace

std::string stagingPath(const std::string& target) { return besideAs(target, ".partial-").string(); }

void replaceFolder(const std::string& staged, const std::string& target) {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(target, ec))) {
    if (::rename(staged.c_str(), target.c_str()) != 0)
      throw OutputFolderError(failed("cannot put the new " + target + " in place", errno));
    return;
  }
  if (::renameat2(AT_FDCWD, staged.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0) {
    fs::remove_all(staged, ec);  // the earlier folder, now under the staged name
    return;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
    throw OutputFolderError(failed("cannot put the new " + target + " in place", errno));
  // A file system that cannot exchange two folders: the earlier one is
  // renamed aside first, and put back by clearLeftovers should the run stop
  // before the new one is in.
  const std::string aside = besideAs(target, ".old-").string();
  if (::rename(target.c_str(), aside.c_str()) != 0)
    throw OutputFolderError(failed("cannot move the earlier " + target + " aside", errno));
  if (::rename(staged.c_str(), target.c_str()) != 0) {
    const int error = errno;
    ::rename(aside.c_str(), target.c_str());
    throw OutputFolderError(failed("cannot put the new " + target + " in place", error));
  }
  fs::remove_all(aside, ec);
}

void clearLeftovers(const std::string& dir, const std::string& only) {
  std::error_code ec;
  std::vector<fs::path> entries;
  for (const auto& e : fs::directory_iterator(dir, ec)) entries.push_back(e.path());
  for (const fs::path& path : entries) {
    std::string name;
    bool aside = false;
    if (!leftover(path.filename().string(), name, aside) || (!only.empty() && name != only)) continue;
    const fs::path place = fs::path(dir) / name;
    std::error_code missing;
    if (aside && !fs::exists(fs::symlink_status(place, missing)) && ::rename(path.c_str(), place.c_str()) == 0)
      continue;
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
}

}  // namespace vel::output
