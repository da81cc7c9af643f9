// Finding the cases of a batch: case folders, parent folders of case
// folders, or a manifest for files laid out otherwise; and refusing, before
// anything runs, names that the case list, the records or the file system
// could not carry.

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <zlib.h>

#include "batch/files.h"
#include "velmorantique/batch.h"
#include "velmorantique/summary.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace vel::batch {

namespace {

std::string trimmed(const std::string& s) {
  const char* space = " \t\r\n";
  const size_t a = s.find_first_not_of(space);
  if (a == std::string::npos) return "";
  return s.substr(a, s.find_last_not_of(space) - a + 1);
}

std::string absolutePath(const fs::path& p) { return fs::absolute(p).lexically_normal().string(); }

bool hasControl(const std::string& s) {
  return std::any_of(s.begin(), s.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7f; });
}

bool isCaseFolder(const fs::path& dir) {
  const std::string name = dir.filename().string();
  return fs::exists(dir / (name + ".pdb")) || fs::exists(dir / "threshold");
}

CaseInputs caseFromFolder(const fs::path& dir) {
  CaseInputs c;
  c.caseDir = absolutePath(dir);
  c.name = fs::path(c.caseDir).filename().string();
  c.pdbBase = c.name;
  c.mapBase = c.name;
  const std::string file = (dir / "threshold").string();
  if (!fs::exists(fs::symlink_status(file))) {
    c.problem = "no threshold: the case folder has no threshold file";
    return c;
  }
  std::string problem;
  const std::string text = readSmallFile(file, kThresholdFileBytes, problem);
  c.threshold = trimmed(text.substr(0, text.find('\n')));
  if (!problem.empty())
    c.problem = "no threshold: " + problem;
  else if (c.threshold.empty())
    c.problem = "no threshold: the threshold file is empty";
  // A tab would split the case's row of the case list that tasks and
  // --collect read back.
  else if (hasControl(c.threshold))
    c.problem = "no threshold: the threshold file's first line holds a tab or another control character";
  if (!c.problem.empty()) c.threshold.clear();
  return c;
}

// Case folders of one name under different parents each take as many of
// their parents' names as tell them apart: a/x and b/x become a_x and b_x,
// p/a/x and q/a/x become p_a_x and q_a_x.
void nameApart(std::vector<CaseInputs>& cases) {
  std::map<std::string, std::vector<size_t>> byName;
  std::set<std::string> dirs, taken;
  for (size_t i = 0; i < cases.size(); ++i) {
    if (!dirs.insert(cases[i].caseDir).second) throw BatchError("the case folder " + cases[i].caseDir + " is given twice");
    byName[cases[i].name].push_back(i);
    taken.insert(cases[i].name);
  }
  // The name with the last `depth` parents' names before it; "" when the
  // path has fewer parents.
  auto withParents = [&](size_t i, size_t depth) {
    fs::path parent = fs::path(cases[i].caseDir).parent_path();
    std::string name = cases[i].name;
    for (size_t d = 0; d < depth; ++d, parent = parent.parent_path()) {
      if (parent.filename().empty()) return std::string();
      name = parent.filename().string() + "_" + name;
    }
    return name;
  };
  for (const auto& [name, same] : byName) {
    if (same.size() < 2) continue;
    for (size_t depth = 1;; ++depth) {
      std::vector<std::string> names;
      std::set<std::string> distinct;
      for (size_t i : same) {
        names.push_back(withParents(i, depth));
        if (names.back().empty())
          throw BatchError("two case folders are named " + name + " and their parents' names cannot tell them apart");
        distinct.insert(names.back());
      }
      bool clash = distinct.size() != same.size();
      for (const std::string& n : names) clash = clash || taken.count(n);
      if (clash) continue;
      for (size_t k = 0; k < same.size(); ++k) {
        cases[same[k]].name = names[k];
        taken.insert(names[k]);
      }
      break;
    }
  }
}

void refuseDuplicates(const std::vector<CaseInputs>& cases) {
  std::set<std::string> seen;
  for (const CaseInputs& c : cases)
    if (!seen.insert(c.name).second)
      throw BatchError("two cases are named " + c.name + ": give the manifest a name column to tell them apart");
}

