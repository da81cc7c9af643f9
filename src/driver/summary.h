#pragma once
// The machine-readable summary of one run, <protein>_summary.json in the
// output folder: what each stage found, gathered as the stages finish, so
// that a run that stops early still leaves what was known by then.

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "driver/run.h"

namespace vel {

struct RunSummary {
  nlohmann::json doc = nlohmann::json::object();
  bool outDirKnown = false;
  std::string path;  // outDir + proteinName + "_summary.json"
};

void summariseSetup(RunSummary& summary, const RunSetup& run);
void summariseSheet(RunSummary& summary, const SheetDensity& sheet);
void summariseSurface(RunSummary& summary, const SurfaceFit& surface);
void summariseSearch(RunSummary& summary, const TwistSearch& search);
// Reads the top candidates' lines in the map frame, as scoring leaves them.
void summariseScores(RunSummary& summary, const SheetDensity& sheet, const SurfaceFit& surface,
                     const TwistSearch& search, const CandidateScores& scores);
// The verdict: how far to trust the shape direction, from the
// repeated estimates, the fit and the core's candidates (never the reference).
void summariseVerdict(RunSummary& summary, const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                      const TwistSearch& search, const CandidateScores& scores);
// Writes the file when the output folder is known; message is null unless
// the run was refused. Failure to write is silent: the summary never changes
// what the run prints or returns.
void writeSummary(RunSummary& summary, int exitStatus, const std::string* message);

}  // namespace vel
