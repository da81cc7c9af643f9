// Reading a batch folder: the record of every case, its run summary, the
// meta.json beside its inputs and the stage files the pictures draw.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "case_view.h"
#include "stage_files.h"
#include "velmorantique/batch_record.h"
#include "velmorantique/report.h"
#include "velmorantique/summary.h"

namespace vel::report {

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Sticks are resampled every 0.1 Å and neighbouring lines lie 4.6 Å apart,
// so a step of 2 Å can only be the jump from one line to the next.
constexpr double kLineBreak = 2.0;

json readJson(const std::string& path) {
  std::string problem;
  json document = vel::readJsonFile(path, problem);
  if (!problem.empty()) throw ReportError(problem);
  return document;
}

double number(const json& object, const char* key) {
  if (!object.is_object()) return kMissing;
  const auto it = object.find(key);
  return it != object.end() && it->is_number() ? it->get<double>() : kMissing;
}

const json& member(const json& object, const char* key) {
  static const json none;
  if (!object.is_object()) return none;
  const auto it = object.find(key);
  return it == object.end() ? none : *it;
}

std::optional<Coordinate> point(const Triple& t) {
  for (double v : t)
    if (std::isnan(v)) return std::nullopt;
  return Coordinate(t[0], t[1], t[2]);
}

std::optional<Vectors> direction(const Triple& t) {
  const std::optional<Coordinate> c = point(t);
  if (!c) return std::nullopt;
  const Vectors v(*c);
  const double length = v.length();
  if (!(length > 0) || !std::isfinite(length)) return std::nullopt;
  return v.mul(1.0 / length);
}

// A count or index; none, or one too large for an int, gives the fallback.
int whole(const Count& v, int fallback) { return v && *v > -1000000000 && *v < 1000000000 ? static_cast<int>(*v) : fallback; }
int whole(double v, int fallback) { return std::isfinite(v) && std::fabs(v) < 1e9 ? static_cast<int>(v) : fallback; }

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

// A modelled set of the summary, with its lines read from the stick file.
ModelledSet modelledSet(const CaseView& c, const RunSummary& summary, const std::string& set) {
  ModelledSet m;
  m.set = set;
  if (const SummaryTopEntry* top = summary.topEntry(set)) {
    m.mainTwist = top->mainTwist;
    m.twoWay = top->twoWay.value_or(kMissing);
    m.directionError = top->directionError;
    m.direction = direction(top->direction);
    m.lines = whole(top->lines, 0);
  }
  for (const CandidateTwist& candidate : c.candidates)
    if (candidate.set == set) m.twists = candidate.twists;
  const std::string base = joinPath(c.outputDir, c.protein + "_" + set);
  m.stickFile = findStageFile(base + ".pdb");
  if (!m.stickFile.empty()) m.strandLines = splitStrandLines(readStagePoints(m.stickFile), kLineBreak);
  for (int s = 0;; ++s) {
    const std::string chain = findStageFile(base + "_CAchain_" + std::to_string(s) + ".pdb");
    if (chain.empty()) break;
    m.caChainFiles.push_back(chain);
  }
  return m;
}

void readSummary(CaseView& c, const RunSummary& s) {
  c.hasSummary = true;
  if (c.protein.empty()) c.protein = s.caseName;
  c.exitStatus = whole(s.exitStatus, -1);
  if (c.message.empty()) c.message = s.message.value_or("");
  c.warnings = s.warnings;

  c.mapPath = s.inputs.map;
  if (!c.mapPath.empty() && c.mapPath[0] != '/' && !c.runDir.empty()) c.mapPath = joinPath(c.runDir, c.mapPath);
  c.threshold = s.inputs.threshold;

  const SummarySheet sheet = s.sheet.value_or(SummarySheet{});
  const std::optional<Coordinate> centre = point(sheet.centre);
  const std::optional<Vectors> normal = direction(sheet.normal);
  if (centre && normal) {
    c.hasSheet = true;
    c.centre = *centre;
    c.normal = *normal;
  }
  c.sheetPoints = whole(sheet.points, 0);

  for (const SummaryCandidate& candidate : s.candidates) {
    CandidateTwist t;
    t.set = candidate.set;
    t.shift = whole(candidate.t, 0);
    t.angle = whole(candidate.angle, 0);
    t.accepted = candidate.accepted;
    t.mainTwist = candidate.mainTwist;
    t.twists = candidate.twists;
    c.candidates.push_back(t);
  }

  const SummaryReference reference = s.reference.value_or(SummaryReference{});
  for (const SummaryStrandAxis& axis : reference.strandAxes) {
    const std::optional<Coordinate> start = point(axis.start);
    const std::optional<Coordinate> end = point(axis.end);
    if (start && end) c.referenceAxes.push_back({*start, *end, axis.residues});
  }
  c.referenceTwists = reference.twists;
  c.referenceMeanTwist = reference.meanTwist;
  c.referenceAxis = direction(reference.meanAxis);

  c.shapeDirection = s.shapeDirection ? direction(*s.shapeDirection) : std::nullopt;
  c.shapeDirectionError = s.shapeDirectionError;
  c.shapeTwist = s.shapeTwist;
  if (s.confidence) {
    c.confidence = s.confidence->level;
    c.confidenceReasons = s.confidence->reasons;
  }
  const TwistVerdict twist = judgeTwist(s);
  c.twistConfidence = twist.level;
  c.twistReason = twist.reason;
  c.twistFrom = twist.from;
  c.twistTo = twist.to;

  // Stage files live in the run's output folder, named after the protein.
  if (c.outputDir.empty() || c.protein.empty()) return;
  const std::string prefix = joinPath(c.outputDir, c.protein);
  const std::string surface = findStageFile(prefix + "_surfaceModel.pdb");
  if (!surface.empty())
    c.surface = readStagePoints(surface);
  else if (c.finished())
    c.notes.push_back("no " + c.protein + "_surfaceModel.pdb in " + c.outputDir);
  c.referencePoints = findStageFile(prefix + "_strandPoints.pdb");

  const SummaryChosen chosen = s.chosen.value_or(SummaryChosen{});
  const std::string& topTwist = chosen.topTwist;
  const std::string& bestTwoWay = chosen.bestTwoWay;
  if (!topTwist.empty()) c.topTwist = modelledSet(c, s, topTwist);
  // Often one candidate is both: its stick file, the largest a case has, is read once.
  if (!bestTwoWay.empty()) c.bestTwoWay = bestTwoWay == topTwist ? c.topTwist : modelledSet(c, s, bestTwoWay);
  for (const std::optional<ModelledSet>* set : {&c.topTwist, &c.bestTwoWay})
    if (*set && (*set)->stickFile.empty()) c.notes.push_back("no stick file of " + (*set)->set + " in " + c.outputDir);
}

// A map's name as velmorantique-find gives it: the file name without its
// endings, in lower case.
std::string mapName(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  for (char& ch : name) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (const char* ending : {".gz", ".mrc", ".map", ".ccp4"}) {
    const std::string e = ending;
    if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0) name.resize(name.size() - e.size());
  }
  return name;
}

