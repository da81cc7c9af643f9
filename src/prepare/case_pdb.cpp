// The case's PDB file, in the fixed 80-column records the analysis slices:
// header lines first (the analysis takes SHEET records only before the first
// atom), the sheet's own SHEET records, then the chain's ATOM records.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

std::string record(const std::string& text) {
  std::string line = text.substr(0, 80);
  line.resize(80, ' ');
  return line + "\n";
}

// Atom names of one-letter elements start in column 14 unless they fill all
// four columns; two-letter elements start in column 13.
std::string paddedAtomName(const std::string& name, const std::string& element) {
  if (name.size() >= 4 || element.size() == 2) return (name + "    ").substr(0, 4);
  return (" " + name + "    ").substr(0, 4);
}

char oneChar(const std::string& chain) { return chain.empty() ? ' ' : chain[0]; }

std::string residueField(const ResidueId& id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3.3s %c%4d%c", id.name.c_str(), oneChar(id.chain), id.number, id.icode);
  return buf;
}

std::string sheetRecord(int serial, const Sheet& sheet, const Strand& s, bool registration) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "SHEET  %3d %3.3s%2d %s %s%2d", serial, sheet.id.c_str(),
                static_cast<int>(sheet.strands.size()), residueField(s.start).c_str(), residueField(s.end).c_str(),
                s.sense);
  std::string line = buf;
  if (registration) {
    const std::string cur = paddedAtomName(s.curAtom, s.curAtom.substr(0, 1));
    const std::string prev = paddedAtomName(s.prevAtom, s.prevAtom.substr(0, 1));
    std::snprintf(buf, sizeof buf, " %s%s %s%s", cur.c_str(), residueField(s.cur).c_str(), prev.c_str(),
                  residueField(s.prev).c_str());
    line += buf;
  }
  return record(line);
}

bool inChain(const Chain& chain, const ResidueId& id) {
  if (id.chain != chain.name) return false;
  for (const Residue& r : chain.residues)
    if (r.number == id.number && r.icode == id.icode) return true;
  return false;
}

std::string formatCoordinate(double v) {
  if (!(std::fabs(v) < 9999.9995)) throw PrepareError("a coordinate does not fit the PDB format: " + std::to_string(v));
  char buf[16];
  std::snprintf(buf, sizeof buf, "%8.3f", v);
  return buf;
}

}  // namespace

void writeCasePdb(const std::string& path, const Structure& st, const SheetVerdict& v, const std::string& title) {
  const Chain& chain = st.chains.at(static_cast<size_t>(v.chainIndex));
  const Sheet& sheet = *v.sheet;
  std::string text;
  std::string entry = st.entry;
  for (char& c : entry) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  char buf[128];
  std::snprintf(buf, sizeof buf, "HEADER    %-40s%-12s%-4.4s", "BETA-SHEET CASE", "", entry.c_str());
  text += record(buf);
  // A long title goes on continuation lines, numbered in columns 9-10.
  for (size_t at = 0, n = 1; at < title.size(); at += 70, ++n) {
    const std::string part = title.substr(at, 70);
    if (n == 1)
      std::snprintf(buf, sizeof buf, "TITLE     %s", part.c_str());
    else
      std::snprintf(buf, sizeof buf, "TITLE   %2zu%s", n, part.c_str());
    text += record(buf);
  }
  int serial = 1;
  for (const Strand& s : sheet.strands) {
    const bool registration = s.registered && inChain(chain, s.cur) && inChain(chain, s.prev);
    text += sheetRecord(serial++, sheet, s, registration);
  }
  int atomSerial = 1;
  const Residue* last = nullptr;
  for (const Residue& r : chain.residues) {
    for (const Atom& a : r.atoms) {
      std::snprintf(buf, sizeof buf, "ATOM  %5d %s %3.3s %c%4d%c   %s%s%s%6.2f%6.2f          %2.2s",
                    atomSerial > 99999 ? 99999 : atomSerial, paddedAtomName(a.name, a.element).c_str(),
                    r.name.c_str(), oneChar(chain.name), r.number, r.icode, formatCoordinate(a.pos[0]).c_str(),
                    formatCoordinate(a.pos[1]).c_str(), formatCoordinate(a.pos[2]).c_str(), a.occupancy, a.bFactor,
                    a.element.c_str());
      text += record(buf);
      ++atomSerial;
    }
    last = &r;
  }
  if (last) {
    std::snprintf(buf, sizeof buf, "TER   %5d      %3.3s %c%4d%c", atomSerial > 99999 ? 99999 : atomSerial,
                  last->name.c_str(), oneChar(chain.name), last->number, last->icode);
    text += record(buf);
  }
  text += record("END");
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) throw PrepareError(path + ": cannot be written");
}

}  // namespace prepare
}  // namespace vel
