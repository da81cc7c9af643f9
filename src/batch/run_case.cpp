// One case: a finished record reused when it still stands; otherwise a
// "running" record, a cleared run folder with the inputs linked in, the run,
// what it left, and the record of what it makes of the case.

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "batch/case_run.h"
#include "batch/files.h"
#include "velmorantique/summary.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace vel::batch {

json readJsonFile(const std::string& path) {
  std::string problem;
  return vel::readJsonFile(path, problem);
}

std::string caseFolder(const std::string& outDir, const std::string& name) {
  return (fs::path(outDir) / "cases" / name).string();
}

RunPlace runPlace(const CaseInputs& c, const std::string& outDir) {
  RunPlace p;
  p.outDir = outDir;
  p.runDir = caseFolder(outDir, c.name);
  p.protein = fs::path(c.pdbBase).filename().string();
  p.pdbArg = p.protein;
  p.mapArg = fs::path(c.mapBase).filename().string();
  p.outputDir = (fs::path(p.runDir) / (p.mapArg + "twist")).string();
  p.summary = (fs::path(p.outputDir) / (p.protein + "_summary.json")).string();
  p.record = (fs::path(p.runDir) / "record.json").string();
  p.log = (fs::path(p.runDir) / (c.name + ".log")).string();
  p.err = (fs::path(p.runDir) / (c.name + ".err")).string();
  return p;
}

std::string recordProblem(const CaseRecord& r, const CaseInputs& c, const RunPlace& place) {
  if (!r.finished) return "no record: the case has not finished";
  if (r.name != c.name || r.caseDir != c.caseDir || r.pdbBase != c.pdbBase || r.mapBase != c.mapBase ||
      r.threshold != c.threshold || r.runDir != place.runDir || r.outputDir != place.outputDir ||
      (!r.summary.empty() && r.summary != place.summary))
    return "its record is of other inputs or another output folder: run the batch again";
  if (!filesUnchanged(r.outputDir, r.files))
    return "the files of its run are gone or changed since it finished: run the batch again";
  return "";
}

