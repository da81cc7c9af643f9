// The batch's tables: the two fixed-width report tables gathered from every
// case, and results.tsv, one tidy row per case for scripts and pandas.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>

#include "batch/files.h"
#include "velmorantique/batch.h"
#include "velmorantique/report_tables.h"
#include "velmorantique/summary.h"

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

const json& element(const json& array, size_t i) {
  static const json none;
  return array.is_array() && i < array.size() ? array[i] : none;
}

// Summary values: NA where the summary has none.
std::string cell(double v) { return std::isnan(v) ? kNA : json(v).dump(); }
std::string cell(const std::optional<long long>& v) { return v ? std::to_string(*v) : kNA; }
const SummaryTopEntry& topEntry(const RunSummary& summary, const std::string& set) {
  static const SummaryTopEntry none;
  const SummaryTopEntry* entry = set.empty() ? nullptr : summary.topEntry(set);
  return entry ? *entry : none;
}

// One row of results.tsv: every column's value, named, in column order.
using Row = std::vector<std::pair<std::string, std::string>>;

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

// map: the whole map the case was found in, when it came from a find folder.
Row resultRow(const CaseRecord& r, const MapRecord* map) {
  const RunSummary summary = summaryFromJson(readJson(r.summary));
  // A meta.json that cannot be read leaves its columns empty and says why
  // in the case's message.
  std::string metaProblem;
  const json meta = r.meta.empty() ? json(nullptr) : vel::readJsonFile(r.meta, metaProblem);
  const std::string message = metaProblem.empty() ? r.message : r.message + (r.message.empty() ? "" : "; ") + metaProblem;
  const SummaryChosen chosen = summary.chosen.value_or(SummaryChosen{});
  const SummaryTopEntry& top = topEntry(summary, chosen.topTwist);
  const SummaryTopEntry& best = topEntry(summary, chosen.bestTwoWay);
  const SummaryTopEntry& rms = topEntry(summary, chosen.bestRms);
  const SummarySheet sheet = summary.sheet.value_or(SummarySheet{});
  const SummaryReference reference = summary.reference.value_or(SummaryReference{});
  const Triple shape = summary.shapeDirection.value_or(kNoTriple);
  const std::string warnings = joined(r.warnings, ",");
  const json& found = at(meta, {"segment_shape"});
  const json& isSheet = at(meta, {"sheet_confidence"});
  const TwistVerdict twist = judgeTwist(summary);
  std::vector<std::string> sheetReasons;
  for (const json& reason : at(isSheet, {"reasons"}))
    if (reason.is_string()) sheetReasons.push_back(reason.get<std::string>());
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", r.seconds);
  return {
      {"case", text(r.name)},
      {"status", r.status},
      {"message", text(message)},
      {"threshold", cell(json(r.threshold))},
      {"voxels", cell(summary.inputs.voxelsKept)},
      {"fitting_error", cell(sheet.fittingError.value_or(kNoValue))},
      {"top_twist_set", text(chosen.topTwist)},
      {"top_twist_main_twist", cell(top.mainTwist)},
      {"best_set", text(chosen.bestTwoWay)},
      {"best_set_main_twist", cell(best.mainTwist)},
      {"best_set_two_way", cell(best.twoWay.value_or(kNoValue))},
      {"best_set_detected", cell(best.detectedResidues)},
      {"reference_residues", cell(reference.residues)},
      {"rms_set", text(chosen.bestRms)},
      {"rms_mean", cell(rms.rmsMean.value_or(kNoValue))},
      {"rmsd", cell(rms.rmsd.value_or(kNoValue))},
      {"top_twist_direction_error", cell(top.directionError)},
      {"best_set_direction_error", cell(best.directionError)},
      {"reference_twist", cell(reference.meanTwist)},
      {"warnings", text(warnings)},
      {"seconds", seconds},
      {"output_bytes", std::to_string(r.outputBytes)},
      {"resolution", cell(at(meta, {"resolution_A"}))},
      {"top_twist_direction_x", cell(top.direction[0])},
      {"top_twist_direction_y", cell(top.direction[1])},
      {"top_twist_direction_z", cell(top.direction[2])},
      {"best_set_direction_x", cell(best.direction[0])},
      {"best_set_direction_y", cell(best.direction[1])},
      {"best_set_direction_z", cell(best.direction[2])},
      {"shape_direction_x", cell(shape[0])},
      {"shape_direction_y", cell(shape[1])},
      {"shape_direction_z", cell(shape[2])},
      {"shape_direction_error", cell(summary.shapeDirectionError)},
      {"case_dir", cell(json(r.caseDir))},
      {"model_ca_in_density", cell(at(meta, {"model_map_fit", "strand_ca_in_density"}))},
      {"model_map_correlation", cell(at(meta, {"model_map_fit", "correlation"}))},
      {"confidence", text(summary.confidence ? summary.confidence->level : "")},
      {"shape_twist", cell(summary.shapeTwist)},
      {"shape_twist_error", cell(summary.shapeTwistError)},
      // Appended: where a found sheet lies and how sheet-like find judged it.
      {"map", text(map ? map->name : "")},
      {"sheet_centre_x", cell(element(at(found, {"centre_A"}), 0))},
      {"sheet_centre_y", cell(element(at(found, {"centre_A"}), 1))},
      {"sheet_centre_z", cell(element(at(found, {"centre_A"}), 2))},
      {"sheet_length", cell(at(found, {"length_A"}))},
      {"sheet_width", cell(at(found, {"width_A"}))},
      {"sheet_area", cell(at(found, {"area_A2"}))},
      {"sheet_probability", cell(at(found, {"sheet_probability"}))},
      {"confidence_reasons", text(summary.confidence ? joined(summary.confidence->reasons, "; ") : "")},
      {"resolution_warning", text(map ? map->resolutionWarning : "")},
      // Appended: whether a found case is a sheet at all, and the range its twist lies in.
      {"sheet_confidence", cell(at(isSheet, {"level"}))},
      {"sheet_confidence_reasons", text(joined(sheetReasons, "; "))},
      {"twist_confidence", text(twist.level)},
      {"twist_from", cell(twist.from)},
      {"twist_to", cell(twist.to)},
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

std::string noSheetMessage(const MapRecord& m) {
  const std::string why = m.segments == 0 ? "velmorantique-find met no segment that could be a sheet"
                                           : "velmorantique-find kept none of the " + std::to_string(m.segments) +
                                                 (m.segments == 1 ? " segment" : " segments") + " it considered";
  return "no sheet found in this map: " + why + " (see " + m.findDir + "/find.json)";
}

const std::vector<std::string>& resultColumns() {
  static const std::vector<std::string> columns = [] {
    std::vector<std::string> names;
    for (const auto& [name, value] : resultRow(CaseRecord{}, nullptr)) names.push_back(name);
    return names;
  }();
  return columns;
}

void writeTables(const std::string& outDir, const std::vector<CaseRecord>& records,
                 const std::vector<MapRecord>& maps) {
  const fs::path dir(outDir);
  std::ostringstream out;
  const std::vector<std::string>& columns = resultColumns();
  for (size_t i = 0; i < columns.size(); ++i) out << (i ? "\t" : "") << columns[i];
  out << '\n';
  std::map<std::string, const MapRecord*> mapOf;
  for (const MapRecord& m : maps)
    for (const std::string& name : m.cases) mapOf[name] = &m;
  auto writeRow = [&](const Row& row) {
    for (size_t i = 0; i < row.size(); ++i) out << (i ? "\t" : "") << row[i].second;
    out << '\n';
  };
  for (const CaseRecord& r : records) {
    const auto m = mapOf.find(r.name);
    writeRow(resultRow(r, m == mapOf.end() ? nullptr : m->second));
  }
  // A map that gave no sheet has no case, and still a row that names it.
  for (const MapRecord& m : maps) {
    if (!m.cases.empty()) continue;
    CaseRecord none;
    none.name = m.name;
    none.status = kNoSheet;
    none.message = noSheetMessage(m);
    none.caseDir = m.findDir;
    Row row = resultRow(none, &m);
    for (auto& [name, value] : row)
      if (name == "seconds" || name == "output_bytes") value = kNA;
    writeRow(row);
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
