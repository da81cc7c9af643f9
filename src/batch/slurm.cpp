// The same cases as a Slurm job array: the array script, its submission, and
// waiting for it. Slurm does the scheduling; every task runs its share of the
// cases with this same tool, so records and resume work as they do locally.

#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <condition_variable>
#include <sstream>
#include <thread>

#include "batch/files.h"
#include "velmorantique/batch.h"

namespace fs = std::filesystem;

namespace vel::batch {

namespace {

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// A value that the script carries on one line: a control character (a line
// end above all) would start a line of its own, to be run by the shell.
const std::string& oneLine(const std::string& what, const std::string& value) {
  for (unsigned char ch : value)
    if (ch < 0x20 || ch == 0x7f)
      throw BatchError(what + " holds a control character (a line end, say), which the array script cannot carry");
  return value;
}

// Cases whose record says their run has ended (a running case has a record too).
size_t finishedCount(const std::vector<CaseInputs>& cases, const std::string& outDir) {
  size_t n = 0;
  for (const CaseInputs& c : cases)
    n += recordFromJson(readJsonFile((fs::path(caseFolder(outDir, c.name)) / "record.json").string()), outDir).finished;
  return n;
}

}  // namespace

std::string writeSlurmScript(const std::vector<CaseInputs>& cases, const Options& opts, const SlurmOptions& slurm) {
  const fs::path dir = fs::path(opts.outDir) / "slurm";
  oneLine("the output folder's path", opts.outDir);
  oneLine("the path of velmorantique-batch", slurm.batchTool);
  oneLine("--partition", slurm.partition);
  oneLine("--time", slurm.time);
  for (const std::string& a : slurm.sbatchArgs) oneLine("--sbatch-arg", a);
  makeOwnFolder(dir.string());
  const int size = slurm.arraySize > 0 ? slurm.arraySize : static_cast<int>(std::min<size_t>(cases.size(), 1000));
  std::ostringstream s;
  s << "#!/bin/bash\n"
    << "# Runs the cases listed in " << quoted((fs::path(opts.outDir) / "cases.tsv").string()) << " as a job array:\n"
    << "# task k runs cases k, k + " << size << ", ... Written by velmorantique-batch --slurm.\n"
    << "#SBATCH --job-name=velmorantique-batch\n"
    << "#SBATCH --array=0-" << size - 1 << "\n"
    << "#SBATCH --cpus-per-task=1\n"
    << "#SBATCH --output=" << quoted((dir / "task_%a.out").string()) << "\n"
    << "#SBATCH --error=" << quoted((dir / "task_%a.err").string()) << "\n";
  if (!slurm.partition.empty()) s << "#SBATCH --partition=" << slurm.partition << "\n";
  if (!slurm.time.empty()) s << "#SBATCH --time=" << slurm.time << "\n";
  for (const std::string& a : slurm.sbatchArgs) s << "#SBATCH " << a << "\n";
  s << "exec " << quoted(slurm.batchTool) << " --task \"$SLURM_ARRAY_TASK_ID\" --array-size " << size << " -o "
    << quoted(opts.outDir);
  if (opts.force) s << " --force";
  if (opts.compress) s << " --compress";
  if (opts.timeout > 0) s << " --timeout " << opts.timeout;
  s << "\n";
  const std::string path = (dir / "batch.sh").string();
  writeAtomically(path, s.str());
  fs::permissions(path, fs::perms::owner_exec | fs::perms::group_exec, fs::perm_options::add);
  return path;
}

void submitAndWait(const std::string& script, const std::vector<CaseInputs>& cases, const std::string& outDir,
                   std::ostream& progress) {
  std::mutex mutex;
  std::condition_variable stop;
  bool done = false;
  std::thread watcher([&] {
    size_t shown = 0;
    std::unique_lock<std::mutex> lock(mutex);
    while (!stop.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) {
      const size_t n = finishedCount(cases, outDir);
      if (n != shown) progress << "[" << n << "/" << cases.size() << "] cases finished on the cluster\n" << std::flush;
      shown = n;
    }
  });

  // --wait keeps sbatch until every task has ended; --parsable prints the job
  // id alone, which tells a submitted array from a refused submission.
  const std::string command = "sbatch --wait --parsable " + quoted(script) + " </dev/null 2>&1";
  std::string output;
  int status = -1;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[512];
    while (fgets(buf, sizeof buf, p)) output += buf;
    status = pclose(p);
  }
  {
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  stop.notify_all();
  watcher.join();

  std::string firstLine = output.substr(0, output.find('\n'));
  const bool submitted = !firstLine.empty() && firstLine.find_first_not_of("0123456789;") == std::string::npos;
  if (!submitted) {
    throw BatchError("sbatch did not accept the job array" + (output.empty() ? std::string() : ": " + output) +
                     (status == -1 ? " (is Slurm installed?)" : ""));
  }
  progress << "job " << firstLine << " ended" << (WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : " (some cases were not ok)")
           << "\n";
}

}  // namespace vel::batch
