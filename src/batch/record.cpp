// The batch record's keys, in one place for the writer and every reader.

#include "velmorantique/batch_record.h"

#include <filesystem>
#include <limits>

#include "velmorantique/summary.h"

namespace vel::batch {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

std::string text(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// A count or a time: a number of the record that is missing, negative where
// it cannot be, or beyond the type's range reads as 0.
template <typename T>
T whole(const json& j, const char* key) {
  const auto it = j.find(key);
  if (it == j.end() || !it->is_number()) return T{};
  if (it->is_number_unsigned()) {
    const uint64_t v = it->get<uint64_t>();
    return v <= static_cast<uint64_t>(std::numeric_limits<T>::max()) ? static_cast<T>(v) : T{};
  }
  const double v = it->get<double>();
  const bool fits = v >= static_cast<double>(std::numeric_limits<T>::min()) &&
                    v < static_cast<double>(std::numeric_limits<T>::max());
  return fits ? (it->is_number_integer() ? static_cast<T>(it->get<int64_t>()) : static_cast<T>(v)) : T{};
}

// The strings of an array; anything else in it, or a missing key, is passed over.
std::vector<std::string> strings(const json& j, const char* key) {
  std::vector<std::string> out;
  if (const auto a = j.find(key); a != j.end() && a->is_array())
    for (const json& one : *a)
      if (one.is_string()) out.push_back(one.get<std::string>());
  return out;
}

double real(const json& j, const char* key) {
  const auto it = j.find(key);
  return it != j.end() && it->is_number() ? it->get<double>() : 0.0;
}

json pathOrNull(const std::string& path) { return path.empty() ? json(nullptr) : json(path); }

// The path relative to `folder` when it lies inside it; otherwise as it is.
std::string within(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.empty()) return path;
  const fs::path rel = fs::path(path).lexically_normal().lexically_relative(fs::path(folder).lexically_normal());
  if (rel.empty() || *rel.begin() == ".." || rel == ".") return path;
  return rel.string();
}

// The paths of a record as read from disk, placed in the output folder outDir.
void placeIn(CaseRecord& r, const std::string& outDir) {
  std::string* paths[] = {&r.caseDir, &r.runDir, &r.outputDir, &r.summary, &r.meta};
  // The folder an older record was written in: its run_dir was OLD/cases/NAME.
  const fs::path run(r.runDir);
  const bool oldLayout = run.is_absolute() && run.parent_path().filename() == "cases";
  const fs::path old = run.parent_path().parent_path();
  for (std::string* p : paths) {
    if (p->empty()) continue;
    const fs::path path(*p);
    if (path.is_relative()) {
      *p = (fs::path(outDir) / path).string();
      continue;
    }
    if (!oldLayout || old == fs::path(outDir).lexically_normal()) continue;
    const std::string tail = within(*p, old.string());
    std::error_code ec;
    if (tail != *p && fs::exists(fs::symlink_status(fs::path(outDir) / tail, ec)))
      *p = (fs::path(outDir) / tail).string();
  }
}

}  // namespace

json toJson(const CaseRecord& given, const std::string& outDir) {
  CaseRecord r = given;
  for (std::string* p : {&r.caseDir, &r.runDir, &r.outputDir, &r.summary, &r.meta}) *p = within(*p, outDir);
  json files = json::array();
  for (const FileStamp& f : r.files) files.push_back({{"file", f.name}, {"size", f.size}, {"mtime_ns", f.mtimeNs}});
  return {{"case", r.name},
          {"case_dir", r.caseDir},
          {"run_dir", r.runDir},
          {"pdb_base", r.pdbBase},
          {"map_base", r.mapBase},
          {"threshold", r.threshold},
          {"output_dir", r.outputDir},
          {"summary", pathOrNull(r.summary)},
          {"meta", pathOrNull(r.meta)},
          {"status", r.status},
          {"message", r.message.empty() ? json(nullptr) : json(r.message)},
          {"warnings", r.warnings},
          {"exit_status", r.exitStatus ? json(*r.exitStatus) : json(nullptr)},
          {"seconds", r.seconds},
          {"output_bytes", r.outputBytes},
          {"bytes_saved", r.bytesSaved},
          {"fingerprint", r.fingerprint},
          {"files", files},
          {"finished", r.finished}};
}

