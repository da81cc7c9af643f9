#include "driver/analysis.h"

#include <iostream>
#include <memory>
#include <new>

#include "driver/run.h"
#include "driver/setup.h"
#include "driver/stages.h"
#include "driver/summary.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

void runAnalysis(RunSetup& run, std::ostream& out, RunSummary* summary) {
  RunSummary unused;
  RunSummary& s = summary ? *summary : unused;
  SheetDensity sheet = extractSheet(run, out);                    // map -> sheet points, centre, normal
  summariseSheet(s, sheet);
  SurfaceFit surface = fitSurface(sheet, out);                    // aligned frame, cubic height field
  summariseSurface(s, surface);
  TwistSearch search = searchStrandDirections(surface, out);      // 54 candidates, the ten best twists
  summariseSearch(s, search);
  CandidateScores scores = scoreCandidates(run, sheet, surface, search, out);
  summariseScores(s, surface, search, scores);
  writeReports(run, sheet, surface, search, scores, out);
}

namespace {

// The text of the framed report a refused run printed last; "" when it
// printed none (the numerical kit reports on standard error).
std::string refusalMessage(const OutputTail& console, const OutputTail* out) {
  std::string text = lastFrameMessage(console.text());
  if (text.empty() && out) text = lastFrameMessage(out->text());
  return text;
}

}  // namespace

int runVelmorantique(int argc, char** argv, std::ostream& out, std::ostream& err) {
  if (argc != 4) {
    out << "usage: " << (argc > 0 ? argv[0] : "velmorantique") << " pdb " << " mrc " << " threshold " << "\n";
    return 1;
  }
  RunSetup run;
  RunSummary summary;
  // Framed reports go to the console; the tails keep them for the summary.
  OutputTail console(std::cout);
  std::unique_ptr<OutputTail> outTail;
  if (&out != &std::cout) outTail = std::make_unique<OutputTail>(out);
  int status = 0;
  try {
    setUpRun(run, argv[1], argv[2], argv[3], out, err);
    summariseSetup(summary, run);
    runAnalysis(run, out, &summary);
  } catch (const FatalError& e) {
    status = e.status;
  } catch (const std::bad_alloc&) {
    // Inputs far beyond what they claim to be (a map or a structure that
    // asks for more than the machine holds) end like any refused input.
    errMsg("Velmorantique", "run",
           "Out of memory: the map or the PDB file asks for more memory than this machine can give.");
    status = 1;
  }
  // The report rows written so far reach the disk whether or not the run
  // ended early.
  run.bestResultStream.close();
  run.rmsStream.close();
  out.flush();
  const std::string message = status != 0 ? refusalMessage(console, outTail.get()) : "";
  writeSummary(summary, status, message.empty() ? nullptr : &message);
  return status;
}