json fileStamp(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return nullptr;
  const long long mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
  return {{"file", fs::path(path).filename().string()}, {"size", static_cast<long long>(st.st_size)},
          {"mtime_ns", mtime}};
}

// The CRC-32 of a file's bytes, as 8 hex digits; null when it cannot be read.
json contentChecksum(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return nullptr;
  uLong crc = crc32(0L, Z_NULL, 0);
  std::vector<char> buf(1 << 16);
  while (in.read(buf.data(), static_cast<std::streamsize>(buf.size())) || in.gcount() > 0)
    crc = crc32(crc, reinterpret_cast<const Bytef*>(buf.data()), static_cast<uInt>(in.gcount()));
  if (in.bad()) return nullptr;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08lx", static_cast<unsigned long>(crc));
  return hex;
}

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, '\t');) f.push_back(trimmed(cell));
  return f;
}

// Length of the UTF-8 sequence that starts at s[i], or 0 when none does
// (overlong forms, surrogates and code points past U+10FFFF included).
size_t utf8Length(const std::string& s, size_t i) {
  const unsigned char c = static_cast<unsigned char>(s[i]);
  if (c < 0x80) return 1;
  size_t n;
  unsigned long cp;
  if (c >= 0xc2 && c <= 0xdf) n = 2, cp = c & 0x1f;
  else if (c >= 0xe0 && c <= 0xef) n = 3, cp = c & 0x0f;
  else if (c >= 0xf0 && c <= 0xf4) n = 4, cp = c & 0x07;
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    const unsigned char b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xc0) != 0x80) return 0;
    cp = cp << 6 | (b & 0x3f);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  return overlong || (cp >= 0xd800 && cp <= 0xdfff) || cp > 0x10ffff ? 0 : n;
}

bool isUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8Length(s, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

// The text as a message can show it: control characters and bytes that are
// not UTF-8 as \xNN.
std::string shown(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    const size_t n = utf8Length(s, i);
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (n == 0 || c < 0x20 || c == 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
      ++i;
    } else {
      out += s.substr(i, n);
      i += n;
    }
  }
  return out;
}

// The file system's longest file name under dir (the nearest folder that
// exists answers for the output folder still to be made).
long nameLimit(const std::string& dir) {
  fs::path p = fs::absolute(dir);
  std::error_code ec;
  while (!p.empty() && !fs::is_directory(p, ec) && p != p.parent_path()) p = p.parent_path();
  const long limit = pathconf(p.empty() ? "/" : p.c_str(), _PC_NAME_MAX);
  return limit > 0 ? limit : NAME_MAX;
}

std::string namingProblem(const CaseInputs& c, long limit) {
  if (hasControl(c.name)) return "its name holds a control character (a tab or a line end, say)";
  if (!isUtf8(c.name)) return "its name is not UTF-8 text";
  if (c.name.find('"') != std::string::npos) return "its name holds a double quote";
  for (const std::string* path : {&c.caseDir, &c.pdbBase, &c.mapBase}) {
    if (hasControl(*path)) return "its path holds a control character (a tab or a line end, say)";
    if (!isUtf8(*path)) return "its path is not UTF-8 text";
  }
  // The longest names the batch and the analysis make for the case: the
  // protein's C-alpha chains, the map's output folder, the viewer scripts.
  const std::string protein = fs::path(c.pdbBase).filename().string();
  const std::string map = fs::path(c.mapBase).filename().string();
  for (const std::string& made : {protein + kLongestStageSuffix, map + ".mrc.gz", c.name + "_view.pml.partial"})
    if (static_cast<long>(made.size()) > limit)
      return "its files would have names of " + std::to_string(made.size()) + " bytes (" + shown(made) +
             "), more than the file system's limit of " + std::to_string(limit) + " bytes per name";
  return "";
}

}  // namespace

namespace {

bool isFindFolder(const fs::path& dir) { return fs::is_regular_file(dir / "find.json"); }

// A hidden folder is a run still being written or one a killed run left
// behind (prepare and find stage their output under a leading dot), never a
// case or a map of its own.
bool isHidden(const fs::path& p) { return p.filename().string().rfind('.', 0) == 0; }

std::vector<fs::path> caseFoldersIn(const fs::path& dir) {
  std::vector<fs::path> subs;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_directory() && !isHidden(e.path()) && isCaseFolder(e.path())) subs.push_back(e.path());
  std::sort(subs.begin(), subs.end());
  return subs;
}

