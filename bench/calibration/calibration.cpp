// calibration: the shape direction, the shape twist and the verdict measured
// on real sheets, prepared from the entries that Debian packages ship.
//
//   calibration --data DIR [--entries FILE] [--program PATH] [--split held_out|tuning|fresh|all]
//               [--features FILE] [--jobs N] [--list] [--explore]
//
// DIR is the folder fetch_entries.sh filled (DIR/entries/ENTRY.pdb|cif). Each
// eligible sheet of each chain named in the list is prepared at 6, 8 and 10 Å
// into DIR/cases/ (kept between runs), and measured as prepared, low-passed
// at its resolution and with band-limited noise added (each copy contoured
// again to the same volume). The program given is run once on each copy (its
// run summary kept in DIR/summaries/) for the core's top-twist direction,
// on the copies as prepared (--run-all-copies: on every copy).
// --explore adds to the features file the readings weighed and not kept
// (docs/verdict.md): the normal read over other radii and smoothings,
// a radius picked per sheet by its fit, the core's candidates choosing the
// family of lines, and how far the normal turns between 3 and 6 Å.
// The table printed is that of one split: the held-out half by default, the
// proteins never looked at while tuning; `fresh` is the third set
// (entries_fresh.tsv, given with --entries), chosen after the rule was fixed.
// entries.tsv gives each row its homology group (homologues by sequence or by
// fold share one, and so one side of the split) and the identical copies of
// its chains that are left out, so that no sheet is counted twice.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/reference_structure.h"
#include "shape_sheets.h"
#include "velmorantique/confidence.h"
#include "velmorantique/map.h"
#include "velmorantique/prepare.h"
#include "velmorantique/shape.h"
#include "velmorantique/summary.h"

using namespace vel;

namespace fs = std::filesystem;
namespace prep = vel::prepare;
using nlohmann::json;

namespace {

// A row of the list: `chains` names the chains prepared (one copy of
// identical chains); `group` is the homology group (homologues by sequence or
// by fold share one, and one side of the split), the protein when not given.
struct Entry {
  std::string package, path, entry, protein, sheetsFrom, chains, split, group;
};

std::vector<Entry> readEntries(const std::string& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("cannot read " + file);
  std::string line;
  std::getline(in, line);  // header
  std::vector<Entry> out;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string cell;
    while (std::getline(ss, cell, '\t')) f.push_back(cell);
    if (f.size() < 7) throw std::runtime_error("short row in " + file + ": " + line);
    out.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f.size() > 7 ? f[7] : f[3]});
  }
  return out;
}

std::string structureFile(const std::string& data, const Entry& e) {
  for (const char* ext : {".pdb", ".cif"})
    if (fs::exists(data + "/entries/" + e.entry + ext)) return data + "/entries/" + e.entry + ext;
  return "";
}

// Every eligible sheet of the chains asked for, at 6, 8 and 10 Å, prepared
// once into DIR/cases/ (an entry's folders are reused when its mark exists).
std::vector<std::string> prepareEntry(const std::string& data, const Entry& e, bool listOnly) {
  const std::string casesDir = data + "/cases";
  const std::string mark = casesDir + "/.prepared_" + e.entry + "_" + e.chains;
  std::vector<std::string> names;
  if (!listOnly && fs::exists(mark)) {
    std::ifstream in(mark);
    for (std::string n; std::getline(in, n);)
      if (!n.empty()) names.push_back(n);
    return names;
  }
  const std::string file = structureFile(data, e);
  if (file.empty()) {
    std::fprintf(stderr, "  %s: not fetched\n", e.entry.c_str());
    return names;
  }
  // Several rows may name chains of one large entry: it is read once.
  static std::string lastFile;
  static prep::Structure st;
  if (file != lastFile) {
    st = prep::readStructure(file);
    lastFile = file;
  }
  st.entry = e.entry;  // entries made by mkdssp carry a placeholder name
  std::set<std::string> wanted;
  if (e.chains != "all") {
    std::stringstream ss(e.chains);
    for (std::string c; std::getline(ss, c, ',');) wanted.insert(c);
  }
  for (const prep::Chain& chain : st.chains) {
    if (!wanted.empty() && !wanted.count(chain.name)) continue;
    if (!chain.aminoAcids) continue;  // DNA, ligands: no sheets to prepare
    prep::PrepareOptions o;
    o.outDir = casesDir;
    o.resolutions = {6, 8, 10};
    o.chain = chain.name;
    o.force = true;
    int eligible = 0;
    for (const prep::SheetVerdict& v : prep::judgeSheets(st, chain.name))
      if (v.chain == chain.name) {
        if (v.eligible) {
          o.sheets.push_back(v.sheet->id);
          ++eligible;
        } else if (listOnly) {
          std::printf("  %s\n", prep::describeVerdict(v).c_str());
        }
      }
    if (listOnly) {
      std::printf("%s\t%s\t%s\t%s\t%d eligible\n", e.entry.c_str(), e.protein.c_str(), e.split.c_str(),
                  chain.name.c_str(), eligible);
      continue;
    }
    if (o.sheets.empty()) continue;
    std::ostringstream progress;
    for (const prep::CaseOutcome& c : prep::prepareCases(st, o, progress)) {
      if (c.written)
        names.push_back(c.name);
      else
        std::fprintf(stderr, "  %s: %s\n", c.name.c_str(), c.message.c_str());
    }
  }
  if (!listOnly) {
    std::ofstream out(mark);
    for (const std::string& n : names) out << n << "\n";
  }
  return names;
}

