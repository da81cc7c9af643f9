#pragma once
// The record of one case of a batch, OUT/cases/NAME/record.json. The batch
// writes it when a run starts and when it ends; the batch (to resume, to
// gather the tables) and the report read it. Writer and readers share this
// one definition, so that no key is spelt two ways.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vel::batch {

// A file of a finished run as it was when the record was written. The run
// counts as finished only while each of its files is still there, whole and
// unchanged: a folder deleted or cut short by a full disk makes it run again.
struct FileStamp {
  std::string name;  // in the run's output folder
  uint64_t size = 0;
  int64_t mtimeNs = 0;
};

struct CaseRecord {
  std::string name;
  std::string status;  // ok, no_candidate, refused, failed, timed_out; "running" while the run lasts
  std::string message;  // empty when none
  std::vector<std::string> warnings;  // the batch's words for the run's warnings (no_reference, ...)
  std::optional<int> exitStatus;      // when the run ended by itself
  double seconds = 0.0;
  uint64_t outputBytes = 0;
  uint64_t bytesSaved = 0;  // by --compress
  std::string caseDir;      // the case's input folder; nothing is written there
  std::string runDir;       // OUT/cases/NAME: the analysis ran here, its inputs linked in
  std::string pdbBase, mapBase, threshold;  // as the case gives them
  std::string outputDir;  // the run's output folder, inside runDir
  std::string summary;    // the run summary accepted as this run's own, or empty
  std::string meta;       // the case's meta.json, or empty
  nlohmann::json fingerprint;  // the inputs' sizes and times when the run started
  std::vector<FileStamp> files;
  bool finished = false;

  bool hasExitStatus() const { return exitStatus.has_value(); }
};

// The paths of the record that lie in the batch's output folder outDir are
// written relative to it, so that the record moves with its folder (mv,
// cp -r): a copy reports its own runs.
nlohmann::json toJson(const CaseRecord& r, const std::string& outDir = "");
// Every key is optional: a record written by an older batch, or edited by
// hand, reads with what it has (a missing or mistyped key is empty), never
// stops the batch. Relative paths are read in outDir. An older record's
// absolute paths into the folder it was written in (OLD, where its run_dir
// was OLD/cases/NAME) are read in outDir instead wherever the same file is
// there: the folder was moved or copied.
CaseRecord recordFromJson(const nlohmann::json& j, const std::string& outDir = "");

// The record's text as written to disk: bytes that are not UTF-8 (from a
// run's output) are replaced, so that writing it can never fail on them.
std::string recordText(const CaseRecord& r, const std::string& outDir = "");

// The batch's name for each warning of a run summary: a run without
// reference strands is complete, and the batch calls it no_reference.
std::vector<std::string> batchWarnings(const nlohmann::json& summaryWarnings);

// A whole map that velmorantique-find went through, as the batch met its
// output folder: its cases are cases of the batch, and a map that gave no
// sheet is still named in the table and the report. The batch keeps the
// list in OUT/maps.json.
struct MapRecord {
  std::string name;     // find.json's name, else the folder's
  std::string map;      // the map's path as find read it
  std::string findDir;  // the find output folder
  std::vector<std::string> cases;  // the batch's names of its cases, in order
  int segments = 0;                // segments find considered
  std::string resolutionWarning;   // find's word on the resolution given, when it doubted it
};
constexpr const char* kMapsFile = "maps.json";
nlohmann::json toJson(const std::vector<MapRecord>& maps);
// Like the case record, read with whatever keys are there.
std::vector<MapRecord> mapsFromJson(const nlohmann::json& j);
// The record of a find output folder (one holding find.json): what find.json
// says of the map; the cases are left to the caller.
MapRecord mapFromFindFolder(const std::string& findDir);

}  // namespace vel::batch
