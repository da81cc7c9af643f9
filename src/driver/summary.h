#pragma once
// The machine-readable summary of one run, <protein>_summary.json in the
// output folder: what each stage found, gathered as the stages finish, so
// that a run that stops early still leaves what was known by then.

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "driver/run.h"

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
// Writes the file when the output folder is known; message is null unless
// the run was refused. Failure to write is silent: the summary never changes
// what the run prints or returns.
void writeSummary(RunSummary& summary, int exitStatus, const std::string* message);

// Reference strand geometry for the summary.
struct StrandAxis {
  Coordinate start, end;  // the C-alphas' extent along the axis, N to C
  Coordinate centre;
  Vectors direction;      // unit principal axis of the C-alphas, N to C
};
StrandAxis strandAxis(const PointList& cas);
// Signed angle in degrees from strand a to its neighbour b (b's axis turned to
// point like a's; the sign is that of (u1 x u2) along the link a -> b).
double interStrandAngle(const StrandAxis& a, const StrandAxis& b);
// Angle between two directions regardless of their sense, 0 to 90 degrees.
double foldedAngle(Vectors a, Vectors b);
