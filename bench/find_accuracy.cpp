// How well velmorantique-find finds the sheets of whole maps: each entry's
// chain simulated at 6, 8 and 10 Å (clean, low-passed at its resolution, and
// with noise), the sheets found against the chain's SHEET records (or DSSP's),
// on one half of the entries split by protein.
//
//   find_accuracy --entries DIR --split SPLIT.tsv --half held_out [--resolutions 6,8,10]
//                 [--copies clean,low-passed,noisy] [--level mass|auto] [--limit N]
//                 [--cases CASES.tsv]
//   (--cases writes one line per case: the finder's signals and whether the
//   case is near a sheet of the model, the label the verdict is tuned on,
//   and the verdict find gives it.)
//   (--copies also takes the map kinds of bench/map_kinds.h: sharpened, masked-flat,
//   masked, crowded, coarse, local-res, deposited; a crowded map's level
//   encloses the neighbours' part too, and a case on a neighbour's sheet is
//   not false.)
//   find_accuracy --scaling --program velmorantique-find --entries DIR --split SPLIT.tsv [--scaling-entry 6zu5]
//
// DIR/ENTRY.pdb or DIR/ENTRY.cif holds each entry (bench/find_entries.sh
// makes them); SPLIT.tsv has a header with the columns `entry` and `split`.
// Residues take the majority label of the voxels within 3 Å of their heavy
// atoms; a sheet is found when one case holds at least half its strand
// C-alphas and at least half of that case's voxels lie within 6 Å of them; a
// case near no sheet in that sense is a false case. The shape direction of
// each found sheet is compared with that of the same sheet cut from the same
// map with the model, as velmorantique-prepare --map cuts it.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

#include "find_maps.h"
#include "velmorantique/compare.h"
#include "velmorantique/find.h"
#include "velmorantique/shape.h"

namespace fs = std::filesystem;
using namespace vel;
using find::DensityBox;

