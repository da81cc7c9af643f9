#pragma once
// The machine-readable summary of one run, <protein>_summary.json in the
// output folder: what each stage found, gathered as the stages finish, so
// that a run that stops early still leaves what was known by then. Its keys
// are defined once, in velmorantique/summary.h.

#include <string>

#include "driver/run.h"
#include "velmorantique/summary.h"

namespace vel {

// The summary being gathered, and where it goes.
struct SummaryFile {
  RunSummary content;
  bool outDirKnown = false;
  std::string path;  // outDir + proteinName + "_summary.json"
};

void summariseSetup(SummaryFile& summary, const RunSetup& run);
void summariseSheet(SummaryFile& summary, const SheetDensity& sheet);
void summariseSurface(SummaryFile& summary, const SurfaceFit& surface);
void summariseSearch(SummaryFile& summary, const TwistSearch& search);
// Reads the top candidates' lines in the map frame, as scoring leaves them.
void summariseScores(SummaryFile& summary, const SheetDensity& sheet, const SurfaceFit& surface,
                     const TwistSearch& search, const CandidateScores& scores);
// Writes the file when the output folder is known; message is null unless
// the run was refused. Failure to write is silent: the summary never changes
// what the run prints or returns.
void writeSummary(SummaryFile& summary, int exitStatus, const std::string* message);

}  // namespace vel
