// One case: the analysis started as a user would start it, in the case
// folder, input from /dev/null, output to NAME.log and NAME.err; then its
// status classified and its record written.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>
#include <zlib.h>

#include "velmorantique/batch.h"
#include "velmorantique/summary.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace vel::batch {

std::string lastFrameMessage(const std::string& printed) {
  std::vector<std::string> lines;
  std::istringstream in(printed);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  auto isClosing = [](const std::string& l) { return l.size() >= 20 && l.find_first_not_of('=') == std::string::npos; };
  auto isOpening = [](const std::string& l) { return l.size() > 4 && l.compare(0, 4, "====") == 0 && l.find(" in ") != std::string::npos; };
  for (size_t end = lines.size(); end-- > 0;) {
    if (!isClosing(lines[end])) continue;
    for (size_t begin = end; begin-- > 0;) {
      if (isClosing(lines[begin])) break;
      if (!isOpening(lines[begin])) continue;
      std::string text;
      for (size_t i = begin + 1; i < end; ++i) text += (i > begin + 1 ? "\n" : "") + lines[i];
      return text;
    }
  }
  return "";
}


namespace {

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}


// Written whole under another name, then renamed: a reader sees the old
// record or the new one, never half of one.
void writeAtomically(const std::string& path, const std::string& text) {
  const std::string tmp = path + ".tmp";
  {
    std::ofstream out(tmp, std::ios::trunc | std::ios::binary);
    out << text;
    if (!out.flush()) throw BatchError(tmp + ": cannot write (is the disk full?)");
  }
  if (std::rename(tmp.c_str(), path.c_str()) != 0) throw BatchError(path + ": " + std::strerror(errno));
}

std::string lastLine(const std::string& text) {
  std::istringstream in(text);
  std::string last;
  for (std::string line; std::getline(in, line);)
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  return last;
}

std::string outputDir(const CaseInputs& c) { return (fs::path(c.caseDir) / (c.mapBase + "twist")).string(); }
std::string summaryPath(const CaseInputs& c) {
  return (fs::path(outputDir(c)) / (fs::path(c.pdbBase).filename().string() + "_summary.json")).string();
}

uint64_t folderBytes(const std::string& dir) {
  uint64_t total = 0;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file()) total += e.file_size();
  return total;
}

// gzips every stage PDB file of the folder (viewers read .pdb.gz); returns
// the bytes saved. A file is replaced only once its compressed copy is whole.
uint64_t compressStageFiles(const std::string& dir) {
  uint64_t saved = 0;
  std::error_code ec;
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.is_regular_file() && e.path().extension() == ".pdb") files.push_back(e.path());
  for (const fs::path& f : files) {
    const std::string text = readText(f.string());
    const std::string gz = f.string() + ".gz";
    gzFile out = gzopen(gz.c_str(), "wb6");
    if (!out) continue;
    const bool written = text.empty() || gzwrite(out, text.data(), static_cast<unsigned>(text.size())) > 0;
    if (gzclose(out) != Z_OK || !written) {
      fs::remove(gz, ec);
      continue;
    }
    const uint64_t after = fs::file_size(gz, ec);
    if (ec) continue;
    fs::remove(f, ec);
    if (text.size() > after) saved += text.size() - after;
  }
  return saved;
}

// The running analyses' process groups, so that a batch stopped by Ctrl-C
// or by its job's end stops them too instead of leaving them running.
constexpr int kMaxRunning = 1024;
std::atomic<pid_t> running[kMaxRunning];

void stopRunning(int sig) {
  for (auto& p : running) {
    const pid_t pid = p.load();
    if (pid > 0) kill(-pid, SIGKILL);
  }
  signal(sig, SIG_DFL);
  raise(sig);
}

void watchSignals() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) signal(sig, stopRunning);
  });
}