// find.json's projection of the map down z, when it has one.
void readProjection(MapView& m) {
  json found;
  try {
    found = readJson(joinPath(m.findDir, "find.json"));
  } catch (const ReportError&) {
    return;  // the map is still listed, without its picture
  }
  const json& p = member(found, "projection");
  const json& density = member(p, "density");
  const json& labels = member(p, "labels");
  const int columns = whole(number(p, "columns"), 0), rows = whole(number(p, "rows"), 0);
  const double step = number(p, "step_A");
  const json& origin = member(p, "origin_A");
  if (columns <= 0 || rows <= 0 || columns > 1000 || rows > 1000 || !(step > 0) || !density.is_array() ||
      !labels.is_array() || density.size() != static_cast<size_t>(columns) * rows || labels.size() != density.size() ||
      !origin.is_array() || origin.size() != 2 || !origin[0].is_number() || !origin[1].is_number())
    return;
  MapView got = m;
  got.columns = columns;
  got.rows = rows;
  got.step = step;
  got.originX = origin[0].get<double>();
  got.originY = origin[1].get<double>();
  for (size_t i = 0; i < density.size(); ++i) {
    if (!density[i].is_number() || !labels[i].is_number_integer()) return;
    got.density.push_back(std::clamp(density[i].get<double>(), 0.0, 1.0));
    got.labels.push_back(labels[i].get<int>());
  }
  for (const json& name : member(p, "cases"))
    got.labelCases.push_back(name.is_string() ? name.get<std::string>() : std::string());
  m = got;
}

}  // namespace

std::vector<MapView> loadMaps(const std::string& outDir, std::vector<CaseView>& cases) {
  std::vector<MapView> maps;
  json listed;
  try {
    if (fs::exists(joinPath(outDir, vel::batch::kMapsFile))) listed = readJson(joinPath(outDir, vel::batch::kMapsFile));
  } catch (const ReportError&) {
    // A damaged list: the maps are made from the cases below.
  }
  for (const vel::batch::MapRecord& r : vel::batch::mapsFromJson(listed)) {
    MapView m;
    m.name = r.name;
    m.mapPath = r.map;
    m.findDir = r.findDir;
    m.cases = r.cases;
    m.segments = r.segments;
    m.resolutionWarning = r.resolutionWarning;
    readProjection(m);
    maps.push_back(m);
  }
  for (CaseView& c : cases) {
    bool listedCase = false;
    for (const MapView& m : maps)
      if (std::find(m.cases.begin(), m.cases.end(), c.name) != m.cases.end()) {
        c.map = m.name;
        listedCase = true;
      }
    if (listedCase || !c.found) continue;
    auto same = std::find_if(maps.begin(), maps.end(), [&](const MapView& m) { return m.findDir.empty() && m.name == c.map; });
    if (same == maps.end()) {
      maps.push_back(MapView{});
      same = maps.end() - 1;
      same->name = c.map;
    }
    same->cases.push_back(c.name);
  }
  return maps;
}

