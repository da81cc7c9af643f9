#include "driver/analysis.h"

#include <iostream>

#include "driver/run.h"
#include "driver/setup.h"
#include "driver/stages.h"
#include "velmorantique/fatal.h"

void runAnalysis(RunSetup& run, std::ostream& out) {
  SheetDensity sheet = extractSheet(run, out);                    // map -> sheet points, centre, normal
  SurfaceFit surface = fitSurface(sheet, out);                    // aligned frame, cubic height field
  TwistSearch search = searchStrandDirections(surface, out);      // 54 candidates, the ten best twists
  CandidateScores scores = scoreCandidates(run, sheet, surface, search, out);
  writeReports(run, sheet, surface, search, scores, out);
}

int runVelmorantique(int argc, char** argv, std::ostream& out, std::ostream& err) {
  if (argc != 4) {
    out << "usage: " << (argc > 0 ? argv[0] : "velmorantique") << " pdb " << " mrc " << " threshold " << "\n";
    return 1;
  }
  RunSetup run;
  setUpRun(run, argv[1], argv[2], argv[3], out, err);
  int status = 0;
  try {
    runAnalysis(run, out);
  } catch (const FatalError& e) {
    status = e.status;
  }
  // The report rows written so far reach the disk whether or not the run
  // ended early.
  run.bestResultStream.close();
  run.rmsStream.close();
  out.flush();
  return status;
}