namespace {

bool isFinishedStatus(const std::string& s) { return s == "ok" || s == "no_candidate" || s == "refused"; }

// A finished run on the same inputs whose files are all still there: the
// case need not run again.
std::optional<CaseRecord> reusableRecord(const CaseInputs& c, const RunPlace& place, const std::string& analysis) {
  const json j = readJsonFile(place.record);
  if (!j.is_object()) return std::nullopt;
  const CaseRecord r = recordFromJson(j, place.outDir);
  if (!isFinishedStatus(r.status) || !recordProblem(r, c, place).empty() || r.fingerprint != fingerprint(c, analysis))
    return std::nullopt;
  return r;
}

CaseRecord newRecord(const CaseInputs& c, const RunPlace& place) {
  CaseRecord r;
  r.name = c.name;
  r.caseDir = c.caseDir;
  r.runDir = place.runDir;
  r.pdbBase = c.pdbBase;
  r.mapBase = c.mapBase;
  r.threshold = c.threshold;
  r.outputDir = place.outputDir;
  const std::string meta = (fs::path(c.caseDir) / "meta.json").string();
  struct stat st;
  if (::stat(meta.c_str(), &st) == 0 && S_ISREG(st.st_mode)) r.meta = meta;
  return r;
}

// The run folder made ready: the record says "running" before anything of
// an earlier run is removed (a batch stopped in between reruns the case),
// the output folder is cleared, and the inputs are linked in. Returns the
// running record's time, on the clock of the disk the run writes to.
int64_t prepareRun(const CaseInputs& c, const RunPlace& place, CaseRecord r) {
  makeOwnFolder(fs::path(place.runDir).parent_path().string());
  makeOwnFolder(place.runDir);
  r.status = "running";
  r.finished = false;
  writeAtomically(place.record, recordText(r, place.outDir));
  const int64_t started = modificationTime(place.record);

  std::error_code ec;
  fs::remove_all(place.outputDir, ec);  // a link there is removed, never followed
  if (ec || fs::exists(fs::symlink_status(place.outputDir)))
    throw BatchError("cannot clear " + place.outputDir + ": " + ec.message());

  // The analysis reads MAP_BASE.mrc, or MAP_BASE.mrc.gz when that is missing.
  const fs::path dir(c.caseDir);
  const fs::path map = dir / (c.mapBase + ".mrc");
  const bool gz = !fs::exists(map) && fs::exists(dir / (c.mapBase + ".mrc.gz"));
  std::vector<std::pair<fs::path, std::string>> links{
      {(dir / (c.pdbBase + ".pdb")).lexically_normal(), place.pdbArg + ".pdb"},
      {gz ? dir / (c.mapBase + ".mrc.gz") : map, place.mapArg + (gz ? ".mrc.gz" : ".mrc")}};
  // The analysis reads the case's resolution from the meta.json beside the
  // map it is given: the record names it when the case has one.
  if (!r.meta.empty()) links.push_back({fs::path(r.meta).lexically_normal(), "meta.json"});
  for (const char* ending : {".mrc", ".mrc.gz"}) fs::remove(fs::path(place.runDir) / (place.mapArg + ending), ec);
  fs::remove(fs::path(place.runDir) / "meta.json", ec);
  for (const auto& [target, name] : links) {
    const fs::path link = fs::path(place.runDir) / name;
    fs::remove(link, ec);
    fs::create_symlink(target, link, ec);
    if (ec) throw BatchError("cannot link " + target.string() + " into " + place.runDir + ": " + ec.message());
  }
  return started;
}

std::string lastLine(const std::string& text) {
  std::istringstream in(text);
  std::string last;
  for (std::string line; std::getline(in, line);)
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  return last;
}

bool endsWithLineEnd(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff size = in.tellg();
  if (size <= 0) return size == 0;
  in.seekg(size - 1);
  return in.get() == '\n';
}

// The summary is the run's own when it was written after the run started
// (the running record's time, on the same disk's clock) and names the
// inputs this run was given.
SummaryState summaryOfThisRun(const CaseInputs& c, const RunPlace& place, int64_t started, RunFacts& f) {
  if (!fs::exists(place.summary)) return SummaryState::Missing;
  if (modificationTime(place.summary) < started) {
    f.summaryProblem = "older than the run";
    return SummaryState::NotThisRun;
  }
  const json document = readJsonFile(place.summary);
  if (!document.is_object()) {
    f.summaryProblem = "not JSON: cut short?";
    return SummaryState::Unreadable;
  }
  // An input the summary does not name is no sign of another run.
  const RunSummary s = summaryFromJson(document);
  const SummaryInputs& in = s.inputs;
  const bool samePdb = in.pdb.empty() || in.pdb == place.pdbArg + ".pdb";
  const bool sameMap = in.map.empty() || in.map.rfind(place.mapArg + ".mrc", 0) == 0;
  const bool sameThreshold = std::isnan(in.threshold) || in.threshold == std::strtod(c.threshold.c_str(), nullptr);
  if (!samePdb || !sameMap || !sameThreshold) {
    f.summaryProblem = "it names other inputs";
    return SummaryState::NotThisRun;
  }
  f.summaryWarnings = s.warnings;
  f.summaryMessage = s.message.value_or("");
  return SummaryState::Sound;
}

// The first output file that a complete run would have written whole and
// this one did not: a report table without its row, a stage file cut off in
// mid-line, or one the run could not open.
std::string firstUnwritten(const RunPlace& place, const std::string& log) {
  for (const char* table : {"_bestResult.txt", "_rms.txt"}) {
    const std::string path = (fs::path(place.outputDir) / (place.protein + table)).string();
    const std::string text = readText(path);
    size_t lines = 0;
    for (char ch : text) lines += ch == '\n';
    if (lines != 2 || text.back() != '\n') return fs::path(path).filename().string() + " lacks its row";
  }
  for (const FileStamp& f : stampFiles(place.outputDir))
    if (fs::path(f.name).extension() == ".pdb" && !endsWithLineEnd((fs::path(place.outputDir) / f.name).string()))
      return f.name + " is cut short";
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, 15, "Unable to open ") == 0) return line;
  return "";
}

