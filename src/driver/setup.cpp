#include "driver/setup.h"

#include <sys/stat.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>

#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"
#include "velmorantique/report_tables.h"

namespace vel {

namespace {

// Without its report files a run would compute everything and keep nothing
// (and every stage file would fail the same way), so it stops here.
[[noreturn]] void refuseOutputDirectory(const RunSetup& run, const std::string& suffix) {
  stopRun(FrameStyle::Report, "RunSetup.setUpRun",
          "Unable to open " + run.outputPath(suffix) + ": the output directory " + run.outDir +
             " could not be created or cannot be written. Nothing of this run would be kept.");
}

// The threshold as the number its text says. Any other text (a word, a
// decimal comma, nothing) would read as 0 and keep every positive voxel, so
// the run is refused before anything is made.
double parseThreshold(const char* text) {
  char* end = nullptr;
  const double value = std::strtod(text, &end);
  while (end != nullptr && end != text && std::isspace(static_cast<unsigned char>(*end))) ++end;
  if (end == text || *end != '\0' || !std::isfinite(value))
    stopRun(FrameStyle::Report, "RunSetup.setUpRun",
            std::string("The threshold ( ") + text +
                " ) is not a finite number: give the density threshold as a number such as 0.05, 1e-3 or -0.2 "
                "(with a decimal point, not a comma).");
  return value;
}

}  // namespace

std::string getFileName(const std::string& path, std::ostream& err) {
  const char separator = '/';
  err << "Separator is " << separator << "\n";
  size_t last = path.rfind(separator);
  if (last == std::string::npos) return path;
  return path.substr(last + 1);
}

void setUpRun(RunSetup& run, const char* pdbArg, const char* mapArg, const char* thresholdArg,
              std::ostream& out, std::ostream& err) {
  run.threshold = parseThreshold(thresholdArg);
  run.pdbPath = pdbArg;
  run.mapBase = mapArg;

  err << "pdbFile is " << run.pdbPath << "\n";
  std::string fileName = getFileName(run.pdbPath, err);  // its separator line comes first
  err << "pdb filename is " << fileName << "\n";
  std::string baseName = getFileName(run.pdbPath, err);
  run.proteinName = getFileName(baseName, err);

  // No separator is inserted: maps/1abc gives maps/1abctwist/. An existing
  // directory, or one that cannot be made, does not stop the run.
  run.outDir = run.mapBase + "twist/";
  mkdir(run.outDir.c_str(), 0755);

  const std::string stars(60, '*');
  out << stars << "\n";
  out << "*" << std::string(22, ' ') << "Velmorantique" << std::string(23, ' ') << "*\n";
  out << stars << "\n";
  out << "Now working on protein " << run.proteinName << "\n";

  run.bestResultStream.open(run.outputPath("_bestResult.txt"), std::ios::out | std::ios::trunc);
  if (!run.bestResultStream.is_open()) refuseOutputDirectory(run, "_bestResult.txt");
  writeHeaderRow(run.bestResultStream, kBestResultColumns);
  run.rmsStream.open(run.outputPath("_rms.txt"), std::ios::out | std::ios::trunc);
  if (!run.rmsStream.is_open()) refuseOutputDirectory(run, "_rms.txt");
  writeHeaderRow(run.rmsStream, kRmsColumns);

  out << "\n\nWorking on " << run.mapBase << "\n";
}

}  // namespace vel
