// Finding the cases of a batch: case folders, parent folders of case
// folders, or a manifest for files laid out otherwise.

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "velmorantique/batch.h"

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
  std::ifstream in(dir / "threshold");
  std::string line;
  if (in && std::getline(in, line)) c.threshold = trimmed(line);
  return c;
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

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string cell; std::getline(in, cell, '\t');) f.push_back(trimmed(cell));
  return f;
}

}  // namespace

std::vector<CaseInputs> findCases(const std::vector<std::string>& folders) {
  std::vector<CaseInputs> cases;
  for (const std::string& folder : folders) {
    const fs::path dir = fs::path(folder).lexically_normal();
    const fs::path named = dir.filename().empty() ? dir.parent_path() : dir;
    if (!fs::is_directory(named)) throw BatchError(folder + ": no such folder");
    if (isCaseFolder(named)) {
      cases.push_back(caseFromFolder(named));
      continue;
    }
    std::vector<fs::path> subs;
    for (const auto& e : fs::directory_iterator(named))
      if (e.is_directory() && isCaseFolder(e.path())) subs.push_back(e.path());
    if (subs.empty())
      throw BatchError(folder + ": neither a case folder (NAME/NAME.pdb, NAME.mrc, threshold) nor a folder of them");
    std::sort(subs.begin(), subs.end());
    for (const fs::path& s : subs) cases.push_back(caseFromFolder(s));
  }
  refuseDuplicates(cases);
  return cases;
}

std::vector<CaseInputs> readManifest(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw BatchError(path + ": cannot read the manifest");
  const fs::path base = fs::absolute(path).parent_path();
  std::vector<CaseInputs> cases;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (trimmed(line).empty() || trimmed(line)[0] == '#') continue;
    const std::vector<std::string> f = splitTabs(line);
    if (number == 1 && !f.empty() && f[0] == "pdb_base") continue;  // header row
    if (f.size() < 3 || f.size() > 4 || f[0].empty() || f[1].empty() || f[2].empty())
      throw BatchError(path + ":" + std::to_string(number) +
                       ": expected pdb_base, map_base, threshold and an optional name, separated by tabs");
    const fs::path pdb = (base / f[0]).lexically_normal(), map = (base / f[1]).lexically_normal();
    CaseInputs c;
    c.caseDir = map.parent_path().string();
    c.mapBase = map.filename().string();
    c.pdbBase = pdb.lexically_relative(c.caseDir).string();
    if (c.pdbBase.empty()) c.pdbBase = pdb.string();
    c.threshold = f[2];
    c.name = f.size() == 4 && !f[3].empty() ? f[3] : pdb.filename().string();
    if (c.name.find('/') != std::string::npos || c.name == "." || c.name == "..")
      throw BatchError(path + ":" + std::to_string(number) + ": a case name cannot be a path: " + c.name);
    cases.push_back(c);
  }
  if (cases.empty()) throw BatchError(path + ": the manifest lists no case");
  refuseDuplicates(cases);
  return cases;
}

void writeManifest(const std::string& path, const std::vector<CaseInputs>& cases) {
  std::ofstream out(path, std::ios::trunc);
  out << "pdb_base\tmap_base\tthreshold\tname\n";
  for (const CaseInputs& c : cases)
    out << (fs::path(c.caseDir) / c.pdbBase).lexically_normal().string() << '\t'
        << (fs::path(c.caseDir) / c.mapBase).string() << '\t' << c.threshold << '\t' << c.name << '\n';
  if (!out.flush()) throw BatchError(path + ": cannot write the case list");
}

json fingerprint(const CaseInputs& c) {
  const fs::path dir(c.caseDir);
  const std::string map = (dir / (c.mapBase + ".mrc")).string();
  json mapStamp = fileStamp(map);
  if (mapStamp.is_null()) mapStamp = fileStamp(map + ".gz");
  return {{"pdb", fileStamp((dir / (c.pdbBase + ".pdb")).string())}, {"map", mapStamp}, {"threshold", c.threshold}};
}

}  // namespace vel::batch
