// Trains the finder's sheet classifier on whole-chain maps simulated from the
// tuning half of the entries (never the held-out half), and writes its
// weights as C++ source for src/find/sheet_net_weights.inc.
//
//   find_train --entries DIR --split SPLIT.tsv --out FILE.inc [--per-protein 2] [--samples 4000]
//              [--hidden 16] [--epochs 30] [--resolutions 6,8,10] [--copies clean,low-passed,noisy]
//              [--kind-voxel V] [--working-voxel 1] [--exclude PROTEIN,... | --include PROTEIN,...]
//              [--save-set FILE | --load-set FILE [--load-set FILE ...]]
//
// --copies takes the plain copies above and the map kinds of
// bench/map_kinds.h (sharpened, masked, masked-flat, crowded, coarse, local-res,
// deposited); --kind-voxel sets the kinds' voxel size. A crowded map's
// neighbours are labelled like the chain, from their own strands.
//
// --exclude leaves proteins of the tuning half out of the training, so that
// the finder can be measured on them honestly while it is tuned; --include
// reads only those (to add them to a saved set later).
//
// Each voxel in the density at the level is labelled by its nearest heavy
// atom within 3 Å: a residue of a SHEET strand (or DSSP's) or not; and
// whether a strand's backbone atom lies within 2.5 Å of it. The level is the
// one enclosing the chain's mass, scaled by a random factor of 0.8-1.25 so
// that the classifier does not rely on one way of choosing it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "find/find_parts.h"
#include "find_maps.h"

namespace fs = std::filesystem;
using namespace vel;
using find::DensityBox;

