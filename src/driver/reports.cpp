// Surface model, best sets and report rows: the fitted surface goes back to
// the map frame as a PDB file; one row per report table names the best set by
// two-way distance with the top-twist set, and the best set by RMS mean
// distance, with the reference residues each detects.

#include "driver/pseudo_atoms.h"
#include "driver/reference_structure.h"
#include "driver/stages.h"
#include "velmorantique/compare.h"
#include "velmorantique/report_tables.h"

namespace vel {

namespace {

// Columns 1 to 8: the best set by two-way distance.
void writeBestSet(RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface, const ScoredCandidate& best) {
  const std::string bestSetName = setName(best.candidate);
  // The structure is read again here as the report has always done; the count
  // of detected residues is the one scoring took.
  const int total = spannedResidues(readReferenceStrands(run.pdbPath));
  const int detected = best.detected;
  std::ostream& os = run.bestResultStream;
  const ReportColumn* c = kBestResultColumns;
  writeField(os, c[0].width, run.mapBase);
  writeField(os, c[1].width, surface.fittingError);
  writeField(os, c[2].width, bestSetName);
  writeField(os, c[3].width, best.sticks.size());
  writeField(os, c[4].width, sheet.referenceStrands.size());
  writeField(os, c[5].width, best.twoWay);
  writeField(os, c[6].width, detected);
  writeField(os, c[7].width, total);
}

// Columns 9 to 11: the candidate with the highest main twist.
void writeTopTwistSet(RunSetup& run, const ScoredCandidate& top) {
  readReferenceStrands(run.pdbPath);  // read again, as for every report row: the reader reports each read
  const int detected = top.detected;
  std::ostream& os = run.bestResultStream;
  const ReportColumn* c = kBestResultColumns;
  writeField(os, c[8].width, top.sticks.size());
  writeField(os, c[9].width, top.twoWay);
  writeField(os, c[10].width, detected);
  os << '\n';
}

void writeRmsRow(RunSetup& run, const SheetDensity& sheet, const ScoredCandidate& best) {
  const auto [t, o] = best.candidate;
  const int total = spannedResidues(readReferenceStrands(run.pdbPath));
  std::ostream& os = run.rmsStream;
  const ReportColumn* c = kRmsColumns;
  writeField(os, c[0].width, run.mapBase);
  writeField(os, c[1].width, best.rmsMean);
  writeField(os, c[2].width, best.sticks.size());
  writeField(os, c[3].width, sheet.referenceStrands.size());
  writeField(os, c[4].width, best.rmsd);
  writeField(os, c[5].width, best.rmsCount);
  writeField(os, c[6].width, total);
  writeField(os, c[7].width, best.modelCaCount);
  // Only the literal "trans_" is padded; the orientation is called "_rot_" here.
  writeField(os, kRmsSetIndexPrefixWidth, "trans_");
  os << translationText(t) << "_rot_" << angleText(o) << '\n';
}

// No candidate passed the twist filter: the known columns hold their values,
// every other column a dash, so a batch still gets one row per protein.
void writePlaceholderRows(RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface) {
  const std::string none = "-";
  std::ostream& best = run.bestResultStream;
  const ReportColumn* b = kBestResultColumns;
  writeField(best, b[0].width, run.mapBase);
  writeField(best, b[1].width, surface.fittingError);
  for (int i = 2; i <= 3; ++i) writeField(best, b[i].width, none);
  writeField(best, b[4].width, sheet.referenceStrands.size());
  for (int i = 5; i <= 10; ++i) writeField(best, b[i].width, none);
  best << '\n';

  const int total = spannedResidues(readReferenceStrands(run.pdbPath));
  std::ostream& rms = run.rmsStream;
  const ReportColumn* r = kRmsColumns;
  writeField(rms, r[0].width, run.mapBase);
  for (int i = 1; i <= 2; ++i) writeField(rms, r[i].width, none);
  writeField(rms, r[3].width, sheet.referenceStrands.size());
  for (int i = 4; i <= 5; ++i) writeField(rms, r[i].width, none);
  writeField(rms, r[6].width, total);
  for (int i = 7; i <= 8; ++i) writeField(rms, r[i].width, none);
  rms << '\n';
}

}  // namespace

void writeReports(RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface, const TwistSearch& search,
                  const CandidateScores& scores, std::ostream& out) {
  writePseudoAtoms(run.outputPath("_surfaceModel.pdb"), surface.alignment.toMapFrame(surface.surfacePoints), "HOH",
                   " H  ");

  const ScoredCandidate* top = search.twistRanking.empty() ? nullptr : scores.find(search.twistRanking.begin()->second);
  if (top == nullptr) {
    out << "No candidate passed the twist filter.\n";
    writePlaceholderRows(run, sheet, surface);
    return;
  }
  writeBestSet(run, sheet, surface, *scores.bestByTwoWay());
  writeTopTwistSet(run, *top);
  writeRmsRow(run, sheet, *scores.bestByRms());
}

}  // namespace vel