enum Copy { kClean, kLowPassed, kNoisy, kCopies };
const char* const kCopyNames[] = {"clean", "lowpass", "noisy"};

double enclosedVolume(const DensityGrid& g, double t) {
  size_t n = 0;
  for (float v : g.values)
    if (static_cast<double>(v) >= t) ++n;
  return n * g.voxel[0] * g.voxel[1] * g.voxel[2];
}

double jsonNumber(const json& j, double fallback = NAN) { return j.is_number() ? j.get<double>() : fallback; }

struct Case {
  std::string name, entry, protein, split, group;
  double resolution = 0, referenceTwist = NAN;
  int strands = 0;
  Vectors axis;
  DensityGrid grids[kCopies];
  double thresholds[kCopies];
  double volumeFactor = 1;  // the share of the strand residues' volume the case's threshold encloses
};

// The same noise recipe as the shape benchmark: white noise low-passed at the
// resolution, 0.3 of the level that encloses the strand residues' whole
// volume, then contoured again by the case's volume. The noise is set by the
// whole volume's level, not the case's threshold, so that a threshold nearer
// the backbone does not make the same map noisier. Each case (named for its
// sheet and resolution) has its own noise stream.
void addCopies(Case& c) {
  const double volume = enclosedVolume(c.grids[kClean], c.thresholds[kClean]);
  const double wholeVolumeLevel =
      c.volumeFactor == 1 ? c.thresholds[kClean] : thresholdForVolume(c.grids[kClean], volume / c.volumeFactor);
  c.grids[kLowPassed] = lowPassed(c.grids[kClean], c.resolution);
  c.thresholds[kLowPassed] = thresholdForVolume(c.grids[kLowPassed], volume);
  c.grids[kNoisy] = withBandLimitedNoise(c.grids[kClean], wholeVolumeLevel, c.resolution, noiseSeed(c.name));
  c.thresholds[kNoisy] = thresholdForVolume(c.grids[kNoisy], volume);
}

Case loadCase(const std::string& data, const std::string& name, const Entry& e) {
  Case c;
  c.name = name;
  c.entry = e.entry;
  c.protein = e.protein;
  c.split = e.split;
  c.group = e.group;
  const std::string dir = data + "/cases/" + name;
  std::ifstream metaIn(dir + "/meta.json");
  const json meta = json::parse(metaIn);
  c.resolution = jsonNumber(meta["resolution_A"], 8);
  c.referenceTwist = jsonNumber(meta["mean_inter_strand_angle_deg"]);
  c.strands = meta["strand_count"].get<int>();
  c.volumeFactor = jsonNumber(meta["volume_factor"], 1);
  c.axis = meanStrandAxis(FindTrueCAs(dir + "/" + name));
  Map map;
  map.read(dir + "/" + name + ".mrc");
  c.grids[kClean] = densityGridFromMap(map);
  std::ifstream t(dir + "/threshold");
  t >> c.thresholds[kClean];
  addCopies(c);
  return c;
}

