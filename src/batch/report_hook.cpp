// The batch report (an HTML page and viewer scripts per case) comes from the
// report library. This is the one place the batch tool reaches it.

#include <iostream>

#include "velmorantique/batch.h"
#include "velmorantique/report.h"

namespace vel::batch {

bool writeReport(const std::string& outDir) {
  try {
    vel::report::writeBatchReport(outDir);
    return true;
  } catch (const vel::report::ReportError& e) {
    std::cerr << "velmorantique-batch: no report: " << e.what() << "\n";
    return false;
  }
}

}  // namespace vel::batch
