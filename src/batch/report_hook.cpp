// The batch report (an HTML page and viewer scripts per case) comes from the
// report library. This is the one place the batch tool reaches it; built
// without that library, the batch has its tables and no report.

#include "velmorantique/batch.h"

namespace vel::batch {

bool writeReport(const std::string& outDir) {
  (void)outDir;
  return false;
}

}  // namespace vel::batch
