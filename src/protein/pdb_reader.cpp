#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <unordered_set>

#include "pdb_columns.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

namespace {

// The structure's short name from its file name: the 4-character identifier,
// whether the file is called 1abc.pdb or carries a chain letter, as in 1abcA.pdb.
std::string nameFromPath(const std::string& p) {
  const std::size_t n = p.size();
  if (n > 8) {
    char c = p[n - 9];
    if (c >= '1' && c <= '9') return p.substr(n - 9, 4);
    return p.substr(n - 8, 4);
  }
  if (n == 8) return p.substr(0, 4);
  return n < 4 ? p : p.substr(0, n - 4);
}

bool keptAltLoc(char altLoc) { return altLoc == ' ' || altLoc == 'A'; }

bool isCarbonylOrTerminal(const std::string& atomName) {
  return atomName == " C  " || atomName == " O  " || atomName == " OXT";
}

bool isAmideHydrogen(const std::string& atomName) {
  return atomName == " H  " || atomName == " H1 " || atomName == " H2 " || atomName == " H3 ";
}

}  // namespace

void Protein::read(std::string path, std::string chain) {
  initialize();
  fileName = path;
  name = nameFromPath(path);

  std::ifstream in(path.c_str());
  if (!in) {
    errMsg("Protein", "read", "Unable to open " + path);
    fatalExit(1);
  }

  bool stop = false;
  std::string curChain;
  std::unordered_set<int> numsRead;  // residue numbers of the residues stored so far
  std::string line;
  while (!stop && std::getline(in, line)) {
    const bool isAtom = pdbColumns(line, 1, 4) == "ATOM";
    const std::string lineChain = pdbColumns(line, 22, 22);
    const bool accepted =
        isAtom && pdbColumn(line, 18) != ' ' && (chain.empty() || lineChain == chain);
    if (!accepted) {
      if (AAs.empty() && !isAtom) header.push_back(line);
      continue;
    }

    if (AAs.empty()) curChain = lineChain;
    const char iCode = pdbColumn(line, 27);
    if (iCode != ' ') {
      std::cout << name << " has code of residue inserting" << std::endl;
      stop = true;
    }
    if (lineChain != curChain || iCode != ' ') {
      stop = true;
      continue;
    }

    const char altLoc = pdbColumn(line, 17);
    const int num = std::atoi(pdbColumns(line, 23, 26).c_str());
    if (numsRead.count(num) == 0 && keptAltLoc(altLoc)) {
      AminoAcid aa;
      aa.chr3 = pdbColumns(line, 18, 20);
      aa.num = num;
      aa.chain = lineChain;
      aa.chr1 = chr3ToChr1(aa.chr3);
      aa.iCode = iCode;
      AAs.push_back(aa);
      numsRead.insert(num);
    }
    if (!keptAltLoc(altLoc)) continue;

    Atom atom;
    atom.name = pdbColumns(line, 13, 16);
    atom.altLoc = altLoc;
    atom.coord = Coordinate(std::atof(pdbColumns(line, 31, 38).c_str()),
                            std::atof(pdbColumns(line, 39, 46).c_str()),
                            std::atof(pdbColumns(line, 47, 54).c_str()));
    atom.type = getAtomType(atom.name);
    if (line.size() > 54) atom.occupancy = pdbColumns(line, 55, 60);
    if (line.size() > 60) atom.tempFactor = pdbColumns(line, 61, 66);
    if (line.size() > 78) atom.charge = pdbColumns(line, 79, 80);
    atom.isSideChain = isSideChainAtom(atom.name);
    // A residue number met again (a second model, or residues out of order)
    // adds its atoms to the residue read last.
    AAs.back().atoms.push_back(atom);
  }
  in.close();

  for (int i = 0; i < numOfAA(); ++i) {
    AAs[i] = reOrderAtoms(i);
    setScEndPoint(i, 'H');
  }
  buildSS();
  for (int i = 0; i < numOfAA(); ++i) {
    for (const SheetsSecondaryStructure& s : strands)
      if (s.start <= i && i <= s.end) AAs[i].ssType = 'S';
    for (const HelicesSecondaryStructure& h : hlces)
      if (h.start <= i && i <= h.end) AAs[i].ssType = 'H';
  }
  fillMissingAAs();
}

char Protein::chr3ToChr1(const std::string& chr3) const {
  static const char* const kCodes[][2] = {
      {"ALA", "A"}, {"CYS", "C"}, {"ASP", "D"}, {"GLU", "E"}, {"PHE", "F"},
      {"GLY", "G"}, {"HIS", "H"}, {"ILE", "I"}, {"LYS", "K"}, {"LEU", "L"},
      {"MET", "M"}, {"ASN", "N"}, {"PRO", "P"}, {"GLN", "Q"}, {"ARG", "R"},
      {"SER", "S"}, {"THR", "T"}, {"VAL", "V"}, {"TRP", "W"}, {"TYR", "Y"}};
  for (const auto& code : kCodes)
    if (chr3 == code[0]) return code[1][0];
  errMsg("Protein", "Chr3toChr1", "Unknown character (X) has been returned for AA (" + chr3 + " )..");
  return 'X';
}

