// What an ended run makes of its case: ok or no_candidate only with a sound
// summary of its own and every output file whole; refused when the analysis
// refused the inputs; failed or timed_out otherwise, with the reason.

#include <sys/wait.h>

#include <cstring>
#include <sstream>

#include "batch/case_run.h"

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

bool refusalIsAboutTheMachine(const std::string& message) {
  // The analysis's own words when the output folder cannot be written, when
  // its output is lost (a full disk, a failed device), when memory runs
  // out, and when the map needs more memory than the machine has.
  for (const char* words : {"could not be created or cannot be written", "Output lost:", "Unable to write ",
                            "Out of memory:", "Map too large for this machine"})
    if (message.find(words) != std::string::npos) return true;
  return false;
}

namespace {

std::string summaryTrouble(const RunFacts& f) {
  switch (f.summary) {
    case SummaryState::Missing: return "wrote no summary";
    case SummaryState::Unreadable: return "left a summary that cannot be read (" + f.summaryProblem + ")";
    case SummaryState::NotThisRun: return "left a summary that is not its own (" + f.summaryProblem + ")";
    case SummaryState::Sound: break;
  }
  return "";
}

Verdict failed(const std::string& message) { return {"failed", message, {}, false}; }

}  // namespace

Verdict classifyRun(const RunFacts& f) {
  const Ended& e = f.ended;
  const std::string see = "; see " + f.logs;
  if (!e.started) return failed(e.startError);
  if (e.timedOut) {
    std::ostringstream m;
    m << "stopped after " << f.timeout << " s";
    return {"timed_out", m.str(), {}, false};
  }
  if (WIFSIGNALED(e.waitStatus)) {
    const int sig = WTERMSIG(e.waitStatus);
    return failed("killed by signal " + std::to_string(sig) + " (" + strsignal(sig) + ")" + see);
  }
  const int status = WEXITSTATUS(e.waitStatus);
  const bool sound = f.summary == SummaryState::Sound;
  if (status == 0) {
    // Status 0 says only that the analysis did not stop itself: a run on a
    // full disk can end so with nothing kept. Its files decide.
    const std::string disk = " (" + (f.fullDisk.empty() ? std::string("was the disk full?") : f.fullDisk) + ")";
    if (!sound) return failed("the run ended with status 0 but " + summaryTrouble(f) + disk + see);
    if (!f.unwritten.empty())
      return failed("the run ended with status 0 but did not write all its files: " + f.unwritten + disk + see);
    for (const std::string& w : f.summaryWarnings)
      if (w == "unwritten_output") return failed("the run could not write all its files" + disk + see);
    Verdict v{"ok", "", batchWarnings(nlohmann::json(f.summaryWarnings)), true};
    for (const std::string& w : f.summaryWarnings)
      if (w == "no_candidate") v.status = "no_candidate";
    return v;
  }
  const std::string frame = sound && !f.summaryMessage.empty() ? f.summaryMessage : f.logFrame;
  if (status == 1) {
    if (frame.empty()) return failed("exit status 1 without a message" + see);
    // Not the inputs' fault: the same case may run on another try, so it is not finished.
    if (refusalIsAboutTheMachine(frame)) return failed(frame);
    return {"refused", frame, batchWarnings(nlohmann::json(f.summaryWarnings)), sound};
  }
  const std::string why = !frame.empty() ? frame : f.batchMessage;
  return failed("exit status " + std::to_string(status) + (why.empty() ? "" : ": " + why) + see);
}

}  // namespace vel::batch
