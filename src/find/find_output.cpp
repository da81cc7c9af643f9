// What the finder leaves in its output folder: one analysis case per kept
// segment, find.json with every segment considered, a label map of the cases
// and two viewer scripts that show them in colour over the map.
#include <nlohmann/json.hpp>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>

#include "find_parts.h"
#include "model_overlap.h"

namespace vel {
namespace find {

namespace fs = std::filesystem;
using Json = nlohmann::ordered_json;

namespace {

// The case map's box reaches this far beyond its voxels, so that the
// analysis's smoothing of the sheet sees empty space at the faces.
constexpr double kCaseMargin = 4.0;

const char* kColours[] = {"red", "blue", "green", "orange", "magenta", "cyan", "yellow", "purple", "salmon", "lime"};
const char* kHexColours[] = {"#e41a1c", "#377eb8", "#4daf4a", "#ff7f00", "#f781bf",
                             "#00bcd4", "#ffd700", "#984ea3", "#fa8072", "#a6d854"};

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw FindError(path.string() + ": cannot be written");
}

Json triple(const Point& p) { return {p[0], p[1], p[2]}; }

}  // namespace

DensityBox caseMap(const DensityBox& box, const std::vector<size_t>& voxels) {
  GridBlock block = blockOf(box, voxels);
  std::array<int, 3>&lo = block.lo, &hi = block.hi;
  DensityBox c;
  for (int d = 0; d < 3; ++d) {
    const int margin = static_cast<int>(std::ceil(kCaseMargin / box.voxel[d]));
    lo[d] -= margin;
    hi[d] += margin;
    c.n[d] = hi[d] - lo[d] + 1;
    c.voxel[d] = box.voxel[d];
    c.origin[d] = box.origin[d] + lo[d] * box.voxel[d];
  }
  c.values.assign(static_cast<size_t>(c.n[0]) * c.n[1] * c.n[2], 0.0f);
  for (size_t at : voxels) {
    const std::array<int, 3> g = gridIndex(box, at);
    c.values[c.index(g[0] - lo[0], g[1] - lo[1], g[2] - lo[2])] = box.values[at];
  }
  return c;
}

namespace {

// A case without a model still needs a PDB file the analysis can read: one
// C-alpha at the segment's centre and no SHEET record reads as a chain
// without reference strands, so the analysis says so in one line and goes
// on, where an empty file would stop it with framed errors.
std::string placeholderPdb(const std::string& caseName, const Point& centre) {
  auto record = [](std::string line) {
    line.resize(80, ' ');
    return line + "\n";
  };
  std::string upper = caseName;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  std::string text = record("REMARK   1 " + upper.substr(0, 69));
  text += record("REMARK   1 NO ATOMIC MODEL: CUT FROM A WHOLE MAP BY VELMORANTIQUE-FIND.");
  text += record("REMARK   1 ONE PLACEHOLDER C-ALPHA AT THE SEGMENT CENTRE AND NO SHEET");
  text += record("REMARK   1 RECORDS: THE ANALYSIS RUNS WITHOUT REFERENCE STRANDS.");
  char buf[96];
  for (double v : centre)
    if (!(std::fabs(v) < 9999.9995)) throw FindError("the segment's centre does not fit the PDB format");
  std::snprintf(buf, sizeof buf, "ATOM      1  CA  GLY A   1    %8.3f%8.3f%8.3f  0.00  0.00           C", centre[0],
                centre[1], centre[2]);
  text += record(buf) + record("TER") + record("END");
  return text;
}

Json shapeJson(const SegmentShape& s) {
  return {{"voxels", s.voxels},         {"volume_A3", s.volume},      {"area_A2", s.area},
          {"thickness_A", s.thickness}, {"length_A", s.length},       {"width_A", s.width},
          {"plate_score", s.plateScore}, {"sheet_probability", s.sheetProbability}, {"fit_residual_A", s.fitResidual}, {"centre_A", triple(s.centre)},
          {"normal", triple(s.normal)}};
}

// Whether a kept segment is a sheet at all. A guided cut is the user's own
// region, on which the classifier was not run: no verdict.
bool judgedAsSheet(const Segment& s) { return s.kept && s.method == "sheet classifier"; }

Json sheetConfidenceJson(const SegmentShape& s) {
  const SheetConfidence c = judgeSheetConfidence(s);
  return {{"level", c.level}, {"reasons", c.reasons}};
}

Json statisticsJson(const MapStatistics& s) {
  return {{"voxels", s.voxels},         {"min", s.min},
          {"max", s.max},               {"mean", s.mean},
          {"sigma", s.sigma},           {"exact_zeros", s.zeros},
          {"background_peak", s.background}, {"background_sigma", s.backgroundSigma},
          {"percentile_99_9", s.highPercentile}};
}

Json levelJson(const Level& l) {
  Json j = {{"value", l.value}, {"text", l.text}, {"rule", l.rule}, {"how", l.description}};
  if (l.volume > 0) j["encloses_A3"] = l.volume;
  return j;
}

Json caseMeta(const FindOptions& o, const FindResult& r, const Segment& s, const DensityBox& c, const SheetOverlap* model) {
  Json j;
  j["case"] = s.caseName;
  j["kind"] = "found";
  j["map_source"] = fs::absolute(o.mapPath).string();
  j["resolution_A"] = o.resolution;
  j["method"] = s.method;
  j["segment"] = s.id;
  j["why"] = s.reason;
  j["segment_shape"] = shapeJson(s.shape);
  if (judgedAsSheet(s)) j["sheet_confidence"] = sheetConfidenceJson(s.shape);
  j["box_voxels"] = {c.n[0], c.n[1], c.n[2]};
  j["voxel_size_A"] = {c.voxel[0], c.voxel[1], c.voxel[2]};
  j["origin_A"] = triple(c.origin);
  const Level& level = s.level.text.empty() ? r.level : s.level;
  j["threshold"] = level.value;
  j["threshold_rule"] = level.rule;
  j["level"] = levelJson(level);
  j["map_level"] = levelJson(r.level);
  // The case holds voxels below its threshold too (the sheet's edges, taken
  // in beside the density): these are the ones the analysis keeps.
  j["voxels_above_threshold"] = voxelsAtOrAbove(c, level.value);
  j["map_statistics"] = statisticsJson(r.stats);
  // The map's voxels without a number were set to 0 before this case was
  // cut, so none of them is in its map.
  j["map_non_finite_voxels_set_to_0"] = r.nonFinite;
  if (model && model->sheet) {
    const prepare::SheetVerdict& v = model->sheet->verdict;
    j["reference"] = "model";
    j["model"] = {{"source", o.modelPath},
                  {"chain", v.chain},
                  {"sheet_id", v.sheet->id},
                  {"strand_ca_in_case", model->strandCaInCase},
                  {"case_voxels_within_6A_of_strand_ca", model->caseVoxelsNearSheet}};
  } else {
    j["reference"] = "none";
    if (!o.modelPath.empty()) j["model"] = {{"source", o.modelPath}, {"sheet_id", nullptr}};
  }
  j["files"] = {{"pdb", s.caseName + ".pdb"}, {"map", s.caseName + ".mrc"}, {"threshold", "threshold"}};
  j["run"] = "velmorantique " + s.caseName + " " + s.caseName + " " + level.text + "   (from inside this folder)";
  return j;
}

// Writes one case folder into `dir`, the hidden folder the run is gathered in.
void writeCase(const fs::path& dir, const FindOptions& o, const FindResult& r, const Segment& s,
               const ModelSheets* model, std::ostream& progress) {
  const fs::path folder = dir / s.caseName;
  fs::create_directories(folder);
  const DensityBox c = caseMap(r.crop.box, s.voxels);
  prepare::writeMrc((folder / (s.caseName + ".mrc")).string(), c);
  writeText(folder / "threshold", (s.level.text.empty() ? r.level.text : s.level.text) + "\n");
  SheetOverlap overlap;
  if (model) overlap = bestOverlap(r.crop.box, s.voxels, *model);
  if (overlap.sheet) {
    const prepare::SheetVerdict& v = overlap.sheet->verdict;
    prepare::writeCasePdb((folder / (s.caseName + ".pdb")).string(), model->structure, v,
                          "SHEET " + v.sheet->id + " OF CHAIN " + v.chain + " OVERLAPPING " + s.caseName);
  } else {
    writeText(folder / (s.caseName + ".pdb"), placeholderPdb(s.caseName, s.shape.centre));
  }
  writeText(folder / "meta.json", caseMeta(o, r, s, c, model ? &overlap : nullptr).dump(1) + "\n");
  progress << "  " << s.caseName << ": " << s.voxels.size() << " voxels, " << s.reason << "\n";
}

DensityBox labelMap(const FindResult& r);

// The worked box seen down z on a grid of at most kProjectionCells a side:
// per cell the densest voxel of its column (over the map's 99.9th
// percentile, 0 to 1) and the case whose voxels fill most of it (0 none), for
// the report's picture of the map.
constexpr int kProjectionCells = 90;
Json projectionJson(const FindResult& r) {
  const DensityBox& box = r.crop.box;
  const DensityBox labels = labelMap(r);
  const double step = std::max({box.voxel[0], box.voxel[1],
                                std::max(box.n[0] * box.voxel[0], box.n[1] * box.voxel[1]) / kProjectionCells});
  const int columns = std::max(1, static_cast<int>(std::ceil(box.n[0] * box.voxel[0] / step)));
  const int rows = std::max(1, static_cast<int>(std::ceil(box.n[1] * box.voxel[1] / step)));
  const double top = r.stats.highPercentile > 0 ? r.stats.highPercentile : 1;
  std::vector<double> density(static_cast<size_t>(columns) * rows, 0.0);
  std::vector<std::map<int, size_t>> counts(density.size());
  for (int k = 0; k < box.n[2]; ++k)
    for (int j = 0; j < box.n[1]; ++j)
      for (int i = 0; i < box.n[0]; ++i) {
        const size_t at = box.index(i, j, k);
        const int q = std::min(columns - 1, static_cast<int>(i * box.voxel[0] / step));
        const int p = std::min(rows - 1, static_cast<int>(j * box.voxel[1] / step));
        const size_t cell = static_cast<size_t>(p) * columns + q;
        const double v = box.values[at] / top;
        if (v > density[cell]) density[cell] = std::min(1.0, v);
        if (labels.values[at] > 0) ++counts[cell][static_cast<int>(labels.values[at])];
      }
  Json values = Json::array(), owners = Json::array(), cases = Json::array();
  for (size_t c = 0; c < density.size(); ++c) {
    values.push_back(std::round(density[c] * 1000) / 1000);
    int owner = 0;
    size_t most = 0;
    for (const auto& [label, n] : counts[c])
      if (n > most) owner = label, most = n;
    owners.push_back(owner);
  }
  for (const Segment& s : r.segments)
    if (s.kept) cases.push_back(s.caseName);
  return {{"down", "z"},     {"origin_A", {box.origin[0], box.origin[1]}}, {"step_A", step}, {"columns", columns},
          {"rows", rows},    {"density", values}, {"labels", owners}, {"cases", cases}};
}

Json findJson(const FindOptions& o, const FindResult& r) {
  Json j;
  j["map"] = fs::absolute(o.mapPath).string();
  j["name"] = r.name;
  j["resolution_A"] = o.resolution;
  const ResolutionCheck& c = r.resolution;
  j["resolution_check"] = {{"given_A", c.given},
                           {"estimate_A", std::isfinite(c.estimate) ? Json(c.estimate) : Json(nullptr)},
                           {"disagrees", c.disagrees},
                           {"warning", c.warning.empty() ? Json(nullptr) : Json(c.warning)},
                           {"note", c.note.empty() ? Json(nullptr) : Json(c.note)}};
  j["level"] = levelJson(r.level);
  j["map_statistics"] = statisticsJson(r.stats);
  j["non_finite_voxels_set_to_0"] = r.nonFinite;
  j["pieces"] = {{"kept", r.pieces.pieces.size()},
                 {"left_out", r.pieces.dropped},
                 {"left_out_voxels", r.pieces.droppedVoxels}};
  j["worked_box"] = {{"origin_A", triple(r.crop.box.origin)}, {"voxels", {r.crop.box.n[0], r.crop.box.n[1], r.crop.box.n[2]}}};
  j["tiny_segments_left_out"] = r.tinySegments;
  Json segments = Json::array();
  for (const Segment& s : r.segments) {
    Json e = {{"segment", s.id}, {"method", s.method}, {"kept", s.kept}, {"why", s.reason}};
    e["case"] = s.kept ? Json(s.caseName) : Json(nullptr);
    e["core_voxels"] = s.core.size();
    e["shape"] = shapeJson(s.shape);
    if (judgedAsSheet(s)) e["sheet_confidence"] = sheetConfidenceJson(s.shape);
    segments.push_back(e);
  }
  j["segments"] = segments;
  j["projection"] = projectionJson(r);
  return j;
}

// The worked box with each kept case's voxels set to its number.
DensityBox labelMap(const FindResult& r) {
  DensityBox labels = r.crop.box;
  std::fill(labels.values.begin(), labels.values.end(), 0.0f);
  int number = 0;
  for (const Segment& s : r.segments) {
    if (!s.kept) continue;
    ++number;
    for (size_t at : s.voxels) labels.values[at] = static_cast<float>(number);
  }
  return labels;
}

// The viewer scripts name every file by its absolute path, in quotes; a
// path that a script line cannot carry is left out, and the script says so.
const char* const kLeftOut = "# a path holds characters a script line cannot carry: that file is left out, open it by hand\n";

std::string pymolScript(const FindResult& r, const std::string& dir, const std::string& mapPath) {
  std::ostringstream s;
  s << "# the segments found in the map, each in its colour, over the map at its level (grey mesh)\n"
       "reinitialize\nbg_color white\n"
       // PyMOL would rescale each map to its own mean and sigma: the levels are the map's own units.
       "set normalize_ccp4_maps, 0\n";
  const std::string map = scriptPath(mapPath);
  if (map.empty())
    s << kLeftOut;
  else
    s << "load " << map << ", whole_map\nisomesh whole_mesh, whole_map, " << r.level.text
      << "\ncolor grey60, whole_mesh\ndisable whole_map\n";
  int number = 0;
  for (const Segment& seg : r.segments) {
    if (!seg.kept) continue;
    const int k = number++ % 10;
    const std::string path = scriptPath(dir + "/" + seg.caseName + "/" + seg.caseName + ".mrc");
    if (path.empty()) {
      s << kLeftOut;
      continue;
    }
    s << "load " << path << ", " << seg.caseName << "_map\n"
      << "isosurface " << seg.caseName << ", " << seg.caseName << "_map, " << r.level.text << "\n"
      << "color " << kColours[k] << ", " << seg.caseName << "\n"
      << "disable " << seg.caseName << "_map\n";
  }
  const std::string labels = scriptPath(dir + "/" + r.name + "_segments.mrc");
  if (labels.empty())
    s << kLeftOut;
  else
    s << "load " << labels << ", segments\ndisable segments\n";
  s << "orient\n";
  return s.str();
}

std::string chimeraxScript(const FindResult& r, const std::string& dir, const std::string& mapPath) {
  std::ostringstream s;
  s << "# the segments found in the map, each in its colour, over the map at its level (grey mesh)\n"
       "close session\nset bgColor white\n";
  int model = 0;
  const std::string map = scriptPath(mapPath);
  if (map.empty())
    s << kLeftOut;
  else
    s << "open " << map << " format mrc\nvolume #" << ++model << " style mesh level " << r.level.text
      << " color #999999\n";
  int number = 0;
  for (const Segment& seg : r.segments) {
    if (!seg.kept) continue;
    ++number;
    const std::string path = scriptPath(dir + "/" + seg.caseName + "/" + seg.caseName + ".mrc");
    if (path.empty()) {
      s << kLeftOut;
      continue;
    }
    s << "open " << path << " format mrc\nvolume #" << ++model << " style surface level " << r.level.text
      << " color " << kHexColours[(number - 1) % 10] << "\n";
  }
  s << "view\n";
  return s.str();
}

// A case folder of find's: NAME_sK.
bool isCaseFolder(const std::string& name) {
  const size_t at = name.rfind("_s");
  if (at == std::string::npos || at == 0 || at + 2 == name.size()) return false;
  for (size_t i = at + 2; i < name.size(); ++i)
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return false;
  return true;
}

bool endsWith(const std::string& s, const std::string& end) {
  return s.size() > end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// What a run of find (of any map, by this version or an earlier one) leaves
// in its output folder.
bool isFindOutput(const fs::directory_entry& e) {
  const std::string name = e.path().filename().string();
  std::error_code ec;
  if (e.is_symlink(ec)) return false;
  if (e.is_directory(ec)) return isCaseFolder(name) || name.rfind(".find.partial-", 0) == 0;
  return name == "find.json" || name == kLockFile || endsWith(name, "_segments.mrc") ||
         endsWith(name, "_segments.pml") || endsWith(name, "_segments.cxc");
}

}  // namespace

void checkOutputFolder(const FindOptions& o) {
  std::error_code ec;
  const fs::file_status status = fs::status(o.outDir, ec);
  if (!fs::exists(status)) return;
  if (!fs::is_directory(status))
    throw FindError("-o " + o.outDir + " is a file, not a folder: give a new or empty folder");
  // The run is written beside the folder it replaces.
  const fs::path parent = fs::canonical(o.outDir, ec).parent_path();
  if (!ec && ::access(parent.c_str(), W_OK) != 0)
    throw FindError("cannot write in " + parent.string() + ", where a run of find is gathered before it takes " +
                    o.outDir + "'s place: give -o a folder inside one you can write to");
  std::string earlier;
  for (const auto& e : fs::directory_iterator(o.outDir, ec)) {
    const std::string name = e.path().filename().string();
    if (!isFindOutput(e))
      throw FindError(o.outDir + " holds " + name +
                      ", which is not of an earlier run of velmorantique-find: give -o a new or empty folder");
    if (earlier.empty() && name != kLockFile) earlier = name;
  }
  if (ec) throw FindError("cannot read the output folder " + o.outDir + ": " + ec.message());
  if (!earlier.empty() && !o.force)
    throw FindError(o.outDir + " already holds the results of a run (" + earlier + "); use --force to replace them");
}

int writeFindOutput(const FindOptions& o, const FindResult& r, output::FolderLock& lock, std::ostream& progress) {
  checkOutputFolder(o);  // again, now that the folder is this run's alone
  // The model is read before anything is written: one that cannot be read
  // must not cost the results it was to replace.
  ModelSheets model;
  if (!o.modelPath.empty()) model = readModelSheets(o.modelPath);
  // The run is gathered whole beside the output folder (the real one, when
  // -o is a link to it) and then takes its place in one step.
  std::error_code ec;
  const fs::path out = fs::canonical(o.outDir, ec);
  if (ec) throw FindError("cannot find the output folder " + o.outDir + ": " + ec.message());
  output::clearLeftovers(out.parent_path().string(), out.filename().string());
  const fs::path staging = output::stagingPath(out.string());
  int written = 0;
  try {
    fs::create_directories(staging);
    lock.holdAlso(staging.string());
    for (const Segment& s : r.segments) {
      if (!s.kept) continue;
      writeCase(staging, o, r, s, o.modelPath.empty() ? nullptr : &model, progress);
      ++written;
    }
    prepare::writeMrc((staging / (r.name + "_segments.mrc")).string(), labelMap(r));
    const std::string dir = fs::absolute(o.outDir).lexically_normal().string();
    const std::string map = fs::absolute(o.mapPath).lexically_normal().string();
    writeText(staging / (r.name + "_segments.pml"), pymolScript(r, dir, map));
    writeText(staging / (r.name + "_segments.cxc"), chimeraxScript(r, dir, map));
    writeText(staging / "find.json", findJson(o, r).dump(1) + "\n");
  } catch (const std::exception& e) {
    fs::remove_all(staging, ec);
    // Said of the file's own place, not of the folder it was gathered in.
    std::string what = e.what();
    const std::string hidden = staging.string();
    for (size_t at; (at = what.find(hidden)) != std::string::npos;) what.replace(at, hidden.size(), o.outDir);
    throw FindError(what + "; nothing in " + o.outDir + " was changed");
  }
  try {
    output::replaceFolder(staging.string(), out.string());
  } catch (const output::OutputFolderError& e) {
    fs::remove_all(staging, ec);
    throw FindError(std::string(e.what()) + "; nothing in " + o.outDir + " was changed");
  }
  return written;
}

}  // namespace find
}  // namespace vel