CaseRecord recordFromJson(const json& j, const std::string& outDir) {
  CaseRecord r;
  if (!j.is_object()) return r;
  r.name = text(j, "case");
  r.status = text(j, "status");
  r.message = text(j, "message");
  r.warnings = strings(j, "warnings");
  if (const auto e = j.find("exit_status"); e != j.end() && e->is_number_integer()) {
    const int64_t v = e->get<int64_t>();
    if (v >= 0 && v <= 255) r.exitStatus = static_cast<int>(v);
  }
  r.seconds = real(j, "seconds");
  r.outputBytes = whole<uint64_t>(j, "output_bytes");
  r.bytesSaved = whole<uint64_t>(j, "bytes_saved");
  r.caseDir = text(j, "case_dir");
  r.runDir = text(j, "run_dir");
  r.pdbBase = text(j, "pdb_base");
  r.mapBase = text(j, "map_base");
  r.threshold = text(j, "threshold");
  r.outputDir = text(j, "output_dir");
  r.summary = text(j, "summary");
  r.meta = text(j, "meta");
  if (const auto f = j.find("fingerprint"); f != j.end()) r.fingerprint = *f;
  if (const auto f = j.find("files"); f != j.end() && f->is_array())
    for (const json& one : *f)
      if (one.is_object()) r.files.push_back({text(one, "file"), whole<uint64_t>(one, "size"), whole<int64_t>(one, "mtime_ns")});
  const auto done = j.find("finished");
  r.finished = done != j.end() && done->is_boolean() && done->get<bool>();
  if (!outDir.empty()) placeIn(r, outDir);
  return r;
}

std::string recordText(const CaseRecord& r, const std::string& outDir) {
  return toJson(r, outDir).dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::vector<std::string> batchWarnings(const json& summaryWarnings) {
  std::vector<std::string> out;
  if (!summaryWarnings.is_array()) return out;
  for (const json& w : summaryWarnings) {
    if (!w.is_string()) continue;
    const std::string name = w.get<std::string>();
    out.push_back(name == "no_reference_strands" ? "no_reference" : name);
  }
  return out;
}

json toJson(const std::vector<MapRecord>& maps) {
  json out = json::array();
  for (const MapRecord& m : maps)
    out.push_back({{"name", m.name},
                   {"map", m.map},
                   {"find_dir", m.findDir},
                   {"cases", m.cases},
                   {"segments", m.segments},
                   {"resolution_warning", m.resolutionWarning.empty() ? json(nullptr) : json(m.resolutionWarning)}});
  return out;
}

std::vector<MapRecord> mapsFromJson(const json& j) {
  std::vector<MapRecord> maps;
  if (!j.is_array()) return maps;
  for (const json& one : j) {
    if (!one.is_object()) continue;
    MapRecord m;
    m.name = text(one, "name");
    m.map = text(one, "map");
    m.findDir = text(one, "find_dir");
    m.cases = strings(one, "cases");
    m.segments = whole<int>(one, "segments");
    m.resolutionWarning = text(one, "resolution_warning");
    maps.push_back(m);
  }
  return maps;
}

MapRecord mapFromFindFolder(const std::string& findDir) {
  MapRecord m;
  m.findDir = findDir;
  m.name = std::filesystem::path(findDir).filename().string();
  // Read within the bounds of every JSON file; a damaged find.json still
  // names its folder.
  std::string problem;
  const json found = vel::readJsonFile((std::filesystem::path(findDir) / "find.json").string(), problem);
  if (!found.is_object()) return m;
  if (!text(found, "name").empty()) m.name = text(found, "name");
  m.map = text(found, "map");
  if (const auto s = found.find("segments"); s != found.end() && s->is_array()) m.segments = static_cast<int>(s->size());
  if (const auto r = found.find("resolution_check"); r != found.end() && r->is_object())
    m.resolutionWarning = text(*r, "warning");
  return m;
}

}  // namespace vel::batch