namespace {

struct Args {
  std::string entries, split, half = "held_out", level = "mass", program, work = "/tmp/find_accuracy";
  std::string casesPath;  // --cases: per-case signals and label
  std::vector<double> resolutions{6, 8, 10};
  std::vector<std::string> copies{"clean", "low-passed", "noisy"};
  int limit = 0;
  std::vector<std::string> only;  // entries (ENTRY or ENTRY_CHAIN) to measure; empty: all of the half
  bool scaling = false;
  std::string scalingEntry;  // with --scaling: also time this whole entry, every chain
  bool verbose = false;
  find::FindOptions find;
};


double median(std::vector<double> v) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

struct Tally {
  long tp = 0, fp = 0, fn = 0;
  int maps = 0, sheets = 0, found = 0, falseCases = 0, cases = 0;
  std::vector<double> foundError, modelCutError, seconds;
  void add(const Tally& o) {
    tp += o.tp, fp += o.fp, fn += o.fn, maps += o.maps, sheets += o.sheets, found += o.found;
    falseCases += o.falseCases, cases += o.cases;
    foundError.insert(foundError.end(), o.foundError.begin(), o.foundError.end());
    modelCutError.insert(modelCutError.end(), o.modelCutError.begin(), o.modelCutError.end());
    seconds.insert(seconds.end(), o.seconds.begin(), o.seconds.end());
  }
};

// The direction error of the shape estimate on a case map, against the sheet's strands.
double directionError(const DensityBox& box, double threshold, const Vectors& axis) {
  const ShapeDirection d = estimateShapeDirection(toGrid(box), threshold);
  return d.found ? axisAngleDegrees(d.direction, axis) : 90.0;
}

Vectors sheetAxis(const prepare::Chain& chain, const prepare::SheetVerdict& v) {
  StrandSet traces;
  for (const auto& range : v.strandRanges) {
    PointList cas;
    for (size_t i = range.first; i <= range.second; ++i) {
      const prepare::Point& p = chain.residues[i].find("CA")->pos;
      cas.push_back(Coordinate(p[0], p[1], p[2]));
    }
    traces.push_back(cas);
  }
  return meanStrandAxis(traces);
}

// The same sheet cut with the model, as velmorantique-prepare --map cuts it.
double modelCutError(const std::string& mapPath, const prepare::Chain& chain, const prepare::SheetVerdict& v,
                     const Vectors& axis) {
  std::vector<prepare::Atom> atoms;
  double volume = 0;
  for (const auto& range : v.strandRanges)
    for (size_t i = range.first; i <= range.second; ++i) {
      const prepare::Residue& r = chain.residues[i];
      atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
      volume += prepare::residueVolume(r.name);
    }
  const prepare::CutMap cut = prepare::cutExperimentalMap(mapPath, atoms, prepare::MapCut());
  const prepare::ThresholdResult t = prepare::findThreshold(cut.box, volume, cut.noise);
  if (!t.found) return NAN;
  return directionError(cut.box, t.stats.level, axis);
}

Tally evaluate(const Args& a, const std::string& mapPath, const Truth& truth, double resolution, double massKda,
               const std::vector<find::ModelSheet>& neighbourSheets, std::ostream* casesOut,
               const std::string& caseLabel) {
  Tally t;
  find::FindOptions o = a.find;
  o.mapPath = mapPath;
  o.resolution = resolution;
  if (a.level == "mass") o.level.massKda = massKda;
  std::ostringstream quiet;
  const auto start = std::chrono::steady_clock::now();
  find::FindResult r;
  try {
    r = find::findSheets(o, quiet);
  } catch (const find::FindError& e) {
    std::cerr << "  " << mapPath << ": " << e.what() << "\n";
  }
  t.seconds.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  t.maps = 1;
  const DensityBox& box = r.crop.box;
  std::vector<char> sheetVoxel(box.values.size(), 0);
  std::vector<const find::Segment*> cases;
  for (const find::Segment& s : r.segments)
    if (s.kept) {
      cases.push_back(&s);
      for (size_t at : s.voxels) sheetVoxel[at] = 1;
    }
  // Residues: the majority label of the voxels within 3 Å of their heavy atoms.
  const double reach = 3.0;
  for (size_t ri = 0; ri < truth.residues->residues.size(); ++ri) {
    std::map<size_t, char> voxels;  // box index -> label; outside the box counts as not sheet
    size_t outside = 0;
    for (const prepare::Atom& atom : truth.residues->residues[ri].atoms) {
      for (double dz = -reach; dz <= reach; dz += 1)
        for (double dy = -reach; dy <= reach; dy += 1)
          for (double dx = -reach; dx <= reach; dx += 1) {
            // Voxels of the map's grid near the atom.
            const double p[3] = {atom.pos[0] + dx, atom.pos[1] + dy, atom.pos[2] + dz};
            int idx[3];
            bool in = !box.values.empty();
            double d2 = 0;
            for (int d = 0; d < 3; ++d) {
              idx[d] = static_cast<int>(std::lround((p[d] - box.origin[d]) / box.voxel[d]));
              const double c = box.origin[d] + idx[d] * box.voxel[d] - atom.pos[d];
              d2 += c * c;
              in = in && idx[d] >= 0 && idx[d] < box.n[d];
            }
            if (d2 > reach * reach) continue;
            if (!in) {
              ++outside;
              continue;
            }
            const size_t at = box.index(idx[0], idx[1], idx[2]);
            voxels[at] = sheetVoxel[at];
          }
    }
    size_t yes = 0;
    for (const auto& v : voxels) yes += v.second;
    const bool predicted = 2 * yes > voxels.size() + outside;
    const bool actual = truth.strandResidue[ri];
    t.tp += predicted && actual;
    t.fp += predicted && !actual;
    t.fn += !predicted && actual;
  }
  // Sheets found, and false cases.
  std::vector<std::vector<char>> inCase;
  for (const find::Segment* s : cases) {
    std::vector<char> mark(box.values.size(), 0);
    for (size_t at : s->voxels) mark[at] = 1;
    inCase.push_back(std::move(mark));
  }
  std::vector<char> nearSomeSheet(cases.size(), 0);
  for (const find::ModelSheet& sheet : truth.sheets) {
    ++t.sheets;
    const Vectors axis = sheetAxis(*truth.residues, sheet.verdict);
    int foundIn = -1;
    for (size_t c = 0; c < cases.size(); ++c) {
      const find::SheetOverlap ov = find::overlapOf(box, inCase[c], cases[c]->voxels.size(), sheet);
      if (ov.caseVoxelsNearSheet >= 0.5) nearSomeSheet[c] = 1;
      if (ov.strandCaInCase >= 0.5 && ov.caseVoxelsNearSheet >= 0.5 && foundIn < 0) foundIn = static_cast<int>(c);
    }
    if (foundIn < 0) continue;
    ++t.found;
    const DensityBox c = find::caseMap(box, cases[foundIn]->voxels);
    const find::Level& level = cases[foundIn]->level.text.empty() ? r.level : cases[foundIn]->level;
    t.foundError.push_back(directionError(c, level.value, axis));
    if (a.verbose) {
      // The same case without its voxels farther than 6 Å from the sheet's
      // strand C-alphas: how much of the error the extra density makes.
      std::vector<size_t> near;
      for (size_t at : cases[foundIn]->voxels) {
        const find::Point p = {box.origin[0] + static_cast<double>(at % box.n[0]) * box.voxel[0],
                               box.origin[1] + static_cast<double>((at / box.n[0]) % box.n[1]) * box.voxel[1],
                               box.origin[2] + static_cast<double>(at / (static_cast<size_t>(box.n[0]) * box.n[1])) * box.voxel[2]};
        for (const find::Point& ca : sheet.strandCAs)
          if ((p[0] - ca[0]) * (p[0] - ca[0]) + (p[1] - ca[1]) * (p[1] - ca[1]) + (p[2] - ca[2]) * (p[2] - ca[2]) <= 36) {
            near.push_back(at);
            break;
          }
      }
      std::cerr << "      found sheet: direction error " << t.foundError.back() << ", near part alone "
                << directionError(find::caseMap(box, near), level.value, axis) << "\n";
    }
    double cut = NAN;
    try {
      cut = modelCutError(mapPath, *truth.residues, sheet.verdict, axis);
    } catch (const std::exception&) {
    }
    t.modelCutError.push_back(cut);
  }
  t.cases = static_cast<int>(cases.size());
  if (a.verbose && !box.values.empty()) {
    // How well the classifier's sheet probability alone tells strand residues from the rest (AUC).
    const find::WorkingGrid grid = find::workingGrid(r.crop.box, r.inDensity, resolution, find::sheetNet().voxel);
    const DensityBox& box = grid.box;
    const find::SheetMaps maps = find::sheetMaps(box, grid.inDensity, resolution, r.level.value, find::sheetNet());
    std::vector<std::pair<double, int>> scored;
    for (size_t ri = 0; ri < truth.residues->residues.size(); ++ri) {
      const prepare::Atom* ca = truth.residues->residues[ri].find("CA");
      if (!ca) continue;
      double sum = 0;
      int n = 0;
      for (int dz = -2; dz <= 2; ++dz)
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx) {
            int idx[3];
            bool in = true;
            const int dd[3] = {dx, dy, dz};
            for (int d = 0; d < 3; ++d) {
              idx[d] = static_cast<int>(std::lround((ca->pos[d] - box.origin[d]) / box.voxel[d])) + dd[d];
              in = in && idx[d] >= 0 && idx[d] < box.n[d];
            }
            if (!in) continue;
            sum += maps.sheet[box.index(idx[0], idx[1], idx[2])];
            ++n;
          }
      scored.push_back({n ? sum / n : 0.0, truth.strandResidue[ri]});
    }
    std::sort(scored.begin(), scored.end());
    double rankSum = 0, pos = 0;
    for (size_t i = 0; i < scored.size(); ++i)
      if (scored[i].second) rankSum += i + 1, ++pos;
    const double neg = scored.size() - pos;
    std::cerr << "    sheet probability AUC " << (rankSum - pos * (pos + 1) / 2) / (pos * neg) << "\n";
  }
  for (const find::ModelSheet& sheet : neighbourSheets)
    for (size_t c = 0; c < cases.size(); ++c)
      if (find::overlapOf(box, inCase[c], cases[c]->voxels.size(), sheet).caseVoxelsNearSheet >= 0.5)
        nearSomeSheet[c] = 1;
  for (char near : nearSomeSheet) t.falseCases += !near;
  if (casesOut)
    for (size_t c = 0; c < cases.size(); ++c) {
      const find::SegmentShape& sh = cases[c]->shape;
      *casesOut << caseLabel << "\t" << cases[c]->id << "\t" << sh.sheetProbability << "\t" << sh.area << "\t"
                << sh.thickness << "\t" << sh.width << "\t" << sh.length << "\t" << sh.plateScore << "\t"
                << sh.fitResidual << "\t" << sh.volume << "\t" << (nearSomeSheet[c] ? "true" : "false") << "\t"
                << find::judgeSheetConfidence(sh).level << "\n";
    }
  if (a.verbose)
    for (const find::Segment& s : r.segments)
      if (s.core.size() >= 50) {
        // The sheet it holds most of, and how much of the case lies near it.
        double holds = 0, near = 0;
        std::vector<char> mark(box.values.size(), 0);
        for (size_t at : s.voxels) mark[at] = 1;
        for (const find::ModelSheet& sheet : truth.sheets) {
          const find::SheetOverlap ov = find::overlapOf(box, mark, s.voxels.size(), sheet);
          if (ov.caseVoxelsNearSheet > near) holds = ov.strandCaInCase, near = ov.caseVoxelsNearSheet;
        }
        std::cerr << "      segment " << s.id << " core " << s.core.size() << " vox " << s.voxels.size() << " th "
                  << s.shape.thickness << " w " << s.shape.width << " l " << s.shape.length << " area " << s.shape.area
                  << " sheet " << s.shape.sheetProbability << " plate " << s.shape.plateScore << " fit "
                  << s.shape.fitResidual << " | holds " << holds << " near " << near << (s.kept ? " KEPT" : "") << "\n";
      }
  if (a.verbose)
    std::cerr << "    " << fs::path(mapPath).filename().string() << ": " << t.found << "/" << t.sheets << " found, "
              << t.cases << " cases, " << t.falseCases << " false; residues tp " << t.tp << " fp " << t.fp << " fn "
              << t.fn << "\n";
  return t;
}

