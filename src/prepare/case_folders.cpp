// One folder per eligible sheet and resolution. A folder is built beside its
// final place and renamed into it at the end, so that a folder under its own
// name is always complete.
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>

#include "case_record.h"
#include "velmorantique/output_folder.h"

namespace vel {
namespace prepare {

namespace fs = std::filesystem;

namespace {

constexpr int kMarginGrowths = 10;  // 2 Å each
constexpr const char* kDensityModel =
    "gemmi DensityCalculator with electron scattering factors (C4322), atomic B set to 0, occupancy 1, "
    "Gaussian blur B = 4*R^2 A^2 (sigma = R/(pi*sqrt(2)) = 0.225*R), hydrogens excluded";

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string safe(const std::string& s) {
  std::string out;
  for (char c : lower(s)) out += std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ? c : '_';
  return out;
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

void writeText(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw PrepareError(path.string() + ": cannot be written");
}

// The voxel nearest to each strand C-alpha: the share of them that is kept.
double caInside(const DensityBox& box, const LevelStats& level, const std::vector<Point>& cas) {
  if (cas.empty()) return 0;
  size_t inside = 0;
  for (const Point& p : cas) {
    int idx[3];
    bool within = true;
    for (int d = 0; d < 3; ++d) {
      idx[d] = static_cast<int>(std::lround((p[d] - box.origin[d]) / box.voxel[d]));
      within = within && idx[d] >= 0 && idx[d] < box.n[d];
    }
    if (!within) continue;
    const double v = static_cast<double>(box.values[box.index(idx[0], idx[1], idx[2])]);
    if (v >= level.level && v > 0) ++inside;
  }
  return static_cast<double>(inside) / static_cast<double>(cas.size());
}

struct SheetAtoms {
  std::vector<Atom> atoms;
  std::vector<std::vector<Point>> strandCAs;  // per strand, N to C
  double volume = 0;                          // summed residue volumes
};

SheetAtoms sheetAtoms(const Structure& st, const SheetVerdict& v) {
  SheetAtoms s;
  const Chain& chain = st.chains.at(static_cast<size_t>(v.chainIndex));
  for (const auto& range : v.strandRanges) {
    std::vector<Point> cas;
    for (size_t i = range.first; i <= range.second; ++i) {
      const Residue& r = chain.residues[i];
      s.atoms.insert(s.atoms.end(), r.atoms.begin(), r.atoms.end());
      s.volume += residueVolume(r.name);
      cas.push_back(r.find("CA")->pos);
    }
    s.strandCAs.push_back(cas);
  }
  return s;
}

// The atoms whose density can reach the box: the model's density in the
// zone comes from the sheet and from its neighbours alike.
std::vector<Atom> atomsNear(const std::vector<Atom>& atoms, const DensityBox& box) {
  constexpr double kReach = 10.0;
  std::vector<Atom> near;
  for (const Atom& a : atoms) {
    bool inside = true;
    for (int d = 0; d < 3; ++d)
      inside = inside && a.pos[d] >= box.origin[d] - kReach && a.pos[d] <= box.origin[d] + box.n[d] * box.voxel[d] + kReach;
    if (inside) near.push_back(a);
  }
  return near;
}

// The correlation of the map with the model's simulated density over the zone.
double correlationInZone(const DensityBox& map, const DensityBox& model, const std::vector<char>& zone) {
  double n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  for (size_t at = 0; at < map.size(); ++at) {
    if (!zone[at]) continue;
    const double x = map.values[at], y = model.values[at];
    n += 1;
    sx += x;
    sy += y;
    sxx += x * x;
    syy += y * y;
    sxy += x * y;
  }
  const double vx = sxx - sx * sx / n, vy = syy - sy * sy / n;
  return n > 1 && vx > 0 && vy > 0 ? (sxy - sx * sy / n) / std::sqrt(vx * vy) : std::nan("");
}

// Below this resolution a simulated sheet shows its atoms apart rather than
// the smooth slab the analysis reads.
constexpr double kFinestSimulatedResolution = 4.0;

// Builds the map and finds its threshold, growing the margin while the kept
// voxels touch a face of the box.
void makeDensity(const SheetAtoms& sheet, const std::vector<Atom>& model, const PrepareOptions& o, double resolution,
                 CaseRecord& c) {
  c.margin = o.margin;
  std::string noiseRule;
  for (int growth = 0;; ++growth) {
    MapNoise noise;
    std::vector<char> zone;
    if (o.mapPath.empty()) {
      c.box = simulateDensity(sheet.atoms, resolution, o.voxel, c.margin);
    } else {
      MapCut cut;
      cut.margin = c.margin;
      cut.zone = o.zone;
      cut.voxel = o.voxelGiven ? o.voxel : 0;
      cut.model = model;
      CutMap cutMap = cutExperimentalMap(o.mapPath, sheet.atoms, cut);
      c.box = std::move(cutMap.box);
      zone = std::move(cutMap.inZone);
      noise = cutMap.noise;
      c.noiseSigma = noise.sigma;
    }
    if (o.threshold.empty()) {
      ThresholdResult t = findThreshold(c.box, c.molecularVolume, noise);
      if (!t.found && o.mapPath.empty() && resolution < kFinestSimulatedResolution)
        t.message += "; at " + number(resolution) + " Å a simulated sheet shows its atoms apart, and the analysis is " +
                     "meant for sheets at about 4 Å or coarser";
      if (!t.found) throw PrepareError("skipped: " + t.message);
      c.level = t.stats;
      noiseRule = t.noisy ? "; on this noisy map never below " + number(t.floor) +
                                " (the median + 3 sigma of the map away from the molecule), and the largest "
                                "6-connected piece need only hold 90% of the kept voxels"
                          : "";
    } else {
      c.level = measureLevel(c.box, o.threshold);
      if (c.level.kept == 0) throw PrepareError("skipped: no voxel at or above the threshold " + o.threshold);
    }
    if (!o.mapPath.empty())
      c.fitCorrelation = correlationInZone(c.box, simulateDensityOn(atomsNear(model, c.box), resolution, c.box), zone);
    if (!c.level.touchesFace) {
      c.thresholdRule += noiseRule;
      return;
    }
    if (growth == kMarginGrowths)
      throw PrepareError("skipped: the kept density still touches the box with a margin of " + number(c.margin) + " Å");
    c.margin += 2;
  }
}

void writeCase(const Structure& st, const SheetVerdict& v, const CaseRecord& c, const fs::path& folder) {
  std::string title = "SHEET " + v.sheet->id + " OF " + st.entry + " CHAIN " + v.chain;
  for (char& ch : title) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  writeCasePdb((folder / (c.name + ".pdb")).string(), st, v, title + " FROM " + st.source);
  writeMrc((folder / (c.name + ".mrc")).string(), c.box);
  writeText(folder / "threshold", c.level.text + "\n");
  CaseRecord withSize = c;
  withSize.mapBytes = static_cast<long long>(fs::file_size(folder / (c.name + ".mrc")));
  writeText(folder / "meta.json", caseMeta(withSize));
}

bool wantedSheet(const PrepareOptions& o, const Sheet& sheet) {
  if (o.sheets.empty()) return true;
  for (const std::string& id : o.sheets)
    if (lower(id) == lower(sheet.id)) return true;
  return false;
}

CaseOutcome prepareOne(const Structure& st, const SheetVerdict& v, const SheetAtoms& sheet,
                       const std::vector<Atom>& model, double resolution, const std::string& name,
                       const PrepareOptions& o) {
  CaseOutcome out;
  out.name = name;
  const fs::path folder = fs::path(o.outDir) / out.name;
  std::error_code ec;
  const bool exists = fs::exists(folder, ec);
  const std::string held = exists ? metaSheet((folder / "meta.json").string()) : "";
  if (!held.empty() && held != metaSheet(st.entry, v.chain.substr(0, 1), v.sheet->id)) {
    out.message = "exists already and holds " + held +
                  " (folder names are lower case); prepare its chain alone (--chain) into another output folder";
    return out;
  }
  if (exists && !o.force) {
    out.kept = o.skipExisting;
    out.message = o.skipExisting ? "exists already; kept" : "exists already (use --force to replace it)";
    return out;
  }
  CaseRecord c;
  c.name = out.name;
  c.entry = st.entry;
  c.chain = v.chain;
  c.sheetId = v.sheet->id;
  c.kind = o.synthetic ? "synthetic" : (o.mapPath.empty() ? "real" : "experimental");
  c.source = st.source;
  c.sheetSource = st.sheetSource;
  c.mapSource = o.mapPath;
  c.zone = o.zone;
  c.synthetic = o.syntheticSheet;
  c.resolution = resolution;
  const Chain& chain = st.chains.at(static_cast<size_t>(v.chainIndex));
  for (size_t i = 0; i < v.strandRanges.size(); ++i) {
    const auto& r = v.strandRanges[i];
    c.strands.push_back({chain.residues[r.first].number, chain.residues[r.second].number, v.sheet->strands[i].sense,
                         static_cast<int>(r.second - r.first + 1)});
  }
  c.sheetResidues = v.residueCount;
  c.sheetAtoms = sheet.atoms.size();
  c.chainResidues = chain.residues.size();
  c.molecularVolume = o.volumeFactor * sheet.volume;
  c.densityModel = o.mapPath.empty() ? kDensityModel : "experimental map " + o.mapPath + ", zeroed farther than " +
                                                           number(o.zone) + " A from the sheet's atoms";
  c.levelRule = o.threshold.empty() ? "residue_volume x" + number(o.volumeFactor) : "given";
  c.volumeFactor = o.threshold.empty() ? o.volumeFactor : 0;
  c.thresholdRule =
      o.threshold.empty()
          ? "4-significant-digit level at which the voxels >= level enclose " + number(o.volumeFactor) +
                " x the summed residue volumes of the strand residues; lowered in 3% steps until those voxels form "
                "one 6-connected piece, specks smaller than a residue (60 A^3) aside"
          : "given on the command line";
  c.angles = interStrandAngles(sheet.strandCAs);

  const fs::path partial = fs::path(o.outDir) / ("." + out.name + ".partial-" + std::to_string(getpid()));
  try {
    makeDensity(sheet, model, o, resolution, c);
    const auto mm = std::minmax_element(c.box.values.begin(), c.box.values.end());
    c.mapMin = *mm.first;
    c.mapMax = *mm.second;
    std::vector<Point> cas;
    for (const auto& strand : sheet.strandCAs) cas.insert(cas.end(), strand.begin(), strand.end());
    c.caInsideFraction = caInside(c.box, c.level, cas);
    if (!o.mapPath.empty()) c.fitCaInDensity = c.caInsideFraction;
    fs::remove_all(partial, ec);
    fs::create_directories(partial);
    writeCase(st, v, c, partial);
    // The earlier folder and the new one change places in one step: a run
    // stopped at any moment leaves one of them whole under the case's name.
    output::replaceFolder(partial.string(), folder.string());
    out.written = true;
    out.message = "threshold " + c.level.text + ", " + std::to_string(c.level.kept) + " voxels";
  } catch (const std::exception& e) {
    fs::remove_all(partial, ec);
    const std::string what = e.what();
    out.unfit = what.compare(0, 9, "skipped: ") == 0;
    out.message = out.unfit ? what.substr(9) : what;
  }
  return out;
}

}  // namespace

std::string caseName(const std::string& entry, const std::string& chain, const std::string& sheet, double resolution) {
  return safe(entry) + "_" + safe(chain) + "_" + safe(sheet) + "_" + safe(number(resolution)) + "a";
}

std::vector<CaseOutcome> prepareCases(const Structure& st, const PrepareOptions& o, std::ostream& progress,
                                      NamesGiven* given) {
  NamesGiven own;
  if (given == nullptr) given = &own;
  std::vector<CaseOutcome> outcomes;
  const std::vector<SheetVerdict> verdicts = judgeSheets(st, o.chain);
  std::vector<Atom> model;  // every atom, which the noise of a map is measured away from
  if (!o.mapPath.empty())
    for (const Chain& chain : st.chains)
      for (const Residue& r : chain.residues) model.insert(model.end(), r.atoms.begin(), r.atoms.end());
  if (o.mapPath.empty())
    for (double resolution : o.resolutions)
      if (resolution < kFinestSimulatedResolution)
        progress << "  note: at " << number(resolution) << " Å a simulated sheet shows its atoms apart; the analysis "
                 << "is meant for sheets at about 4 Å or coarser\n";
  for (const SheetVerdict& v : verdicts) {
    if (!wantedSheet(o, *v.sheet)) continue;
    if (!v.eligible) {
      progress << "  " << describeVerdict(v) << " (skipped)\n";
      continue;
    }
    const SheetAtoms sheet = sheetAtoms(st, v);
    const std::string holder = metaSheet(st.entry, v.chain, v.sheet->id);
    for (double resolution : o.resolutions) {
      const std::string name = caseName(st.entry, v.chain, v.sheet->id, resolution);
      const auto taken = given->emplace(name, holder);
      CaseOutcome out;
      if (!taken.second && taken.first->second != holder) {
        out.name = name;
        out.message = "the same folder name as " + taken.first->second +
                      ", prepared earlier in this run (folder names are lower case); prepare its chain alone "
                      "(--chain) into another output folder";
      } else {
        out = prepareOne(st, v, sheet, model, resolution, name, o);
      }
      progress << "  " << out.name << ": " << (out.written ? "written, " : out.kept ? "" : "not written: ")
               << out.message << "\n";
      outcomes.push_back(out);
    }
  }
  return outcomes;
}

PrepareTally prepareAll(const std::vector<std::string>& files, const PrepareOptions& o, bool list, std::ostream& out,
                        std::ostream& progress) {
  // One run at a time writes to an output folder; what a run killed there
  // left half-way is cleared (or put back) first.
  std::unique_ptr<output::FolderLock> lock;
  if (!list) {
    std::error_code ec;
    if (fs::exists(o.outDir, ec) && !fs::is_directory(o.outDir, ec))
      throw PrepareError(o.outDir + ": cannot create the output folder");
    try {
      lock = std::make_unique<output::FolderLock>(o.outDir, "prepare.lock", "velmorantique-prepare", "run", false);
    } catch (const output::OutputFolderError& e) {
      throw PrepareError(e.what());
    }
    output::clearLeftovers(o.outDir);
  }
  PrepareTally tally;
  NamesGiven given;
  int entries = 0;
  std::vector<std::string> failures;
  const size_t count = o.synthetic ? 1 : files.size();
  for (size_t f = 0; f < count; ++f) {
    const std::string label = o.synthetic ? std::string("synthetic sheet") : files[f];
    progress << "[" << f + 1 << "/" << count << "] " << label << "\n";
    bool read = false;
    try {
      Structure st = o.synthetic ? buildSyntheticSheet(o.syntheticSheet) : readStructure(files[f], &progress);
      read = true;
      for (const std::string& note : st.notes) progress << "  note: " << note << "\n";
      if (list) out << st.entry << "  " << describeChains(st) << "\n";
      if (!o.synthetic) assignSecondaryStructure(st, o.assign, o.chain, o.dssp);
      if (st.sheets.empty())
        throw PrepareError(label + (st.sheetSource == "dssp"
                                        ? std::string(": DSSP finds no beta-sheet in its amino-acid chains")
                                        : ": no sheet records (SHEET or struct_sheet_range); --assign dssp finds "
                                          "sheets from the structure itself"));
      ++entries;
      if (list) {
        for (const SheetVerdict& v : judgeSheets(st, o.chain))
          out << st.entry << "  " << describeVerdict(v) << (st.sheetSource == "dssp" ? "  (dssp)" : "") << "\n";
        const std::vector<std::string> comparison = compareAssignments(st, o.chain);
        if (!comparison.empty()) out << st.entry << "  the file's sheet records against DSSP:\n";
        for (const std::string& line : comparison) out << st.entry << line << "\n";
        continue;
      }
      std::vector<CaseOutcome> outcomes = prepareCases(st, o, progress, &given);
      for (const CaseOutcome& c : outcomes) {
        if (c.written)
          ++tally.written;
        else if (c.kept)
          ++tally.kept;
        else
          failures.push_back(c.name + ": " + c.message);
        tally.unwritten += !c.written && !c.kept && !c.unfit;
      }
      if (outcomes.empty()) failures.push_back(label + ": no eligible sheet");
    } catch (const PrepareError& e) {
      progress << "  " << e.what() << "\n";
      failures.push_back(e.what());
      if (!read) ++tally.unreadable;
    }
  }
  if (list) {
    if (entries == 0) throw PrepareError(failures.empty() ? "no structure read" : failures.front());
    return tally;
  }
  progress << tally.written << " case" << (tally.written == 1 ? "" : "s") << " written to " << o.outDir;
  if (tally.kept > 0) progress << ", " << tally.kept << " there already kept";
  if (tally.unwritten > 0)
    progress << "; " << tally.unwritten << " case" << (tally.unwritten == 1 ? "" : "s") << " could not be written";
  if (tally.unreadable > 0)
    progress << "; " << tally.unreadable << " structure file" << (tally.unreadable == 1 ? "" : "s")
             << " could not be read";
  progress << "\n";
  if (tally.written == 0 && tally.kept == 0) {
    std::string msg = "no case written";
    if (failures.size() == 1) msg += ": " + failures.front();
    else if (!failures.empty()) msg += " (" + std::to_string(failures.size()) + " problems, listed above)";
    throw PrepareError(msg);
  }
  return tally;
}

}  // namespace prepare
}  // namespace vel
