// Candidate strand models and scoring: every top candidate is brought back
// into the map frame, its lines become 0.1 Å sticks with C-alpha models, its
// files are written, and it is scored against the reference strands.

#include <map>
#include <utility>

#include "driver/pseudo_atoms.h"
#include "driver/reference_structure.h"
#include "driver/stages.h"
#include "velmorantique/compare.h"
#include "velmorantique/points.h"

namespace vel {

namespace {

bool isTopCandidate(const TwistSearch& search, int t, int o) {
  auto it = search.topCandidates.find(Candidate(t, o));
  return it != search.topCandidates.end() && it->second;
}

// The lines are turned back before they are resampled and moved after, so
// the sticks keep the rounding of that order.
StrandSet sticksInMapFrame(const StrandSet& lines, const Alignment& align) {
  StrandSet sticks;
  for (const PointList& line : lines) {
    PointList stick = align.turnBack(line);
    fineStickUnordered(stick, 0.1);
    sticks.push_back(translatePoints(std::move(stick), align.shiftBack()));
  }
  return sticks;
}

const ScoredCandidate* entryAt(const std::vector<ScoredCandidate>& scored, int k) {
  return k < 0 ? nullptr : &scored[static_cast<size_t>(k)];
}

}  // namespace

int firstInRanking(const std::vector<double>& keys) {
  std::multimap<double, int> ranking;
  for (size_t k = 0; k < keys.size(); ++k) ranking.insert({keys[k], static_cast<int>(k)});
  return ranking.empty() ? -1 : ranking.begin()->second;
}

const ScoredCandidate* CandidateScores::bestByTwoWay() const {
  std::vector<double> keys;
  for (const ScoredCandidate& c : scored) keys.push_back(c.twoWay);
  return entryAt(scored, firstInRanking(keys));
}

const ScoredCandidate* CandidateScores::bestByRms() const {
  std::vector<double> keys;
  for (const ScoredCandidate& c : scored) keys.push_back(c.rmsMean);
  return entryAt(scored, firstInRanking(keys));
}

const ScoredCandidate* CandidateScores::find(Candidate c) const {
  for (const ScoredCandidate& s : scored)
    if (s.candidate == c) return &s;
  return nullptr;
}

CandidateScores scoreCandidates(const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                                const TwistSearch& search, std::ostream& out) {
  CandidateScores scores;
  scores.reference = readCheckedReferenceStrands(run.pdbPath);
  StrandSet referenceCAs;
  for (const ReferenceStrand& strand : scores.reference) referenceCAs.push_back(strand.cas);
  const Alignment& align = surface.alignment;
  // Every candidate is measured against the same reference strands.
  const IndexedStrands reference(sheet.referenceStrands);

  for (int t = 0; t < kTranslations; ++t) {
    for (int o = 0; o < kOrientations; ++o) {
      if (!isTopCandidate(search, t, o)) continue;
      const std::string T = translationText(t), A = angleText(o);
      const std::string base = run.outputPath("_" + setName(Candidate(t, o)));
      ScoredCandidate c;
      c.candidate = Candidate(t, o);
      c.sticks = sticksInMapFrame(search.strandLines[t][o], align);
      writePseudoAtoms(base + ".pdb", c.sticks, "HOH", " H  ");

      // The sticks are measured against the reference more than once: they are indexed once.
      const IndexedStrands sticks(c.sticks);
      double dist1 = OneWayDist(sheet.referenceStrands, sticks);
      double dist2 = OneWayDist(c.sticks, reference);
      c.twoWay = (dist1 + dist2) / 2;
      out << "trans " << T << " - orient " << A << ", DIST1 = " << dist1 << ", DIST2 = " << dist2
          << ", 2-way = " << c.twoWay << "\n";

      writePseudoAtoms(base + "_Front.pdb", align.toMapFrame(search.strandStarts[t][o]), "HOH", " H  ");
      writePseudoAtoms(base + "_Back.pdb", align.toMapFrame(search.strandEnds[t][o]), "HOH", " H  ");

      StrandSet models = buildSheetCa(c.sticks, sheet.sheetNormal);
      for (size_t s = 0; s < models.size(); ++s)
        writePseudoAtoms(base + "_CAchain_" + std::to_string(s) + ".pdb", models[s], "GLY", " CA ");
      const PointList modelCAs = flatten(models);
      double caDist = Dist(modelCAs, flatten(referenceCAs));
      auto [rmsPair, rmsCount] = RMS(models, referenceCAs);
      c.rmsMean = rmsPair.first;
      c.rmsd = rmsPair.second;
      c.rmsCount = rmsCount;
      c.modelCaCount = static_cast<int>(modelCAs.size());
      c.detected = FindDetectAA(scores.reference, sticks).first;
      out << "trans " << T << " - orient " << A << ", rms_Ma = " << caDist << ", rms_Si = " << c.rmsd << "\n";
      scores.scored.push_back(std::move(c));
    }
  }
  return scores;
}

}  // namespace vel
