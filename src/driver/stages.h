#pragma once
// The stages of one run, in the order they run. Each takes what the earlier
// stages handed on, as it was handed on, and the stream it prints its
// progress to; what it makes it returns as a new value.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <vector>

#include "driver/run.h"

namespace vel {

SheetDensity extractSheet(const RunSetup& run, std::ostream& out);
SurfaceFit fitSurface(const SheetDensity& sheet, std::ostream& out);
TwistSearch searchStrandDirections(const SurfaceFit& surface, std::ostream& out);
CandidateScores scoreCandidates(const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                                const TwistSearch& search, std::ostream& out);
void writeReports(RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface, const TwistSearch& search,
                  const CandidateScores& scores, std::ostream& out);

// The sheet points a threshold would leave in a map (voxels at or above it
// and above 0), counted before any is made, and the diagonal of their box.
struct SheetFootprint {
  size_t points = 0;
  double span = 0.0;  // Å
};
SheetFootprint sheetFootprint(const Map& map, double threshold);

// The most sheet points a run takes: a sheet sampled far finer than any map
// needs. Beyond it the run would take many minutes.
constexpr size_t kMostSheetPoints = 1000000;
// Bytes the stages after extraction may take for such a sheet, at most: each
// point is kept in a few frames, and each of the ranked candidates keeps a
// sample of it on every strand line that crosses the sheet.
uint64_t sheetMemoryBound(const SheetFootprint& footprint);

// Removes, keeping the order of the rest, every centroid that lies within
// 1.5 Å of an empty voxel (value below 0.0001, or not a number).
void pruneCentroidsNearEmptyVoxels(const Map& map, PointList& centroids);

// The twist a candidate is ranked by: the outermost neighbour pairs dropped,
// then the largest inner twist averaged with its two neighbours.
double mainTwist(const std::vector<double>& twists);

// Whether the density looks like one sheet, with the figures judged: its
// volume (Å³), its thickness as a plate (Å) and the surface's fitting error.
struct SheetLikeness {
  double volume = 0, thickness = 0, fittingError = 0;
  bool oneSheet = true;
};
SheetLikeness judgeOneSheet(const SheetDensity& sheet, const SurfaceFit& surface);

struct SummaryFile;
// The whole analysis after set-up; summary, when given, gathers what each
// stage found.
void runAnalysis(RunSetup& run, std::ostream& out, SummaryFile* summary = nullptr);

}  // namespace vel
