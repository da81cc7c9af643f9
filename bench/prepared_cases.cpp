#include "prepared_cases.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>

#include "shape_sheets.h"
#include "velmorantique/prepare.h"

namespace vel {

namespace prep = vel::prepare;

namespace {

// A fixed stream of draws: the engine's output is the same in every standard
// library (its distributions are not, so they are not used).
struct Draw {
  std::mt19937 engine;
  explicit Draw(uint32_t seed) : engine(seed) {}
  int pick(int n) { return static_cast<int>(engine() % static_cast<uint32_t>(n)); }
  double uniform() { return (engine() + 0.5) / 4294967296.0; }
};

// Turns every atom by a uniformly drawn rotation and shifts it by up to a
// voxel, so that no strand lies along a grid axis.
void turnRandomly(prep::Structure& st, Draw& draw) {
  const double u1 = draw.uniform(), u2 = draw.uniform(), u3 = draw.uniform();
  double m[3][3];
  rotationFromUniforms(u1, u2, u3, m);
  const double shift[3] = {draw.uniform(), draw.uniform(), draw.uniform()};
  for (prep::Chain& chain : st.chains)
    for (prep::Residue& r : chain.residues)
      for (prep::Atom& at : r.atoms) {
        const prep::Point p = at.pos;
        for (int d = 0; d < 3; ++d) at.pos[d] = m[d][0] * p[0] + m[d][1] * p[1] + m[d][2] * p[2] + shift[d];
      }
}

// Prepares the structure's cases, keeping the folders written.
void prepareInto(const prep::Structure& st, const prep::PrepareOptions& o, bool synthetic, int index,
                 std::vector<PreparedFolder>& out) {
  std::ostringstream progress;
  for (const prep::CaseOutcome& c : prep::prepareCases(st, o, progress)) {
    if (c.written)
      out.push_back({o.outDir + "/" + c.name, synthetic, index});
    else
      std::fprintf(stderr, "  %s: %s\n", c.name.c_str(), c.message.c_str());
  }
}

}  // namespace

std::vector<PreparedFolder> prepareSyntheticSheets(const std::string& outDir, int count) {
  std::vector<PreparedFolder> out;
  for (int i = 0; i < count; ++i) {
    Draw draw(5000u + static_cast<uint32_t>(i));
    prep::SyntheticSheetShape shape;
    shape.strands = 3 + draw.pick(6);
    shape.length = 5 + draw.pick(8);
    shape.twist = -(5 + draw.pick(26));  // natural sheets have negative inter-strand angles
    shape.parallel = draw.pick(10) < 3;
    prep::Structure st = prep::buildSyntheticSheet(shape);
    turnRandomly(st, draw);
    st.entry = "p" + std::to_string(1000 + i).substr(1) + "_" + st.entry;
    prep::PrepareOptions o;
    o.outDir = outDir;
    o.resolutions = {static_cast<double>(5 + draw.pick(8))};
    o.synthetic = true;
    o.syntheticSheet = shape;
    o.force = true;
    prepareInto(st, o, true, i, out);
  }
  return out;
}

std::vector<PreparedFolder> prepareStructureSheets(const std::string& outDir, const std::vector<std::string>& files,
                                                   const std::vector<double>& resolutions) {
  std::vector<PreparedFolder> out;
  for (const std::string& file : files) {
    const prep::Structure st = prep::readStructure(file);
    for (const prep::Chain& chain : st.chains) {
      if (!chain.aminoAcids) continue;
      prep::PrepareOptions o;
      o.outDir = outDir;
      o.resolutions = resolutions;
      o.chain = chain.name;
      o.force = true;
      for (const prep::SheetVerdict& v : prep::judgeSheets(st, chain.name))
        if (v.eligible && v.chain == chain.name) o.sheets.push_back(v.sheet->id);
      if (!o.sheets.empty()) prepareInto(st, o, false, 0, out);
    }
  }
  return out;
}

}  // namespace vel
