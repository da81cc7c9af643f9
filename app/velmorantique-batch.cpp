// velmorantique-batch: runs the analysis over many proteins, locally or as a
// Slurm job array, and gathers one table of results.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "velmorantique/batch.h"
#include "velmorantique/command_line.h"
#include "velmorantique/output_folder.h"

namespace fs = std::filesystem;
using namespace vel::batch;
using namespace vel::cli;

namespace {

using OutputLock = vel::output::FolderLock;
constexpr const char* kLockFile = "batch.lock";  // one batch at a time in OUT

int defaultJobs() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(std::min<unsigned>(n, kMaxJobs)) : 1;
}

// Slurm's own limit on an array is set by each site; this only keeps
// numbers sane.
constexpr long kMaxArrayTasks = 1000000;

std::vector<Option> optionTable() {
  return {
      {"-o", "DIR", "output folder (required): tables, per-case records and logs", ""},
      {"--manifest", "FILE", "cases from a TSV file: pdb_base, map_base, threshold[, name]", ""},
      {"--jobs", "N", "parallel runs, 1 to " + std::to_string(kMaxJobs) + "; they share the memory one run may use",
       std::to_string(defaultJobs())},
      {"--timeout", "S", "seconds per case before it is stopped [none]", ""},
      {"--force", "", "rerun finished cases", ""},
      {"--compress", "", "gzip each finished case's stage PDB files (in OUT)", ""},
      {"--slurm", "", "run the cases as a Slurm job array and wait for it", ""},
      {"--partition", "P", "Slurm partition [the cluster's default]", ""},
      {"--time", "T", "Slurm time limit per task [the partition's default]", ""},
      {"--array-size", "M", "Slurm array tasks; task k runs cases k, k+M, ... [one per case, at most 1000]", ""},
      {"--sbatch-arg", "ARG", "one more sbatch option, repeatable", ""},
      {"--collect", "", "only build the tables from the records already there", ""},
      {"--report", "DIR", "only write the report of the batch in DIR", ""},
      {"--task", "K", "", ""},  // one task of a job array, started by the array script
      {"--help", "", "this text", ""},
  };
}

void printHelp(std::ostream& out) {
  out << "usage: velmorantique-batch -o OUT [options] FOLDER...\n"
         "       velmorantique-batch -o OUT [options] --manifest FILE\n\n"
         "Runs velmorantique once per case, in OUT/cases/NAME: nothing is written beside\n"
         "the inputs. A case folder NAME holds NAME.pdb, NAME.mrc (or NAME.mrc.gz) and a\n"
         "file 'threshold'; a FOLDER is a case folder or a folder of them, or an output\n"
         "folder of velmorantique-find (or a folder of them: one per map), whose maps\n"
         "without a sheet are named too. Finished cases whose inputs and output are\n"
         "unchanged are not run again.\n\n"
         "options:\n";
  printOptions(out, optionTable(), 18);
  out << "\nexit status: 0 every case ran with status 0 and kept its output; 2 some did\n"
         "not (all tables written); 1 usage error, or tables that could not be written.\n";
}

std::string thisExecutableDir() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw BatchError("cannot locate this executable (/proc/self/exe)");
  return self.parent_path().string();
}

struct Command {
  Options opts;
  SlurmOptions slurm;
  std::vector<std::string> folders;
  std::string manifest, reportDir;
  bool useSlurm = false, collect = false;
  int task = -1;
};

Command parse(int argc, char** argv) {
  Command c;
  c.opts.jobs = defaultJobs();
  bool jobsGiven = false;
  const Arguments args = scanArguments(argc, argv, optionTable());
  if (args.help) {
    printHelp(std::cout);
    std::exit(0);
  }
  c.folders = args.positional;
  for (const auto& [a, value] : args.options) {
    if (a == "-o") {
      c.opts.outDir = value;
    } else if (a == "--manifest") {
      c.manifest = value;
    } else if (a == "--jobs") {
      c.opts.jobs = static_cast<int>(wholeArg(a, value, 1, kMaxJobs));
      jobsGiven = true;
    } else if (a == "--timeout") {
      c.opts.timeout = numberArg(a, value);
      if (c.opts.timeout < 0 || c.opts.timeout > 1e9) throw UsageError(a + " needs a number of seconds, 0 to 1e9, not '" + value + "'");
    } else if (a == "--force") {
      c.opts.force = true;
    } else if (a == "--compress") {
      c.opts.compress = true;
    } else if (a == "--slurm") {
      c.useSlurm = true;
    } else if (a == "--partition") {
      c.slurm.partition = value;
    } else if (a == "--time") {
      c.slurm.time = value;
    } else if (a == "--array-size") {
      c.slurm.arraySize = static_cast<int>(wholeArg(a, value, 1, kMaxArrayTasks));
    } else if (a == "--sbatch-arg") {
      c.slurm.sbatchArgs.push_back(value);
    } else if (a == "--collect") {
      c.collect = true;
    } else if (a == "--report") {
      c.reportDir = value;
    } else if (a == "--task") {
      c.task = static_cast<int>(wholeArg(a, value, 0, kMaxArrayTasks - 1));
    }
  }
  if (!c.reportDir.empty()) return c;
  if (c.opts.outDir.empty()) throw BatchError("-o OUT is required (see --help)");
  if (!c.manifest.empty() && !c.folders.empty()) throw BatchError("give case folders or --manifest, not both");
  if (c.task >= 0 && !jobsGiven) c.opts.jobs = 1;  // a task has the one CPU Slurm gave it
  c.opts.outDir = fs::absolute(c.opts.outDir).lexically_normal().string();
  return c;
}

