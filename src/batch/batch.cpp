// Running the cases of a batch side by side, with progress a person can read
// at a glance, and the closing summary.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

#include "velmorantique/batch.h"
#include "velmorantique/map.h"
#include "velmorantique/summary.h"

namespace vel::batch {

namespace {

std::string clock(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string seconds(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f s", s);
  return buf;
}

class Progress {
 public:
  Progress(std::ostream& out, size_t total, bool terminal) : out_(out), total_(total), terminal_(terminal) {
    if (terminal_ && total_ > 0) out_ << line() << std::flush;
  }

  void finished(const CaseRecord& r, bool skipped) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    if (!skipped) ++ran_;
    ++byStatus_[r.status];
    if (terminal_) {
      out_ << '\r' << line() << "\033[K" << std::flush;
      if (done_ == total_) out_ << '\n';
    } else {
      out_ << "[" << done_ << "/" << total_ << "] " << r.name << ": "
           << (skipped ? "finished before, unchanged" : r.status) << " (" << seconds(r.seconds) << ")";
      // Why a case failed, at once: its reason is often the machine's (a full disk).
      if (!skipped && (r.status == "failed" || r.status == "timed_out")) out_ << ": " << firstLine(r.message);
      out_ << "\n" << std::flush;
    }
  }

 private:
  std::string line() const {
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string s = "[" + std::to_string(done_) + "/" + std::to_string(total_) + "] " + count("refused") +
                    " refused, " + count("failed") + " failed, ";
    if (byStatus_.count("timed_out")) s += count("timed_out") + " timed out, ";
    s += clock(elapsed) + " elapsed";
    // Skipped cases cost nothing: the pace is that of the cases that ran.
    if (ran_ > 0 && done_ < total_) s += ", ~" + clock(elapsed / static_cast<double>(ran_) * (total_ - done_)) + " left";
    return s;
  }
  std::string count(const std::string& status) const {
    auto it = byStatus_.find(status);
    return std::to_string(it == byStatus_.end() ? 0 : it->second);
  }

  std::ostream& out_;
  const size_t total_;
  const bool terminal_;
  std::mutex mutex_;
  size_t done_ = 0, ran_ = 0;
  std::map<std::string, size_t> byStatus_;
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Runs at once share the memory one run may use: each analysis is given its
// part, so that together they claim no more than one would alone. The whole
// is taken once, before any share is given.
void shareMemory(int jobs) {
  static const uint64_t whole = cubeMemoryLimit();
  if (whole == 0 || jobs <= 1) return;
  const uint64_t mb = std::max<uint64_t>(1, (whole / static_cast<uint64_t>(jobs)) >> 20);
  ::setenv(kMemoryShareVariable, std::to_string(mb).c_str(), 1);
}

}  // namespace

std::vector<CaseRecord> runCases(const std::vector<CaseInputs>& cases, const Options& opts, std::ostream& progress) {
  std::vector<CaseRecord> records(cases.size());
  Progress shown(progress, cases.size(), opts.terminal);
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i; (i = next++) < cases.size();) {
      bool skipped = false;
      try {
        records[i] = runCase(cases[i], opts, &skipped);
      } catch (const std::exception& e) {
        // The run could not start or its record could not be written: the
        // case shows as failed, with why, and runs again on resume.
        records[i] = readRecord(cases[i], opts.outDir);
        records[i].status = "failed";
        records[i].message = e.what();
        records[i].summary.clear();
        records[i].warnings.clear();
      }
      shown.finished(records[i], skipped);
    }
  };
  const int jobs = std::max(1, std::min<int>(opts.jobs, static_cast<int>(cases.size())));
  shareMemory(jobs);  // before any thread starts: the environment is not for threads to change
  std::vector<std::thread> workers;
  for (int j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& t : workers) t.join();
  return records;
}

int printSummary(const std::vector<CaseRecord>& records, std::ostream& out) {
  std::map<std::string, size_t> byStatus;
  uint64_t bytes = 0, saved = 0;
  bool allRan = true;
  for (const CaseRecord& r : records) {
    ++byStatus[r.status];
    bytes += r.outputBytes;
    saved += r.bytesSaved;
    // A run that ended with status 0 but could not keep its output is not ok.
    allRan = allRan && r.exitStatus == 0 && (r.status == "ok" || r.status == "no_candidate");
  }
  out << records.size() << " cases:";
  const char* order[] = {"ok", "no_candidate", "refused", "failed", "timed_out"};
  bool first = true;
  for (const char* s : order) {
    if (!byStatus.count(s)) continue;
    out << (first ? " " : ", ") << byStatus[s] << " " << s;
    first = false;
  }
  out << (records.empty() ? "" : ";") << " " << bytes << " bytes of output";
  if (saved > 0) out << " (" << saved << " bytes saved by compression)";
  out << "\n";
  // "ok" says the run finished; how far to trust its answer is the verdict.
  std::map<std::string, size_t> byLevel;
  for (const CaseRecord& r : records) {
    if (r.summary.empty()) continue;
    const RunSummary summary = summaryFromJson(readJsonFile(r.summary));
    if (summary.confidence && !summary.confidence->level.empty()) ++byLevel[summary.confidence->level];
  }
  if (!byLevel.empty()) {
    out << "trust in the shape direction:";
    first = true;
    for (const char* level : {"high", "medium", "low"}) {
      out << (first ? " " : ", ") << byLevel[level] << " " << level;
      first = false;
    }
    out << "\n";
  }
  for (const CaseRecord& r : records) {
    if (r.status == "ok") continue;
    std::string message = r.message;
    std::replace(message.begin(), message.end(), '\n', ' ');
    out << "  " << r.name << ": " << r.status << (message.empty() ? "" : ": " + message) << "\n";
  }
  return allRan ? 0 : 2;
}

std::vector<CaseInputs> taskCases(const std::vector<CaseInputs>& cases, int task, int arraySize) {
  std::vector<CaseInputs> mine;
  if (task < 0 || arraySize <= 0) return mine;
  for (size_t i = static_cast<size_t>(task); i < cases.size(); i += static_cast<size_t>(arraySize))
    mine.push_back(cases[i]);
  return mine;
}

}  // namespace vel::batch
