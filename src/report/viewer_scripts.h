#pragma once
// Viewer scripts for one finished case.

#include <string>

#include "case_view.h"

namespace vel::report {

std::string pymolScript(const CaseView& c);     // NAME_view.pml
std::string chimeraxScript(const CaseView& c);  // NAME_view.cxc

}  // namespace vel::report
