#include <fstream>
#include <iomanip>
#include <ostream>
#include <string>

#include "velmorantique/protein.h"

namespace {

bool isResidueIndex(const Protein& p, int i) { return i >= 0 && i < p.numOfAA(); }

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

void writeHelixRecord(std::ostream& out, int serNum, int helixID, const AminoAcid& first,
                      const AminoAcid& last, int helixClass, const std::string& comment,
                      int length) {
  out << "HELIX  " << std::setw(3) << serNum << " " << std::setw(3) << helixID << " " << first.chr3
      << " " << first.chain << " " << std::setw(4) << first.num << first.iCode << " " << last.chr3
      << " " << last.chain << " " << std::setw(4) << last.num << last.iCode << std::setw(2)
      << helixClass << std::left << std::setw(30) << comment << std::right << " " << std::setw(5)
      << length << "\n";
}

void writeResidueId(std::ostream& out, const AminoAcid& aa) {
  out << aa.chr3 << " " << aa.chain << std::setw(4) << aa.num << aa.iCode;
}

void writeSheetRecord(std::ostream& out, const Protein& p, const SheetsSecondaryStructure& s) {
  out << "SHEET  " << std::setw(3) << s.strand << " " << s.sheetID << std::setw(2) << s.numStrands
      << " ";
  writeResidueId(out, p.AAs[s.start]);
  out << " ";
  writeResidueId(out, p.AAs[s.end]);
  out << std::setw(2) << s.sense << " ";
  if (s.strand != 1 && isResidueIndex(p, s.curResIndx) && isResidueIndex(p, s.prevResIndx)) {
    out << s.curAtom;
    writeResidueId(out, p.AAs[s.curResIndx]);
    out << " " << s.prevAtom;
    writeResidueId(out, p.AAs[s.prevResIndx]);
  }
  out << "\n";
}

}  // namespace

void Protein::writePDB(std::string path, int start, int end, bool writeHeader) const {
  const int n = numOfAA();
  if (start < 1 || start > n || end > n) {
    errMsg("Protein", "writePDB",
           "The given range (" + toString(start) + ", " + toString(end) +
               ") is incorrect..or the portion os empty (no.AA= " + toString(n) + ")",
           true);
    return;
  }
  std::ofstream out(path.c_str(), std::ios::out | std::ios::trunc);
  if (!out) {
    errMsg("Protein", "writePDBFile", "Unable to open " + path, true);
    return;
  }
  out << std::right;

  if (writeHeader) {
    for (const std::string& line : header) out << line << "\n";
  } else {
    // Helices are clipped to the residues written; a clipped helix is
    // renumbered with the running count, since its own numbers no longer
    // describe it.
    const int lo = start - 1, hi = end - 1;
    int count = 1;
    for (const HelicesSecondaryStructure& h : hlces) {
      int first, last, serNum, helixID, length;
      if (lo <= h.start && h.end <= hi) {
        first = h.start, last = h.end, serNum = h.serNum, helixID = h.helixID, length = h.length;
      } else if (h.start < lo && h.end > hi) {
        first = lo, last = hi, serNum = count, helixID = count, length = end - start + 1;
      } else if (lo <= h.start && h.start <= hi && h.end > hi) {
        first = h.start, last = hi, serNum = count, helixID = count, length = hi - h.start + 1;
      } else if (h.start < lo && lo <= h.end && h.end <= hi) {
        first = lo, last = h.end, serNum = count, helixID = count, length = h.end - lo + 1;
      } else {
        continue;
      }
      // A record that would name a residue outside the chain is not written.
      if (!isResidueIndex(*this, first) || !isResidueIndex(*this, last)) continue;
      writeHelixRecord(out, serNum, helixID, AAs[first], AAs[last], h.helixClass, h.comment, length);
      ++count;
    }
    for (const SheetsSecondaryStructure& s : strands) {
      if (!isResidueIndex(*this, s.start) || !isResidueIndex(*this, s.end)) continue;
      writeSheetRecord(out, *this, s);
    }
  }

  int serial = 1;
  for (int p = start; p <= end; ++p)
    for (const Atom& atom : AAs[p - 1].atoms) writeAtomRecord(out, serial++, atom, AAs[p - 1]);
  out.close();
}
