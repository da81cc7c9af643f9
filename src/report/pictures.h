#pragma once
// The SVG pictures of the report, each drawn from what the runs wrote.

#include <string>
#include <vector>

#include "case_view.h"

namespace vel::report {

// Colours shared by the pictures, the charts and the page's legend.
inline const char* const kTopTwistColour = "#d95f02";
inline const char* const kBestSetColour = "#1b9e77";
inline const char* const kReferenceColour = "#222222";
inline const char* const kShapeColour = "#7570b3";

// One case, looking down the sheet normal: the sheet coloured by height,
// the reference axes, the lines of the best and the top-twist sets.
std::string drawSheetPicture(const CaseView& c);
// Twist between neighbouring lines across the sheet, with the reference's angles.
std::string drawNeighbourTwistChart(const CaseView& c);
// Main twist of every candidate by angle and shift, accepted ones filled.
std::string drawCandidateChart(const CaseView& c);

// A whole map seen down z with the sheets found in it (in the order given,
// coloured as find's label map numbers them) and their shape directions.
std::string drawMapPicture(const MapView& m, const std::vector<const CaseView*>& sheets);
std::string sheetColour(size_t k);

// Batch plots over every case.
std::string drawTwistScatter(const std::vector<CaseView>& cases);
std::string drawDirectionErrorHistogram(const std::vector<CaseView>& cases);
std::string drawTwoWayHistogram(const std::vector<CaseView>& cases);

}  // namespace vel::report
