// The run summary: one JSON object per run, built from the stage results and
// written next to the report tables. Numbers are written so that they read
// back to the same double; not-a-number and infinities become null.

#include "driver/summary_file.h"
#include "driver/stages.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <vector>

namespace vel {

namespace {

using nlohmann::json;

constexpr double kDegrees = 180.0 / kPi;

Triple point(const Coordinate& c) { return {c.x, c.y, c.z}; }
Triple vec(const Vectors& v) { return {v.x, v.y, v.z}; }

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void addWarning(RunSummary& summary, const std::string& warning) {
  if (!summary.hasWarning(warning)) summary.warnings.push_back(warning);
}

// The line direction of orientation o in the aligned frame, turned back into
// the map frame (a direction: turned, never moved).
Vectors strandDirection(const Alignment& align, int o) {
  const double radians = 10.0 * o * kPi / 180;
  const Coordinate& c = align.mapCentre;
  const PointList ends = align.turnBack({c, Coordinate(c.x + std::cos(radians), c.y + std::sin(radians), c.z)});
  return Vectors(ends[0], ends[1]).unit();
}

// The line the candidate's strands run along, as a viewer shows them: the
// principal line of its sticks' axes, taken as the reference's mean axis is.
// On a tilted or curved sheet the sticks follow the fitted surface away from
// the nominal direction of their orientation.
Vectors sticksDirection(const StrandSet& sticks) {
  std::vector<Vectors> axes;
  for (const PointList& stick : sticks)
    if (stick.size() >= 2) axes.push_back(strandAxis(stick).direction);
  const Vectors line = meanLineDirection(axes);
  return line.length() > 0 ? line : Vectors(NAN, NAN, NAN);
}

// A candidate's direction: that of its sticks once scored, else the nominal
// one of its orientation.
Vectors candidateDirection(const SurfaceFit& surface, const Candidate& candidate, const CandidateScores& scores) {
  const ScoredCandidate* scored = scores.find(candidate);
  return scored ? sticksDirection(scored->sticks) : strandDirection(surface.alignment, candidate.second);
}

// The resolution that the case's meta.json, beside the map, gives; not a
// number when there is none.
double caseResolution(const std::string& mapBase) {
  const size_t slash = mapBase.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : mapBase.substr(0, slash + 1);
  std::string problem;  // a missing or damaged meta.json gives no resolution, as none does
  const json meta = readJsonFile(folder + "meta.json", problem);
  if (!meta.is_object()) return NAN;
  const auto it = meta.find("resolution_A");
  return it != meta.end() && it->is_number() ? it->get<double>() : NAN;
}

// The reference strands in the order of their SHEET records: sheet by sheet
// as the sheets first appear, strand number within a sheet. Neighbouring
// strands of one sheet give one twist each.
SummaryReference referenceSection(const ReferenceStrands& reference, Vectors& meanAxis) {
  std::vector<size_t> order(reference.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::vector<std::string> sheets;
  for (const ReferenceStrand& r : reference)
    if (std::find(sheets.begin(), sheets.end(), r.sheetId) == sheets.end()) sheets.push_back(r.sheetId);
  auto sheetRank = [&](size_t i) { return std::find(sheets.begin(), sheets.end(), reference[i].sheetId) - sheets.begin(); };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    if (sheetRank(a) != sheetRank(b)) return sheetRank(a) < sheetRank(b);
    return reference[a].strand < reference[b].strand;
  });

  SummaryReference ref;
  long long residues = 0;
  std::vector<StrandAxis> axes;
  std::vector<Vectors> directions;
  for (size_t i : order) {
    const ReferenceStrand& r = reference[i];
    residues += static_cast<long long>(r.cas.size());
    axes.push_back(strandAxis(r.cas));
    directions.push_back(axes.back().direction);
    SummaryStrandAxis axis;
    axis.start = point(axes.back().start);
    axis.end = point(axes.back().end);
    axis.residues = std::to_string(r.firstResidue) + "-" + std::to_string(r.lastResidue);
    axis.sheet = r.sheetId;
    axis.strand = r.strand;
    ref.strandAxes.push_back(axis);
  }
  for (size_t k = 0; k + 1 < order.size(); ++k)
    if (reference[order[k]].sheetId == reference[order[k + 1]].sheetId)
      ref.twists.push_back(interStrandAngle(axes[k], axes[k + 1]));
  // The line that agrees best with every strand, whichever way each runs: on
  // a sheet twisting through more than 90 degrees edge to edge, turning each
  // axis to point like the first would count an edge strand backwards.
  meanAxis = axes.empty() ? Vectors(NAN, NAN, NAN) : meanLineDirection(directions);
  ref.strands = static_cast<long long>(reference.size());
  ref.residues = residues;
  ref.meanTwist = ref.twists.empty() ? kNoValue : mean(ref.twists);
  ref.meanAxis = vec(meanAxis);
  return ref;
}

}  // namespace

