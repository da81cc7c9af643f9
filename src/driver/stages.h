#pragma once
// The stages of one run, in the order they run. Each takes what the earlier
// stages handed on, as it was handed on, and the stream it prints its
// progress to; what it makes it returns as a new value.

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

// Removes, keeping the order of the rest, every centroid that lies within
// 1.5 Å of an empty voxel (value below 0.0001, or not a number).
void pruneCentroidsNearEmptyVoxels(const Map& map, PointList& centroids);

// The twist a candidate is ranked by: the outermost neighbour pairs dropped,
// then the largest inner twist averaged with its two neighbours.
double mainTwist(const std::vector<double>& twists);

struct SummaryFile;
// The whole analysis after set-up; summary, when given, gathers what each
// stage found.
void runAnalysis(RunSetup& run, std::ostream& out, SummaryFile* summary = nullptr);

}  // namespace vel