bool CaseView::noReference() const {
  for (const std::string& w : warnings)
    if (w == "no_reference_strands" || w == "no_reference") return true;
  return false;
}

bool CaseView::poorModelFit() const {
  return modelCaInDensity < kMinStrandCaInDensity || modelMapCorrelation < kMinModelMapCorrelation;
}

CaseView loadCase(const std::string& caseFolder) {
  CaseView c;
  c.caseFolder = caseFolder;
  c.name = fs::path(caseFolder).filename().string();
  json record;
  const std::string recordPath = joinPath(caseFolder, "record.json");
  std::error_code error;
  if (!fs::exists(recordPath, error)) {
    // The record is written when the case is done: without it, it is still to run or running.
    c.status = "unfinished";
    c.message = "no record.json yet: the case has not finished";
    return c;
  }
  try {
    record = readJson(recordPath);
  } catch (const ReportError& e) {
    c.status = "unreadable";
    c.message = e.what();
    return c;
  }
  // The record's paths are read in the batch folder it lies in (OUT/cases/NAME), wherever that was moved or copied.
  const std::string outDir = fs::path(caseFolder).lexically_normal().parent_path().parent_path().string();
  const vel::batch::CaseRecord r = vel::batch::recordFromJson(record, outDir);
  c.status = r.finished ? r.status : "unfinished";
  if (c.status.empty()) c.status = "unknown";
  c.message = r.message;
  c.seconds = number(record, "seconds");
  // Runs made before the batch ran each case in its own folder ran beside their inputs.
  c.runDir = r.runDir.empty() ? r.caseDir : r.runDir;
  c.outputDir = r.outputDir;
  c.summaryPath = r.summary;
  c.metaPath = r.meta;

  if (!c.metaPath.empty()) {
    try {
      const json meta = readJson(c.metaPath);
      c.resolution = number(meta, "resolution_A");
      c.modelCaInDensity = number(member(meta, "model_map_fit"), "strand_ca_in_density");
      c.modelMapCorrelation = number(member(meta, "model_map_fit"), "correlation");
      const json& kind = member(meta, "kind");
      c.found = kind.is_string() && kind.get<std::string>() == "found";
      const json& shape = member(meta, "segment_shape");
      const json& centre = member(shape, "centre_A");
      if (centre.is_array() && centre.size() == 3 && centre[0].is_number() && centre[1].is_number() &&
          centre[2].is_number())
        c.segmentCentre = Coordinate(centre[0].get<double>(), centre[1].get<double>(), centre[2].get<double>());
      c.segmentLength = number(shape, "length_A");
      c.segmentWidth = number(shape, "width_A");
      c.segmentArea = number(shape, "area_A2");
      c.sheetProbability = number(shape, "sheet_probability");
      const json& isSheet = member(meta, "sheet_confidence");
      const json& level = member(isSheet, "level");
      if (level.is_string()) c.sheetConfidence = level.get<std::string>();
      for (const json& reason : member(isSheet, "reasons"))
        if (reason.is_string()) c.sheetConfidenceReasons.push_back(reason.get<std::string>());
      const json& source = member(meta, "map_source");
      if (c.found && source.is_string()) c.map = mapName(source.get<std::string>());
    } catch (const ReportError& e) {
      c.notes.push_back(e.what());
    }
  }
  if (c.summaryPath.empty()) return c;
  try {
    readSummary(c, summaryFromJson(readJson(c.summaryPath)));
  } catch (const ReportError& e) {
    // A summary or stage file that cannot be read leaves the case in the
    // report, without its picture, and says why.
    c.notes.push_back(e.what());
  }
  return c;
}

std::vector<CaseView> loadBatch(const std::string& outDir) {
  const fs::path cases = fs::path(outDir) / "cases";
  std::error_code error;
  // A batch over maps that all gave no sheet has no case, and still a report.
  if (!fs::is_directory(cases, error) && fs::exists(joinPath(outDir, vel::batch::kMapsFile), error)) return {};
  if (!fs::is_directory(cases, error)) throw ReportError("no cases folder in " + outDir);
  std::vector<std::string> folders;
  for (const fs::directory_entry& entry : fs::directory_iterator(cases, error))
    if (entry.is_directory(error)) folders.push_back(entry.path().string());
  if (error) throw ReportError("cannot list " + cases.string() + ": " + error.message());
  std::sort(folders.begin(), folders.end());
  std::vector<CaseView> views;
  for (const std::string& folder : folders) views.push_back(loadCase(folder));
  return views;
}

}  // namespace vel::report