int track(pid_t pid) {
  for (int i = 0; i < kMaxRunning; ++i) {
    pid_t none = 0;
    if (running[i].compare_exchange_strong(none, pid)) return i;
  }
  return -1;
}

struct Ended {
  int waitStatus = 0;
  bool timedOut = false;
  bool started = true;
  std::string startError;
};

// Waits for the process, stopping its whole group after timeout seconds.
Ended waitFor(pid_t pid, double timeout) {
  Ended e;
  if (timeout > 0) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeout);
    const int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    for (;;) {
      const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) {
        kill(-pid, SIGKILL);
        e.timedOut = true;
        break;
      }
      if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left * 1000) + 1) > 0) break;
      } else {
        if (waitpid(pid, &e.waitStatus, WNOHANG) == pid) return e;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    if (fd >= 0) close(fd);
  }
  while (waitpid(pid, &e.waitStatus, 0) < 0 && errno == EINTR) {
  }
  return e;
}

Ended runAnalysis(const CaseInputs& c, const Options& opts, const std::string& log, const std::string& err) {
  std::vector<std::string> args{opts.analysis, c.pdbBase, c.mapBase, c.threshold};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  watchSignals();
  const pid_t pid = fork();
  if (pid < 0) {
    Ended e;
    e.started = false;
    e.startError = std::string("cannot start a process: ") + std::strerror(errno);
    return e;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec. The run ends with
    // the batch (even a batch killed outright): a resumed batch reruns it.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int errFd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || errFd < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(errFd, 2);
    if (chdir(c.caseDir.c_str()) != 0) {
      const char msg[] = "velmorantique-batch: cannot enter the case folder\n";
      (void)!write(2, msg, sizeof msg - 1);
      _exit(126);
    }
    execv(argv[0], argv.data());
    const char msg[] = "velmorantique-batch: cannot run the analysis executable\n";
    (void)!write(2, msg, sizeof msg - 1);
    _exit(127);
  }
  setpgid(pid, pid);  // also from here, so that a kill never races the child's own call
  const int slot = track(pid);
  Ended e = waitFor(pid, opts.timeout);
  if (slot >= 0) running[slot].store(0);
  return e;
}

CaseRecord fromJson(const json& j) {
  CaseRecord r;
  r.json = j;
  r.name = j.value("case", "");
  r.status = j.value("status", "failed");
  r.message = j["message"].is_string() ? j["message"].get<std::string>() : "";
  r.hasExitStatus = j["exit_status"].is_number_integer();
  if (r.hasExitStatus) r.exitStatus = j["exit_status"];
  r.seconds = j.value("seconds", 0.0);
  r.outputBytes = j.value("output_bytes", uint64_t{0});
  r.bytesSaved = j.value("bytes_saved", uint64_t{0});
  return r;
}

}  // namespace

json readJsonFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) return nullptr;
  json j = json::parse(in, nullptr, false);  // discarded (not an exception) when damaged
  return j.is_discarded() ? json(nullptr) : j;
}

std::string caseFolder(const std::string& outDir, const std::string& name) {
  return (fs::path(outDir) / "cases" / name).string();
}

CaseRecord readRecord(const CaseInputs& c, const std::string& outDir) {
  const json j = readJsonFile((fs::path(caseFolder(outDir, c.name)) / "record.json").string());
  if (j.is_object() && j.value("finished", false)) return fromJson(j);
  CaseRecord r;
  r.name = c.name;
  r.status = "failed";
  r.message = "no record: the case has not finished";
  r.json = {{"case", c.name}, {"status", r.status}, {"message", r.message}, {"exit_status", nullptr},
            {"case_dir", c.caseDir}, {"output_dir", outputDir(c)}, {"summary", nullptr}, {"meta", nullptr},
            {"threshold", c.threshold}, {"seconds", 0.0}, {"output_bytes", 0}, {"finished", false}};
  return r;
}