// The tables, the report and the closing summary, which names every case
// that was not ok. Tables that cannot be written (a full disk, say) do not
// hide the summary: it is printed, and then the reason, with status 1.
int finish(const Command& c, const std::vector<CaseRecord>& records, const std::vector<MapRecord>& maps) {
  std::string tableError;
  try {
    writeTables(c.opts.outDir, records, maps);
  } catch (const BatchError& e) {
    tableError = e.what();
  }
  const bool report = tableError.empty() && writeReport(c.opts.outDir);
  if (tableError.empty())
    std::cout << "tables in " << c.opts.outDir << ": results.tsv, bestResult.txt, rms.txt"
              << (report ? ", report.html" : "") << "\n";
  const int status = printSummary(records, std::cout);
  // A map without a sheet is an answer, not a failure: named, and no change to the status.
  for (const MapRecord& m : maps)
    if (m.cases.empty()) std::cout << "  " << m.name << ": " << noSheetMessage(m) << "\n";
  if (tableError.empty()) return status;
  std::cout << std::flush;
  std::cerr << "error: " << tableError << "; the cases' records are kept: free space, then run the same command again\n";
  return 1;
}

int run(int argc, char** argv) {
  Command c = parse(argc, argv);
  if (!c.reportDir.empty()) {
    const OutputLock lock(c.reportDir, kLockFile, "velmorantique-batch", "batch");
    if (!writeReport(c.reportDir)) return 1;
    std::cout << "report in " << c.reportDir << "/report.html\n";
    return 0;
  }
  const std::string caseList = (fs::path(c.opts.outDir) / "cases.tsv").string();
  std::vector<CaseInputs> cases;
  std::vector<MapRecord> maps;
  const bool given = !c.manifest.empty() || !c.folders.empty();
  if (!c.manifest.empty())
    cases = readManifest(c.manifest, &maps);
  else if (!c.folders.empty())
    cases = findCases(c.folders, &maps);
  else if ((c.collect || c.task >= 0) && fs::exists(caseList))
    cases = readManifest(caseList, &maps);
  else
    throw BatchError("no cases: give case folders, a parent folder or --manifest (see --help)");
  checkCases(cases, c.opts.outDir);

  const std::string dir = thisExecutableDir();
  c.opts.analysis = (fs::path(dir) / "velmorantique").string();
  c.opts.terminal = isatty(2);
  if (!c.collect && access(c.opts.analysis.c_str(), X_OK) != 0)
    throw BatchError(c.opts.analysis + ": the analysis executable is missing beside velmorantique-batch");

  if (c.task >= 0) {
    // A task of a job array: the batch that submitted the array holds the
    // output folder, and the tasks share out its cases.
    const int size = c.slurm.arraySize > 0 ? c.slurm.arraySize : static_cast<int>(cases.size());
    c.opts.terminal = false;
    const std::vector<CaseRecord> records = runCases(taskCases(cases, c.task, size), c.opts, std::cerr);
    return printSummary(records, std::cout);
  }
  const OutputLock lock(c.opts.outDir, kLockFile, "velmorantique-batch", "batch");
  writeManifest(caseList, cases);
  if (given)
    writeMaps(c.opts.outDir, maps);
  else
    maps = readMaps(c.opts.outDir);  // --collect: the maps the batch was given when it ran

  std::vector<CaseRecord> records;
  if (c.useSlurm) {
    c.slurm.batchTool = (fs::path(dir) / "velmorantique-batch").string();
    const std::string script = writeSlurmScript(cases, c.opts, c.slurm);
    std::cerr << "submitting " << script << " (" << cases.size() << " cases)\n";
    submitAndWait(script, cases, c.opts.outDir, std::cerr);
  } else if (!c.collect) {
    records = runCases(cases, c.opts, std::cerr);
  }
  if (records.empty())
    for (const CaseInputs& s : cases) records.push_back(readRecord(s, c.opts.outDir));
  return finish(c, records, maps);
}

}  // namespace

int main(int argc, char** argv) { return vel::cli::runTool(run, argc, argv, "run fewer jobs at once (--jobs)"); }
