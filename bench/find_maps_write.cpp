// Writes simulated whole-chain maps of the asked kinds as MRC files, to look
// at and to train on, with a central slice of each as a PGM picture.
//
//   find_maps --entries DIR --split SPLIT.tsv --write OUT [--half tuning] [--kinds clean,noisy,...]
//             [--resolutions 6,8,10] [--voxel V] [--limit N] [--only ENTRY,...] [--slices]
//             [--slice-axis z]
//
// Kinds: clean, sharpened, noisy, masked, masked-flat, crowded, coarse,
// local-res, deposited (docs/simulated_maps.md). OUT/LABEL_KIND_RA.mrc per map, and
// OUT/LABEL_KIND_RA.pgm with --slices: the section through the box's middle
// across --slice-axis (z unless given), black at the map's minimum and white at its maximum. --voxel
// overrides the kinds' voxel size (0.8-4 Å in the training). The noise's seed
// is the CRC-32 of the map's name.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "find_maps.h"
#include "map_kinds.h"
#include "shape_sheets.h"

namespace fs = std::filesystem;
using namespace vel;

namespace {

const char* kUsage =
    "usage: find_maps --entries DIR --split SPLIT.tsv --write OUT [--half tuning] [--kinds K,...]\n"
    "                 [--resolutions 6,8,10] [--voxel V] [--limit N] [--only ENTRY,...] [--slices]\n"
    "                 [--slice-axis x|y|z]\n";

// The section through the box's middle across `axis` (0-2), the next axis
// across the picture and the one after it upwards.
void writeSlice(const std::string& path, const prepare::DensityBox& box, int axis) {
  const int across = (axis + 1) % 3, up = (axis + 2) % 3;
  float lo = box.values[0], hi = box.values[0];
  for (float v : box.values) {
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  std::ofstream out(path, std::ios::binary);
  out << "P5\n" << box.n[across] << " " << box.n[up] << "\n255\n";
  int at[3];
  at[axis] = box.n[axis] / 2;
  for (at[up] = box.n[up] - 1; at[up] >= 0; --at[up])
    for (at[across] = 0; at[across] < box.n[across]; ++at[across]) {
      const double f = hi > lo ? (box.values[box.index(at[0], at[1], at[2])] - lo) / (hi - lo) : 0;
      out.put(static_cast<char>(static_cast<unsigned char>(std::lround(255 * f))));
    }
  if (!out) throw std::runtime_error(path + ": cannot be written");
}

}  // namespace

int main(int argc, char** argv) try {
  std::string entries, split, outDir, half = "tuning";
  std::vector<std::string> kinds{"clean"}, only;
  std::vector<double> resolutions{6, 8, 10};
  double voxel = 0;
  int limit = 1000000;
  bool slices = false;
  int sliceAxis = 2;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--entries") entries = next();
    else if (arg == "--split") split = next();
    else if (arg == "--write") outDir = next();
    else if (arg == "--half") half = next();
    else if (arg == "--kinds") kinds = splitText(next(), ',');
    else if (arg == "--only") only = splitText(next(), ',');
    else if (arg == "--voxel") voxel = std::stod(next());
    else if (arg == "--limit") limit = std::stoi(next());
    else if (arg == "--slices") slices = true;
    else if (arg == "--slice-axis") {
      const std::string a = next();
      if (a != "x" && a != "y" && a != "z") throw std::runtime_error("--slice-axis takes x, y or z");
      sliceAxis = a[0] - 'x';
    }
    else if (arg == "--resolutions") {
      resolutions.clear();
      for (const std::string& r : splitText(next(), ',')) resolutions.push_back(std::stod(r));
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << "kinds:";
      for (const std::string& k : mapKindNames()) std::cout << " " << k;
      std::cout << "\n";
      return 0;
    } else {
      std::cerr << "unknown option " << arg << "\n" << kUsage;
      return 2;
    }
  }
  if (entries.empty() || split.empty() || outDir.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  for (const std::string& k : kinds) mapKind(k);  // an unknown kind stops before any work
  fs::create_directories(outDir);
  int written = 0;
  for (const EntryRow& row : entriesOf(split, half)) {
    if (written >= limit) break;
    if (!only.empty() && std::find(only.begin(), only.end(), row.entry) == only.end()) continue;
    const std::string path = structurePath(entries, row.entry);
    if (path.empty()) {
      std::cerr << row.label() << ": no structure file in " << entries << "\n";
      continue;
    }
    const find::ModelSheets model = modelSheetsWithDssp(path);
    const Truth truth = truthOf(model, row.chain);
    if (!truth.residues) {
      std::cerr << row.label() << ": no chain with an eligible sheet\n";
      continue;
    }
    const std::string label = fileLabel(row.label());
    for (const std::string& k : kinds)
      for (double resolution : resolutions) {
        MapKind kind = mapKind(k);
        if (voxel > 0) kind.voxel = voxel;
        char res[32];
        std::snprintf(res, sizeof res, "%gA", resolution);
        const std::string name = label + "_" + k + "_" + res;
        const SimulatedMap map = kindMapOf(model, truth, kind, resolution, noiseSeed(name)).map;
        prepare::writeMrc(outDir + "/" + name + ".mrc", map.box);
        if (slices) writeSlice(outDir + "/" + name + ".pgm", map.box, sliceAxis);
        std::cerr << name << ": " << map.box.n[0] << "x" << map.box.n[1] << "x" << map.box.n[2] << " voxels of "
                  << kind.voxel << " Å, level " << map.level << ", " << map.copies.size() << " packed copies\n";
      }
    ++written;
  }
  return 0;
} catch (const std::exception& e) {
  std::cerr << "find_maps: " << e.what() << "\n";
  return 1;
}
