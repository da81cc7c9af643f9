// An ideal sheet of known twist: straight strands side by side along x, each
// running along y, each turned about the x axis (the axis across the strands)
// by the twist relative to its neighbour.
#include <cmath>
#include <cstdio>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kStrandSpacing = 4.8;  // Å between neighbouring strands
constexpr double kRise = 3.35;          // Å per residue along a strand
constexpr int kLoopGap = 4;             // residue numbers skipped between strands, as if a turn joined them

std::string twistLabel(double twist) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", std::fabs(twist));
  return (twist < 0 ? "m" : "") + std::string(buf);
}

}  // namespace

Structure buildSyntheticSheet(const SyntheticSheetShape& shape) {
  if (shape.strands < 2 || shape.length < 2 || shape.strands > 50 || shape.length > 200)
    throw PrepareError("a synthetic sheet needs 2 to 50 strands of 2 to 200 residues");
  if (!std::isfinite(shape.twist) || std::fabs(shape.twist) >= 90)
    throw PrepareError("a synthetic sheet's twist must lie between -90 and 90 degrees");
  Structure st;
  st.source = "synthetic";
  st.entry = "synth_" + std::to_string(shape.strands) + "x" + std::to_string(shape.length) + "_t" +
             twistLabel(shape.twist) + (shape.parallel ? "_par" : "");
  Chain chain;
  chain.name = "A";
  chain.aminoAcids = true;
  Sheet sheet;
  sheet.id = "A";
  const double middle = (shape.strands - 1) / 2.0;
  for (int k = 0; k < shape.strands; ++k) {
    const double across = (k - middle) * kStrandSpacing;
    // Strands run along y and lie side by side along x: turning each by the
    // twist about +x gives neighbouring axes that signed angle.
    const double turn = (k - middle) * shape.twist * kPi / 180;
    const double c = std::cos(turn), s = std::sin(turn);
    const bool forward = shape.parallel || k % 2 == 0;
    const double dir = forward ? 1.0 : -1.0;
    const int firstNumber = k * (shape.length + kLoopGap) + 1;
    for (int i = 0; i < shape.length; ++i) {
      const int along = forward ? i : shape.length - 1 - i;
      const double y = (along - (shape.length - 1) / 2.0) * kRise;
      // The backbone lies flat in the sheet, so that each strand's C-alphas
      // are on one straight line; the C-betas point alternately up and down.
      const double side = (i % 2 == 0) ? 1.0 : -1.0;
      Residue r;
      r.name = "ALA";
      r.number = firstNumber + i;
      auto put = [&](const char* name, const char* element, double dx, double dy, double dz) {
        const double py = y + dy, pz = dz;
        Atom a;
        a.name = name;
        a.element = element;
        a.pos = {across + dx, c * py - s * pz, s * py + c * pz};
        a.occupancy = 1;
        a.bFactor = 20;
        r.atoms.push_back(a);
      };
      put("N", "N", 0.3, -1.2 * dir, 0.0);
      put("CA", "C", 0.0, 0.0, 0.0);
      put("C", "C", -0.3, 1.2 * dir, 0.0);
      put("O", "O", 1.2 * side, 1.6 * dir, 0.0);
      put("CB", "C", 0.0, 0.0, 1.5 * side);
      chain.residues.push_back(r);
    }
    Strand strand;
    strand.start = {"A", "ALA", firstNumber, ' '};
    strand.end = {"A", "ALA", firstNumber + shape.length - 1, ' '};
    strand.sense = k == 0 ? 0 : (shape.parallel ? 1 : -1);
    sheet.strands.push_back(strand);
  }
  st.chains.push_back(chain);
  st.sheets.push_back(sheet);
  return st;
}

}  // namespace prepare
}  // namespace vel