void printRow(const std::string& label, const Tally& t) {
  const double recall = t.tp + t.fn ? static_cast<double>(t.tp) / (t.tp + t.fn) : NAN;
  const double precision = t.tp + t.fp ? static_cast<double>(t.tp) / (t.tp + t.fp) : NAN;
  const double f1 = recall + precision > 0 ? 2 * recall * precision / (recall + precision) : NAN;
  std::vector<double> paired;
  for (size_t i = 0; i < t.modelCutError.size(); ++i)
    if (std::isfinite(t.modelCutError[i])) paired.push_back(t.modelCutError[i]);
  std::printf("%-22s %4d %7.2f %9.2f %5.2f %4d/%-4d %5.2f %10.2f %9.1f %9.1f %7.2f\n", label.c_str(), t.maps, recall,
              precision, f1, t.found, t.sheets, t.maps ? static_cast<double>(t.falseCases) / t.maps : NAN,
              t.maps ? static_cast<double>(t.cases) / t.maps : NAN, median(t.foundError), median(paired),
              median(t.seconds));
}

// The map a copy is made into.

// A map of n^3 voxels: the chain's density in its middle, noise around it.
DensityBox embedded(const DensityBox& clean, int n, double level) {
  DensityBox big;
  big.n = {n, n, n};
  big.voxel = clean.voxel;
  big.values.assign(static_cast<size_t>(n) * n * n, 0.0f);
  uint32_t state = 12345;
  for (float& v : big.values) {
    state = state * 1664525u + 1013904223u;
    v = static_cast<float>(0.05 * level * ((state >> 8) / 16777216.0 - 0.5));
  }
  int shift[3];
  for (int d = 0; d < 3; ++d) {
    shift[d] = std::max(0, (n - clean.n[d]) / 2);
    big.origin[d] = clean.origin[d] - shift[d] * clean.voxel[d];
  }
  for (int k = 0; k < std::min(n, clean.n[2]); ++k)
    for (int j = 0; j < std::min(n, clean.n[1]); ++j)
      for (int i = 0; i < std::min(n, clean.n[0]); ++i)
        big.values[big.index(i + shift[0], j + shift[1], k + shift[2])] += clean.values[clean.index(i, j, k)];
  return big;
}

