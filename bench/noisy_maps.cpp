// Cases cut from noisy whole-chain maps: for each structure, the density of
// its first amino-acid chain is simulated at 8 Å (with room around it, where
// the noise is measured), Gaussian noise of 5%, 10% and 20% of the map's
// maximum is added, and velmorantique-prepare's library cuts every eligible
// sheet out of the clean and the noisy maps with its threshold rule. For each
// case the table gives the threshold and voxels kept, the noise measured, the
// model-map fit, and the shape direction (estimateShapeDirection): its angle
// to the clean case's direction and to the reference strands.
//
//   noisy_maps [STRUCTURE ...]     (default: the fixture entries)
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "velmorantique/compare.h"
#include "velmorantique/map.h"
#include "velmorantique/prepare.h"
#include "velmorantique/shape.h"

namespace fs = std::filesystem;
namespace prep = vel::prepare;
using namespace vel;

namespace {

constexpr double kResolution = 8.0;
constexpr double kRoom = 15.0;  // Å of map around the chain
const double kNoise[] = {0.0, 0.05, 0.10, 0.20};

// Gaussian draws from a fixed engine (the standard distributions differ
// between libraries): Box-Muller on the engine's own output.
struct Gauss {
  std::mt19937 engine;
  explicit Gauss(uint32_t seed) : engine(seed) {}
  double next() {
    const double u1 = (engine() + 0.5) / 4294967296.0, u2 = (engine() + 0.5) / 4294967296.0;
    return std::sqrt(-2 * std::log(u1)) * std::cos(2 * 3.141592653589793 * u2);
  }
};

Vectors strandMean(const prep::Structure& st, const prep::SheetVerdict& v) {
  std::vector<Vectors> axes;
  for (const auto& range : v.strandRanges) {
    PointList cas;
    for (size_t i = range.first; i <= range.second; ++i) {
      const prep::Point& p = st.chains[static_cast<size_t>(v.chainIndex)].residues[i].find("CA")->pos;
      cas.push_back(Coordinate(p[0], p[1], p[2]));
    }
    axes.push_back(strandAxis(cas).direction);
  }
  return meanLineDirection(axes);
}

struct Measured {
  bool written = false;
  std::string message;
  nlohmann::json meta;
  ShapeDirection shape;
};

Measured measure(const prep::Structure& st, const std::string& sheet, const std::string& mapPath,
                 const std::string& outDir) {
  prep::PrepareOptions o;
  o.outDir = outDir;
  o.mapPath = mapPath;
  o.sheets = {sheet};
  o.force = true;
  o.resolutions = {kResolution};
  std::ostringstream progress;
  Measured m;
  const std::vector<prep::CaseOutcome> out = prep::prepareCases(st, o, progress);
  if (out.empty()) return m;
  m.written = out[0].written;
  m.message = out[0].message;
  if (!m.written) return m;
  const std::string dir = outDir + "/" + out[0].name;
  m.meta = nlohmann::json::parse(std::ifstream(dir + "/meta.json"));
  Map map;
  map.read(dir + "/" + out[0].name + ".mrc");
  m.shape = estimateShapeDirection(densityGridFromMap(map), m.meta["threshold"].get<double>());
  return m;
}

std::string fixed(const nlohmann::json& v, const char* format) {
  if (!v.is_number() || !std::isfinite(v.get<double>())) return "NA";
  char buf[32];
  std::snprintf(buf, sizeof buf, format, v.get<double>());
  return buf;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) files.push_back(argv[i]);
  if (files.empty())
    for (const char* f : {"1hpv.pdb.gz", "1A7G.cif.gz"}) files.push_back(std::string(VEL_SOURCE_DIR) + "/tests/fixtures/" + f);
  const fs::path work = fs::temp_directory_path() / ("noisy_maps_" + std::to_string(::getpid()));
  fs::create_directories(work);
  std::printf("%-8s %-5s %5s %-7s %9s %7s %11s %9s %9s %12s %11s\n", "entry", "sheet", "noise", "case", "threshold",
              "voxels", "noise_sigma", "ca_in", "corr", "to_clean_deg", "error_deg");
  std::vector<std::vector<double>> toClean(std::size(kNoise));
  for (const std::string& file : files) {
    const prep::Structure st = prep::readStructure(file);
    const std::string chainName = prep::chainsPrepared(st, "").front();
    std::vector<prep::Atom> atoms;
    for (const prep::Chain& c : st.chains)
      if (c.name == chainName)
        for (const prep::Residue& r : c.residues) atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
    const prep::DensityBox clean = prep::simulateDensity(atoms, kResolution, 1.0, kRoom);
    float top = 0;
    for (float v : clean.values) top = std::max(top, v);
    for (const prep::SheetVerdict& v : prep::judgeSheets(st, "")) {
      if (!v.eligible) continue;
      const Vectors reference = strandMean(st, v);
      ShapeDirection cleanShape;
      for (size_t n = 0; n < std::size(kNoise); ++n) {
        prep::DensityBox noisy = clean;
        Gauss gauss(4242u + static_cast<uint32_t>(n));
        for (float& value : noisy.values) value += static_cast<float>(kNoise[n] * top * gauss.next());
        const std::string mapPath = (work / ("map_" + std::to_string(n) + ".mrc")).string();
        prep::writeMrc(mapPath, noisy);
        const Measured m = measure(st, v.sheet->id, mapPath, (work / "cases").string());
        if (n == 0) cleanShape = m.shape;
        const double angle = m.written && m.shape.found && cleanShape.found
                                 ? axisAngleDegrees(m.shape.direction, cleanShape.direction)
                                 : std::nan("");
        if (std::isfinite(angle)) toClean[n].push_back(angle);
        std::printf("%-8s %-5s %4.0f%% %-7s %9s %7s %11s %9s %9s %12s %11s\n", st.entry.c_str(), v.sheet->id.c_str(),
                    100 * kNoise[n], m.written ? "written" : "refused",
                    m.written ? m.meta["threshold"].dump().c_str() : "-",
                    m.written ? m.meta["voxels_above_threshold"].dump().c_str() : "-",
                    fixed(m.written ? m.meta["noise_sigma"] : nlohmann::json(), "%.4f").c_str(),
                    fixed(m.written ? m.meta["model_map_fit"]["strand_ca_in_density"] : nlohmann::json(), "%.2f").c_str(),
                    fixed(m.written ? m.meta["model_map_fit"]["correlation"] : nlohmann::json(), "%.3f").c_str(),
                    fixed(angle, "%.1f").c_str(),
                    fixed(m.written && m.shape.found ? axisAngleDegrees(m.shape.direction, reference) : std::nan(""),
                          "%.1f")
                        .c_str());
        if (!m.written) std::printf("         %s\n", m.message.c_str());
      }
    }
  }
  for (size_t n = 1; n < std::size(kNoise); ++n) {
    std::vector<double>& a = toClean[n];
    std::sort(a.begin(), a.end());
    std::printf("noise %2.0f%%: %zu cases written; angle to the clean case's shape direction: median %.1f, max %.1f deg\n",
                100 * kNoise[n], a.size(), a.empty() ? std::nan("") : a[a.size() / 2],
                a.empty() ? std::nan("") : a.back());
  }
  fs::remove_all(work);
  return 0;
}
