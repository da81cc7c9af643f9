// The analysis's process: started as a user would start it, in the case's
// run folder, input from /dev/null, output to NAME.log and NAME.err; waited
// for, and stopped with its whole group at the time limit or when the batch
// itself is stopped.

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
#include <mutex>
#include <thread>

#include "batch/case_run.h"
#include "batch/files.h"

namespace vel::batch {

namespace {

// The running analyses' process groups, so that a batch stopped by Ctrl-C
// or by its job's end stops them too instead of leaving them running.
constexpr int kMaxRunning = kMaxJobs;
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

// A fresh file for the run's output, opened here so that a failure has its
// reason; a link left at the path is replaced, never followed.
int openLog(const std::string& path) {
  ::unlink(path.c_str());
  return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

Ended notStarted(const std::string& why) {
  Ended e;
  e.started = false;
  e.startError = why;
  return e;
}

}  // namespace

Ended runAnalysis(const RunPlace& place, const std::string& threshold, const Options& opts) {
  std::vector<std::string> args{opts.analysis, place.pdbArg, place.mapArg, threshold};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  watchSignals();

  // Close-on-exec: another worker's child must not inherit them.
  const int in = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const int out = openLog(place.log);
  const int outError = errno;
  const int err = out >= 0 ? openLog(place.err) : -1;
  const int errError = errno;
  Ended refused;
  if (in < 0) refused = notStarted(std::string("cannot open /dev/null: ") + std::strerror(errno));
  if (out < 0) refused = notStarted(writeFailure(place.log, outError));
  if (out >= 0 && err < 0) refused = notStarted(writeFailure(place.err, errError));
  if (!refused.started) {
    for (int fd : {in, out, err})
      if (fd >= 0) ::close(fd);
    return refused;
  }

  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec. The run ends with
    // the batch (even a batch killed outright): a resumed batch reruns it.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (chdir(place.runDir.c_str()) != 0) {
      const char msg[] = "velmorantique-batch: cannot enter the case's run folder\n";
      (void)!write(2, msg, sizeof msg - 1);
      _exit(126);
    }
    execv(argv[0], argv.data());
    const char msg[] = "velmorantique-batch: cannot run the analysis executable\n";
    (void)!write(2, msg, sizeof msg - 1);
    _exit(127);
  }
  const int forkError = errno;
  for (int fd : {in, out, err}) ::close(fd);
  if (pid < 0) return notStarted(std::string("cannot start a process: ") + std::strerror(forkError));
  setpgid(pid, pid);  // also from here, so that a kill never races the child's own call
  const int slot = track(pid);
  Ended e = waitFor(pid, opts.timeout);
  if (slot >= 0) running[slot].store(0);
  return e;
}

}  // namespace vel::batch
