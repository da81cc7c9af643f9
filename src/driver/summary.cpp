// The run summary: one JSON object per run, built from the stage results and
// written next to the report tables. Numbers are written so that they read
// back to the same double; not-a-number and infinities become null.

#include "driver/summary.h"
#include "driver/stages.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

namespace vel {

using nlohmann::json;

namespace {

constexpr double kDegrees = 180.0 / kPi;

json number(double v) { return std::isfinite(v) ? json(v) : json(nullptr); }
json triple(double x, double y, double z) { return json::array({number(x), number(y), number(z)}); }
json point(const Coordinate& c) { return triple(c.x, c.y, c.z); }
json vec(const Vectors& v) { return triple(v.x, v.y, v.z); }
json numbers(const std::vector<double>& values) {
  json a = json::array();
  for (double v : values) a.push_back(number(v));
  return a;
}

std::string setName(const Candidate& c) { return "trans_" + translationText(c.first) + "_orient_" + angleText(c.second); }

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

void addWarning(RunSummary& summary, const std::string& warning) {
  json& w = summary.doc["warnings"];
  for (const json& known : w)
    if (known == warning) return;
  w.push_back(warning);
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
  std::ifstream in(folder + "meta.json");
  if (!in) return NAN;
  const json meta = json::parse(in, nullptr, false);
  if (!meta.is_object()) return NAN;
  const auto it = meta.find("resolution_A");
  return it != meta.end() && it->is_number() ? it->get<double>() : NAN;
}

// The reference strands in the order of their SHEET records: sheet by sheet
// as the sheets first appear, strand number within a sheet. Neighbouring
// strands of one sheet give one twist each.
json referenceSection(const ReferenceStrands& reference, Vectors& meanAxis) {
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

  int residues = 0;
  std::vector<StrandAxis> axes;
  std::vector<Vectors> directions;
  json strandAxes = json::array();
  for (size_t i : order) {
    const ReferenceStrand& r = reference[i];
    residues += static_cast<int>(r.cas.size());
    axes.push_back(strandAxis(r.cas));
    directions.push_back(axes.back().direction);
    strandAxes.push_back({{"start", point(axes.back().start)},
                          {"end", point(axes.back().end)},
                          {"residues", std::to_string(r.firstResidue) + "-" + std::to_string(r.lastResidue)},
                          {"sheet", r.sheetId},
                          {"strand", r.strand}});
  }
  std::vector<double> twists;
  for (size_t k = 0; k + 1 < order.size(); ++k)
    if (reference[order[k]].sheetId == reference[order[k + 1]].sheetId)
      twists.push_back(interStrandAngle(axes[k], axes[k + 1]));
  // The line that agrees best with every strand, whichever way each runs: on
  // a sheet twisting through more than 90 degrees edge to edge, turning each
  // axis to point like the first would count an edge strand backwards.
  meanAxis = axes.empty() ? Vectors(NAN, NAN, NAN) : meanLineDirection(directions);
  json ref;
  ref["strands"] = reference.size();
  ref["residues"] = residues;
  ref["strand_axes"] = strandAxes;
  ref["twists"] = numbers(twists);
  ref["mean_twist"] = twists.empty() ? json(nullptr) : number(mean(twists));
  ref["mean_axis"] = vec(meanAxis);
  return ref;
}

}  // namespace

void summariseSetup(RunSummary& summary, const RunSetup& run) {
  json& d = summary.doc;
  d["format"] = "velmorantique-summary";
  d["version"] = 1;
  d["case"] = run.proteinName;
  d["exit_status"] = nullptr;
  d["message"] = nullptr;
  d["warnings"] = json::array();
  const std::string mapPath = run.mapBase + ".mrc";
  d["inputs"] = {{"pdb", run.pdbPath + ".pdb"},
                 {"map", exists(mapPath) || !exists(mapPath + ".gz") ? mapPath : mapPath + ".gz"},
                 {"threshold", number(run.threshold)}};
  for (const char* key : {"sheet", "reference", "chosen", "shape_direction", "shape_direction_error", "shape_twist",
                          "shape_twist_error", "confidence"})
    d[key] = nullptr;
  d["candidates"] = json::array();
  d["top"] = json::array();
  summary.outDirKnown = !run.outDir.empty();
  summary.path = run.outputPath("_summary.json");
}

void summariseSheet(RunSummary& summary, const SheetDensity& sheet) {
  const Map& map = sheet.densityMap;
  json& in = summary.doc["inputs"];
  in["map_size"] = {map.numRows(), map.numCols(), map.numSlcs()};
  in["voxel_size"] = triple(map.apixX, map.apixY, map.apixZ);
  in["origin"] = triple(map.hdr.xorigin, map.hdr.yorigin, map.hdr.zorigin);
  in["voxels_kept"] = sheet.sheetPoints.size();
  summary.doc["sheet"] = {{"points", sheet.sheetPoints.size()},
                          {"centre", point(sheet.sheetCentre)},
                          {"normal", vec(sheet.sheetNormal.unit())}};
  if (!(sheet.sheetNormal.length() > 0)) addWarning(summary, "no_centre_plane");
  if (sheet.referenceStrands.empty()) addWarning(summary, "no_reference_strands");
  const ShapeDirection& shape = sheet.shape.direction;
  if (shape.found) summary.doc["shape_direction"] = vec(shape.direction);
  summary.doc["shape_twist"] = number(sheet.shape.twistDegrees);
}

void summariseSurface(RunSummary& summary, const SurfaceFit& surface) {
  json& s = summary.doc["sheet"];
  s["theta_deg"] = number(surface.alignment.theta * kDegrees);
  s["surface_coefficients"] = numbers(std::vector<double>(surface.surfaceCoefficients.begin(),
                                                          surface.surfaceCoefficients.end()));
  s["fitting_error"] = number(static_cast<double>(surface.fittingError));
}

void summariseSheetLikeness(RunSummary& summary, const SheetLikeness& likeness) {
  if (!likeness.oneSheet) addWarning(summary, "not_one_sheet");
}

void summariseSearch(RunSummary& summary, const TwistSearch& search) {
  json candidates = json::array();
  for (const CandidateTwists& c : search.measured) {
    candidates.push_back({{"set", setName(Candidate(c.t, c.o))},
                          {"t", c.t},
                          {"angle", number(c.angle)},
                          {"lines", c.lines},
                          {"accepted", c.accepted},
                          {"twists", numbers(c.twists)},
                          {"handedness", numbers(c.handedness)},
                          {"mean_twist", number(c.meanTwist)},
                          {"std_twist", number(c.stdTwist)},
                          {"main_twist", number(c.mainTwist)}});
  }
  summary.doc["candidates"] = candidates;
  if (search.twistRanking.empty()) addWarning(summary, "no_candidate");
}

void summariseScores(RunSummary& summary, const SheetDensity& sheet, const SurfaceFit& surface,
                     const TwistSearch& search, const CandidateScores& scores) {
  json& d = summary.doc;
  Vectors meanAxis;
  d["reference"] = referenceSection(scores.reference, meanAxis);
  const bool haveReference = !scores.reference.empty();
  auto directionError = [&](const Vectors& direction) {
    return haveReference ? number(axisAngleDegrees(direction, meanAxis)) : json(nullptr);
  };

  json top = json::array();
  int rank = 1;
  for (const auto& [twist, candidate] : search.twistRanking) {
    json entry{{"rank", rank++}, {"set", setName(candidate)}, {"main_twist", number(twist)}};
    const Vectors nominal = strandDirection(surface.alignment, candidate.second);
    const Vectors direction = candidateDirection(surface, candidate, scores);
    entry["direction"] = vec(direction);
    entry["nominal_direction"] = vec(nominal);
    if (const ScoredCandidate* s = scores.find(candidate)) {
      entry["lines"] = s->sticks.size();
      entry["two_way"] = number(s->twoWay);
      entry["rms_mean"] = number(s->rmsMean);
      entry["rmsd"] = number(s->rmsd);
      entry["paired_ca"] = s->rmsCount;
      entry["model_ca"] = s->modelCaCount;
      entry["detected_residues"] = s->detected;
    }
    entry["direction_error"] = directionError(direction);
    top.push_back(entry);
  }
  d["top"] = top;
  const ScoredCandidate* bestTwoWay = scores.bestByTwoWay();
  const ScoredCandidate* bestRms = scores.bestByRms();
  if (!search.twistRanking.empty() && bestTwoWay && bestRms)
    d["chosen"] = {{"top_twist", setName(search.twistRanking.begin()->second)},
                   {"best_two_way", setName(bestTwoWay->candidate)},
                   {"best_rms", setName(bestRms->candidate)}};
  if (sheet.shape.direction.found) d["shape_direction_error"] = directionError(sheet.shape.direction.direction);
  if (haveReference && d["reference"]["mean_twist"].is_number())
    d["shape_twist_error"] = number(sheet.shape.twistDegrees - d["reference"]["mean_twist"].get<double>());
}

void summariseVerdict(RunSummary& summary, const RunSetup& run, const SheetDensity& sheet, const SurfaceFit& surface,
                      const TwistSearch& search, const CandidateScores& scores) {
  vel::RunEvidence evidence;
  evidence.resolution = caseResolution(run.mapBase);
  evidence.fittingError = static_cast<double>(surface.fittingError);
  for (const auto& entry : search.twistRanking)
    evidence.candidateDirections.push_back(candidateDirection(surface, entry.second, scores));
  const vel::Confidence c = vel::judgeConfidence(sheet.shape, evidence);
  json signals = json::object();
  for (const auto& [name, value] : c.signals) signals[name] = number(value);
  summary.doc["confidence"] = {{"level", c.level}, {"signals", signals}, {"reasons", c.reasons}};
}

void summariseUnwritten(RunSummary& summary, const std::vector<UnwrittenFile>& unwritten) {
  if (unwritten.empty()) return;
  addWarning(summary, "unwritten_output");
  json files = json::array();
  for (const UnwrittenFile& f : unwritten) {
    const size_t slash = f.path.rfind('/');
    files.push_back({{"file", slash == std::string::npos ? f.path : f.path.substr(slash + 1)}, {"reason", f.reason}});
  }
  summary.doc["unwritten_output"] = files;
}

std::string writeSummary(RunSummary& summary, int exitStatus, const std::string* message) {
  if (!summary.outDirKnown) return "";
  summary.doc["exit_status"] = exitStatus;
  summary.doc["message"] = message ? json(*message) : json(nullptr);
  // Written whole under a temporary name, then renamed, so that a reader
  // never sees half a summary.
  const std::string tmp = summary.path + ".tmp";
  const std::string text = summary.doc.dump(1, ' ', false, json::error_handler_t::replace) + '\n';
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
