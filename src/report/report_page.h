#pragma once
// The batch report page: one self-contained HTML file.

#include <string>
#include <vector>

#include "case_view.h"

namespace vel::report {

// The whole page for the cases of outDir and the maps they were found in;
// links are relative to outDir.
std::string renderReportPage(const std::vector<CaseView>& cases, const std::vector<MapView>& maps,
                             const std::string& outDir);

// A path as a relative link from the folder `from` (percent-encoded).
std::string relativeLink(const std::string& target, const std::string& from);

}  // namespace vel::report
