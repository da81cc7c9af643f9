#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "pdb_columns.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

namespace vel {

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

// Neutron structures name the amide deuterium " D  " (" D1 ".." D3 " at the
// N terminus); it stands where the amide hydrogen would.
bool isAmideHydrogen(const std::string& atomName) {
  return atomName == " H  " || atomName == " H1 " || atomName == " H2 " || atomName == " H3 " ||
         atomName == " D  " || atomName == " D1 " || atomName == " D2 " || atomName == " D3 ";
}

// Which atoms of a residue follow which when its atoms are put in order. An
// atom that leads (any but a hydrogen or the carbonyl C, O and OXT) is
// followed by every later atom that its key matches, the key being
// characters 3-4 of its name:
//   - a key whose second character is not a blank matches every name that
//     contains the key anywhere (' CD1' collects 'HD11', 'HD12', 'HD13');
//   - else a key whose first character is not a blank matches every name
//     with that character among its characters 3-4 (' CB ' collects ' HB2');
//   - else (two blanks) the amide hydrogens match (' N  ' collects ' H  ').
// The carbonyl C, O and OXT follow no atom. Matching is by name only, so a
// residue whose number comes back in later lines (a second model appended to
// it) collects every repeated atom once per earlier atom of its kind: the
// ordered list can grow with the square of the atoms. The matches are kept
// indexed by key, so that ordering costs the size of its result, and that
// size is known before anything is built.
class AtomFollowers {
 public:
  explicit AtomFollowers(const std::vector<Atom>& atoms) : atoms_(atoms) {
    for (std::size_t j = 0; j < atoms.size(); ++j) {
      const std::string& name = atoms[j].name;
      if (isCarbonylOrTerminal(name)) continue;
      const int index = static_cast<int>(j);
      for (std::size_t c = 0; c + 1 < name.size(); ++c) {
        std::vector<int>& list = byPair_[name.substr(c, 2)];
        if (list.empty() || list.back() != index) list.push_back(index);
      }
      for (std::size_t c = 2; c < 4 && c < name.size(); ++c) {
        std::vector<int>& list = byChar_[name[c]];
        if (list.empty() || list.back() != index) list.push_back(index);
      }
      if (isAmideHydrogen(name)) amide_.push_back(index);
    }
  }

  static bool leads(const Atom& atom) { return !isCarbonylOrTerminal(atom.name) && atom.type != 'H'; }

  // The atoms (indices, ascending) that the key of this atom matches; those
  // after the atom itself follow it.
  const std::vector<int>& of(const Atom& atom) const {
    const std::string key = atom.name.substr(2, 2);
    if (key[1] != ' ') return find(byPair_, key);
    if (key[0] != ' ') return find(byChar_, key[0]);
    return amide_;
  }

  // The number of atoms in the ordered residue.
  std::size_t orderedCount() const {
    std::size_t count = 0;
    for (std::size_t k = 0; k < atoms_.size(); ++k) {
      if (!leads(atoms_[k])) continue;
      const std::vector<int>& later = of(atoms_[k]);
      count += 1 + static_cast<std::size_t>(
                       later.end() - std::upper_bound(later.begin(), later.end(), static_cast<int>(k)));
    }
    for (const char* tail : {" C  ", " O  ", " OXT"}) {
      for (const Atom& atom : atoms_) {
        if (atom.name.find(tail) != std::string::npos) {
          ++count;
          break;
        }
      }
    }
    return count;
  }

 private:
  template <class Key>
  static const std::vector<int>& find(const std::map<Key, std::vector<int>>& index, const Key& key) {
    static const std::vector<int> none;
    auto it = index.find(key);
    return it == index.end() ? none : it->second;
  }

  const std::vector<Atom>& atoms_;
  std::map<std::string, std::vector<int>> byPair_;
  std::map<char, std::vector<int>> byChar_;
  std::vector<int> amide_;
};

// The residue numbers that some record spans, from the number of its first
// residue to that of its last (a record whose last number is the smaller
// spans none). Looked up rather than scanned for every missing residue, since
// a file may list many of both.
class NumberRanges {
 public:
  template <class Record>
  NumberRanges(const std::vector<AminoAcid>& aas, const std::vector<Record>& records) {
    std::vector<std::pair<int, int>> ranges;
    for (const Record& r : records)
      if (aas[r.start].num <= aas[r.end].num) ranges.emplace_back(aas[r.start].num, aas[r.end].num);
    std::sort(ranges.begin(), ranges.end());
    for (const auto& r : ranges) {
      if (!merged_.empty() && r.first <= merged_.back().second)
        merged_.back().second = std::max(merged_.back().second, r.second);
      else
        merged_.push_back(r);
    }
  }

  bool covers(int num) const {
    // The last merged range that starts at or before num.
    auto it = std::upper_bound(merged_.begin(), merged_.end(), std::make_pair(num, INT_MAX));
    return it != merged_.begin() && num <= std::prev(it)->second;
  }

