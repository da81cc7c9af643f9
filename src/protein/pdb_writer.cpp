#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <string>

#include "velmorantique/protein.h"

namespace vel {

namespace {

bool isResidueIndex(const Protein& p, int i) { return i >= 0 && i < p.numOfAA(); }

// The widest text a coordinate can take: sign, 309 integer digits, point
// and three decimals.
constexpr size_t kCoordinateRoom = 320;

// Text right-aligned in a field of at least `width` characters, as a
// right-justified stream writes it; longer text widens the field.
char* putRight(char* out, const char* text, size_t length, size_t width) {
  if (length < width) {
    std::memset(out, ' ', width - length);
    out += width - length;
  }
  std::memcpy(out, text, length);
  return out + length;
}

char* putRight(char* out, const std::string& text, size_t width) {
  return putRight(out, text.data(), text.size(), width);
}

char* putInt(char* out, int value, size_t width) {
  char digits[16];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return putRight(out, digits, static_cast<size_t>(end - digits), width);
}

// |value| * 1000 rounded to the nearest integer, ties to even, computed
// exactly from the binary value; false when |value| is 4e12 or more (or not
// a number).
bool roundedThousandths(double value, uint64_t& units) {
  const double magnitude = std::fabs(value);
  if (!(magnitude < 4e12)) return false;
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int biased = static_cast<int>(bits >> 52);
  // magnitude = mantissa * 2^-shift exactly; shift > 10 below 4e12. Zero and
  // subnormals are far below 0.0005.
  const int shift = 1075 - biased;
  if (biased == 0 || shift >= 64) {
    units = 0;
    return true;
  }
  const uint64_t mantissa = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const uint64_t scaled = mantissa * 1000;  // below 2^63
  units = scaled >> shift;
  const uint64_t rest = scaled & ((uint64_t{1} << shift) - 1), half = uint64_t{1} << (shift - 1);
  if (rest > half || (rest == half && (units & 1) != 0)) ++units;
  return true;
}

// Fixed notation with three decimals, correctly rounded (ties to even), as
// the stream prints it; a negative value that rounds to zero keeps its
// sign. Not-a-number and infinity take the C library's spelling ("nan",
// "-nan", "inf", "-inf") that the stream uses.
char* putCoordinate(char* out, double value) {
  char text[kCoordinateRoom];
  uint64_t units;
  if (!roundedThousandths(value, units)) {
    const size_t length =
        std::isfinite(value)
            ? static_cast<size_t>(std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 3).ptr - text)
            : static_cast<size_t>(std::snprintf(text, sizeof text, "%.3f", value));
    return putRight(out, text, length, 8);
  }
  char* const end = text + sizeof text;
  char* first = end;
  for (int d = 0; d < 3; ++d, units /= 10) *--first = static_cast<char>('0' + units % 10);
  *--first = '.';
  do {
    *--first = static_cast<char>('0' + units % 10);
    units /= 10;
  } while (units != 0);
  if (std::signbit(value)) *--first = '-';
  return putRight(out, first, static_cast<size_t>(end - first), 8);
}

size_t coordinateRoom(double value) { return std::fabs(value) < 1e9 ? 16 : kCoordinateRoom; }

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

void appendAtomRecord(std::string& out, int serial, const Atom& atom, const AminoAcid& aa) {
  const Coordinate& c = atom.coord;
  const size_t room = 80 + atom.name.size() + aa.chr3.size() + aa.chain.size() + atom.occupancy.size() +
                      atom.tempFactor.size() + atom.charge.size() + coordinateRoom(c.x) +
                      coordinateRoom(c.y) + coordinateRoom(c.z);
  const size_t at = out.size();
  out.resize(at + room);
  char* p = &out[at];
  std::memcpy(p, "ATOM", 4);
  p = putInt(p + 4, serial, 7);
  *p++ = ' ';
  p = putRight(p, atom.name, 4);
  *p++ = atom.altLoc;
  p = putRight(p, aa.chr3, 3);
  p = putRight(p, aa.chain, 2);
  p = putInt(p, aa.num, 4);
  *p++ = aa.iCode;
  p = putRight(p, "   ", 3, 3);
  p = putCoordinate(p, c.x);
  p = putCoordinate(p, c.y);
  p = putCoordinate(p, c.z);
  p = putRight(p, atom.occupancy, 6);
  p = putRight(p, atom.tempFactor, 6);
  p = putRight(p, "          ", 10, 10);
  p = putRight(p, &atom.type, 1, 2);
  p = putRight(p, atom.charge, 2);
  *p++ = '\n';
  out.resize(static_cast<size_t>(p - out.data()));
}

PdbFileOut::PdbFileOut(const std::string& path) : path_(path) {
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd_ < 0) {
    const std::string reason = std::strerror(errno);
    errMsg("Protein", "writePDBFile", "Unable to open " + path, true);
    noteUnwritten(path, reason, false);
    return;
  }
  block_.reserve(2 * kBlockBytes);
}

PdbFileOut::~PdbFileOut() {
  try {
    close();
  } catch (...) {
    // Unwinding from a refused run: the run's own message says why it ended.
  }
}

void PdbFileOut::flushIfFull() {
  if (block_.size() >= kBlockBytes) flush();
}

void PdbFileOut::flush() {
  const char* data = block_.data();
  size_t left = error_ == 0 ? block_.size() : 0;
  while (left > 0) {
    const ssize_t written = ::write(fd_, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      error_ = written < 0 ? errno : EIO;
      break;
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
  block_.clear();
}

bool PdbFileOut::close() {
  if (fd_ < 0) return error_ == 0;
  flush();
  // A file system may report a failed write only when the file is closed.
  if (::close(fd_) != 0 && error_ == 0) error_ = errno;
  fd_ = -1;
  if (error_ == 0) return true;
  // A cut PDB file reads as a whole one with fewer atoms.
  ::unlink(path_.c_str());
  const std::string reason = std::strerror(error_);
  errMsg("Protein", "writePDBFile", "Unable to write " + path_ + ": " + reason + ". The incomplete file was removed.");
  noteUnwritten(path_, reason, true);
  return false;
}

void Protein::writePDB(std::string path, int start, int end, bool writeHeader) const {
  const int n = numOfAA();
  if (start < 1 || start > n || end > n) {
    errMsg("Protein", "writePDB",
           "The given range (" + toString(start) + ", " + toString(end) +
               ") is incorrect..or the portion os empty (no.AA= " + toString(n) + ")",
           true);
    return;
  }
  PdbFileOut file(path);
  if (!file.isOpen()) return;

  std::ostringstream out;
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
  file.text() += out.str();

  int serial = 1;
  for (int p = start; p <= end; ++p) {
    for (const Atom& atom : AAs[p - 1].atoms) {
      appendAtomRecord(file.text(), serial++, atom, AAs[p - 1]);
      file.flushIfFull();
    }
  }
  file.close();
}

}  // namespace vel