// One find output folder: its cases, and its map noted (with no case when
// the map gave no sheet). The cases' batch names are filled in once they
// are told apart.
void addFindFolder(const fs::path& dir, std::vector<CaseInputs>& cases, std::vector<MapRecord>& maps,
                   std::vector<std::vector<size_t>>& mapCases) {
  maps.push_back(mapFromFindFolder(absolutePath(dir)));
  mapCases.emplace_back();
  for (const fs::path& s : caseFoldersIn(dir)) {
    mapCases.back().push_back(cases.size());
    cases.push_back(caseFromFolder(s));
  }
}

std::vector<CaseInputs> casesOf(const std::vector<std::string>& folders, std::vector<MapRecord>& maps) {
  std::vector<CaseInputs> cases;
  std::vector<std::vector<size_t>> mapCases;
  for (const std::string& folder : folders) {
    const fs::path dir = fs::path(folder).lexically_normal();
    const fs::path named = dir.filename().empty() ? dir.parent_path() : dir;
    if (!fs::is_directory(named)) throw BatchError(folder + ": no such folder");
    if (isCaseFolder(named)) {
      cases.push_back(caseFromFolder(named));
      continue;
    }
    if (isFindFolder(named)) {
      addFindFolder(named, cases, maps, mapCases);
      continue;
    }
    // A parent of case folders, of find output folders (one per map), or of both.
    std::vector<fs::path> finds;
    for (const auto& e : fs::directory_iterator(named))
      if (e.is_directory() && !isHidden(e.path()) && !isCaseFolder(e.path()) && isFindFolder(e.path()))
        finds.push_back(e.path());
    std::sort(finds.begin(), finds.end());
    const std::vector<fs::path> subs = caseFoldersIn(named);
    if (subs.empty() && finds.empty())
      throw BatchError(folder + ": neither a case folder (NAME/NAME.pdb, NAME.mrc, threshold), a folder of them, "
                                "nor an output folder of velmorantique-find (with find.json)");
    for (const fs::path& s : subs) cases.push_back(caseFromFolder(s));
    for (const fs::path& f : finds) addFindFolder(f, cases, maps, mapCases);
  }
  nameApart(cases);
  for (size_t m = 0; m < mapCases.size(); ++m)
    for (size_t i : mapCases[m]) maps[maps.size() - mapCases.size() + m].cases.push_back(cases[i].name);
  return cases;
}

}  // namespace

std::vector<CaseInputs> findCases(const std::vector<std::string>& folders, std::vector<MapRecord>* maps) {
  std::vector<MapRecord> found;
  std::vector<CaseInputs> cases = casesOf(folders, found);
  if (cases.empty() && found.empty()) throw BatchError("no cases in the folders given");
  if (maps) maps->insert(maps->end(), found.begin(), found.end());
  return cases;
}

void writeMaps(const std::string& outDir, const std::vector<MapRecord>& maps) {
  const std::string path = (fs::path(outDir) / kMapsFile).string();
  if (maps.empty()) {
    std::error_code ec;
    fs::remove(path, ec);  // a list left by an earlier batch of other cases is not this one's
    return;
  }
  writeAtomically(path, toJson(maps).dump(1) + "\n");
}

std::vector<MapRecord> readMaps(const std::string& outDir) {
  return mapsFromJson(readJsonFile((fs::path(outDir) / kMapsFile).string()));
}