 private:
  std::vector<std::pair<int, int>> merged_;  // disjoint, ascending
};

// The most atoms the ordered residues of one chain may hold together. A
// chain of the largest proteins holds around a hundred thousand with its
// hydrogens; only a file that repeats its residue numbers (an ensemble of
// models, or numbers past 9999) comes near this, and collecting its repeated
// atoms again and again would exhaust the memory.
constexpr std::size_t kMaxOrderedAtoms = 2000000;

[[noreturn]] void refuseRepeatedResidues(const std::string& path, const AminoAcid& aa,
                                         std::size_t residueAtoms, std::size_t chainAtoms) {
  stopRun(FrameStyle::Report, "Protein.read",
          "Too many atoms to order in " + path + ": residue " + aa.chr3 + "-" + toString(aa.num) +
             " would hold " + toString(residueAtoms) + " atoms ( " + toString(chainAtoms) +
             " in the chain so far, at most " + toString(kMaxOrderedAtoms) +
             " ). The file repeats its residue numbers (several models, or numbers past 9999?): "
             "give it one model of one chain.");
}

// A coordinate text that reads as infinite, as not a number or as a million
// ångström (1e30, inf) is no atom position: every distance measured from it
// would be one too. Checked once, here, for every atom the chain keeps.
[[noreturn]] void refuseAtomPosition(const std::string& path, const std::string& line, const Atom& atom) {
  stopRun(FrameStyle::Report, "Protein.read",
          "The atom " + atom.name + " of residue " + pdbColumns(line, 18, 20) + "-" +
              toString(std::atoi(pdbColumns(line, 23, 26).c_str())) + " in " + path + " lies at ( " +
              toString(atom.coord.x) + " " + toString(atom.coord.y) + " " + toString(atom.coord.z) +
              " ): not a finite position within " + toString(kCoordinateReach) +
              " A. Check columns 31-54 of its ATOM record.");
}

}  // namespace

void Protein::read(std::string path, std::string chain) {
  initialize();
  fileName = path;
  name = nameFromPath(path);

  std::ifstream in(path.c_str());
  if (!in) stopRun(FrameStyle::Report, "Protein.read", "Unable to open " + path);

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
      *runStreams().out << name << " has code of residue inserting" << std::endl;
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
    if (!withinReach(atom.coord)) refuseAtomPosition(path, line, atom);
    atom.type = getAtomType(atom.name, pdbColumns(line, 77, 78));
    if (line.size() > 54) atom.occupancy = pdbColumns(line, 55, 60);
    if (line.size() > 60) atom.tempFactor = pdbColumns(line, 61, 66);
    if (line.size() > 78) atom.charge = pdbColumns(line, 79, 80);
    atom.isSideChain = isSideChainAtom(atom.name);
    // A residue number met again (a second model, or residues out of order)
    // adds its atoms to the residue read last.
    AAs.back().atoms.push_back(atom);
  }
  in.close();

  std::size_t orderedAtoms = 0;
  for (int i = 0; i < numOfAA(); ++i) {
    const std::size_t count = AtomFollowers(AAs[i].atoms).orderedCount();
    orderedAtoms += count;
    if (orderedAtoms > kMaxOrderedAtoms) refuseRepeatedResidues(path, AAs[i], count, orderedAtoms);
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

char Protein::getAtomType(const std::string& atomName, const std::string& element) const {
  for (char letter : {'N', 'C', 'O', 'P', 'S', 'H'})
    if (atomName.find(letter) != std::string::npos) return letter;
  // Deuterium (" D  ", " DA ", "1DB2": the first letter of the name is D; or
  // element D in columns 77-78) is hydrogen to every measure taken here.
  const std::size_t firstLetter = atomName.find_first_not_of(" 0123456789");
  if ((firstLetter != std::string::npos && atomName[firstLetter] == 'D') || element == " D" || element == "D ")
    return 'H';
  stopRun(FrameStyle::Report, "Protein.getAtomType", "Unknown atom type.....");
}

bool Protein::isSideChainAtom(const std::string& atomName) const {
  static const char* const kBackbone[] = {" N  ", " CA ", " C  ", " O  ", " OXT", " H  ", " H1 ",
                                          " H2 ", " H3 ", " HA ", " HA1", " HA2", " HA3", " D  ",
                                          " D1 ", " D2 ", " D3 ", " DA ", " DA2", " DA3"};
  for (const char* backbone : kBackbone)
    if (atomName == backbone) return false;
  return true;
}

AminoAcid Protein::reOrderAtoms(int i) const {
  if (i < 0 || i >= numOfAA())
    stopRun(FrameStyle::Report, "Protein.reOrderAtoms",
            "The given index (" + toString(i) + ") is out of range..or the portion is empty (No.AAs= " +
                toString(numOfAA()) + ")");
  const AminoAcid& src = AAs[i];
  for (const Atom& atom : src.atoms) {
    if (atom.name.size() < 4)
      stopRun(FrameStyle::Report, "Protein.reOrderAtoms", "Error occured in the name of the AA " + src.chr3);
  }

  AminoAcid result = src;
  result.atoms.clear();
  const std::vector<Atom>& atoms = src.atoms;
  const AtomFollowers followers(atoms);
  result.atoms.reserve(followers.orderedCount());
  // Each heavy atom is followed by the hydrogens named after it: ' CB ' by
  // ' HB2' and ' HB3', ' CD1' by 'HD11'..'HD13', ' N  ' by the amide hydrogens.
  for (std::size_t k = 0; k < atoms.size(); ++k) {
    if (!AtomFollowers::leads(atoms[k])) continue;
    result.atoms.push_back(atoms[k]);
    const std::vector<int>& later = followers.of(atoms[k]);
    for (auto j = std::upper_bound(later.begin(), later.end(), static_cast<int>(k)); j != later.end(); ++j)
      result.atoms.push_back(atoms[*j]);
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
  const NumberRanges inHelix(AAs, hlces), inStrand(AAs, strands);
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
    m.ssType = inHelix.covers(m.num) ? 'H' : inStrand.covers(m.num) ? 'S' : 'L';
    missingAAs.push_back(m);
  }
}

}  // namespace vel