namespace {

bool isBackbone(const std::string& name) { return name == "N" || name == "CA" || name == "C" || name == "O"; }

// Labels per voxel of the crop: (sheet residue, sheet backbone), from every
// atom the map holds (a crowded map's neighbours too).
void labelVoxels(const DensityBox& box, const std::vector<LabelledAtom>& atoms, std::vector<char>& sheet,
                 std::vector<char>& backbone) {
  const size_t total = box.values.size();
  std::vector<float> nearest(total, INFINITY);
  sheet.assign(total, 0);
  backbone.assign(total, 0);
  const double reach = 3.0, backboneReach = 2.5;
  for (const LabelledAtom& la : atoms) {
    const bool strand = la.strand;
    const prepare::Atom& atom = la.atom;
    prepare::visitVoxelsAround(box, atom.pos, reach, [&](size_t at, double squared) {
      const double d = std::sqrt(squared);
      if (d > reach) return;
      if (strand && isBackbone(atom.name) && d <= backboneReach) backbone[at] = 1;
      if (d < nearest[at]) {
        nearest[at] = static_cast<float>(d);
        sheet[at] = strand;
      }
    });
  }
}

void saveSet(const std::string& path, const find::TrainingSet& s) {
  std::ofstream out(path, std::ios::binary);
  const int64_t rows = static_cast<int64_t>(s.y.size() / s.outputs);
  out.write(reinterpret_cast<const char*>(&s.inputs), sizeof s.inputs);
  out.write(reinterpret_cast<const char*>(&s.outputs), sizeof s.outputs);
  out.write(reinterpret_cast<const char*>(&rows), sizeof rows);
  out.write(reinterpret_cast<const char*>(s.x.data()), static_cast<std::streamsize>(s.x.size() * sizeof(float)));
  out.write(reinterpret_cast<const char*>(s.y.data()), static_cast<std::streamsize>(s.y.size() * sizeof(float)));
}

find::TrainingSet loadSet(const std::string& path) {
  find::TrainingSet s;
  std::ifstream in(path, std::ios::binary);
  int64_t rows = 0;
  in.read(reinterpret_cast<char*>(&s.inputs), sizeof s.inputs);
  in.read(reinterpret_cast<char*>(&s.outputs), sizeof s.outputs);
  in.read(reinterpret_cast<char*>(&rows), sizeof rows);
  s.x.resize(static_cast<size_t>(rows) * s.inputs);
  s.y.resize(static_cast<size_t>(rows) * s.outputs);
  in.read(reinterpret_cast<char*>(s.x.data()), static_cast<std::streamsize>(s.x.size() * sizeof(float)));
  in.read(reinterpret_cast<char*>(s.y.data()), static_cast<std::streamsize>(s.y.size() * sizeof(float)));
  if (!in) throw std::runtime_error(path + ": truncated training set");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  std::string entries, split, out, saveTo, work = "/tmp/find_train";
  std::vector<std::string> loadFrom, exclude, include;
  std::vector<double> resolutions{6, 8, 10};
  std::vector<std::string> copies{"clean", "low-passed", "noisy"};
  int perProtein = 2;
  double kindVoxel = 0;
  size_t samples = 4000;
  find::TrainingPlan plan;
  plan.voxel = 1;  // the simulated maps' own grid, which the finder then reads every map on
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--entries") entries = next();
    else if (arg == "--split") split = next();
    else if (arg == "--out") out = next();
    else if (arg == "--work") work = next();
    else if (arg == "--save-set") saveTo = next();
    else if (arg == "--load-set") loadFrom.push_back(next());
    else if (arg == "--exclude") exclude = splitText(next(), ',');
    else if (arg == "--include") include = splitText(next(), ',');
    else if (arg == "--working-voxel") plan.voxel = std::stod(next());
    else if (arg == "--per-protein") perProtein = std::stoi(next());
    else if (arg == "--samples") samples = static_cast<size_t>(std::stoul(next()));
    else if (arg == "--hidden") plan.hidden = std::stoi(next());
    else if (arg == "--epochs") plan.epochs = std::stoi(next());
    else if (arg == "--rate") plan.rate = std::stod(next());
    else if (arg == "--resolutions") {
      resolutions.clear();
      for (const std::string& r : splitText(next(), ',')) resolutions.push_back(std::stod(r));
    } else if (arg == "--copies") {
      copies = splitText(next(), ',');
      for (const std::string& c : copies)
        if (!isPlainCopy(c)) mapKind(c);  // an unknown name stops before any work
    } else if (arg == "--kind-voxel") kindVoxel = std::stod(next());
    else {
      std::cerr << "unknown option " << arg << "\n";
      return 2;
    }
  }
  find::TrainingSet set;
  set.inputs = find::kVoxelFeatureCount;
  set.outputs = 2;
  if (!loadFrom.empty()) {
    for (const std::string& path : loadFrom) {
      const find::TrainingSet part = loadSet(path);
      set.x.insert(set.x.end(), part.x.begin(), part.x.end());
      set.y.insert(set.y.end(), part.y.begin(), part.y.end());
    }
  } else {
    fs::create_directories(work);
    std::mt19937 random(20261207);
    std::map<std::string, int> taken;
    find::ModelSheets model;
    std::string modelPath;
    // Only the tuning half is ever read here.
    for (const EntryRow& row : entriesOf(split, "tuning")) {
      const auto listed = [&](const std::vector<std::string>& list) {
        return std::find(list.begin(), list.end(), row.protein) != list.end();
      };
      if (listed(exclude) || (!include.empty() && !listed(include))) continue;
      if (taken[row.protein]++ >= perProtein) continue;
      const std::string path = structurePath(entries, row.entry);
      if (path.empty()) continue;
      // Consecutive rows often name chains of one large entry: read it once.
      if (path != modelPath) {
        model = modelSheetsWithDssp(path);
        modelPath = path;
      }
      const Truth truth = truthOf(model, row.chain);
      if (!truth.residues) continue;
      const std::vector<prepare::Atom> atoms = truth.atoms();
      size_t rowsBefore = set.y.size() / 2, positives = 0;
      for (double resolution : resolutions) {
        const DensityBox clean = prepare::simulateDensity(atoms, resolution, 1.0, 8.0);
        for (const std::string& copy : copies) {
          // Each chain at each resolution has its own noise stream.
          char res[32];
          std::snprintf(res, sizeof res, "_%ga", resolution);
          // A kind of map_kinds.h (its own noise stream per kind) or a plain copy.
          KindMap made;
          if (isPlainCopy(copy)) {
            made.map.box = copyOf(clean, copy, resolution, truth.volume, noiseSeed(row.label() + res));
            made.map.volume = truth.volume;
            made.atoms = labelledAtoms(*truth.residues, truth.strandResidue);
          } else {
            MapKind kind = mapKind(copy);
            if (kindVoxel > 0) kind.voxel = kindVoxel;
            made = kindMapOf(model, truth, kind, resolution, noiseSeed(row.label() + "_" + copy + res));
          }
          const DensityBox& map = made.map.box;
          const std::string mapPath = work + "/" + fileLabel(row.label()) + ".mrc";
          prepare::writeMrc(mapPath, map);
          find::FindOptions o;
          o.mapPath = mapPath;
          o.resolution = resolution;
          o.level.massKda = made.map.volume / 1.21 / 1000 *
                            std::exp(std::uniform_real_distribution<double>(std::log(0.8), std::log(1.25))(random));
          std::ostringstream quiet;
          find::FindResult r;
          try {
            r = find::locateDensity(o, quiet);
          } catch (const find::FindError& e) {
            std::cerr << "  " << row.label() << ": " << e.what() << "\n";
            continue;
          }
          const find::WorkingGrid grid = find::workingGrid(r.crop.box, r.inDensity, resolution, plan.voxel);
          const DensityBox& box = grid.box;
          const find::VoxelFeatures f = find::voxelFeatures(box, grid.inDensity, resolution, r.level.value);
          std::vector<char> sheet, backbone;
          labelVoxels(box, made.atoms, sheet, backbone);
          std::vector<size_t> rows(f.voxels.size());
          for (size_t t = 0; t < rows.size(); ++t) rows[t] = t;
          std::shuffle(rows.begin(), rows.end(), random);
          if (rows.size() > samples) rows.resize(samples);
          for (size_t t : rows) {
            set.x.insert(set.x.end(), &f.values[t * find::kVoxelFeatureCount], &f.values[(t + 1) * find::kVoxelFeatureCount]);
            set.y.push_back(sheet[f.voxels[t]]);
            set.y.push_back(backbone[f.voxels[t]]);
            positives += sheet[f.voxels[t]];
          }
        }
      }
      fs::remove(work + "/" + fileLabel(row.label()) + ".mrc");
      const size_t added = set.y.size() / 2 - rowsBefore;
      std::cerr << row.label() << ": " << added << " samples, " << positives << " of a sheet\n";
    }
    if (!saveTo.empty()) saveSet(saveTo, set);
  }
  std::cerr << set.y.size() / 2 << " samples; training\n";
  const find::VoxelNet net = find::trainVoxelNet(set, plan, &std::cerr);
  std::ofstream file(out);
  find::writeNetSource(net, file);
  return 0;
}
