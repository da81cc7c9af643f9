#pragma once
// The program's strand direction search (driver/strand_search_flow.h) with
// lines laid and measured by scans only: every surface point proposes a
// sample on every line, every sample is tested against every surface point,
// and the key points come from the plain point-set kernels. The reference
// the program's line kernels are checked against. Not used by the program.

#include <ostream>

#include "driver/run.h"

namespace vel::plain {

// The whole search: every candidate's lines, starts and ends, the ranking
// and the printed measurements.
TwistSearch searchStrandDirections(const SurfaceFit& surface, std::ostream& out);

}  // namespace vel::plain