// Runs the finder on one map as a separate process: wall and CPU seconds, peak memory.
void timeFinder(const Args& a, const std::string& path, double massKda, const std::string& label, long long voxels) {
  const std::string out = a.work + "/scaling_out";
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_WRONLY);
    dup2(devnull, 2);
    const std::string mass = std::to_string(massKda);
    execl(a.program.c_str(), a.program.c_str(), path.c_str(), "--resolution", "8", "-o", out.c_str(), "--force",
          "--mass-kda", mass.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + 1e-6 * (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  std::printf("%-12s %12lld %10.2f %12.2f %12.0f%s\n", label.c_str(), voxels, seconds, cpu, usage.ru_maxrss / 1024.0,
              WIFEXITED(status) && WEXITSTATUS(status) == 0 ? "" : "  (failed)");
}

void runScaling(const Args& a, const EntryRow& row) {
  const find::ModelSheets model = find::readModelSheets(structurePath(a.entries, row.entry));
  const Truth truth = truthOf(model, row.chain);
  const DensityBox clean = prepare::simulateDensity(truth.atoms(), 8.0, 1.0, 8.0);
  const double level = thresholdForVolume(toGrid(clean), truth.volume);
  std::printf("%-12s %12s %10s %12s %12s\n", "map", "voxels", "seconds", "cpu_seconds", "peak_MB");
  for (int n : {clean.n[0], 128, 256, 512}) {
    const std::string path = a.work + "/scaling_" + std::to_string(n) + ".mrc";
    prepare::writeMrc(path, n == clean.n[0] ? clean : embedded(clean, n, level));
    timeFinder(a, path, truth.volume / 1.21 / 1000, std::to_string(n) + "^3", static_cast<long long>(n) * n * n);
    fs::remove(path);
  }
  if (a.scalingEntry.empty()) return;
  // A box filled with protein: every atom of a large entry (chains of
  // protein and of nucleic acid alike) at 8 Å on 1 Å voxels.
  const prepare::Structure whole = prepare::readStructure(structurePath(a.entries, a.scalingEntry));
  std::vector<prepare::Atom> atoms;
  double volume = 0;
  for (const prepare::Chain& c : whole.chains)
    for (const prepare::Residue& r : c.residues) {
      atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
      volume += prepare::residueVolume(r.name);
    }
  const DensityBox map = prepare::simulateDensity(atoms, 8.0, 1.0, 8.0);
  const std::string path = a.work + "/scaling_entry.mrc";
  prepare::writeMrc(path, map);
  timeFinder(a, path, volume / 1.21 / 1000, a.scalingEntry,
             static_cast<long long>(map.n[0]) * map.n[1] * map.n[2]);
  std::printf("  (%s: %zu atoms in %d x %d x %d voxels)\n", a.scalingEntry.c_str(), atoms.size(), map.n[0], map.n[1],
              map.n[2]);
  if (!a.verbose) fs::remove(path);
}

}  // namespace

