#pragma once
// Files as the batch handles them: written whole or not at all, with the
// disk named when a write fails; read in bounded amounts; and never followed
// through a symbolic link out of the batch's own folders.

#include <cstdint>
#include <string>
#include <vector>

#include "velmorantique/batch_record.h"

namespace vel::batch {

// "cannot write PATH: No space left on device (the disk that holds it is
// full)": the system's reason, and what it means for the batch.
std::string writeFailure(const std::string& path, int error);

// Written under another name, then renamed over path: a reader sees the old
// file or the new one, never half of one, and a link at path is replaced,
// not followed. Throws BatchError(writeFailure(...)).
void writeAtomically(const std::string& path, const std::string& text);
// Several files that must agree (the batch's tables): each is written under
// another name first, and only when all are whole are they renamed into
// place; otherwise none is.
void writeAllAtomically(const std::vector<std::pair<std::string, std::string>>& files);

// The whole file, or "" when it cannot be read.
std::string readText(const std::string& path);

// At most maxBytes of a regular file; a folder, FIFO or device is not read
// (it could hang or never end) and gives problem.
std::string readSmallFile(const std::string& path, size_t maxBytes, std::string& problem);

// A folder of the batch's own at path: a symbolic link there is removed
// (never followed) and a real folder made. Throws BatchError when it cannot be.
void makeOwnFolder(const std::string& path);

// The regular files directly in dir (links are not followed), with their
// sizes and modification times, by name.
std::vector<FileStamp> stampFiles(const std::string& dir);
uint64_t totalSize(const std::vector<FileStamp>& files);
// True while every file is still in dir as stamped.
bool filesUnchanged(const std::string& dir, const std::vector<FileStamp>& files);
// The modification time of path in ns, or -1.
int64_t modificationTime(const std::string& path);

// gzips every stage PDB file in dir (viewers read .pdb.gz); returns the bytes
// saved. Only regular files in dir itself; a file is replaced only once its
// compressed copy is whole.
uint64_t compressStageFiles(const std::string& dir);

}  // namespace vel::batch