CaseRecord runCase(const CaseInputs& c, const Options& opts, bool* skipped) {
  const std::string folder = caseFolder(opts.outDir, c.name);
  const std::string recordPath = (fs::path(folder) / "record.json").string();
  const json print = fingerprint(c);
  if (skipped) *skipped = false;
  const json old = readJsonFile(recordPath);
  if (!opts.force && old.is_object() && old.value("finished", false) && old["fingerprint"] == print) {
    // A run that failed or was stopped says nothing about its inputs: it runs again.
    const std::string status = old.value("status", "");
    if (status == "ok" || status == "no_candidate" || status == "refused") {
      if (skipped) *skipped = true;
      return fromJson(old);
    }
  }
  // A case this batch ran before (finished or interrupted) has its output
  // folder cleared, so that old files never mix with new; so has every case
  // under --force.
  std::error_code ec;
  if (opts.force || fs::exists(folder)) fs::remove_all(outputDir(c), ec);
  fs::create_directories(folder);
  fs::remove(recordPath, ec);

  const std::string log = (fs::path(folder) / (c.name + ".log")).string();
  const std::string err = (fs::path(folder) / (c.name + ".err")).string();
  const auto start = std::chrono::steady_clock::now();
  Ended e;
  if (c.threshold.empty()) {
    e.started = false;
    e.startError = "no threshold: the case folder has no threshold file";
  } else {
    e = runAnalysis(c, opts, log, err);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  CaseRecord r;
  r.name = c.name;
  r.seconds = seconds;
  const RunSummary summary = summaryFromJson(readJsonFile(summaryPath(c)));
  const bool exited = e.started && !e.timedOut && WIFEXITED(e.waitStatus);
  r.hasExitStatus = exited;
  r.exitStatus = exited ? WEXITSTATUS(e.waitStatus) : 0;
  if (!e.started) {
    r.status = "failed";
    r.message = e.startError;
  } else if (e.timedOut) {
    r.status = "timed_out";
    std::ostringstream m;
    m << "stopped after " << opts.timeout << " s";
    r.message = m.str();
  } else if (exited && r.exitStatus == 0) {
    r.status = summary.hasWarning(warning::kNoCandidate) ? "no_candidate" : "ok";
  } else {
    std::string frame;
    if (exited && r.exitStatus == 1) {
      frame = summary.message ? *summary.message : lastFrameMessage(readText(log));
    }
    if (!frame.empty()) {
      r.status = "refused";
      r.message = frame;
    } else {
      r.status = "failed";
      r.message = exited ? "exit status " + std::to_string(r.exitStatus)
                         : "killed by signal " + std::to_string(WTERMSIG(e.waitStatus));
      const std::string why = lastLine(readText(err));
      if (!why.empty()) r.message += ": " + why;
    }
  }

  const std::string out = outputDir(c);
  if (opts.compress && fs::is_directory(out)) r.bytesSaved = compressStageFiles(out);
  r.outputBytes = folderBytes(out);
  const std::string meta = (fs::path(c.caseDir) / "meta.json").string();
  r.json = {{"case", c.name},
            {"case_dir", c.caseDir},
            {"pdb_base", c.pdbBase},
            {"map_base", c.mapBase},
            {"threshold", c.threshold},
            {"output_dir", out},
            {"summary", fs::exists(summaryPath(c)) ? json(summaryPath(c)) : json(nullptr)},
            {"meta", fs::exists(meta) ? json(meta) : json(nullptr)},
            {"status", r.status},
            {"message", r.message.empty() ? json(nullptr) : json(r.message)},
            {"exit_status", r.hasExitStatus ? json(r.exitStatus) : json(nullptr)},
            {"seconds", seconds},
            {"output_bytes", r.outputBytes},
            {"bytes_saved", r.bytesSaved},
            {"fingerprint", print},
            {"finished", true}};
  writeAtomically(recordPath, r.json.dump(1) + "\n");
  return r;
}

}  // namespace vel::batch