int main(int argc, char** argv) {
  Args a;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--entries") a.entries = next();
    else if (arg == "--split") a.split = next();
    else if (arg == "--half") a.half = next();
    else if (arg == "--level") a.level = next();
    else if (arg == "--program") a.program = next();
    else if (arg == "--work") a.work = next();
    else if (arg == "--limit") a.limit = std::stoi(next());
    else if (arg == "--scaling") a.scaling = true;
    else if (arg == "--scaling-entry") a.scalingEntry = next();
    else if (arg == "--verbose") a.verbose = true;
    else if (arg == "--cases") a.casesPath = next();
    else if (arg == "--resolutions") {
      a.resolutions.clear();
      for (const std::string& r : splitText(next(), ',')) a.resolutions.push_back(std::stod(r));
    } else if (arg == "--copies") {
      a.copies = splitText(next(), ',');
      for (const std::string& c : a.copies)
        if (!isPlainCopy(c)) mapKind(c);  // an unknown name stops before any work
    }
    // The finder's settings, for tuning on the tuning half.
    else if (arg == "--min-sheet-probability") a.find.rules.minSheetProbability = std::stod(next());
    else if (arg == "--max-thickness") a.find.rules.maxThickness = std::stod(next());
    else if (arg == "--min-width") a.find.rules.minWidth = std::stod(next());
    else if (arg == "--max-fit-residual") a.find.rules.maxFitResidual = std::stod(next());
    else if (arg == "--grow-reach") a.find.rules.growReach = std::stod(next());
    else if (arg == "--min-area") a.find.rules.minArea = std::stod(next());
    else if (arg == "--sheet-min") a.find.rules.sheetMin = std::stod(next());
    else if (arg == "--core-min") a.find.rules.coreMin = std::stod(next());
    else if (arg == "--normal-step") a.find.rules.normalStepDeg = std::stod(next());
    else if (arg == "--case-share") a.find.rules.caseVolumeShare = std::stod(next());
    else if (arg == "--widen-min") a.find.rules.widenMin = std::stod(next());
    else if (arg == "--split-fit") a.find.rules.splitFit = std::stod(next());
    else if (arg == "--core-step") a.find.rules.coreStep = std::stod(next());
    else if (arg == "--core-most") a.find.rules.coreMost = std::stod(next());
    else if (arg == "--averaging") a.find.rules.averaging = std::stod(next());
    else if (arg == "--surround") a.find.rules.surroundReach = std::stod(next());
    else if (arg == "--trim") a.find.rules.trimReach = std::stod(next());
    else if (arg == "--tiny-volume") a.find.rules.tinyVolume = std::stod(next());
    else if (arg == "--only") a.only = splitText(next(), ',');
    else {
      std::cerr << "unknown option " << arg << "\n";
      return 2;
    }
  }
  fs::create_directories(a.work);
  std::vector<EntryRow> entries = entriesOf(a.split, a.half);
  if (!a.only.empty())
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const EntryRow& e) { return std::find(a.only.begin(), a.only.end(), e.label()) == a.only.end(); }),
                  entries.end());
  if (a.limit > 0 && static_cast<int>(entries.size()) > a.limit) entries.resize(a.limit);
  if (a.scaling) {
    runScaling(a, entries.at(0));
    return 0;
  }
  std::map<std::string, Tally> byCondition;
  Tally all;
  std::ofstream casesFile;
  if (!a.casesPath.empty()) {
    casesFile.open(a.casesPath);
    if (!casesFile) {
      std::cerr << "cannot write " << a.casesPath << "\n";
      return 1;
    }
    casesFile << "entry\tresolution\tcopy\tsegment\tsheet_probability\tarea_A2\tthickness_A\twidth_A\tlength_A"
                 "\tplate_score\tfit_residual_A\tvolume_A3\tis_sheet\tsheet_confidence\n";
  }
  find::ModelSheets model;
  std::string modelPath;
  for (const EntryRow& row : entries) {
    const std::string entry = row.label();
    const std::string path = structurePath(a.entries, row.entry);
    if (path.empty()) {
      std::cerr << entry << ": no structure file in " << a.entries << "\n";
      continue;
    }
    // Consecutive rows often name chains of one large entry: read it once.
    if (path != modelPath) {
      modelPath = path;
      try {
        model = modelSheetsWithDssp(path);
      } catch (const std::exception& e) {
        std::cerr << entry << ": " << e.what() << "\n";
        model = find::ModelSheets();
        continue;
      }
    }
    const Truth truth = truthOf(model, row.chain);
    if (!truth.residues) {
      std::cerr << entry << ": no eligible sheet\n";
      continue;
    }
    std::vector<prepare::Atom> atoms;
    for (const prepare::Residue& r : truth.residues->residues) atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
    std::cerr << entry << " chain " << truth.chain << ": " << truth.residues->residues.size() << " residues, "
              << truth.sheets.size() << " sheets\n";
    for (double resolution : a.resolutions) {
      DensityBox clean;
      try {
        clean = prepare::simulateDensity(atoms, resolution, 1.0, 8.0);
      } catch (const std::exception& e) {
        std::cerr << "  " << e.what() << "\n";
        continue;
      }
      for (const std::string& copy : a.copies) {
        // A kind of map_kinds.h (its own noise stream) or a plain copy.
        KindMap made;
        if (isPlainCopy(copy)) {
          made.map.box = copyOf(clean, copy, resolution, truth.volume, 7919u + static_cast<uint32_t>(entry.size()));
          made.map.volume = truth.volume;
        } else {
          char res[32];
          std::snprintf(res, sizeof res, "_%ga", resolution);
          made = kindMapOf(model, truth, mapKind(copy), resolution, noiseSeed(fileLabel(entry) + "_" + copy + res));
        }
        const DensityBox& map = made.map.box;
        const std::string mapPath = a.work + "/" + fileLabel(entry) + "_" + copy + ".mrc";
        prepare::writeMrc(mapPath, map);
        std::ostringstream caseLabel;
        caseLabel << entry << "\t" << resolution << "\t" << copy;
        const Tally t = evaluate(a, mapPath, truth, resolution, made.map.volume / 1.21 / 1000, made.neighbourSheets,
                                 casesFile.is_open() ? &casesFile : nullptr, caseLabel.str());
        std::ostringstream label;
        label << resolution << "A " << copy;
        byCondition[label.str()].add(t);
        all.add(t);
        if (!a.verbose) fs::remove(mapPath);
      }
    }
  }
  std::printf("%-22s %4s %7s %9s %5s %9s %5s %10s %9s %9s %7s\n", "condition", "maps", "recall", "precision", "F1",
              "found", "false", "cases/map", "dir_found", "dir_model", "seconds");
  for (const auto& c : byCondition) printRow(c.first, c.second);
  printRow("all", all);
  return 0;
}
