#pragma once
// Many proteins in one go: the cases of a study, one analysis run per case
// (in parallel, resumable, each with its own record), and the tables that
// gather them. The runs themselves are the velmorantique executable, started
// as a user would start it, so a batch reports exactly what single runs do.

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "velmorantique/batch_record.h"

namespace vel::batch {

// A usage or set-up error: the message says what to fix.
struct BatchError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// One protein: where its inputs lie and with which arguments it runs. The
// analysis runs in OUT/cases/NAME, where its inputs are linked, so that its
// output folder lands there and nothing is ever written beside the inputs.
struct CaseInputs {
  std::string name;
  std::string caseDir;    // absolute; the folder of the map
  std::string pdbBase;    // relative to caseDir when possible
  std::string mapBase;    // relative to caseDir
  std::string threshold;  // the text as given
  std::string problem;    // why the case cannot run, found on reading it; empty when none
};

// Case folders (NAME/NAME.pdb, NAME/NAME.mrc or .mrc.gz, NAME/threshold), a
// parent folder of such folders, or both mixed; in the order given, a
// parent's cases by name. Case folders of one name under different parents
// are told apart by their parents' names (a/x and b/x become a_x and b_x).
// A velmorantique-find output folder (it holds find.json), or a folder of
// them, gives its maps' cases; each such map goes into `maps`, the maps that
// gave no sheet too.
std::vector<CaseInputs> findCases(const std::vector<std::string>& folders, std::vector<MapRecord>* maps = nullptr);
// A manifest: tab-separated pdb_base, map_base, threshold and an optional
// name, one case per line; an optional header row; paths relative to the
// manifest's folder. A line of one cell names a folder, read as findCases
// reads it (a find output folder, say).
std::vector<CaseInputs> readManifest(const std::string& path, std::vector<MapRecord>* maps = nullptr);
// OUT/maps.json: the maps of the find folders the batch was given, or no file.
void writeMaps(const std::string& outDir, const std::vector<MapRecord>& maps);
std::vector<MapRecord> readMaps(const std::string& outDir);
// The case list OUT/cases.tsv in manifest form (a case without a threshold
// keeps an empty cell); written whole or not at all.
void writeManifest(const std::string& path, const std::vector<CaseInputs>& cases);
// Refuses, before anything runs, cases whose names or paths a batch cannot
// carry: control characters (tab, line end), bytes that are not UTF-8, a
// double quote in a name, or a name that would make the analysis's file
// names longer than the file system under outDir allows. One BatchError
// names every such case and the folder that holds it.
void checkCases(const std::vector<CaseInputs>& cases, const std::string& outDir);
// The longest name the analysis gives a file of the protein (its C-alpha
// chains, compressed), past the protein's name.
constexpr const char* kLongestStageSuffix = "_trans_2_orient_170_CAchain_999.pdb.gz";
// At most this many bytes are read of a threshold file.
constexpr size_t kThresholdFileBytes = 256;
// A manifest line holds four paths (each at most the system's 4,096 bytes)
// and three tabs; a list of a hundred thousand cases stays well under the
// size bound. A longer line or a larger file is no case list (a device, say).
constexpr size_t kManifestLineBytes = 4 * 4096 + 3;
constexpr size_t kManifestBytes = 64u << 20;

// The inputs' sizes and modification times, the threshold, the checksum of
// the case's meta.json, and the analysis program's size, modification time
// and summary schema: a case whose fingerprint has not changed since its
// finished record need not run again.
nlohmann::json fingerprint(const CaseInputs& c, const std::string& analysis);

// Parallel runs at most: --jobs is a whole number from 1 to this.
constexpr int kMaxJobs = 1024;

struct Options {
  std::string outDir;
  std::string analysis;  // the velmorantique executable
  int jobs = 1;
  bool force = false;
  double timeout = 0;  // seconds per case; 0 for none
  bool compress = false;
  bool terminal = false;  // progress as one line updated in place
};

// A JSON file's value; null when the file is missing or damaged.
nlohmann::json readJsonFile(const std::string& path);

std::string caseFolder(const std::string& outDir, const std::string& name);  // OUT/cases/NAME
// Runs one case now and writes its record; or reads the record of a finished
// run on unchanged inputs whose files are all still there, unless opts.force.
CaseRecord runCase(const CaseInputs& c, const Options& opts, bool* skipped = nullptr);
// The record left by a case's last finished run; status "failed" with a
// message when there is none, or when it is not this case's or its files are
// gone or changed.
CaseRecord readRecord(const CaseInputs& c, const std::string& outDir);

// Runs every case with opts.jobs at a time, printing progress to progress;
// returns the records in case order.
std::vector<CaseRecord> runCases(const std::vector<CaseInputs>& cases, const Options& opts, std::ostream& progress);

// OUT/bestResult.txt, OUT/rms.txt and OUT/results.tsv from the cases' records,
// each written whole or not at all; throws BatchError naming the disk.
// A map that gave no sheet gets a row of its own, status no_sheet.
void writeTables(const std::string& outDir, const std::vector<CaseRecord>& records,
                 const std::vector<MapRecord>& maps = {});
constexpr const char* kNoSheet = "no_sheet";
// Why a map has no case, for its row and the closing summary.
std::string noSheetMessage(const MapRecord& m);
// The columns of results.tsv, in order.
const std::vector<std::string>& resultColumns();

// The closing lines: counts by status, every case that was not ok with its
// message; returns the batch's exit status (0 all ran with status 0, else 2).
int printSummary(const std::vector<CaseRecord>& records, std::ostream& out);

// The batch report of the cases in OUT, when the report library is part of
// the build; false when it is not.
bool writeReport(const std::string& outDir);

// The text of the last framed report in what a run printed (the lines between
// the "==== in ... ====" line and the closing row of '='), or "" when none:
// the reason a run was refused when it stopped before its summary existed.
std::string lastFrameMessage(const std::string& printed);

// Slurm: the cases as a job array of arraySize tasks, task k running cases
// k, k + arraySize, ...
struct SlurmOptions {
  std::string partition, time;
  int arraySize = 0;  // 0: one task per case, at most 1000
  std::vector<std::string> sbatchArgs;
  std::string batchTool;  // this executable, run by every task
};
// Writes OUT/slurm/batch.sh, whose tasks read the case list OUT/cases.tsv;
// returns the script's path. Every path is quoted; a value with a control
// character (which could start a line of its own) is refused.
std::string writeSlurmScript(const std::vector<CaseInputs>& cases, const Options& opts, const SlurmOptions& slurm);
// Submits the script with sbatch (and the extra arguments) and waits until the
// array has finished, reporting the finished cases now and then.
void submitAndWait(const std::string& script, const std::vector<CaseInputs>& cases, const std::string& outDir,
                   std::ostream& progress);
// The cases of array task k (0-based), in order.
std::vector<CaseInputs> taskCases(const std::vector<CaseInputs>& cases, int task, int arraySize);

}  // namespace vel::batch