std::vector<CaseInputs> readManifest(const std::string& path, std::vector<MapRecord>* maps) {
  // Read whole within its bound: a FIFO or device such as /dev/zero would
  // otherwise be read for ever.
  std::string problem;
  std::istringstream in(readSmallFile(path, kManifestBytes, problem));
  if (!problem.empty()) throw BatchError("the manifest cannot be read: " + problem);
  const fs::path base = fs::absolute(path).parent_path();
  std::vector<CaseInputs> cases;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    // A byte-order mark, as some editors save a table, is not part of the first cell.
    if (number == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    if (line.size() > kManifestLineBytes)
      throw BatchError(path + ":" + std::to_string(number) + ": a line of " + std::to_string(line.size()) +
                       " bytes, more than four paths take: not a manifest");
    if (trimmed(line).empty() || trimmed(line)[0] == '#') continue;
    const std::vector<std::string> f = splitTabs(line);
    if (number == 1 && !f.empty() && f[0] == "pdb_base") continue;  // header row
    if (f.size() == 1 && fs::is_directory(base / f[0])) {
      // A folder: a find output folder, a case folder or a folder of them.
      std::vector<MapRecord> found;
      for (CaseInputs& c : casesOf({(base / f[0]).lexically_normal().string()}, found)) cases.push_back(c);
      if (maps) maps->insert(maps->end(), found.begin(), found.end());
      continue;
    }
    // An empty threshold cell is a case that cannot run (the case list
    // keeps such cases), not a broken list.
    if (f.size() < 3 || f.size() > 4 || f[0].empty() || f[1].empty())
      throw BatchError(path + ":" + std::to_string(number) +
                       ": expected pdb_base, map_base, threshold and an optional name, separated by tabs");
    const fs::path pdb = (base / f[0]).lexically_normal(), map = (base / f[1]).lexically_normal();
    CaseInputs c;
    c.caseDir = map.parent_path().string();
    c.mapBase = map.filename().string();
    c.pdbBase = pdb.lexically_relative(c.caseDir).string();
    if (c.pdbBase.empty()) c.pdbBase = pdb.string();
    c.threshold = f[2];
    if (c.threshold.empty()) c.problem = "no threshold: the case list gives none";
    c.name = f.size() == 4 && !f[3].empty() ? f[3] : pdb.filename().string();
    if (c.name.find('/') != std::string::npos || c.name == "." || c.name == "..")
      throw BatchError(path + ":" + std::to_string(number) + ": a case name cannot be a path: " + c.name);
    cases.push_back(c);
  }
  if (cases.empty() && !(maps && !maps->empty())) throw BatchError(path + ": the manifest lists no case");
  refuseDuplicates(cases);
  return cases;
}

void writeManifest(const std::string& path, const std::vector<CaseInputs>& cases) {
  std::ostringstream out;
  out << "pdb_base\tmap_base\tthreshold\tname\n";
  for (const CaseInputs& c : cases)
    out << (fs::path(c.caseDir) / c.pdbBase).lexically_normal().string() << '\t'
        << (fs::path(c.caseDir) / c.mapBase).string() << '\t' << c.threshold << '\t' << c.name << '\n';
  writeAtomically(path, out.str());
}

void checkCases(const std::vector<CaseInputs>& cases, const std::string& outDir) {
  if (hasControl(outDir) || !isUtf8(outDir))
    throw BatchError("the output folder " + shown(outDir) +
                     " holds a control character or bytes that are not UTF-8: choose a plain path");
  const long limit = nameLimit(outDir);
  std::string problems;
  size_t count = 0;
  for (const CaseInputs& c : cases) {
    const std::string why = namingProblem(c, limit);
    if (why.empty()) continue;
    ++count;
    problems += "\n  " + shown(c.name) + " (in " + shown(c.caseDir) + "): " + why;
  }
  if (count > 0)
    throw BatchError(std::to_string(count) + (count == 1 ? " case has a name" : " cases have names") +
                     " the batch cannot carry; rename " + (count == 1 ? "it" : "them") +
                     " (or give a manifest with a name column):" + problems);
}

json fingerprint(const CaseInputs& c, const std::string& analysis) {
  const fs::path dir(c.caseDir);
  const std::string map = (dir / (c.mapBase + ".mrc")).string();
  json mapStamp = fileStamp(map);
  if (mapStamp.is_null()) mapStamp = fileStamp(map + ".gz");
  // The analysis reads the case's resolution from meta.json, and a rebuilt
  // program may answer otherwise: either change runs the case again.
  return {{"pdb", fileStamp((dir / (c.pdbBase + ".pdb")).string())},
          {"map", mapStamp},
          {"threshold", c.threshold},
          {"meta", contentChecksum((dir / "meta.json").string())},
          {"analysis", fileStamp(analysis)},
          {"summary_schema", kSummarySchemaVersion}};
}

}  // namespace vel::batch
