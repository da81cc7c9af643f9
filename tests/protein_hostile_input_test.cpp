// Damaged and oversized PDB files: records cut at any column, files that
// repeat their residue numbers (model ensembles), and files with very many
// records. The reader keeps its rules for each of them, ends in bounded time
// and memory, or refuses the file with a framed message.

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <iostream>

#include "support/protein_fixture.h"
#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace {

struct ReadResult {
  int status = 0;  // the FatalError status, 0 when the file was read
  std::string out;
  double seconds = 0.0;
};

ReadResult readText(Protein& p, const std::string& text) {
  TempFile file("hostile.pdb", text);
  ReadResult r;
  const auto start = std::chrono::steady_clock::now();
  r.out = stdoutOf([&] {
    try {
      p.read(file.path, "");
    } catch (const FatalError& e) {
      r.status = e.status;
      printFrame(e.frame, std::cout, std::cerr);  // as the driver prints it
    }
  });
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

std::string padded(std::string line) {
  line.resize(80, ' ');
  return line + "\n";
}

// Three strands of three residues and a helix between them, with a listing
// of missing residues: every kind of record the reader takes apart.
std::string fixtureText() {
  std::string text = padded("REMARK 465 MISSING RESIDUES") + padded("REMARK 465   M RES C SSSEQI") +
                     padded("REMARK 465     MET A     0") + padded("REMARK 465     GLY A    14") +
                     padded("HELIX    1   1 ALA A    5  ALA A    7  1") +
                     padded("SHEET    1   A 3 VAL A   1  VAL A   3  0") +
                     padded("SHEET    2   A 3 VAL A   9  VAL A  11 -1  N  VAL A  10   O  VAL A   2") +
                     padded("SHEET    3   A 3 VAL A  15  VAL A  17 -1  N  VAL A  16   O  VAL A  10");
  int serial = 1;
  for (int num = 1; num <= 17; ++num) {
    if (num == 14) continue;
    const char* res = (num >= 4 && num <= 8) ? "ALA" : "VAL";
    const double x = 3.5 * num, y = (num % 2) * 1.2;
    for (const char* name : {" N  ", " CA ", " C  ", " O  ", " CB "}) {
      AtomRecord a;
      a.serial = serial++;
      a.name = name;
      a.resName = res;
      a.resNum = num;
      a.x = x, a.y = y, a.z = 0.25 * serial;
      text += pdbAtom(a);
    }
  }
  return text;
}

// The text with every line that starts with prefix cut after column cut.
std::string cutLines(const std::string& text, const std::string& prefix, size_t cut, bool onlyListed) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    at = end + 1;
    bool listedResidue = line.size() > 20 && line[19] == 'A';  // a REMARK 465 residue, not its title
    if (line.compare(0, prefix.size(), prefix) == 0 && (!onlyListed || listedResidue))
      line = line.substr(0, cut);
    out += line + "\n";
  }
  return out;
}

std::vector<std::pair<int, int>> spans(const Protein& p) {
  std::vector<std::pair<int, int>> s;
  for (const SheetsSecondaryStructure& r : p.strands) s.emplace_back(r.start, r.end);
  return s;
}

std::vector<std::pair<int, int>> helixSpans(const Protein& p) {
  std::vector<std::pair<int, int>> s;
  for (const HelicesSecondaryStructure& r : p.hlces) s.emplace_back(r.start, r.end);
  return s;
}

}  // namespace

