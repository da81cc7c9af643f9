#include "driver/analysis.h"

#include <iostream>
#include <new>

#include "driver/run.h"
#include "driver/setup.h"
#include "driver/stages.h"
#include "driver/summary.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

namespace vel {

void runAnalysis(RunSetup& run, std::ostream& out, SummaryFile* summary) {
  SummaryFile unused;
  SummaryFile& s = summary ? *summary : unused;
  SheetDensity sheet = extractSheet(run, out);                    // map -> sheet points, centre, normal
  summariseSheet(s, sheet);
  SurfaceFit surface = fitSurface(sheet, out);                    // aligned frame, cubic height field
  summariseSurface(s, surface);
  TwistSearch search = searchStrandDirections(surface, out);      // 54 candidates, the ten best twists
  summariseSearch(s, search);
  CandidateScores scores = scoreCandidates(run, sheet, surface, search, out);
  summariseScores(s, sheet, surface, search, scores);
  writeReports(run, sheet, surface, search, scores, out);
}

int runVelmorantique(int argc, char** argv, std::ostream& out, std::ostream& err) {
  if (argc != 4) {
    out << "usage: " << (argc > 0 ? argv[0] : "velmorantique") << " pdb " << " mrc " << " threshold " << "\n";
    return 1;
  }
  // The library's lines go where the run's own output goes, in their order.
  const RunStreams previous = runStreams();
  runStreams() = RunStreams{&out, &err};
  RunSetup run;
  SummaryFile summary;
  int status = 0;
  std::string message;  // the refusal's own words, for the summary
  try {
    setUpRun(run, argv[1], argv[2], argv[3], out, err);
    summariseSetup(summary, run);
    runAnalysis(run, out, &summary);
  } catch (const FatalError& e) {
    printFrame(e.frame, out, err);
    status = e.status;
    message = e.frame.message;
  } catch (const std::bad_alloc&) {
    // Inputs far beyond what they claim to be (a map or a structure that
    // asks for more than the machine holds) end like any refused input.
    const Frame frame{FrameStyle::Report, "Velmorantique.run",
                      "Out of memory: the map or the PDB file asks for more memory than this machine can give."};
    printFrame(frame, out, err);
    status = 1;
    message = frame.message;
  }
  // The report rows written so far reach the disk whether or not the run
  // ended early.
  run.bestResultStream.close();
  run.rmsStream.close();
  out.flush();
  runStreams() = previous;
  writeSummary(summary, status, message.empty() ? nullptr : &message);
  return status;
}

}  // namespace vel
