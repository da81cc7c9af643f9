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
  if (!in) throw std::runtime_error(splitPath + ": cannot be read");
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

std::string fileLabel(std::string label) {
  std::replace(label.begin(), label.end(), '/', '_');
  return label;
}

std::string structurePath(const std::string& dir, const std::string& entry) {
  for (const char* ending : {".pdb", ".cif", ".pdb.gz", ".cif.gz"}) {
    const std::string p = dir + "/" + entry + ending;
    if (std::filesystem::exists(p)) return p;
  }
  return "";
}

find::ModelSheets modelSheetsWithDssp(const std::string& path) {
  find::ModelSheets m = find::readModelSheets(path);
  if (!m.structure.sheets.empty()) return m;
  prepare::assignSecondaryStructure(m.structure, prepare::SheetSource::Auto, "all", prepare::DsspRun());
  m.sheets = find::eligibleSheets(m.structure);
  return m;
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
  t.strandResidue = strandResiduesOf(model.structure, *t.residues);
  for (const prepare::Residue& r : t.residues->residues) t.volume += prepare::residueVolume(r.name);
  return t;
}

std::vector<char> strandResiduesOf(const prepare::Structure& st, const prepare::Chain& chain) {
  std::vector<char> out(chain.residues.size(), 0);
  for (const prepare::Sheet& sheet : st.sheets)
    for (const prepare::Strand& s : sheet.strands) {
      if (s.start.chain != chain.name) continue;
      for (size_t i = 0; i < chain.residues.size(); ++i) {
        const int n = chain.residues[i].number;
        if (n >= s.start.number && n <= s.end.number) out[i] = 1;
      }
    }
  return out;
}

std::vector<LabelledAtom> labelledAtoms(const prepare::Chain& chain, const std::vector<char>& strand) {
  std::vector<LabelledAtom> out;
  for (size_t i = 0; i < chain.residues.size(); ++i)
    for (const prepare::Atom& a : chain.residues[i].atoms) out.push_back({a, strand[i] != 0});
  return out;
}

bool isPlainCopy(const std::string& copy) { return copy == "clean" || copy == "low-passed" || copy == "noisy"; }

KindMap kindMapOf(const find::ModelSheets& model, const Truth& truth, const MapKind& kind, double resolution,
                  uint32_t seed) {
  KindMap out;
  out.atoms = labelledAtoms(*truth.residues, truth.strandResidue);
  std::vector<LabelledAtom> others;
  for (const prepare::Chain& c : model.structure.chains)
    if (c.name != truth.chain) {
      const std::vector<LabelledAtom> more = labelledAtoms(c, strandResiduesOf(model.structure, c));
      others.insert(others.end(), more.begin(), more.end());
    }
  const std::vector<prepare::Atom> chainAtoms = truth.atoms();
  std::vector<prepare::Atom> otherAtoms;
  for (const LabelledAtom& a : others) otherAtoms.push_back(a.atom);
  out.map = simulatedMap(chainAtoms, otherAtoms, truth.volume, kind, resolution, seed);
  if (kind.crowd) {
    if (kind.crowding.otherChains) out.atoms.insert(out.atoms.end(), others.begin(), others.end());
    if (kind.crowding.otherChains)
      for (const find::ModelSheet& sheet : model.sheets)
        if (sheet.verdict.chain != truth.chain) out.neighbourSheets.push_back(sheet);
    const size_t own = chainAtoms.size();
    for (const RigidMotion& m : out.map.copies) {
      for (size_t i = 0; i < own; ++i) {
        LabelledAtom a = out.atoms[i];
        a.atom.pos = m.apply(a.atom.pos);
        out.atoms.push_back(a);
      }
      for (find::ModelSheet sheet : truth.sheets) {
        for (prepare::Point& ca : sheet.strandCAs) ca = m.apply(ca);
        out.neighbourSheets.push_back(sheet);
      }
    }
  }
  return out;
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
