#include "driver/analysis.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "driver/run.h"
#include "driver/setup.h"
#include "driver/stages.h"
#include "driver/summary_file.h"
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
  summariseSheetLikeness(s, judgeOneSheet(sheet, surface));
  TwistSearch search = searchStrandDirections(surface, out);      // 54 candidates, the ten best twists
  summariseSearch(s, search);
  CandidateScores scores = scoreCandidates(run, sheet, surface, search, out);
  summariseScores(s, sheet, surface, search, scores);
  summariseVerdict(s, run, sheet, surface, search, scores);
  writeReports(run, sheet, surface, search, scores, out);
}

namespace {

// Closes a report table. One that could not be written whole is removed (a
// cut row would read as a row of wrong numbers) and named.
void closeReportTable(std::ofstream& table, const std::string& path, std::ostream& out, std::ostream& err) {
  if (!table.is_open()) return;
  errno = 0;
  table.close();
  if (table) return;
  const std::string reason = std::strerror(errno != 0 ? errno : EIO);
  std::remove(path.c_str());
  printFrame(Frame{FrameStyle::Report, "Velmorantique.run",
                   "Unable to write " + path + ": " + reason + ". The incomplete file was removed.", false},
             out, err);
  noteUnwritten(path, reason, true);
}

// The closing word on files that were cut short by a full disk or a failed
// device: how many, why, and whether the run's results (its report rows)
// are among them.
std::string lostOutputMessage(const std::vector<UnwrittenFile>& unwritten, bool tablesLost) {
  std::vector<std::string> names, reasons;
  for (const UnwrittenFile& f : unwritten) {
    if (!f.opened) continue;
    names.push_back(f.path);
    if (std::find(reasons.begin(), reasons.end(), f.reason) == reasons.end()) reasons.push_back(f.reason);
  }
  auto joined = [](const std::vector<std::string>& parts, size_t most) {
    std::string text;
    for (size_t i = 0; i < parts.size() && i < most; ++i) text += (i == 0 ? "" : ", ") + parts[i];
    if (parts.size() > most) text += " and " + std::to_string(parts.size() - most) + " more";
    return text;
  };
  return "Output lost: " + std::to_string(names.size()) + " file" + (names.size() == 1 ? "" : "s") +
         " of this run could not be written ( " + joined(reasons, reasons.size()) + " ): " + joined(names, 3) +
         (tablesLost ? ". The report tables are among them: nothing of this run was kept."
                     : ". The report rows are written; the files named are not.");
}

}  // namespace

int runVelmorantique(int argc, char** argv, std::ostream& out, std::ostream& err) {
  if (argc != 4) {
    out << "usage: " << (argc > 0 ? argv[0] : "velmorantique") << " pdb " << " mrc " << " threshold " << "\n";
    return 1;
  }
  // The library's lines go where the run's own output goes, in their order;
  // the files it cannot write are listed here.
  std::vector<UnwrittenFile> unwritten;
  const RunStreams previous = runStreams();
  runStreams() = RunStreams{&out, &err, &unwritten};
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
  const size_t lostBefore = unwritten.size();
  closeReportTable(run.bestResultStream, run.outputPath("_bestResult.txt"), out, err);
  closeReportTable(run.rmsStream, run.outputPath("_rms.txt"), out, err);
  const bool tablesLost = unwritten.size() > lostBefore;
  // A file that could not be opened is reported and the run goes on; one
  // cut short by a full disk or a failed device must not end in silence:
  // status 1 when the report rows are lost with it, else 2.
  const bool cutShort =
      std::any_of(unwritten.begin(), unwritten.end(), [](const UnwrittenFile& f) { return f.opened; });
  if (status == 0 && cutShort) {
    status = tablesLost ? 1 : 2;
    const Frame frame{FrameStyle::Report, "Velmorantique.run", lostOutputMessage(unwritten, tablesLost)};
    printFrame(frame, out, err);
    message = frame.message;
  }
  summariseUnwritten(summary, unwritten);
  const std::string summaryFailure = writeSummary(summary, status, message.empty() ? nullptr : &message);
  if (!summaryFailure.empty() && status != 1) {
    printFrame(Frame{FrameStyle::Report, "Velmorantique.run",
                     "Unable to write " + summary.path + ": " + summaryFailure + ".", false},
               out, err);
    status = 2;
  }
  out.flush();
  runStreams() = previous;
  return status;
}

}  // namespace vel
