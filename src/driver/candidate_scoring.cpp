// Candidate strand models and scoring: every top candidate is brought back
// into the map frame, its lines become 0.1 Å sticks with C-alpha models, its
// files are written, and it is scored against the reference strands.

#include "driver/pseudo_atoms.h"
#include "driver/stages.h"
#include "velmorantique/compare.h"
#include "velmorantique/points.h"

namespace {

bool isTopCandidate(const TwistSearch& search, int t, int o) {
  auto it = search.topCandidates.find(Candidate(t, o));
  return it != search.topCandidates.end() && it->second;
}

// Moves every point by v and gathers the moved points, in order.
PointList translateAndGather(StrandSet& lines, Vectors v) {
  PointList all;
  for (PointList& line : lines) {
    translatePoints(line, v);
    all.insert(all.end(), line.begin(), line.end());
  }
  return all;
}

PointList flatten(const StrandSet& strands) {
  PointList all;
  for (const PointList& s : strands) all.insert(all.end(), s.begin(), s.end());
  return all;
}

}  // namespace

CandidateScores scoreCandidates(const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                                TwistSearch& search, std::ostream& out) {
  CandidateScores scores;
  scores.referenceCAs = FindTrueCAs(run.pdbPath, &scores.referenceSpans);
  const StrandSet& referenceCAs = scores.referenceCAs;
  const Alignment& align = surface.alignment;

  for (int t = 0; t < kTranslations; ++t) {
    for (int o = 0; o < kOrientations; ++o) {
      if (!isTopCandidate(search, t, o)) continue;
      for (PointList& line : search.strandLines[t][o]) align.turnBack(line);
      align.turnBack(search.strandStarts[t][o]);
      align.turnBack(search.strandEnds[t][o]);
    }
  }
  const Vectors shiftBack = align.shiftBack();

  for (int t = 0; t < kTranslations; ++t) {
    for (int o = 0; o < kOrientations; ++o) {
      if (!isTopCandidate(search, t, o)) continue;
      const std::string T = translationText(t), A = angleText(o);
      const std::string base = run.outputPath("_trans_" + T + "_orient_" + A);
      StrandSet& lines = search.strandLines[t][o];

      for (PointList& line : lines) fineStickUnordered(line, 0.1);
      writePseudoAtoms(base + ".pdb", translateAndGather(lines, shiftBack), "HOH", " H  ");

      double dist1 = OneWayDist(sheet.referenceStrands, lines);
      double dist2 = OneWayDist(lines, sheet.referenceStrands);
      double twoWay = (dist1 + dist2) / 2;
      out << "trans " << T << " - orient " << A << ", DIST1 = " << dist1 << ", DIST2 = " << dist2
          << ", 2-way = " << twoWay << "\n";
      scores.twoWayRanking.insert({twoWay, Candidate(t, o)});

      PointList& starts = search.strandStarts[t][o];
      PointList& ends = search.strandEnds[t][o];
      translatePoints(starts, shiftBack);
      translatePoints(ends, shiftBack);
      writePseudoAtoms(base + "_Front.pdb", starts, "HOH", " H  ");
      writePseudoAtoms(base + "_Back.pdb", ends, "HOH", " H  ");

      StrandSet models = buildSheetCa(lines, sheet.sheetNormal);
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
      scores.scored.push_back(ScoredCandidate{Candidate(t, o), lines.size(), dist1, dist2, twoWay, caDist, rmsMean,
                                              rmsd, rmsCount, static_cast<int>(modelCAs.size())});
    }
  }
  return scores;
}
