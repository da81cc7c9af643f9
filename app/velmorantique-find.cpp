// velmorantique-find: the beta-sheets of a whole map without a model, each
// cut out as a case folder ready for velmorantique-batch.
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "velmorantique/command_line.h"
#include "velmorantique/find.h"

namespace fs = std::filesystem;

namespace {

using vel::find::FindError;
using vel::find::FindOptions;
using vel::find::GuidedCut;
using namespace vel::cli;

std::string text(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

std::vector<Option> optionTable(const FindOptions& d) {
  return {
      {"-o", "DIR", "output folder (required)", ""},
      {"--resolution", "R", "the map's resolution in A (required)", ""},
      {"--contour", "L", "the map's recommended contour level", "chosen from the map"},
      {"--mass-kda", "M", "without --contour: the level enclosing M kDa x 1.21 A^3/Da", ""},
      {"--sigmas", "K", "without either: solvent peak + K robust sigmas", text(d.level.backgroundSigmas)},
      {"--model", "STRUCTURE", "for evaluation: give each case the chain and SHEET records of the sheet it overlaps", ""},
      {"--box", "x0,y0,z0,x1,y1,z1", "cut this box (A, map frame) as one case instead of finding sheets", ""},
      {"--around", "x,y,z", "cut a sphere around this point (A) as one case; with --radius", ""},
      {"--radius", "R", "the sphere's radius in A", ""},
      {"--mask", "MASK.mrc", "cut where this mask is above 0.5 as one case", ""},
      {"--max-memory", "GB", "the memory find may use", "half of the memory"},
      {"--force", "", "replace an earlier run of find in the output folder, whole", ""},
      {"-h", "", "this help (also --help)", ""},
  };
}

void printHelp(std::ostream& out) {
  const FindOptions d;
  out << "usage: velmorantique-find MAP --resolution R -o OUTDIR [options]\n\n"
         "Finds the beta-sheets of a whole map and writes one case folder per sheet,\n"
         "OUTDIR/NAME_sK/{NAME_sK.mrc, NAME_sK.pdb, threshold, meta.json}, ready for\n"
         "  velmorantique-batch -o RESULTS OUTDIR\n"
         "and in OUTDIR find.json (every segment considered, and why it was kept or\n"
         "dropped), the label map NAME_segments.mrc and the viewer scripts\n"
         "NAME_segments.pml (PyMOL) and NAME_segments.cxc (ChimeraX).\n\n"
         "options [default]:\n";
  printOptions(out, optionTable(d), 26);
  const vel::find::SegmentRules& r = d.rules;
  out << "\nEach voxel's chance of being of a sheet comes from a small network trained on\n"
         "maps simulated from real entries. A segment is kept as a sheet when its area is\n"
         "at least " << r.minArea << " A^2, it is at most " << r.maxThickness << " A thick and at least " << r.minWidth
      << " A wide,\nits mean sheet probability is at least " << r.minSheetProbability
      << ", its backbone lies within " << r.maxFitResidual << " A (rms) of a smooth surface,\nand its case holds at least " << r.minCaseVolume
      << " A^3 (the smallest sheet of three strands). Its case is kept when the analysis\nwould read it as one sheet (at most " << r.maxCaseThickness
      << " A thick by the analysis's own measure).\nA --resolution more than "
      << vel::find::kResolutionTolerance * 100 << "% away from the resolution the map's\n"
         "power spectrum suggests is warned about, here and in find.json.\n";
}

int run(int argc, char** argv) {
  FindOptions o;
  bool resolutionGiven = false;
  const Arguments args = scanArguments(argc, argv, optionTable(o));
  if (args.help) {
    printHelp(std::cout);
    return 0;
  }
  const std::vector<std::string>& maps = args.positional;
  for (const auto& [arg, value] : args.options) {
    if (arg == "-o") o.outDir = value;
    else if (arg == "--resolution") {
      o.resolution = rangeArg(arg, value, vel::find::kLeastResolution, vel::find::kMostResolution, "A");
      resolutionGiven = true;
    } else if (arg == "--contour") {
      numberArg(arg, value);
      o.level.contour = value;
    } else if (arg == "--mass-kda") o.level.massKda = rangeArg(arg, value, vel::find::kLeastMassKda, vel::find::kMostMassKda, "kDa");
    else if (arg == "--max-memory") o.maxMemory = static_cast<uint64_t>(rangeArg(arg, value, 0.01, 1e6, "GB") * (1u << 30));
    else if (arg == "--sigmas") o.level.backgroundSigmas = numberArg(arg, value);
    else if (arg == "--model") o.modelPath = value;
    else if (arg == "--box") {
      const std::vector<double> v = numbersArg(arg, value, 6);
      o.guided.kind = GuidedCut::Kind::Box;
      for (int d = 0; d < 3; ++d) {
        o.guided.lo[d] = std::min(v[d], v[d + 3]);
        o.guided.hi[d] = std::max(v[d], v[d + 3]);
      }
    } else if (arg == "--around") {
      const std::vector<double> v = numbersArg(arg, value, 3);
      o.guided.kind = GuidedCut::Kind::Sphere;
      o.guided.centre = {v[0], v[1], v[2]};
    } else if (arg == "--radius") o.guided.radius = positiveArg(arg, value);
    else if (arg == "--mask") {
      o.guided.kind = GuidedCut::Kind::Mask;
      o.guided.maskPath = value;
    } else if (arg == "--force") o.force = true;
  }
  int guidedCount = 0;
  for (const auto& given : args.options) guidedCount += given.first == "--box" || given.first == "--around" || given.first == "--mask";
  if (maps.empty()) throw FindError("no map given (see --help)");
  if (maps.size() > 1) throw FindError("one map at a time, not " + std::to_string(maps.size()));
  o.mapPath = maps[0];
  if (!resolutionGiven) throw FindError("no resolution given: --resolution R");
  if (o.outDir.empty()) throw FindError("no output folder given: -o OUTDIR");
  if (!o.level.contour.empty() && o.level.massKda > 0) throw FindError("--contour and --mass-kda cannot be used together");
  if (guidedCount > 1) throw FindError("--box, --around and --mask cannot be used together");
  if (o.guided.kind == GuidedCut::Kind::Sphere && !(o.guided.radius > 0)) throw FindError("--around needs --radius");
  if (o.guided.kind != GuidedCut::Kind::Sphere && o.guided.radius > 0) throw FindError("--radius goes with --around");
  // The output folder is checked and taken before any work: a second run on
  // it stops at once, naming the first.
  vel::find::checkOutputFolder(o);
  std::error_code ec;
  const bool made = !fs::exists(fs::symlink_status(o.outDir, ec));
  int written = 0;
  try {
    vel::output::FolderLock lock(o.outDir, vel::find::kLockFile, "velmorantique-find", "run", false);
    const vel::find::FindResult result = vel::find::findSheets(o, std::cerr);
    written = vel::find::writeFindOutput(o, result, lock, std::cerr);
  } catch (...) {
    if (made) fs::remove(o.outDir, ec);  // the folder this run made, left empty
    throw;
  }
  std::cerr << written << " case" << (written == 1 ? "" : "s") << " written to " << o.outDir << "\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) { return vel::cli::runTool(run, argc, argv, "cut the map down around the molecule, or one region of it with --box"); }
