// velmorantique-prepare: one ready analysis folder per beta-sheet of a
// structure (or of an ideal synthetic sheet), for each resolution asked for.
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "velmorantique/command_line.h"
#include "velmorantique/prepare.h"

namespace {

using vel::prepare::PrepareError;
using vel::prepare::PrepareOptions;
using namespace vel::cli;

std::string joined(const std::vector<double>& values) {
  std::ostringstream s;
  for (size_t i = 0; i < values.size(); ++i) s << (i ? "," : "") << values[i];
  return s.str();
}

std::string text(double v) {
  std::ostringstream s;
  s << v;
  return s.str();
}

std::vector<Option> optionTable(const PrepareOptions& d) {
  const vel::prepare::SyntheticSheetShape& s = d.syntheticSheet;
  return {
      {"-o", "DIR", "output folder, one subfolder per case (required)", ""},
      {"--resolution", "R[,R...]", "resolutions in Å, one case each", joined(d.resolutions)},
      {"--chain", "C[,C...]|all", "chains to prepare", "the first chain that holds amino acids"},
      {"--assign", "auto|records|dssp", "sheets from the file's records, from DSSP, or auto: the records when the file has any",
       "auto"},
      {"--dssp", "PROGRAM", "the DSSP program to run", d.dssp.program},
      {"--sheet", "ID[,ID...]", "sheets to prepare", "every eligible sheet"},
      {"--voxel", "S", "voxel size in Å (with --map: resample to it)", text(d.voxel) + "; with --map the map's own"},
      {"--margin", "M", "Å of box around the sheet's atoms", text(d.margin)},
      {"--volume-factor", "F", "threshold encloses F x the strand residues' volume (a stored case: its meta.json volume_factor)", text(d.volumeFactor)},
      {"--force", "", "replace existing case folders", ""},
      {"--skip-existing", "", "keep existing case folders and add only new ones", ""},
      {"--list", "", "list the sheets and whether each is eligible; write nothing", ""},
      {"--map", "MAP", "cut an experimental map instead of simulating one", ""},
      {"--zone", "Z", "with --map: zero voxels farther than Z Å from the sheet", text(d.zone)},
      {"--threshold", "T", "use T instead of the threshold rule", ""},
      {"--synthetic", "", "prepare an ideal sheet instead of a structure file", ""},
      {"--strands", "N", "synthetic: number of strands", std::to_string(s.strands)},
      {"--length", "L", "synthetic: residues per strand", std::to_string(s.length)},
      {"--twist", "DEG", "synthetic: angle between neighbouring strands", text(s.twist)},
      {"--parallel", "", "synthetic: parallel strands", "antiparallel"},
      {"-h", "", "this help (also --help)", ""},
  };
}

void printHelp(std::ostream& out) {
  out << "usage: velmorantique-prepare STRUCTURE... -o OUTDIR [options]\n"
         "       velmorantique-prepare --synthetic -o OUTDIR [--strands N --length L --twist DEG --parallel]\n\n"
         "Writes OUTDIR/NAME/{NAME.pdb, NAME.mrc, threshold, meta.json} for every eligible sheet of each\n"
         "PDB or mmCIF file (gzipped too) and each resolution; then\n"
         "  cd OUTDIR/NAME && velmorantique NAME NAME $(cat threshold)\n\n"
         "options [default]:\n";
  printOptions(out, optionTable(PrepareOptions()), 27);
  out << "\nexit status: 0 every structure file was read and every case written (a file without\n"
         "an eligible sheet, or a sheet no threshold keeps whole, is named, not an error); 2 some\n"
         "file could not be read or some case not written (a full disk, a folder in the way), the\n"
         "others were prepared; 1 usage error, or no case written.\n";
}

int run(int argc, char** argv) {
  PrepareOptions o;
  bool list = false;
  const Arguments args = scanArguments(argc, argv, optionTable(o));
  if (args.help) {
    printHelp(std::cout);
    return 0;
  }
  const std::vector<std::string>& files = args.positional;
  for (const auto& [arg, value] : args.options) {
    if (arg == "-o") o.outDir = value;
    else if (arg == "--resolution") {
      o.resolutions.clear();
      for (const std::string& r : listArg(value)) o.resolutions.push_back(positiveArg(arg, r));
      if (o.resolutions.empty()) throw PrepareError("--resolution needs at least one value");
    } else if (arg == "--chain") o.chain = value;
    else if (arg == "--assign") {
      if (value == "auto") o.assign = vel::prepare::SheetSource::Auto;
      else if (value == "records") o.assign = vel::prepare::SheetSource::Records;
      else if (value == "dssp") o.assign = vel::prepare::SheetSource::Dssp;
      else throw PrepareError("--assign takes auto, records or dssp, not '" + value + "'");
    } else if (arg == "--dssp") o.dssp.program = value;
    else if (arg == "--sheet") o.sheets = listArg(value);
    else if (arg == "--voxel") {
      o.voxel = positiveArg(arg, value);
      o.voxelGiven = true;
    } else if (arg == "--margin") {
      o.margin = numberArg(arg, value);
      if (o.margin < 0) throw PrepareError("--margin cannot be negative");
    } else if (arg == "--volume-factor") o.volumeFactor = positiveArg(arg, value);
    else if (arg == "--force") o.force = true;
    else if (arg == "--skip-existing") o.skipExisting = true;
    else if (arg == "--list") list = true;
    else if (arg == "--map") o.mapPath = value;
    else if (arg == "--zone") o.zone = positiveArg(arg, value);
    else if (arg == "--threshold") {
      numberArg(arg, value);
      o.threshold = value;
    } else if (arg == "--synthetic") o.synthetic = true;
    else if (arg == "--strands") o.syntheticSheet.strands = static_cast<int>(wholeArg(arg, value, 1, 1000));
    else if (arg == "--length") o.syntheticSheet.length = static_cast<int>(wholeArg(arg, value, 1, 1000));
    else if (arg == "--twist") o.syntheticSheet.twist = numberArg(arg, value);
    else if (arg == "--parallel") o.syntheticSheet.parallel = true;
  }
  if (o.synthetic && !files.empty()) throw PrepareError("--synthetic takes no structure file");
  if (!o.synthetic && files.empty()) throw PrepareError("no structure file given (see --help)");
  if (!list && o.outDir.empty()) throw PrepareError("no output folder given: -o OUTDIR");
  if (o.synthetic && !o.mapPath.empty()) throw PrepareError("--map cannot be used with --synthetic");
  if (o.force && o.skipExisting) throw PrepareError("--force and --skip-existing contradict each other");
  // A file that could not be read, or a case that could not be written, is a
  // failure even when the others gave cases, so that a script notices it.
  const vel::prepare::PrepareTally tally = vel::prepare::prepareAll(files, o, list, std::cout, std::cerr);
  return tally.unreadable > 0 || tally.unwritten > 0 ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) { return vel::cli::runTool(run, argc, argv, "prepare fewer or smaller structures at a time, or at a coarser resolution"); }