TEST(HostilePdb, EveryRecordCutAtEveryColumnIsReadWithoutFailing) {
  const std::string text = fixtureText();
  Protein whole;
  ASSERT_EQ(readText(whole, text).status, 0);
  ASSERT_EQ(whole.numOfAA(), 16);
  ASSERT_EQ(spans(whole), (std::vector<std::pair<int, int>>{{0, 2}, {8, 10}, {13, 15}}));
  ASSERT_EQ(whole.missingAAs.size(), 2u);

  for (size_t cut = 0; cut <= 81; ++cut) {
    SCOPED_TRACE("cut after column " + std::to_string(cut));
    Protein atoms, sheets, helices, missing;
    ASSERT_EQ(readText(atoms, cutLines(text, "ATOM", cut, false)).status, 0);
    ASSERT_EQ(readText(sheets, cutLines(text, "SHEET", cut, false)).status, 0);
    ASSERT_EQ(readText(helices, cutLines(text, "HELIX", cut, false)).status, 0);
    ASSERT_EQ(readText(missing, cutLines(text, "REMARK 465", cut, true)).status, 0);
    Protein everything;
    ASSERT_EQ(readText(everything, cutLines(text, "", cut, false)).status, 0);

    // ATOM lines need their residue name (column 18) to count; from the end
    // of the residue number on, the residues are those of the whole file,
    // and past the coordinates so is everything taken from them.
    if (cut < 18) { EXPECT_EQ(atoms.numOfAA(), 0); }
    if (cut >= 26) {
      EXPECT_EQ(atoms.numOfAA(), 16);
      EXPECT_EQ(spans(atoms), spans(whole));
    }
    if (cut >= 54) {
      for (int i = 0; i < whole.numOfAA(); ++i) {
        EXPECT_EQ(atoms.getAtomCoordinate(i, " CA ").z, whole.getAtomCoordinate(i, " CA ").z);
        EXPECT_EQ(atoms.AAs[i].scEndPoint.x, whole.AAs[i].scEndPoint.x);
      }
    }
    // A SHEET line names its chain in column 22 and its last residue in
    // columns 34-37; a HELIX line its chain in column 20 and its last residue
    // in columns 34-37.
    if (cut < 22) { EXPECT_TRUE(sheets.strands.empty()); }
    if (cut >= 37) { EXPECT_EQ(spans(sheets), spans(whole)); }
    if (cut < 20) { EXPECT_TRUE(helices.hlces.empty()); }
    if (cut >= 37) { EXPECT_EQ(helixSpans(helices), helixSpans(whole)); }
    // A listed missing residue needs its chain (column 20) to count.
    if (cut < 20) { EXPECT_TRUE(missing.missingAAs.empty()); }
    if (cut >= 26) { EXPECT_EQ(missing.missingAAs.size(), whole.missingAAs.size()); }
  }
}

// Reordering collects, after each atom, every later atom its name matches;
// the rule below is the plain quadratic scan. Residues of random names from a
// few letters (so that names match often) are ordered the same way by the
// reader.
TEST(HostilePdb, OrderedAtomsFollowTheMatchingRule) {
  auto isTail = [](const std::string& n) { return n == " C  " || n == " O  " || n == " OXT"; };
  auto plainOrder = [&](const std::vector<Atom>& atoms) {
    std::vector<std::string> names;
    for (size_t k = 0; k < atoms.size(); ++k) {
      if (isTail(atoms[k].name) || atoms[k].type == 'H') continue;
      names.push_back(atoms[k].name);
      const std::string key = atoms[k].name.substr(2, 2);
      for (size_t j = k + 1; j < atoms.size(); ++j) {
        const std::string& o = atoms[j].name;
        if (isTail(o)) continue;
        bool match = key[1] != ' '   ? o.find(key) != std::string::npos
                     : key[0] != ' ' ? o.substr(2, 2).find(key[0]) != std::string::npos
                                     : (o == " H  " || o == " H1 " || o == " H2 " || o == " H3 ");
        if (match) names.push_back(o);
      }
    }
    for (const char* tail : {" C  ", " O  ", " OXT"}) {
      for (const Atom& a : atoms) {
        if (a.name.find(tail) != std::string::npos) {
          names.push_back(a.name);
          break;
        }
      }
    }
    return names;
  };

  std::mt19937 random(7);
  const std::string letters = " CHNOAB1";
  for (int trial = 0; trial < 200; ++trial) {
    Protein p;
    p.AAs.resize(1);
    const int n = 1 + static_cast<int>(random() % 40);
    for (int k = 0; k < n; ++k) {
      Atom a;
      a.name = " ";
      for (int c = 0; c < 3; ++c) a.name += letters[random() % letters.size()];
      if (random() % 6 == 0) a.name = std::vector<std::string>{" C  ", " O  ", " OXT", " H  ", " N  "}[random() % 5];
      a.type = a.name.find('H') != std::string::npos && a.name.find_first_of("NCO") == std::string::npos ? 'H' : 'C';
      p.AAs[0].atoms.push_back(a);
    }
    std::vector<std::string> ordered;
    for (const Atom& a : p.reOrderAtoms(0).atoms) ordered.push_back(a.name);
    ASSERT_EQ(ordered, plainOrder(p.AAs[0].atoms)) << "trial " << trial;
  }
}

