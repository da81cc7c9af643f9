// An entry's text, read within bounds. A gzip file may hold many members (a
// crafted one expands without limit though its last member claims a small
// size), and a file may hold many thousands of models, each of which the
// structure reader would build; prepare reads model 1 only.
#include "entry_input.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <ostream>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

std::string mebibytes(size_t bytes) {
  return bytes >= (size_t(1) << 20) ? std::to_string(bytes >> 20) + " MiB" : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string readEntryText(const std::string& path, std::ostream* progress, size_t limit, size_t step) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) throw PrepareError(path + ": no such file, or it cannot be read");
  if (!S_ISREG(info.st_mode)) throw PrepareError(path + ": not a regular file");
  gzFile gz = gzopen(path.c_str(), "rb");
  if (gz == nullptr) throw PrepareError(path + ": no such file, or it cannot be read");
  gzbuffer(gz, 1 << 17);
  const bool compressed = gzdirect(gz) == 0;
  std::string text;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const int got = gzread(gz, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (got <= 0) break;
    if (text.size() + static_cast<size_t>(got) > limit) {
      gzclose(gz);
      throw PrepareError(path + ": holds more than " + mebibytes(limit) +
                         (compressed ? " once decompressed" : "") +
                         ", more than any structure entry; it is not read");
    }
    if (progress && (text.size() + static_cast<size_t>(got)) / step > text.size() / step)
      *progress << "  read " << mebibytes(text.size() + static_cast<size_t>(got)) << " of " << path << "\n";
    text.append(buffer.data(), static_cast<size_t>(got));
  }
  int error = Z_OK;
  const std::string message = gzerror(gz, &error);
  gzclose(gz);
  if (error != Z_OK && error != Z_STREAM_END)
    throw PrepareError(path + ": cannot be read (the gzip stream is damaged or cut short: " + message + ")");
  return text;
}

void keepFirstPdbModel(std::string& text) {
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    if (text.compare(at, 6, "ENDMDL") == 0) {
      text.resize(end);
      text += "\nEND\n";
      return;
    }
    at = end + 1;
  }
}

namespace {

gemmi::cif::Loop* atomLoop(gemmi::cif::Block& block) {
  for (gemmi::cif::Item& item : block.items)
    if (item.type == gemmi::cif::ItemType::Loop && !item.loop.tags.empty() &&
        gemmi::istarts_with(item.loop.tags.front(), "_atom_site."))
      return &item.loop;
  return nullptr;
}

int column(const gemmi::cif::Loop& loop, const char* name) { return loop.find_tag(std::string("_atom_site.") + name); }

// Appends a column whose value in each row is made from that row.
void addColumn(gemmi::cif::Loop& loop, const char* name, const std::function<std::string(size_t)>& value) {
  const size_t width = loop.width(), rows = loop.length();
  std::vector<std::string> added(rows);
  for (size_t r = 0; r < rows; ++r) added[r] = value(r);
  std::vector<std::string> values;
  values.reserve(rows * (width + 1));
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < width; ++c) values.push_back(std::move(loop.values[r * width + c]));
    values.push_back(std::move(added[r]));
  }
  loop.tags.push_back(std::string("_atom_site.") + name);
  loop.values = std::move(values);
}

// The element of a protein or nucleic-acid atom is the first letter of its name.
std::string elementFromName(const std::string& name) {
  for (char c : gemmi::cif::as_string(name))
    if (std::isalpha(static_cast<unsigned char>(c))) return std::string(1, c);
  return "X";
}

}  // namespace

void keepFirstCifModel(gemmi::cif::Block& block) {
  gemmi::cif::Loop* loop = atomLoop(block);
  if (!loop || loop->length() == 0) return;
  const int model = column(*loop, "pdbx_PDB_model_num");
  if (model < 0) return;
  const size_t width = loop->width(), rows = loop->length();
  const std::string first = loop->values[static_cast<size_t>(model)];
  size_t kept = 0;
  for (size_t r = 0; r < rows; ++r) {
    if (loop->values[r * width + static_cast<size_t>(model)] != first) continue;
    if (kept != r)
      std::move(loop->values.begin() + static_cast<long>(r * width),
                loop->values.begin() + static_cast<long>((r + 1) * width),
                loop->values.begin() + static_cast<long>(kept * width));
    ++kept;
  }
  loop->values.resize(kept * width);
}

std::vector<std::string> completeAtomSite(gemmi::cif::Block& block, const std::string& path) {
  std::vector<std::string> notes;
  gemmi::cif::Loop* loop = atomLoop(block);
  if (!loop) return notes;
  std::vector<std::string> missing;
  for (const char* needed : {"Cartn_x", "Cartn_y", "Cartn_z"})
    if (column(*loop, needed) < 0) missing.push_back(needed);
  const int atomName = std::max(column(*loop, "auth_atom_id"), column(*loop, "label_atom_id"));
  if (atomName < 0) missing.push_back("label_atom_id or auth_atom_id");
  if (std::max(column(*loop, "auth_comp_id"), column(*loop, "label_comp_id")) < 0)
    missing.push_back("label_comp_id or auth_comp_id");
  const int labelSeq = column(*loop, "label_seq_id"), authSeq = column(*loop, "auth_seq_id");
  if (std::max(labelSeq, authSeq) < 0) missing.push_back("auth_seq_id or label_seq_id");
  if (!missing.empty()) {
    std::string names;
    for (const std::string& m : missing) names += (names.empty() ? "" : ", ") + m;
    throw PrepareError(path + ": the atom table (_atom_site) has no " + names + "; the atoms cannot be read");
  }
  // The value in row r of a column that is already there.
  auto cell = [loop](size_t r, int c) { return loop->values[r * loop->width() + static_cast<size_t>(c)]; };
  auto copyOf = [cell](int from) { return [cell, from](size_t r) { return cell(r, from); }; };
  std::vector<std::string> filled;
  auto fill = [&](const char* name, const std::string& how, const std::function<std::string(size_t)>& value) {
    if (column(*loop, name) >= 0) return;
    addColumn(*loop, name, value);
    filled.push_back(std::string(name) + " (" + how + ")");
  };
  fill("id", "numbered in order", [](size_t r) { return std::to_string(r + 1); });
  fill("type_symbol", "from the atom name", [cell, atomName](size_t r) { return elementFromName(cell(r, atomName)); });
  fill("label_alt_id", "none", [](size_t) { return "."; });
  fill("occupancy", "1", [](size_t) { return "1"; });
  fill("B_iso_or_equiv", "0", [](size_t) { return "0"; });
  const int authAsym = column(*loop, "auth_asym_id");
  if (authAsym >= 0)
    fill("label_asym_id", "the author's chain", copyOf(authAsym));
  else
    fill("label_asym_id", "one chain, A", [](size_t) { return "A"; });
  if (authSeq < 0) fill("auth_seq_id", "label_seq_id", copyOf(labelSeq));
  if (!filled.empty()) {
    std::string text = "the atom table has no";
    for (size_t i = 0; i < filled.size(); ++i) text += (i ? ", " : " ") + filled[i];
    notes.push_back(text);
  }
  return notes;
}

}  // namespace prepare
}  // namespace vel