void summariseSetup(SummaryFile& summary, const RunSetup& run) {
  RunSummary& d = summary.content;
  d.format = kSummaryFormat;
  d.version = 1;
  d.schemaVersion = kSummarySchemaVersion;
  d.caseName = run.proteinName;
  const std::string mapPath = run.mapBase + ".mrc";
  d.inputs.pdb = run.pdbPath + ".pdb";
  d.inputs.map = exists(mapPath) || !exists(mapPath + ".gz") ? mapPath : mapPath + ".gz";
  d.inputs.threshold = run.threshold;
  summary.outDirKnown = !run.outDir.empty();
  summary.path = run.outputPath("_summary.json");
}

void summariseSheet(SummaryFile& summary, const SheetDensity& sheet) {
  const Map& map = sheet.densityMap;
  SummaryInputs& in = summary.content.inputs;
  in.mapSize = std::array<long long, 3>{map.numRows(), map.numCols(), map.numSlcs()};
  in.voxelSize = Triple{map.apixX, map.apixY, map.apixZ};
  in.origin = Triple{map.hdr.xorigin, map.hdr.yorigin, map.hdr.zorigin};
  in.voxelsKept = static_cast<long long>(sheet.sheetPoints.size());
  SummarySheet s;
  s.points = static_cast<long long>(sheet.sheetPoints.size());
  s.centre = point(sheet.sheetCentre);
  s.normal = vec(sheet.sheetNormal.unit());
  summary.content.sheet = s;
  if (!(sheet.sheetNormal.length() > 0)) addWarning(summary.content, warning::kNoCentrePlane);
  if (sheet.referenceStrands.empty()) addWarning(summary.content, warning::kNoReferenceStrands);
  const ShapeDirection& shape = sheet.shape.direction;
  if (shape.found) summary.content.shapeDirection = vec(shape.direction);
  summary.content.shapeTwist = sheet.shape.twistDegrees;
}

void summariseSurface(SummaryFile& summary, const SurfaceFit& surface) {
  if (!summary.content.sheet) summary.content.sheet.emplace();
  SummarySheet& s = *summary.content.sheet;
  s.thetaDeg = surface.alignment.theta * kDegrees;
  s.surfaceCoefficients = std::vector<double>(surface.surfaceCoefficients.begin(), surface.surfaceCoefficients.end());
  s.fittingError = static_cast<double>(surface.fittingError);
}

void summariseSheetLikeness(SummaryFile& summary, const SheetLikeness& likeness) {
  if (!likeness.oneSheet) addWarning(summary.content, warning::kNotOneSheet);
}

void summariseSearch(SummaryFile& summary, const TwistSearch& search) {
  std::vector<SummaryCandidate>& candidates = summary.content.candidates;
  candidates.clear();
  for (const CandidateTwists& c : search.measured) {
    SummaryCandidate entry;
    entry.set = setName(Candidate(c.t, c.o));
    entry.t = c.t;
    entry.angle = c.angle;
    entry.lines = static_cast<long long>(c.lines);
    entry.accepted = c.accepted;
    entry.twists = c.twists;
    entry.handedness = c.handedness;
    entry.meanTwist = c.meanTwist;
    entry.stdTwist = c.stdTwist;
    entry.mainTwist = c.mainTwist;
    candidates.push_back(entry);
  }
  if (search.twistRanking.empty()) addWarning(summary.content, warning::kNoCandidate);
}

