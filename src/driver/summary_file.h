#pragma once
// The machine-readable summary of one run, <protein>_summary.json in the
// output folder: what each stage found, gathered as the stages finish, so
// that a run that stops early still leaves what was known by then. Its keys
// are defined once, in velmorantique/summary.h.

#include <string>
#include <vector>

#include "driver/run.h"
#include "velmorantique/fatal.h"
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
struct SheetLikeness;
// Warning "not_one_sheet" when the density does not look like one sheet.
void summariseSheetLikeness(SummaryFile& summary, const SheetLikeness& likeness);
// Reads the top candidates' lines in the map frame, as scoring leaves them.
void summariseScores(SummaryFile& summary, const SheetDensity& sheet, const SurfaceFit& surface,
                     const TwistSearch& search, const CandidateScores& scores);
// The files the run could not write (warning "unwritten_output"); nothing
// is added when every file was written.
void summariseUnwritten(SummaryFile& summary, const std::vector<UnwrittenFile>& unwritten);
// The verdict: how far to trust the shape direction, from the
// repeated estimates, the fit and the core's candidates (never the reference).
void summariseVerdict(SummaryFile& summary, const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                      const TwistSearch& search, const CandidateScores& scores);
// Writes the file when the output folder is known; message is null unless
// the run was refused or lost output. Returns why the summary could not be
// written, or an empty text when it was written (or had no folder).
std::string writeSummary(SummaryFile& summary, int exitStatus, const std::string* message);

}  // namespace vel
