#pragma once
#include <ostream>
#include <string>

#include "driver/run.h"

namespace vel {

// The base name of a path: everything after its last '/' (the whole path
// without one). Says which separator it looks for on the error stream.
std::string getFileName(const std::string& path, std::ostream& err);

// Derives the run values, creates the output directory, prints the banner,
// opens both report files and writes their header rows. A report file that
// cannot be opened stops the run (framed message, FatalError).
void setUpRun(RunSetup& run, const char* pdbArg, const char* mapArg, const char* thresholdArg,
              std::ostream& out, std::ostream& err);

}  // namespace vel