// "the disk that holds DIR is full" when less than a megabyte is left there.
std::string fullDisk(const std::string& dir) {
  struct statvfs v;
  if (::statvfs(dir.c_str(), &v) != 0) return "";
  const unsigned long long bytes = static_cast<unsigned long long>(v.f_bavail) * v.f_frsize;
  return bytes < (1ull << 20) ? "the disk that holds " + dir + " is full: " + std::to_string(bytes) + " bytes free"
                              : "";
}

RunFacts inspectRun(const CaseInputs& c, const RunPlace& place, const Ended& e, int64_t started, double timeout) {
  RunFacts f;
  f.ended = e;
  f.timeout = timeout;
  f.logs = place.log + " and " + fs::path(place.err).filename().string();
  if (!e.started || e.timedOut) return f;
  f.summary = summaryOfThisRun(c, place, started, f);
  const std::string log = readText(place.log);
  if (WIFEXITED(e.waitStatus) && WEXITSTATUS(e.waitStatus) == 0) {
    f.unwritten = firstUnwritten(place, log);
    if (f.summary != SummaryState::Sound || !f.unwritten.empty()) f.fullDisk = fullDisk(place.runDir);
  }
  if (WIFEXITED(e.waitStatus) && WEXITSTATUS(e.waitStatus) != 0) f.logFrame = lastFrameMessage(log);
  const std::string last = lastLine(readText(place.err));
  if (last.rfind("velmorantique-batch: ", 0) == 0) f.batchMessage = last.substr(21);
  return f;
}

CaseRecord finishRecord(CaseRecord r, const Verdict& v, const Ended& e, const RunPlace& place, const Options& opts) {
  r.status = v.status;
  r.message = v.message;
  r.warnings = v.warnings;
  if (e.started && !e.timedOut && WIFEXITED(e.waitStatus)) r.exitStatus = WEXITSTATUS(e.waitStatus);
  r.summary = v.keepSummary ? place.summary : "";
  struct stat st;
  const bool ownFolder = ::lstat(place.outputDir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (opts.compress && ownFolder) r.bytesSaved = compressStageFiles(place.outputDir);
  if (ownFolder) r.files = stampFiles(place.outputDir);
  r.outputBytes = totalSize(r.files);
  r.finished = true;
  writeAtomically(place.record, recordText(r, place.outDir));
  return r;
}

}  // namespace

CaseRecord readRecord(const CaseInputs& c, const std::string& outDir) {
  const RunPlace place = runPlace(c, outDir);
  const json j = readJsonFile(place.record);
  const CaseRecord r = recordFromJson(j, outDir);
  const std::string problem = j.is_object() ? recordProblem(r, c, place) : "no record: the case has not finished";
  if (problem.empty()) return r;
  CaseRecord none = newRecord(c, place);
  none.status = "failed";
  none.message = problem;
  return none;
}

CaseRecord runCase(const CaseInputs& c, const Options& opts, bool* skipped) {
  const RunPlace place = runPlace(c, opts.outDir);
  if (skipped) *skipped = false;
  if (!opts.force) {
    if (std::optional<CaseRecord> done = reusableRecord(c, place, opts.analysis)) {
      if (skipped) *skipped = true;
      return *done;
    }
  }
  CaseRecord r = newRecord(c, place);
  r.fingerprint = fingerprint(c, opts.analysis);
  const auto start = std::chrono::steady_clock::now();
  Ended e;
  int64_t started = -1;
  try {
    started = prepareRun(c, place, r);
    e = c.problem.empty() ? runAnalysis(place, c.threshold, opts) : Ended{false, c.problem, false, 0};
  } catch (const BatchError& error) {
    e = Ended{false, error.what(), false, 0};
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const Verdict v = classifyRun(inspectRun(c, place, e, started, opts.timeout));
  return finishRecord(r, v, e, place, opts);
}

}  // namespace vel::batch
