// Candidate strand models and scoring: every top candidate is brought back
// into the map frame, its lines become 0.1 Å sticks with C-alpha models, its
// files are written, and it is scored against the reference strands.

#include <algorithm>
#include <utility>

#include "driver/pseudo_atoms.h"
#include "driver/stages.h"
#include "velmorantique/compare.h"
#include "velmorantique/points.h"

namespace {

bool isTopCandidate(const TwistSearch& search, int t, int o) {
  auto it = search.topCandidates.find(Candidate(t, o));
  return it != search.topCandidates.end() && it->second;
}

// The points of every strand, strand after strand.
PointList flatten(const StrandSet& strands) {
  PointList all;
  for (const PointList& s : strands) all.insert(all.end(), s.begin(), s.end());
  return all;
}

// The lines are turned back before they are resampled and moved after, so
// the sticks keep the rounding of that order.
CandidateModel modelInMapFrame(const TwistSearch& search, const Alignment& align, Candidate c) {
  CandidateModel model{c, {}};
  for (const PointList& line : search.strandLines[c.first][c.second]) {
    PointList stick = align.turnBack(line);
    fineStickUnordered(stick, 0.1);
    model.sticks.push_back(translatePoints(std::move(stick), align.shiftBack()));
  }
  return model;
}

}  // namespace

const CandidateModel& CandidateScores::model(Candidate c) const {
  return *std::find_if(models.begin(), models.end(), [&](const CandidateModel& m) { return m.candidate == c; });
}

CandidateScores scoreCandidates(const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                                const TwistSearch& search, std::ostream& out) {
  CandidateScores scores;
  const StrandSet referenceCAs = FindTrueCAs(run.pdbPath);
  const Alignment& align = surface.alignment;

  for (int t = 0; t < kTranslations; ++t) {
    for (int o = 0; o < kOrientations; ++o) {
      if (!isTopCandidate(search, t, o)) continue;
      const std::string T = translationText(t), A = angleText(o);
      const std::string base = run.outputPath("_trans_" + T + "_orient_" + A);
      scores.models.push_back(modelInMapFrame(search, align, Candidate(t, o)));
      const StrandSet& sticks = scores.models.back().sticks;
      writePseudoAtoms(base + ".pdb", flatten(sticks), "HOH", " H  ");

      double dist1 = OneWayDist(sheet.referenceStrands, sticks);
      double dist2 = OneWayDist(sticks, sheet.referenceStrands);
      double twoWay = (dist1 + dist2) / 2;
      out << "trans " << T << " - orient " << A << ", DIST1 = " << dist1 << ", DIST2 = " << dist2
          << ", 2-way = " << twoWay << "\n";
      scores.twoWayRanking.insert({twoWay, Candidate(t, o)});

      writePseudoAtoms(base + "_Front.pdb", align.toMapFrame(search.strandStarts[t][o]), "HOH", " H  ");
      writePseudoAtoms(base + "_Back.pdb", align.toMapFrame(search.strandEnds[t][o]), "HOH", " H  ");

      StrandSet models = buildSheetCa(sticks, sheet.sheetNormal);
      PointList modelCAs;
      for (size_t s = 0; s < models.size(); ++s) {
        writePseudoAtoms(base + "_CAchain_" + std::to_string(s) + ".pdb", models[s], "GLY", " CA ");
        modelCAs.insert(modelCAs.end(), models[s].begin(), models[s].end());
      }
      double caDist = Dist(modelCAs, flatten(referenceCAs));
      auto [rmsPair, rmsCount] = RMS(models, referenceCAs);
      double rmsMean = rmsPair.first, rmsd = rmsPair.second;
      scores.rmsRanking.insert({rmsMean, Candidate(t, o)});
      scores.rmsCountRanking.insert({rmsMean, rmsCount});
      scores.modelCaCountRanking.insert({rmsMean, static_cast<int>(modelCAs.size())});
      scores.rmsdRanking.insert({rmsMean, rmsd});
      out << "trans " << T << " - orient " << A << ", rms_Ma = " << caDist << ", rms_Si = " << rmsd << "\n";
    }
  }
  return scores;
}
