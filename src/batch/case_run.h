#pragma once
// The steps of one case's run, each doing one thing: where it runs, whether
// a finished record can stand, starting the run, what the ended run left,
// and what that makes of it.

#include <optional>
#include <string>
#include <vector>

#include "velmorantique/batch.h"

namespace vel::batch {

// Where a case runs inside OUT, and the files it makes there.
struct RunPlace {
  std::string outDir;     // OUT: the record's paths in it are stored relative to it
  std::string runDir;     // OUT/cases/NAME: the analysis's working folder
  std::string protein;    // the PDB base name, which names the stage files
  std::string pdbArg;     // PDB_BASE and MAP_BASE as the analysis is given
  std::string mapArg;     //   them: links in runDir to the case's inputs
  std::string outputDir;  // runDir/MAP_BASE + "twist"
  std::string summary;    // outputDir/PROTEIN_summary.json
  std::string record, log, err;
};
RunPlace runPlace(const CaseInputs& c, const std::string& outDir);

// Why a record cannot stand for the case: it is not finished, it names
// other inputs or another place, or a file of its run is gone or changed;
// "" when it stands.
std::string recordProblem(const CaseRecord& r, const CaseInputs& c, const RunPlace& place);

// What the analysis's process did.
struct Ended {
  bool started = true;
  std::string startError;  // why it could not start
  bool timedOut = false;
  int waitStatus = 0;
};

// Runs the analysis in place.runDir, input from /dev/null, output to the
// place's log files; its whole process group is stopped after opts.timeout
// seconds, and when the batch is stopped.
Ended runAnalysis(const RunPlace& place, const std::string& threshold, const Options& opts);

enum class SummaryState { Missing, Unreadable, NotThisRun, Sound };

// What an ended run left, as its classification needs it.
struct RunFacts {
  Ended ended;
  double timeout = 0;
  SummaryState summary = SummaryState::Missing;
  std::string summaryProblem;               // why it is unreadable or not this run's
  std::vector<std::string> summaryWarnings;  // as the summary spells them
  std::string summaryMessage;               // a refused run's framed message, from its summary
  std::string logFrame;                     // the last framed message the run printed
  std::string unwritten;                    // the first output file missing or cut short; "" when none
  std::string fullDisk;                     // "the disk that holds ... is full", when it is
  std::string batchMessage;                 // what the batch's own start-up code said (exit 126, 127)
  std::string logs;                         // "NAME.log and NAME.err in DIR", to point to
};

struct Verdict {
  std::string status;  // ok, no_candidate, refused, failed, timed_out
  std::string message;
  std::vector<std::string> warnings;
  bool keepSummary = false;  // the summary's values are this run's and belong in the tables
};
Verdict classifyRun(const RunFacts& f);

// A refusal about the machine or the output folder rather than the case's
// inputs: the same inputs may run on another try.
bool refusalIsAboutTheMachine(const std::string& message);

}  // namespace vel::batch
