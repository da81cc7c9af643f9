#pragma once
// The output folders of the companion tools (prepare, find, batch): one
// writer at a time in each, and folders replaced whole. A run is written
// beside the folder it replaces and takes its place in one step, so that a
// run stopped at any moment, even killed outright, leaves the earlier
// folder or the new one, complete; what such a run leaves behind is cleared
// by the next.

#include <stdexcept>
#include <string>
#include <vector>

namespace vel::output {

// An output folder that cannot be locked or replaced; the message says why
// and what to do.
struct OutputFolderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The hold of one run of `tool` on an output folder: a lock (flock) on
// FOLDER/<lockFile>, made when missing, together with the folder itself.
// The lock is the system's, so it ends with its holder, even one killed
// outright; the file says who holds it. Another run that tries stops at once
// with "FOLDER is in use by another TOOL (process PID on HOST, since WHEN):
// wait until it ends, or stop it, then start this NOUN again". Unless
// `keepFile`, the lock file goes when the hold ends, once all is written.
class FolderLock {
 public:
  FolderLock(const std::string& folder, const std::string& lockFile, const std::string& tool, const std::string& noun,
             bool keepFile = true);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  // Locks the lock file of a folder written to replace the locked one, so
  // that the hold goes on unbroken once that folder has taken its place.
  void holdAlso(const std::string& folder);

 private:
  std::string path_, lockFile_, tool_, noun_, holder_;
  bool keepFile_ = true;
  std::vector<int> fds_;
};

// The name a folder is written under beside its final place ("DIR/.NAME.partial-PID").
std::string stagingPath(const std::string& target);
// Puts the folder `staged` (complete) in the place of `target` in one step
// (the two are exchanged, then the earlier folder is removed). Where the file
// system cannot exchange folders, the earlier one is first renamed aside
// (".NAME.old-PID"); clearLeftovers puts it back should the run stop in
// between. Throws OutputFolderError.
void replaceFolder(const std::string& staged, const std::string& target);
// What replacements of folders in `dir` stopped half-way left there: a
// folder renamed aside whose place is empty is put back; every other
// leftover (a partial or earlier folder) is removed. With `name`, only the
// leftovers of DIR/NAME. Call it while holding the folder's lock.
void clearLeftovers(const std::string& dir, const std::string& name = "");

}  // namespace vel::output
