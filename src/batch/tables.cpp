// The batch's tables: the two fixed-width report tables gathered from every
// case, and results.tsv, one tidy row per case for scripts and pandas.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "batch/files.h"
#include "velmorantique/batch.h"
#include "velmorantique/report_tables.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace vel::batch {

namespace {

const std::string kNA = "NA";

json readJson(const std::string& path) { return path.empty() ? json(nullptr) : readJsonFile(path); }

// A text cell: one line, no tab, no leading quote for a CSV reader to take
// as the start of a quoted field.
std::string text(std::string s) {
  for (char& ch : s) {
    if (ch == '\n' || ch == '\t' || ch == '\r') ch = ' ';
    if (ch == '"') ch = '\'';
  }
  return s.empty() ? kNA : s;
}

std::string cell(const json& v) {
  if (v.is_string()) return text(v.get<std::string>());
  if (v.is_number()) return v.dump();  // shortest text that reads back to the same number
  if (v.is_boolean()) return v.get<bool>() ? "true" : "false";
  return kNA;
}

const json& at(const json& j, std::initializer_list<const char*> keys) {
  static const json none;
  const json* cur = &j;
  for (const char* k : keys) {
    if (!cur->is_object() || !cur->contains(k)) return none;
    cur = &(*cur)[k];
  }
  return *cur;
}

const json& topEntry(const json& summary, const json& set) {
  static const json none;
  if (!set.is_string()) return none;
  for (const json& t : at(summary, {"top"}))
    if (t.value("set", "") == set.get<std::string>()) return t;
  return none;
}

std::string component(const json& v, size_t i) { return v.is_array() && v.size() > i ? cell(v[i]) : kNA; }

// One row of results.tsv: every column's value, named, in column order.
using Row = std::vector<std::pair<std::string, std::string>>;

Row resultRow(const CaseRecord& r) {
  const json summary = readJson(r.summary);
  const json meta = readJson(r.meta);
  const json& chosen = at(summary, {"chosen"});
  const json& top = topEntry(summary, at(chosen, {"top_twist"}));
  const json& best = topEntry(summary, at(chosen, {"best_two_way"}));
  const json& rms = topEntry(summary, at(chosen, {"best_rms"}));
  std::string warnings;
  for (const std::string& w : r.warnings) warnings += (warnings.empty() ? "" : ",") + w;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  const json& shape = at(summary, {"shape_direction"});
  return {
      {"case", text(r.name)},
      {"status", r.status},
      {"message", text(r.message)},
      {"threshold", cell(json(r.threshold))},
      {"voxels", cell(at(summary, {"inputs", "voxels_kept"}))},
      {"fitting_error", cell(at(summary, {"sheet", "fitting_error"}))},
      {"top_twist_set", cell(at(chosen, {"top_twist"}))},
      {"top_twist_main_twist", cell(at(top, {"main_twist"}))},
      {"best_set", cell(at(chosen, {"best_two_way"}))},
      {"best_set_main_twist", cell(at(best, {"main_twist"}))},
      {"best_set_two_way", cell(at(best, {"two_way"}))},
      {"best_set_detected", cell(at(best, {"detected_residues"}))},
      {"reference_residues", cell(at(summary, {"reference", "residues"}))},
      {"rms_set", cell(at(chosen, {"best_rms"}))},
      {"rms_mean", cell(at(rms, {"rms_mean"}))},
      {"rmsd", cell(at(rms, {"rmsd"}))},
      {"top_twist_direction_error", cell(at(top, {"direction_error"}))},
      {"best_set_direction_error", cell(at(best, {"direction_error"}))},
      {"reference_twist", cell(at(summary, {"reference", "mean_twist"}))},
      {"warnings", text(warnings)},
      {"seconds", seconds},
      {"output_bytes", std::to_string(r.outputBytes)},
      {"resolution", cell(at(meta, {"resolution_A"}))},
      {"top_twist_direction_x", component(at(top, {"direction"}), 0)},
      {"top_twist_direction_y", component(at(top, {"direction"}), 1)},
      {"top_twist_direction_z", component(at(top, {"direction"}), 2)},
      {"best_set_direction_x", component(at(best, {"direction"}), 0)},
      {"best_set_direction_y", component(at(best, {"direction"}), 1)},
      {"best_set_direction_z", component(at(best, {"direction"}), 2)},
      {"shape_direction_x", component(shape, 0)},
      {"shape_direction_y", component(shape, 1)},
      {"shape_direction_z", component(shape, 2)},
      {"shape_direction_error", cell(at(summary, {"shape_direction_error"}))},
      {"case_dir", cell(json(r.caseDir))},
      {"model_ca_in_density", cell(at(meta, {"model_map_fit", "strand_ca_in_density"}))},
      {"model_map_correlation", cell(at(meta, {"model_map_fit", "correlation"}))},
      {"confidence", cell(at(summary, {"confidence", "level"}))},
      {"shape_twist", cell(at(summary, {"shape_twist"}))},
      {"shape_twist_error", cell(at(summary, {"shape_twist_error"}))},
  };
}

// Header row once, then the data row of every case that finished with
// values, in case order: the rows of exactly the cases results.tsv gives
// values for.
std::string gatherTable(const std::vector<CaseRecord>& records, const std::string& suffix,
                        const std::function<void(std::ostream&)>& header) {
  std::ostringstream out;
  header(out);
  for (const CaseRecord& r : records) {
    if (r.summary.empty() || (r.status != "ok" && r.status != "no_candidate")) continue;
    // The tables are named after the protein, the base name of the PDB path.
    const std::string protein = fs::path(r.pdbBase.empty() ? r.name : r.pdbBase).filename().string();
    std::ifstream in(fs::path(r.outputDir) / (protein + suffix));
    std::string line;
    for (bool first = true; std::getline(in, line); first = false)
      if (!first) out << line << '\n';
  }
  return out.str();
}

}  // namespace

const std::vector<std::string>& resultColumns() {
  static const std::vector<std::string> columns = [] {
    std::vector<std::string> names;
    for (const auto& [name, value] : resultRow(CaseRecord{})) names.push_back(name);
    return names;
  }();
  return columns;
}

void writeTables(const std::string& outDir, const std::vector<CaseRecord>& records) {
  const fs::path dir(outDir);
  std::ostringstream out;
  const std::vector<std::string>& columns = resultColumns();
  for (size_t i = 0; i < columns.size(); ++i) out << (i ? "\t" : "") << columns[i];
  out << '\n';
  for (const CaseRecord& r : records) {
    const Row row = resultRow(r);
    for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << row[i].second;
    out << '\n';
  }
  // All three or none: the report tables never disagree with results.tsv.
  writeAllAtomically(
      {{(dir / "bestResult.txt").string(),
        gatherTable(records, "_bestResult.txt", [](std::ostream& os) { writeHeaderRow(os, kBestResultColumns); })},
       {(dir / "rms.txt").string(),
        gatherTable(records, "_rms.txt", [](std::ostream& os) { writeHeaderRow(os, kRmsColumns); })},
       {(dir / "results.tsv").string(), out.str()}});
}

}  // namespace vel::batch