char Protein::getAtomType(const std::string& atomName) const {
  for (char element : {'N', 'C', 'O', 'P', 'S', 'H'})
    if (atomName.find(element) != std::string::npos) return element;
  errMsg("Protein", "getAtomType", "Unknown atom type.....");
  fatalExit(1);
}

bool Protein::isSideChainAtom(const std::string& atomName) const {
  static const char* const kBackbone[] = {" N  ", " CA ", " C  ", " O  ", " OXT", " H  ", " H1 ",
                                          " H2 ", " H3 ", " HA ", " HA1", " HA2", " HA3"};
  for (const char* backbone : kBackbone)
    if (atomName == backbone) return false;
  return true;
}

AminoAcid Protein::reOrderAtoms(int i) const {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "reOrderAtoms",
           "The given index (" + toString(i) + ") is out of range..or the portion is empty (No.AAs= " +
               toString(numOfAA()) + ")");
    fatalExit(1);
  }
  const AminoAcid& src = AAs[i];
  for (const Atom& atom : src.atoms) {
    if (atom.name.size() < 4) {
      errMsg("Protein", "reOrderAtoms", "Error occured in the name of the AA " + src.chr3);
      fatalExit(1);
    }
  }

  AminoAcid result = src;
  result.atoms.clear();
  const std::vector<Atom>& atoms = src.atoms;
  // Each heavy atom is followed by the hydrogens named after it: ' CB ' by
  // ' HB2' and ' HB3', ' CD1' by 'HD11'..'HD13', ' N  ' by the amide hydrogens.
  for (std::size_t k = 0; k < atoms.size(); ++k) {
    if (isCarbonylOrTerminal(atoms[k].name) || atoms[k].type == 'H') continue;
    result.atoms.push_back(atoms[k]);
    const std::string key = atoms[k].name.substr(2, 2);
    for (std::size_t j = k + 1; j < atoms.size(); ++j) {
      const std::string& other = atoms[j].name;
      if (isCarbonylOrTerminal(other)) continue;
      bool matches;
      if (key[1] != ' ')
        matches = other.find(key) != std::string::npos;
      else if (key[0] != ' ')
        matches = other.substr(2, 2).find(key[0]) != std::string::npos;
      else
        matches = isAmideHydrogen(other);
      if (matches) result.atoms.push_back(atoms[j]);
    }
  }
  // The carbonyl group and the terminal oxygen close the residue.
  for (const char* tail : {" C  ", " O  ", " OXT"}) {
    for (const Atom& atom : atoms) {
      if (atom.name.find(tail) != std::string::npos) {
        result.atoms.push_back(atom);
        break;
      }
    }
  }
  return result;
}

void Protein::fillMissingAAs() {
  if (!missingAAs.empty() || AAs.empty()) return;

  std::size_t l = 0;
  while (l < header.size() && header[l].find("MISSING RESIDUES") == std::string::npos) ++l;
  if (l == header.size()) return;
  ++l;
  while (l < header.size() && header[l].find("RES C SSSEQI") == std::string::npos) ++l;
  if (l == header.size()) return;

  const std::string& chain = AAs[0].chain;
  bool modelFixed = false;
  char model = ' ';
  for (++l; l < header.size() && pdbColumns(header[l], 1, 10) == "REMARK 465"; ++l) {
    const std::string& line = header[l];
    if (pdbColumns(line, 20, 20) != chain) continue;
    // Listings of several models repeat the same residues: keep the first model's.
    const char lineModel = pdbColumn(line, 14);
    if (!modelFixed) {
      model = lineModel;
      modelFixed = true;
    } else if (lineModel != model) {
      continue;
    }
    missingAA m;
    m.chr3 = pdbColumns(line, 16, 18);
    m.chr1 = chr3ToChr1(m.chr3);
    m.num = std::atoi(pdbColumns(line, 23, 26).c_str());
    m.iCode = pdbColumn(line, 27);
    m.ssType = 'L';
    bool found = false;
    for (const HelicesSecondaryStructure& h : hlces) {
      if (AAs[h.start].num <= m.num && m.num <= AAs[h.end].num) {
        m.ssType = 'H';
        found = true;
        break;
      }
    }
    if (!found) {
      for (const SheetsSecondaryStructure& s : strands) {
        if (AAs[s.start].num <= m.num && m.num <= AAs[s.end].num) {
          m.ssType = 'S';
          break;
        }
      }
    }
    missingAAs.push_back(m);
  }
}