void summariseScores(SummaryFile& summary, const SheetDensity& sheet, const SurfaceFit& surface,
                     const TwistSearch& search, const CandidateScores& scores) {
  RunSummary& d = summary.content;
  Vectors meanAxis;
  d.reference = referenceSection(scores.reference, meanAxis);
  const bool haveReference = !scores.reference.empty();
  auto directionError = [&](const Vectors& direction) {
    return haveReference ? axisAngleDegrees(direction, meanAxis) : kNoValue;
  };

  d.top.clear();
  long long rank = 1;
  for (const auto& [twist, candidate] : search.twistRanking) {
    SummaryTopEntry entry;
    entry.rank = rank++;
    entry.set = setName(candidate);
    entry.mainTwist = twist;
    const Vectors nominal = strandDirection(surface.alignment, candidate.second);
    const Vectors direction = candidateDirection(surface, candidate, scores);
    entry.direction = vec(direction);
    entry.nominalDirection = vec(nominal);
    if (const ScoredCandidate* s = scores.find(candidate)) {
      entry.lines = static_cast<long long>(s->sticks.size());
      entry.twoWay = s->twoWay;
      entry.rmsMean = s->rmsMean;
      entry.rmsd = s->rmsd;
      entry.pairedCa = s->rmsCount;
      entry.modelCa = s->modelCaCount;
      entry.detectedResidues = s->detected;
    }
    entry.directionError = directionError(direction);
    d.top.push_back(entry);
  }
  const ScoredCandidate* bestTwoWay = scores.bestByTwoWay();
  const ScoredCandidate* bestRms = scores.bestByRms();
  if (!search.twistRanking.empty() && bestTwoWay && bestRms)
    d.chosen = SummaryChosen{setName(search.twistRanking.begin()->second), setName(bestTwoWay->candidate),
                             setName(bestRms->candidate)};
  if (sheet.shape.direction.found) d.shapeDirectionError = directionError(sheet.shape.direction.direction);
  if (haveReference && !std::isnan(d.reference->meanTwist))
    d.shapeTwistError = sheet.shape.twistDegrees - d.reference->meanTwist;
}

void summariseVerdict(SummaryFile& summary, const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                      const TwistSearch& search, const CandidateScores& scores) {
  vel::RunEvidence evidence;
  evidence.resolution = caseResolution(run.mapBase);
  evidence.fittingError = static_cast<double>(surface.fittingError);
  for (const auto& entry : search.twistRanking)
    evidence.candidateDirections.push_back(candidateDirection(surface, entry.second, scores));
  const vel::Confidence c = vel::judgeConfidence(sheet.shape, evidence);
  SummaryConfidence confidence;
  confidence.level = c.level;
  for (const auto& [name, value] : c.signals) confidence.signals[name] = value;
  confidence.reasons = c.reasons;
  summary.content.confidence = confidence;
}

void summariseUnwritten(SummaryFile& summary, const std::vector<UnwrittenFile>& unwritten) {
  if (unwritten.empty()) return;
  addWarning(summary.content, warning::kUnwrittenOutput);
  std::vector<SummaryUnwrittenFile> files;
  for (const UnwrittenFile& f : unwritten) {
    const size_t slash = f.path.rfind('/');
    files.push_back({slash == std::string::npos ? f.path : f.path.substr(slash + 1), f.reason});
  }
  summary.content.unwrittenOutput = files;
}

std::string writeSummary(SummaryFile& summary, int exitStatus, const std::string* message) {
  if (!summary.outDirKnown) return "";
  summary.content.exitStatus = exitStatus;
  summary.content.message = message ? std::optional<std::string>(*message) : std::nullopt;
  // Written whole under a temporary name, then renamed, so that a reader
  // never sees half a summary.
  const std::string tmp = summary.path + ".tmp";
  const std::string text =
      summaryToJson(summary.content).dump(1, ' ', false, nlohmann::json::error_handler_t::replace) + '\n';
  errno = 0;
  bool written = false;
  {
    std::ofstream f(tmp, std::ios::out | std::ios::trunc);
    if (f) {
      f << text;
      f.close();
      written = !f.fail();
    }
  }
  if (written && std::rename(tmp.c_str(), summary.path.c_str()) == 0) return "";
  const std::string reason = std::strerror(errno != 0 ? errno : EIO);
  std::remove(tmp.c_str());
  return reason;
}

}  // namespace vel
