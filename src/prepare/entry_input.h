#pragma once
// An entry's text as prepare reads it: bounded once decompressed, cut to its
// first model before it is parsed, and mmCIF atom tables completed where
// optional columns are missing.
#include <gemmi/cifdoc.hpp>

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace vel {
namespace prepare {

// The most text an entry may hold once decompressed. The largest entries of
// the archive (whole ribosomes, virus capsids) hold under half of it.
constexpr size_t kMaxEntryBytes = size_t(512) << 20;

// A line of progress for each this many bytes of a long read.
constexpr size_t kReadProgressStep = size_t(64) << 20;

// Reads a plain or gzipped file (every member of a multi-member gzip file),
// refusing it once it passes `limit` bytes, with a line on `progress` for
// each `step` bytes read when one is given.
std::string readEntryText(const std::string& path, std::ostream* progress, size_t limit = kMaxEntryBytes,
                          size_t step = kReadProgressStep);

// Cuts PDB text after the first model's ENDMDL record: the records before the
// atoms (SHEET among them) stay, the later models are never parsed.
void keepFirstPdbModel(std::string& text);

// Keeps the atom rows of the first model only, so that no other model is built.
void keepFirstCifModel(gemmi::cif::Block& block);

// Fills the _atom_site columns that the structure reader needs but that an
// mmCIF file may leave out (serial, alternate location, occupancy, B factor,
// element, a label or author name given by the other) and returns a note on
// each; throws, naming them, when coordinates, names or numbers are missing.
std::vector<std::string> completeAtomSite(gemmi::cif::Block& block, const std::string& path);

}  // namespace prepare
}  // namespace vel
