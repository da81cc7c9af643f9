// Writes the report of a batch folder: velmorantique-batch --report OUT,
// without the batch tool, for the page and viewer-script tests.

#include <iostream>

#include "velmorantique/report.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: write_report OUT\n";
    return 2;
  }
  try {
    vel::report::writeBatchReport(argv[1]);
  } catch (const vel::report::ReportError& e) {
    std::cerr << "error: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