// Writes a copy's map beside a link to the case's PDB file, runs the program
// there, keeps its run summary and clears the rest.
pid_t startRun(const std::string& program, const std::string& data, const Case& c, int copy) {
  const std::string tag = c.name + "_" + kCopyNames[copy];
  const fs::path work = fs::path(data) / "runs" / tag;
  fs::remove_all(work);
  fs::create_directories(work);
  fs::copy_file(fs::path(data) / "cases" / c.name / (c.name + ".pdb"), work / (tag + ".pdb"));
  prep::DensityBox box;
  const DensityGrid& g = c.grids[copy];
  box.n = {g.nx, g.ny, g.nz};
  box.voxel = {g.voxel[0], g.voxel[1], g.voxel[2]};
  box.origin = {g.origin[0], g.origin[1], g.origin[2]};
  box.values = g.values;
  prep::writeMrc((work / (tag + ".mrc")).string(), box);
  {
    // The resolution, as a prepared case's meta.json gives it.
    std::ofstream meta(work / "meta.json");
    meta << json{{"resolution_A", c.resolution}}.dump() << "\n";
  }
  char t[64];
  std::snprintf(t, sizeof t, "%.9g", c.thresholds[copy]);
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(work.c_str()) != 0) _exit(127);
    FILE* null = std::freopen("/dev/null", "w", stdout);
    null = std::freopen("/dev/null", "w", stderr);
    null = std::freopen("/dev/null", "r", stdin);
    (void)null;
    execl(program.c_str(), program.c_str(), tag.c_str(), tag.c_str(), t, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

std::string summaryPath(const std::string& data, const Case& c, int copy) {
  return data + "/summaries/" + c.name + "_" + kCopyNames[copy] + ".json";
}

void finishRun(const std::string& data, const Case& c, int copy) {
  const std::string tag = c.name + "_" + kCopyNames[copy];
  const fs::path work = fs::path(data) / "runs" / tag;
  const fs::path summary = work / (tag + "twist") / (tag + "_summary.json");
  std::error_code ec;
  if (fs::exists(summary)) fs::copy_file(summary, summaryPath(data, c, copy), fs::copy_options::overwrite_existing, ec);
  fs::remove_all(work, ec);
}

// Runs the program on the first `copies` copies of every case whose summary
// is missing, `jobs` at a time.
void runProgram(const std::string& program, const std::string& data, const std::vector<Case>& cases, int jobs,
                int copies) {
  fs::create_directories(data + "/summaries");
  std::vector<std::pair<size_t, int>> todo;
  for (size_t i = 0; i < cases.size(); ++i)
    for (int copy = 0; copy < copies; ++copy)
      if (!fs::exists(summaryPath(data, cases[i], copy))) todo.push_back({i, copy});
  std::map<pid_t, std::pair<size_t, int>> running;
  size_t next = 0, done = 0;
  while (next < todo.size() || !running.empty()) {
    while (next < todo.size() && static_cast<int>(running.size()) < jobs) {
      const auto [i, copy] = todo[next++];
      running[startRun(program, data, cases[i], copy)] = {i, copy};
    }
    int status = 0;
    const pid_t pid = wait(&status);
    if (pid <= 0) break;
    const auto it = running.find(pid);
    if (it == running.end()) continue;
    finishRun(data, cases[it->second.first], it->second.second);
    running.erase(it);
    if (++done % 50 == 0) std::fprintf(stderr, "  %zu/%zu runs\n", done, todo.size());
  }
}

double median(std::vector<double> v) {
  v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Measured {
  const Case* c;
  int copy;
  double shapeError = NAN, legacyError = NAN, coreError = NAN, twist = NAN, twistError = NAN;
  std::string level, runLevel;  // this verdict, and the one the program's run summary gives
  vel::Confidence confidence;
  std::vector<std::pair<std::string, double>> extra;  // other estimators' errors and their own figures
};

// Other readings of the same density, for comparing rules on the tuning half;
// each reads one surface over the whole slab, as the estimate did when they
// were weighed.
void alternatives(const DensityGrid& g, double t, const Vectors& axis, const ShapeDirection& main,
                  std::vector<std::pair<std::string, double>>& extra) {
  ShapeOptions o;
  o.patchSpacing = 0;
  o.rule = StrandRule::NaturalAsymptote;
  const ShapeDirection asym = estimateShapeDirection(g, t, o);
  extra.push_back({"asymptote_error", asym.found ? axisAngleDegrees(asym.direction, axis) : 90.0});
  for (double taper : {6.0, 9.0, 12.0}) {
    ShapeOptions tapered;
    tapered.patchSpacing = 0;
    tapered.fitTaper = taper;
    const ShapeDirection d = estimateShapeDirection(g, t, tapered);
    char key[64];
    std::snprintf(key, sizeof key, "taper%g_error", taper);
    extra.push_back({key, d.found ? axisAngleDegrees(d.direction, axis) : 90.0});
  }
  if (!main.found) return;
  const Vectors e1 = main.direction;
  const Vectors e2 = main.normal.cross(e1).unit();
  {
    // The long in-plane axis: the direction turned back by theta about the normal.
    const double th = -main.theta_deg * kPi / 180;
    Vectors longAxis = e1.mul(std::cos(th));
    longAxis += e2.mul(std::sin(th));
    extra.push_back({"long_axis_error", axisAngleDegrees(longAxis, axis)});
    extra.push_back({"theta_deg", main.theta_deg});
    // Where the reference lies against the reading's plane: how far out of
    // it, and its in-plane angle from the long axis, so that a miss can be
    // told apart as a wrong plane or a wrong line within it.
    const Vectors a = axis.unit();
    extra.push_back({"ref_out_of_plane_deg", 90 - axisAngleDegrees(a, main.normal)});
    const Vectors longE2 = main.normal.cross(longAxis).unit();
    double refTheta = std::atan2(a.dot(longE2), a.dot(longAxis)) * 180 / kPi;
    if (refTheta < 0) refTheta += 180;
    extra.push_back({"ref_theta_deg", refTheta});
  }
}

// Readings weighed for the direction and the verdict and not kept, each
// against the reference; `candidates` are the core's, best first.
void explorations(const DensityGrid& g, double t, const Vectors& axis, const ShapeDirection& main,
                  const std::vector<Vectors>& candidates, std::vector<std::pair<std::string, double>>& extra) {
  auto error = [&](const ShapeDirection& d) { return d.found ? axisAngleDegrees(d.direction, axis) : 90.0; };
  // The normal over other radii and smoothings; per sheet, among 3-6 Å at
  // the usual smoothing, the radius whose fit twists most.
  double pickedTwist = -INFINITY, pickedError = 90;
  for (double sigma : {1.5, 2.0, 3.0})
    for (double radius : {2.0, 3.0, 4.0, 5.0, 6.0, 8.0}) {
      ShapeOptions o;
      o.patchSpacing = 0;
      o.smoothingSigma = sigma;
      o.normalRadius = radius;
      const ShapeDirection d = estimateShapeDirection(g, t, o);
      char key[64];
      std::snprintf(key, sizeof key, "normal_r%g_s%g_error", radius, sigma);
      extra.push_back({key, error(d)});
      if (sigma == 2.0 && radius >= 3 && radius <= 6 && d.found && d.twistRate > pickedTwist) {
        pickedTwist = d.twistRate;
        pickedError = error(d);
      }
      if (sigma == 2.0 && radius == 6.0)
        extra.push_back({"normal_turn_deg", d.found && main.found ? axisAngleDegrees(d.normal, main.normal) : NAN});
    }
  extra.push_back({"radius_by_twist_error", pickedError});
  // The core's candidates as a vote between the direction and the line across it.
  double along = NAN, across = NAN;
  if (main.found && !candidates.empty()) {
    const Vectors a = main.direction, b = main.normal.cross(a).unit();
    int n = 0;
    for (const Vectors& v : candidates)
      if (std::fabs(v.dot(a)) >= std::fabs(v.dot(b))) ++n;
    along = static_cast<double>(n) / candidates.size();
    across = axisAngleDegrees(b, axis);
  }
  extra.push_back({"core_along_share", along});
  extra.push_back({"across_error", across});
}

// What one copy's run and the shape library say, against the reference.
Measured measure(const std::string& data, const Case& c, int copy, bool haveRuns, bool explore) {
  Measured m;
  m.c = &c;
  m.copy = copy;
  vel::RunEvidence evidence;
  evidence.resolution = c.resolution;
  if (haveRuns) {
    std::ifstream in(summaryPath(data, c, copy));
    if (in) {
      const RunSummary s = summaryFromJson(json::parse(in, nullptr, false));
      // The candidates' directions as the run summary gives them and the
      // program's own verdict weighs them: the line of each candidate's
      // sticks, the line a viewer shows and the one `direction_error`
      // measures against the reference.
      for (const SummaryTopEntry& t : s.top) {
        const Triple& d = t.direction;
        if (!std::isnan(d[0])) evidence.candidateDirections.push_back(Vectors(d[0], d[1], d[2]));
      }
      if (s.sheet && s.sheet->fittingError) evidence.fittingError = *s.sheet->fittingError;
      if (s.confidence) m.runLevel = s.confidence->level;
    }
    if (!evidence.candidateDirections.empty())
      m.coreError = axisAngleDegrees(evidence.candidateDirections.front(), c.axis);
  }
  const vel::ShapeReading reading = vel::readShape(c.grids[copy], c.thresholds[copy]);
  m.shapeError = reading.direction.found ? axisAngleDegrees(reading.direction.direction, c.axis) : 90.0;
  // The estimate before the sheet was read patch by patch: one surface.
  m.legacyError = reading.direction.found ? axisAngleDegrees(reading.direction.surfaceDirection, c.axis) : 90.0;
  m.twist = reading.twistDegrees;
  m.twistError = m.twist - c.referenceTwist;
  m.confidence = vel::judgeConfidence(reading, evidence);
  alternatives(c.grids[copy], c.thresholds[copy], c.axis, reading.direction, m.extra);
  if (explore)
    explorations(c.grids[copy], c.thresholds[copy], c.axis, reading.direction, evidence.candidateDirections, m.extra);
  // The core's ten candidates as a vote: the line that agrees best with them.
  m.extra.push_back({"core_vote_error", evidence.candidateDirections.empty() ? NAN
                         : axisAngleDegrees(meanLineDirection(evidence.candidateDirections), c.axis)});
  m.level = m.confidence.level;
  return m;
}

struct Row {
  std::vector<double> shape, legacy, core, twistErr;
  std::map<std::string, std::pair<int, int>> levels;  // level -> (cases, right)
  void add(const Measured& m) {
    shape.push_back(m.shapeError);
    legacy.push_back(m.legacyError);
    core.push_back(m.coreError);
    twistErr.push_back(std::fabs(m.twistError));
    auto& l = levels[m.level];
    ++l.first;
    if (m.shapeError <= 20) ++l.second;
  }
  static std::string within(const std::vector<double>& v) {
    int n = 0, k = 0;
    for (double e : v)
      if (!std::isnan(e)) {
        ++n;
        if (e <= 20) ++k;
      }
    char s[64];
    if (n == 0) return "-";
    std::snprintf(s, sizeof s, "%d/%d %.0f%% (med %.1f)", k, n, 100.0 * k / n, median(v));
    return s;
  }
};

void printTable(const std::vector<Measured>& all, const std::string& split) {
  std::map<std::string, Row> rows;
  std::set<std::string> proteins, groups, sheets;
  int compared = 0, differing = 0;
  for (const Measured& m : all) {
    if (split != "all" && m.c->split != split) continue;
    proteins.insert(m.c->protein);
    groups.insert(m.c->group);
    if (!m.runLevel.empty()) {
      ++compared;
      differing += m.runLevel != m.level;
    }
    sheets.insert(m.c->name.substr(0, m.c->name.rfind('_')));
    char res[16];
    std::snprintf(res, sizeof res, "%gA", m.c->resolution);
    rows[std::string(kCopyNames[m.copy]) + " " + res].add(m);
    rows[std::string(kCopyNames[m.copy]) + " all"].add(m);
    rows["all"].add(m);
  }
  std::printf("\nSplit: %s (%zu proteins in %zu homology groups, %zu sheets, each at 6, 8 and 10 A)\n",
              split.c_str(), proteins.size(), groups.size(), sheets.size());
  if (compared > 0)
    std::printf("The verdict differs from the one in the program's run summary on %d of %d copies run\n", differing,
                compared);
  std::printf("Within 20 deg of the reference strands / cases (median error, deg)\n");
  std::printf("%-14s %-24s %-24s %-24s %-10s\n", "copy", "shape direction", "shape, one surface",
              "core top-twist", "|twist err|");
  for (const auto& [key, r] : rows)
    std::printf("%-14s %-24s %-24s %-24s %5.1f\n", key.c_str(), Row::within(r.shape).c_str(),
                Row::within(r.legacy).c_str(), Row::within(r.core).c_str(), median(r.twistErr));
  const Row& a = rows["all"];
  int total = 0, wrong = 0;
  for (const auto& [level, n] : a.levels) {
    total += n.first;
    wrong += n.first - n.second;
  }
  std::printf("\nConfidence (shape direction right = within 20 deg), all copies:\n");
  std::printf("%-8s %8s %10s %12s %16s\n", "level", "cases", "coverage", "share right", "of the wrong");
  for (const char* level : {"high", "medium", "low"}) {
    const auto it = a.levels.find(level);
    const int n = it == a.levels.end() ? 0 : it->second.first;
    const int right = it == a.levels.end() ? 0 : it->second.second;
    std::printf("%-8s %8d %9.0f%% %11.0f%% %15.0f%%\n", level, n, total ? 100.0 * n / total : 0.0,
                n ? 100.0 * right / n : 0.0, wrong ? 100.0 * (n - right) / wrong : 0.0);
  }
}

// One line per copy with every signal, for looking into the tuning half.
void writeFeatures(const std::string& file, const std::vector<Measured>& all) {
  std::ofstream out(file);
  bool header = false;
  for (const Measured& m : all) {
    if (!header) {
      out << "case\tentry\tprotein\tsplit\tresolution\tcopy\tstrands\treference_twist\tshape_error\tlegacy_error"
             "\tcore_error\tshape_twist\tlevel";
      for (const auto& [k, v] : m.confidence.signals) out << "\t" << k;
      for (const auto& [k, v] : m.extra) out << "\t" << k;
      out << "\n";
      header = true;
    }
    out << m.c->name << "\t" << m.c->entry << "\t" << m.c->protein << "\t" << m.c->split << "\t" << m.c->resolution
        << "\t" << kCopyNames[m.copy] << "\t" << m.c->strands << "\t" << m.c->referenceTwist << "\t" << m.shapeError
        << "\t" << m.legacyError << "\t" << m.coreError << "\t" << m.twist << "\t" << m.level;
    for (const auto& [k, v] : m.confidence.signals) out << "\t" << v;
    for (const auto& [k, v] : m.extra) out << "\t" << v;
    out << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string data, entriesFile = std::string(VEL_SOURCE_DIR) + "/bench/calibration/entries.tsv";
  std::string program, split = "held_out", features;
  int jobs = 2;
  bool list = false, allCopies = false, explore = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--data") data = value();
    else if (a == "--entries") entriesFile = value();
    else if (a == "--program") program = value();
    else if (a == "--split") split = value();
    else if (a == "--features") features = value();
    else if (a == "--jobs") jobs = std::max(1, std::atoi(value().c_str()));
    else if (a == "--list") list = true;
    else if (a == "--run-all-copies") allCopies = true;
    else if (a == "--explore") explore = true;
    else {
      std::fprintf(stderr,
                   "usage: calibration --data DIR [--entries FILE] [--program PATH] [--split held_out|tuning|fresh|all]\n"
                   "                   [--features FILE] [--jobs N (2)] [--run-all-copies] [--list] [--explore]\n");
      return a == "--help" || a == "-h" ? 0 : 1;
    }
  }
  if (data.empty()) {
    std::fprintf(stderr, "calibration: --data DIR is required (fill it with fetch_entries.sh)\n");
    return 1;
  }
  const std::vector<Entry> entries = readEntries(entriesFile);
  fs::create_directories(data + "/cases");
  std::vector<Case> cases;
  for (const Entry& e : entries) {
    if (!list && split != "all" && e.split != split) continue;
    std::fprintf(stderr, "%s (%s, %s)\n", e.entry.c_str(), e.protein.c_str(), e.split.c_str());
    for (const std::string& name : prepareEntry(data, e, list)) cases.push_back(loadCase(data, name, e));
  }
  if (list) return 0;
  if (!program.empty()) runProgram(fs::absolute(program).string(), data, cases, jobs, allCopies ? kCopies : 1);
  std::vector<Measured> all;
  for (const Case& c : cases)
    for (int copy = 0; copy < kCopies; ++copy) all.push_back(measure(data, c, copy, !program.empty(), explore));
  if (!features.empty()) writeFeatures(features, all);
  printTable(all, split);
  return 0;
}