// Every model of an ensemble repeats the residue numbers of the first, so its
// atoms join the last residue, which then collects each repeated atom once
// per earlier atom of its kind. A small ensemble is still read; a large one
// is refused before it fills the memory.
TEST(HostilePdb, LargeEnsembleIsRefusedBeforeItExhaustsTheMemory) {
  auto ensemble = [](int models, int residues) {
    std::string text;
    for (int m = 1; m <= models; ++m) {
      char line[32];
      std::snprintf(line, sizeof line, "MODEL     %4d\n", m);
      text += line;
      for (int num = 1; num <= residues; ++num)
        text += pdbAtom(" CA ", "GLY", num, 3.8 * num, m, 0) + pdbAtom(" CB ", "ALA", num, 3.8 * num, m, 1);
      text += "ENDMDL\n";
    }
    return text;
  };

  Protein small;
  ReadResult read = readText(small, ensemble(3, 20));
  EXPECT_EQ(read.status, 0);
  ASSERT_EQ(small.numOfAA(), 20);
  // The last residue holds 41 CA and 41 CB atoms; each is followed by the
  // later atoms of its name.
  EXPECT_EQ(small.AAs[19].atoms.size(), 2u * (41 + 41 * 40 / 2));

  Protein large;
  read = readText(large, ensemble(20, 300));
  EXPECT_EQ(read.status, 1);
  EXPECT_NE(read.out.find("================================ in Protein.read() ====================\n"
                          "Too many atoms to order in "),
            std::string::npos);
  EXPECT_NE(read.out.find("residue GLY-300 would hold "), std::string::npos);
  EXPECT_NE(read.out.find("give it one model of one chain.\n" + std::string(79, '=') + "\n"), std::string::npos);
  EXPECT_LT(read.seconds, 5.0);
}

// A hundred thousand SHEET and HELIX records and tens of thousands of REMARK 465 lines over a short chain:
// one record per first residue is kept, in chain order, and the file is read
// in about the time it takes to read its lines.
TEST(HostilePdb, ManyRecordsAreReadInBoundedTime) {
  std::string text = padded("REMARK 465 MISSING RESIDUES") + padded("REMARK 465   M RES C SSSEQI");
  for (int k = 0; k < 30000; ++k) {
    char line[96];
    std::snprintf(line, sizeof line, "REMARK 465     GLY A %5d", k % 300 - 100);
    text += padded(line);
  }
  for (int k = 0; k < 100000; ++k) {
    char line[96];
    const int first = (k * 7) % 190 + 1;
    std::snprintf(line, sizeof line, "SHEET  %3d   A 2 VAL A%4d  VAL A%4d  0", k % 1000, first, first + 3);
    text += padded(line);
    std::snprintf(line, sizeof line, "HELIX  %3d %3d ALA A %4d  ALA A %4d  1", k % 1000, k % 1000, first + 1,
                  first + 5);
    text += padded(line);
  }
  for (int num = 1; num <= 200; ++num) text += pdbAtom(" CA ", "VAL", num, 3.5 * num, 0, 0);

  Protein p;
  ReadResult read = readText(p, text);
  EXPECT_EQ(read.status, 0);
  ASSERT_EQ(p.strands.size(), 190u);
  ASSERT_EQ(p.hlces.size(), 190u);
  for (size_t i = 0; i < p.strands.size(); ++i) {
    EXPECT_EQ(p.strands[i].start, static_cast<int>(i));
    EXPECT_EQ(p.strands[i].end, static_cast<int>(i) + 3);
  }
  ASSERT_EQ(p.missingAAs.size(), 30000u);
  // Residues -100..0 and 196..199 lie in no record, 1 only in a strand,
  // 2..195 in a helix.
  EXPECT_EQ(p.missingAAs[0].ssType, 'L');
  EXPECT_EQ(p.missingAAs[101].ssType, 'S');
  EXPECT_EQ(p.missingAAs[102].ssType, 'H');
  EXPECT_EQ(p.missingAAs[295].ssType, 'H');
  EXPECT_EQ(p.missingAAs[296].ssType, 'L');
  EXPECT_LT(read.seconds, 5.0);
}
