#include "reference/plain_pdb_writer.h"

#include <iomanip>
#include <sstream>
#include <vector>

namespace vel::plain {

namespace {

void writeAtomRecord(std::ostream& out, int serial, const Atom& atom, const AminoAcid& aa) {
  out << "ATOM" << std::setw(7) << serial << " " << std::setw(4) << atom.name << atom.altLoc
      << std::setw(3) << aa.chr3 << std::setw(2) << aa.chain << std::setw(4) << aa.num << aa.iCode
      << std::setw(3) << " ";
  const std::ios_base::fmtflags flags = out.flags();
  const std::streamsize precision = out.precision();
  out << std::fixed << std::setprecision(3) << std::setw(8) << atom.coord.x << std::setw(8)
      << atom.coord.y << std::setw(8) << atom.coord.z;
  out.flags(flags);
  out.precision(precision);
  out << std::setw(6) << atom.occupancy << std::setw(6) << atom.tempFactor << std::setw(10) << " "
      << std::setw(2) << atom.type << std::setw(2) << atom.charge << "\n";
}

}  // namespace

std::string atomRecord(int serial, const Atom& atom, const AminoAcid& aa) {
  std::ostringstream out;
  out << std::right;
  writeAtomRecord(out, serial, atom, aa);
  return out.str();
}

std::string pseudoAtomFile(const PointList& points, const std::string& resName, const std::string& atomName) {
  constexpr int kSpan = 100000;
  std::vector<AminoAcid> residues;
  AminoAcid aa;
  aa.chr3 = resName;
  aa.chain = "A";
  aa.num = 1;
  const int count = static_cast<int>(points.size());
  for (int i = 0; i < count; ++i) {
    Atom atom;
    atom.name = atomName;
    atom.coord = points[i];
    aa.atoms.push_back(atom);
    if (count <= kSpan - 1) continue;
    if (i == count - 1) {
      aa.num = (i - kSpan) / kSpan + 2;
      residues.push_back(aa);
    } else if ((i + 2) % kSpan == 0) {
      aa.num = (i + 2) / kSpan;
      residues.push_back(aa);
      aa.atoms.clear();
    }
  }
  if (count <= kSpan - 1) residues.push_back(aa);

  std::ostringstream out;
  out << std::right;
  int serial = 1;
  for (const AminoAcid& r : residues)
    for (const Atom& atom : r.atoms) writeAtomRecord(out, serial++, atom, r);
  return out.str();
}

}  // namespace vel::plain
