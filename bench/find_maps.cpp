#include "find_maps.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

using namespace vel;
using find::DensityBox;

std::vector<std::string> splitText(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::stringstream in(s);
  std::string part;
  while (std::getline(in, part, sep)) out.push_back(part);
  return out;
}

std::vector<EntryRow> entriesOf(const std::string& splitPath, const std::string& half) {
  std::ifstream in(splitPath);
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> header = splitText(line, '\t');
  const auto column = [&](const std::string& name, bool required) {
    const auto it = std::find(header.begin(), header.end(), name);
    if (it == header.end() && required) throw std::runtime_error(splitPath + ": no column " + name);
    return static_cast<size_t>(it - header.begin());
  };
  const size_t entry = column("entry", true), split = column("split", true), chains = column("chains", true);
  const size_t protein = column("protein", false);
  std::vector<EntryRow> out;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = splitText(line, '\t');
    if (f.size() > std::max({entry, split, chains}) && f[split] == half)
      out.push_back({f[entry], f[chains], protein < f.size() ? f[protein] : f[entry]});
  }
  return out;
}

std::string EntryRow::label() const {
  std::string l = entry;
  if (chain != "all")
    for (const std::string& c : splitText(chain, ',')) l += "_" + c;
  return l;
}

std::string structurePath(const std::string& dir, const std::string& entry) {
  for (const char* ending : {".pdb", ".cif"}) {
    const std::string p = dir + "/" + entry + ending;
    if (std::filesystem::exists(p)) return p;
  }
  return "";
}

std::vector<prepare::Atom> Truth::atoms() const {
  std::vector<prepare::Atom> out;
  for (const prepare::Residue& r : residues->residues) out.insert(out.end(), r.atoms.begin(), r.atoms.end());
  return out;
}

Truth truthOf(const find::ModelSheets& model, const std::string& chain) {
  Truth t;
  const std::vector<std::string> wanted = splitText(chain, ',');
  for (const find::ModelSheet& s : model.sheets)
    if (chain == "all" || std::count(wanted.begin(), wanted.end(), s.verdict.chain)) {
      t.chain = s.verdict.chain;
      break;
    }
  if (t.chain.empty()) return t;
  for (const find::ModelSheet& s : model.sheets)
    if (s.verdict.chain == t.chain) t.sheets.push_back(s);
  for (const prepare::Chain& c : model.structure.chains)
    if (c.name == t.chain) t.residues = &c;
  t.strandResidue.assign(t.residues->residues.size(), 0);
  for (const prepare::Sheet& sheet : model.structure.sheets)
    for (const prepare::Strand& s : sheet.strands) {
      if (s.start.chain != t.chain) continue;
      for (size_t i = 0; i < t.residues->residues.size(); ++i) {
        const int n = t.residues->residues[i].number;
        if (n >= s.start.number && n <= s.end.number) t.strandResidue[i] = 1;
      }
    }
  for (const prepare::Residue& r : t.residues->residues) t.volume += prepare::residueVolume(r.name);
  return t;
}

DensityGrid toGrid(const DensityBox& b) {
  DensityGrid g;
  g.nx = b.n[0];
  g.ny = b.n[1];
  g.nz = b.n[2];
  for (int d = 0; d < 3; ++d) {
    g.voxel[d] = b.voxel[d];
    g.origin[d] = b.origin[d];
  }
  g.values = b.values;
  return g;
}

DensityBox withValues(DensityBox b, const DensityGrid& g) {
  b.values = g.values;
  return b;
}

DensityBox copyOf(const DensityBox& clean, const std::string& copy, double resolution, double volume, uint32_t seed) {
  if (copy == "clean") return clean;
  const DensityGrid g = toGrid(clean);
  if (copy == "low-passed") return withValues(clean, lowPassed(g, resolution));
  // Noise band-limited like the signal, of 0.3 times the level enclosing the protein.
  DensityGrid noise = g;
  std::fill(noise.values.begin(), noise.values.end(), 0.0f);
  noise = lowPassed(withNoise(noise, 1.0, seed), resolution);
  double sumSq = 0;
  for (float v : noise.values) sumSq += static_cast<double>(v) * v;
  const double scale = 0.3 * thresholdForVolume(g, volume) / std::sqrt(sumSq / noise.values.size());
  DensityBox out = clean;
  for (size_t i = 0; i < out.values.size(); ++i) out.values[i] += static_cast<float>(scale * noise.values[i]);
  return out;
}
