#pragma once
// One chain of a structure: residues with their atoms, helix and strand records,
// residues listed as missing, and the file's header lines. Read from a PDB file,
// or built from a point list as pseudo-atoms for writing.

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "velmorantique/fatal.h"
#include "velmorantique/geometry.h"

namespace vel {

struct Torsion {
  double phi = 999.0, psi = 999.0;  // 999 marks an angle that is not set
};

struct Atom {
  std::string name = "NONE";  // PDB columns 13-16, blanks kept
  char altLoc = ' ';
  std::string occupancy;
  std::string tempFactor;
  std::string charge;
  Coordinate coord;
  char type = ' ';  // element letter
  bool isSideChain = false;
};

struct AminoAcid {
  std::vector<Atom> atoms;
  char chr1 = ' ';
  std::string chr3;
  std::string chain;
  int num = 0;
  char iCode = ' ';
  Coordinate center;
  char ssType = 'L';
  Coordinate scEndPoint;
  char centerType = 'N';
  char centerMethod = 'N';
  double rg = 0.0;
  Coordinate rgXYZ;
  Torsion torsion;
};

struct missingAA {
  std::string chr3;
  char chr1 = ' ';
  int num = 0;
  char iCode = ' ';
  char ssType = 'L';
};

struct HelicesSecondaryStructure {
  int start = -1;
  int end = -1;
  int serNum = 0;
  int helixID = 0;
  int length = 0;
  int seqLength = 0;
  std::string comment;
  int helixClass = 1;
};

struct SheetsSecondaryStructure {
  int start = -1;
  int end = -1;
  int strand = 0;
  std::string sheetID;
  int numStrands = 0;
  int length = 0;
  int seqLength = 0;
  int sense = 1;
  std::string curAtom;
  std::string prevAtom;
  int curResIndx = -1;
  int prevResIndx = -1;
};

template <class T>
std::string toString(const T& value) {
  std::ostringstream s;
  s << value;
  return s.str();
}

// Framed reports that do not stop the run (a bad argument met by the protein
// model, a stage file that cannot be written) go to the run's streams
// (runStreams). A waiting report rings the bell and reads one character from
// standard input (returning at once when the input is closed or at its end).
// A routine that must stop throws FatalError instead (fatal.h).
void reportFrame(const Frame& frame);
// reportFrame() of the system-wide frame "in className.funcName()".
void errMsg(const std::string& className, const std::string& funcName, const std::string& message,
            bool wait = false);

class Protein {
 public:
  std::string name = "Unknown";
  Coordinate centOfCharge;
  std::vector<AminoAcid> AAs;
  std::vector<missingAA> missingAAs;
  std::vector<std::string> header;
  std::vector<HelicesSecondaryStructure> hlces;  // the helix records
  std::vector<SheetsSecondaryStructure> strands;
  std::vector<int> AAsCollide;
  std::vector<int> atomsCollide;
  std::string fileName = "Unknown";

  Protein() { initialize(); }
  void initialize();
  int numOfAA() const { return static_cast<int>(AAs.size()); }
  int numOfAtoms(int i) const;

  // Reading (one chain; an empty chain reads the first chain met).
  void read(std::string path, std::string chain);
  char chr3ToChr1(const std::string& chr3) const;
  // The element letter from the atom name (deuterium counts as hydrogen);
  // element is the text of columns 77-78, where the file has it.
  char getAtomType(const std::string& atomName, const std::string& element = "") const;
  bool isSideChainAtom(const std::string& atomName) const;
  AminoAcid reOrderAtoms(int i) const;
  void fillMissingAAs();

  // Secondary-structure records.
  void buildSS();
  int getAAIndx(int num) const;
  void sortHlces(std::vector<HelicesSecondaryStructure>& h, unsigned lo, unsigned hi);
  void sortStrands(std::vector<SheetsSecondaryStructure>& s, unsigned lo, unsigned hi);

  // Residue geometry.
  int getAtomIndx(int i, const std::string& atomName) const;
  Coordinate getAtomCoordinate(int i, const std::string& atomName) const;
  void setSCCenter(int i, char method);
  void setRgyration(int i, char method);
  void setScEndPoint(int i, char method);
  int numOfSCAtoms(int i, char method) const;

  // Writing residues start..end (1-based, inclusive).
  void writePDB(std::string path, int start, int end, bool writeHeader) const;
};

bool isHeavyAtom(char element);
double getRadius(char element, char scale);  // fatal for an unknown element or scale

// The ATOM record of one atom of residue aa, line end included, appended to
// `out`. Columns are fixed; a value wider than its column widens the line
// and shifts the rest, as a right-justified stream writes it.
void appendAtomRecord(std::string& out, int serial, const Atom& atom, const AminoAcid& aa);

// A PDB file being written, created or truncated when made. Records gather
// in text() and reach the file in blocks of about 64 KB. A file that cannot
// be opened is reported (waiting for a key) and nothing is written to it. A
// file that cannot be written whole (a full disk, an I/O error) is removed
// when closed and reported with the reason, so that every PDB file a run
// leaves is complete; either loss is noted in the run's list of unwritten
// files (noteUnwritten).
class PdbFileOut {
 public:
  explicit PdbFileOut(const std::string& path);
  PdbFileOut(const PdbFileOut&) = delete;
  PdbFileOut& operator=(const PdbFileOut&) = delete;
  ~PdbFileOut();  // close(), if not done

  bool isOpen() const { return fd_ >= 0; }
  std::string& text() { return block_; }
  void flushIfFull();  // hands the block to the file once it is full
  // Writes what is left and closes the file; false when it could not be
  // written whole (it is then reported and removed).
  bool close();

 private:
  static constexpr size_t kBlockBytes = 1 << 16;
  void flush();
  std::string path_;
  int fd_ = -1;
  int error_ = 0;  // errno of the first failed write, 0 while all went well
  std::string block_;
};

// A one-chain pseudo-protein with one atom per point (split into residues of
// at most 100000 atoms past 99999 points).
Protein points2pdb(const PointList& points, const std::string& resName, const std::string& atomName);

// The residues points2pdb makes of `count` points: point indices first..last
// (inclusive) and the residue number. No points still make one empty residue.
struct PseudoResidue {
  int first = 0, last = -1, num = 1;
};
std::vector<PseudoResidue> pseudoResidues(int count);

}  // namespace vel
