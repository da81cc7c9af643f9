// Reading real entries in their several forms, judging their sheets, and the
// case PDB file the analysis will read.
#include <gtest/gtest.h>

#include <gemmi/cif.hpp>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "prepare/entry_input.h"

#include "support/gzip_file.h"
#include "support/program.h"
#include "velmorantique/prepare.h"

namespace fs = std::filesystem;
using namespace vel::prepare;

namespace {

std::string fixture(const std::string& name) { return sourceDir() + "/tests/fixtures/" + name; }

// A plain copy of a gzipped fixture, in a fresh folder.
std::string plainCopy(const std::string& gz, const std::string& name) {
  const std::string path = makeTempDir() + "/" + name;
  writeFile(path, readGzipFile(fixture(gz)));
  return path;
}

std::string verdictOf(const std::vector<SheetVerdict>& verdicts, const std::string& id) {
  for (const SheetVerdict& v : verdicts)
    if (v.sheet->id == id) return v.eligible ? "eligible" : v.reason;
  return "missing";
}

// A chain of alanines numbered from 1 (with the insertion code and numbers
// given), preceded by the SHEET lines.
std::string pdbText(const std::vector<std::string>& sheetLines, int residues, const std::string& special = "") {
  std::ostringstream s;
  s << "HEADER    TEST                                                  1TST\n";
  for (const std::string& l : sheetLines) s << l << "\n";
  int serial = 1;
  for (int r = 1; r <= residues; ++r) {
    for (const char* atom : {" N  ", " CA ", " C  ", " O  ", " CB "}) {
      if (special == "noCA7" && r == 7 && std::string(atom) == " CA ") continue;
      char icode = (special == "icode9" && r == 9) ? 'A' : ' ';
      const int number = (special == "repeat16" && r == 16) ? 2 : r;
      char line[100];
      std::snprintf(line, sizeof line, "ATOM  %5d %s ALA A%4d%c   %8.3f%8.3f%8.3f  1.00 20.00           %c", serial,
                    atom, number, icode, 3.8 * r, 1.0 * serial, 0.5, atom[1]);
      ++serial;
      s << line << "\n";
    }
  }
  s << "END\n";
  return s.str();
}

std::string sheetLine(int serial, int count, int start, int end, const std::string& id = "S1") {
  char line[100];
  std::snprintf(line, sizeof line, "SHEET  %3d %3s%2d ALA A%4d  ALA A%4d %2d", serial, id.c_str(), count, start, end,
                serial == 1 ? 0 : -1);
  return line;
}

std::string judgeText(const std::string& text) {
  const std::string path = makeTempDir() + "/t.pdb";
  writeFile(path, text);
  const Structure st = readStructure(path);
  fs::remove_all(fs::path(path).parent_path());
  return verdictOf(judgeSheets(st, ""), "S1");
}

}  // namespace

TEST(PrepareStructures, OldPdbWithSerialsInColumns73To80IsReadPlainAndGzipped) {
  for (const std::string& path : {fixture("1hpv.pdb.gz"), plainCopy("1hpv.pdb.gz", "1hpv.pdb")}) {
    const Structure st = readStructure(path);
    EXPECT_EQ(st.entry, "1hpv");
    ASSERT_EQ(st.chains.size(), 2u) << path;
    EXPECT_EQ(st.chains[0].name, "A");
    EXPECT_EQ(st.chains[0].residues.size(), 99u);  // ATOM residues only: the inhibitor is HETATM
    ASSERT_EQ(st.sheets.size(), 5u);
    EXPECT_EQ(st.chains[0].residues[0].atoms[1].element, "C");
  }
}

TEST(PrepareStructures, MmcifPlainAndGzippedGiveTheSameSheet) {
  for (const std::string& path : {fixture("1A7G.cif.gz"), plainCopy("1A7G.cif.gz", "1A7G.cif")}) {
    const Structure st = readStructure(path);
    EXPECT_EQ(st.entry, "1a7g");
    ASSERT_EQ(st.sheets.size(), 1u);
    const Sheet& sheet = st.sheets[0];
    ASSERT_EQ(sheet.strands.size(), 3u);
    EXPECT_EQ(sheet.strands[1].start.number, 292);
    EXPECT_EQ(sheet.strands[1].end.number, 300);
    EXPECT_EQ(sheet.strands[1].cur.number, 299);  // registration: LYS 299 N to SER 364 O
    EXPECT_EQ(sheet.strands[1].prev.number, 364);
    const std::vector<SheetVerdict> v = judgeSheets(st, "");
    EXPECT_EQ(v[0].chain, "E");
    EXPECT_TRUE(v[0].eligible) << v[0].reason;
    EXPECT_EQ(v[0].residueCount, 24u);
  }
}

TEST(PrepareStructures, ListingNamesEverySheetOfSeveralChainsWithItsReason) {
  const Structure hpv = readStructure(fixture("1hpv.pdb.gz"));
  std::vector<SheetVerdict> v = judgeSheets(hpv, "");
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(verdictOf(v, "A"), "strands in more than one chain (A, B): the analysis reads one chain");
  EXPECT_EQ(verdictOf(v, "B"), "eligible");
  EXPECT_EQ(verdictOf(v, "C"), "eligible");
  EXPECT_NE(verdictOf(v, "D").find("in chain B, not the chain prepared"), std::string::npos);
  v = judgeSheets(hpv, "B");
  EXPECT_EQ(verdictOf(v, "B").find("in chain A"), 0u);
  EXPECT_EQ(verdictOf(v, "D"), "eligible");
  EXPECT_EQ(verdictOf(v, "E"), "eligible");
  EXPECT_THROW(judgeSheets(hpv, "Q"), PrepareError);

  const Structure beg = readStructure(fixture("2BEG.pdb.gz"));  // five chains, one sheet across them
  v = judgeSheets(beg, "");
  ASSERT_EQ(v.size(), 2u);
  for (const SheetVerdict& each : v) {
    EXPECT_EQ(each.reason, "strands in more than one chain (A, B, C, D, E): the analysis reads one chain");
    EXPECT_NE(describeVerdict(each).find("not eligible: strands in more than one chain"), std::string::npos);
  }
}

TEST(PrepareStructures, SheetsTheAnalysisCannotReadAreNotEligible) {
  const std::vector<std::string> three = {sheetLine(1, 3, 1, 4), sheetLine(2, 3, 6, 10), sheetLine(3, 3, 12, 15)};
  EXPECT_EQ(judgeText(pdbText(three, 16)), "eligible");
  EXPECT_EQ(judgeText(pdbText({sheetLine(1, 2, 1, 4), sheetLine(2, 2, 6, 10)}, 16)), "fewer than three strands");
  EXPECT_NE(judgeText(pdbText({sheetLine(1, 4, 1, 4), sheetLine(2, 4, 6, 10), sheetLine(3, 4, 12, 15),
                               sheetLine(4, 4, 1, 4)},
                              16))
                .find("listed twice (closed barrel)"),
            std::string::npos);
  EXPECT_NE(judgeText(pdbText({sheetLine(1, 3, 1, 4), sheetLine(2, 3, 4, 10), sheetLine(3, 3, 12, 15)}, 16))
                .find("overlap"),
            std::string::npos);
  EXPECT_NE(judgeText(pdbText({sheetLine(1, 3, 1, 4), sheetLine(2, 3, 10, 6), sheetLine(3, 3, 12, 15)}, 16))
                .find("ends before it starts"),
            std::string::npos);
  EXPECT_NE(judgeText(pdbText({sheetLine(1, 3, 1, 4), sheetLine(2, 3, 6, 10), sheetLine(3, 3, 12, 25)}, 16))
                .find("is not an ATOM residue of the chain"),
            std::string::npos);
  EXPECT_NE(judgeText(pdbText(three, 16, "noCA7")).find("has no CA"), std::string::npos);
  EXPECT_NE(judgeText(pdbText(three, 16, "icode9")).find("insertion codes"), std::string::npos);
  EXPECT_NE(judgeText(pdbText(three, 16, "repeat16")).find("repeats residue number 2"), std::string::npos);
}

TEST(PrepareStructures, UnreadableInputsAreRefusedWithTheirReason) {
  const std::string dir = makeTempDir();
  auto refusal = [](const std::string& path) {
    try {
      readStructure(path);
    } catch (const PrepareError& e) {
      return std::string(e.what());
    }
    return std::string("read");
  };
  EXPECT_NE(refusal(dir + "/absent.pdb").find("no such file"), std::string::npos);
  writeFile(dir + "/notes.pdb", "These are my notes about the protein.\n");
  EXPECT_NE(refusal(dir + "/notes.pdb").find("neither a PDB nor an mmCIF file"), std::string::npos);
  writeFile(dir + "/binary.cif", std::string("\x89PNG\r\n\x1a\n\0\0\0", 11));
  EXPECT_NE(refusal(dir + "/binary.cif").find("neither a PDB nor an mmCIF file"), std::string::npos);
  writeFile(dir + "/empty.pdb", "");
  EXPECT_NE(refusal(dir + "/empty.pdb").find("neither a PDB nor an mmCIF file"), std::string::npos);
  ASSERT_EQ(mkfifo((dir + "/pipe.pdb").c_str(), 0600), 0);  // would wait for a writer for ever
  EXPECT_NE(refusal(dir + "/pipe.pdb").find("not a regular file"), std::string::npos);
  fs::remove_all(dir);
}

// The file the analysis reads: header lines first, the sheet's own records
// renumbered, every ATOM record of the chain, 80 columns each.
TEST(PrepareStructures, CasePdbHoldsTheSheetAloneAndTheWholeChain) {
  const Structure st = readStructure(fixture("1hpv.pdb.gz"));
  const std::vector<SheetVerdict> v = judgeSheets(st, "");
  const std::string path = makeTempDir() + "/case.pdb";
  writeCasePdb(path, st, v[2], "SHEET C OF 1HPV CHAIN A FROM " + std::string(70, 'X'));  // sheet C: records 1 to 4 of its own
  const std::vector<std::string> rows = lines(readFile(path));
  int sheets = 0, atoms = 0, firstAtom = -1;
  for (size_t i = 0; i < rows.size(); ++i) {
    EXPECT_EQ(rows[i].size(), 80u) << rows[i];
    if (rows[i].compare(0, 6, "SHEET ") == 0) {
      ++sheets;
      EXPECT_EQ(rows[i].substr(7, 3), std::string("  ") + char('0' + sheets));
      EXPECT_EQ(rows[i].substr(11, 5), "  C 4");
      EXPECT_EQ(rows[i][21], 'A');
      EXPECT_LT(firstAtom, 0) << "SHEET after the first atom";
    }
    if (rows[i].compare(0, 6, "ATOM  ") == 0) {
      ++atoms;
      if (firstAtom < 0) firstAtom = static_cast<int>(i);
      EXPECT_EQ(rows[i][21], 'A');
    }
    EXPECT_NE(rows[i].compare(0, 6, "HETATM"), 0);
  }
  EXPECT_EQ(sheets, 4);
  size_t chainAtoms = 0;
  for (const Residue& r : st.chains[0].residues) chainAtoms += r.atoms.size();
  EXPECT_EQ(static_cast<size_t>(atoms), chainAtoms);
  // SHEET 2 of C as the entry has it, registration included.
  EXPECT_EQ(rows[2].substr(0, 12), "TITLE    2XX");  // the title's continuation
  EXPECT_EQ(rows[4].substr(0, 70), "SHEET    2   C 4 VAL A  75  GLY A  78  1  N  LEU A  76   O  THR A  31 ");
  EXPECT_EQ(rows.back().substr(0, 3), "END");
  EXPECT_EQ(rows[rows.size() - 2].substr(0, 3), "TER");
  fs::remove_all(fs::path(path).parent_path());
}

namespace {

// A three-residue chain A as an mmCIF atom table with the given columns
// (missing ones are left out), and model 2 where asked.
std::string cifText(const std::vector<std::string>& columns, int models = 1) {
  std::ostringstream s;
  s << "data_test\nloop_\n";
  for (const std::string& c : columns) s << "_atom_site." << c << "\n";
  int serial = 0;
  for (int model = 1; model <= models; ++model)
    for (int r = 1; r <= 3; ++r)
      for (const std::string atom : {"N", "CA", "C", "O"}) {
        const std::map<std::string, std::string> v = {
            {"group_PDB", "ATOM"}, {"id", std::to_string(++serial)}, {"type_symbol", atom.substr(0, 1)},
            {"label_atom_id", atom}, {"auth_atom_id", atom}, {"label_alt_id", "."}, {"label_comp_id", "GLY"},
            {"auth_comp_id", "GLY"}, {"label_asym_id", "A"}, {"auth_asym_id", "A"}, {"label_seq_id", std::to_string(r)},
            {"auth_seq_id", std::to_string(r)}, {"Cartn_x", std::to_string(3.8 * r)}, {"Cartn_y", "1.0"},
            {"Cartn_z", std::to_string(model)}, {"occupancy", "0.5"}, {"B_iso_or_equiv", "20"},
            {"pdbx_PDB_model_num", std::to_string(model)}};
        for (const std::string& c : columns) s << v.at(c) << " ";
        s << "\n";
      }
  return s.str();
}

std::vector<std::string> without(std::vector<std::string> all, const std::vector<std::string>& dropped) {
  for (const std::string& d : dropped) all.erase(std::remove(all.begin(), all.end(), d), all.end());
  return all;
}

const std::vector<std::string> kAllColumns = {
    "group_PDB", "id", "type_symbol", "label_atom_id", "label_alt_id", "label_comp_id", "label_asym_id",
    "label_seq_id", "Cartn_x", "Cartn_y", "Cartn_z", "occupancy", "B_iso_or_equiv", "auth_seq_id", "auth_comp_id",
    "auth_asym_id", "auth_atom_id", "pdbx_PDB_model_num"};

}  // namespace

// Files that are sound but leave optional things out are read, with a note;
// files whose atoms cannot be read or written are refused, naming why.
TEST(PrepareStructures, UncommonEntriesAreReadOrRefusedNamingWhatIsWrong) {
  std::string twoModels = pdbText({}, 3);
  twoModels = "MODEL        1\n" + twoModels.substr(twoModels.find("ATOM"));
  twoModels.replace(twoModels.rfind("END"), 3, "ENDMDL\nMODEL        2\nATOM      1  CA  GLY A   1     abc\nENDMDL\nEND");
  std::string accented = pdbText({}, 3);
  accented.replace(accented.find(" CB  ALA A   2"), 14, " C\xC3\xA9 ALA A   2");
  std::string manyBlocks;
  for (int i = 0; i < 100000; ++i) manyBlocks += "data_b" + std::to_string(i) + "\n";
  struct Case {
    const char* what;
    std::string name, text;
    std::string expected;  // in the note of a file read, or in the refusal
    bool read;
  };
  const std::vector<Case> cases = {
      {"mmCIF without occupancy, B, alternate locations or group_PDB", "t.cif",
       cifText(without(kAllColumns, {"occupancy", "B_iso_or_equiv", "label_alt_id", "group_PDB"})),
       "the atom table has no label_alt_id (none), occupancy (1), B_iso_or_equiv (0)", true},
      {"mmCIF without serials, elements or label chains", "t.cif",
       cifText(without(kAllColumns, {"id", "type_symbol", "label_asym_id", "auth_seq_id"})),
       "the atom table has no id (numbered in order), type_symbol (from the atom name), label_asym_id (the "
       "author's chain), auth_seq_id (label_seq_id)",
       true},
      {"mmCIF without z coordinates", "t.cif", cifText(without(kAllColumns, {"Cartn_z"})),
       "the atom table (_atom_site) has no Cartn_z; the atoms cannot be read", false},
      {"PDB with a non-ASCII atom name", "t.pdb", accented,
       "the atom name \"C\\xC3\\xA9\" of residue ALA 2 of chain A is not plain ASCII", false},
      {"PDB whose later model is damaged", "t.pdb", twoModels, "", true},
      // Only the first data block is parsed: a file of a million blocks
      // would take minutes, and later blocks hold no coordinates of the entry.
      {"mmCIF whose atoms are followed by 100,000 data blocks, one with atoms, the last damaged", "t.cif",
       cifText(kAllColumns) + manyBlocks + cifText(kAllColumns) + "data_last\nloop_\n", "", true},
  };
  for (const Case& c : cases) {
    const TempDir dir;
    writeFile(dir.path + "/" + c.name, c.text);
    try {
      const Structure st = readStructure(dir.path + "/" + c.name);
      EXPECT_TRUE(c.read) << c.what;
      ASSERT_EQ(st.chains.size(), 1u) << c.what;
      EXPECT_EQ(st.chains[0].residues.size(), 3u) << c.what;
      EXPECT_EQ(st.chains[0].residues[0].atoms.size(), c.name == "t.cif" ? 4u : 5u) << c.what;
      EXPECT_EQ(st.chains[0].residues[0].atoms[1].element, "C") << c.what;
      const std::string note = st.notes.empty() ? "" : st.notes[0];
      EXPECT_EQ(note, c.expected) << c.what;
    } catch (const PrepareError& e) {
      EXPECT_FALSE(c.read) << c.what << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << c.what << ": " << e.what();
    }
  }
}

// A gzip file of several members is read through all of them, up to a bound
// however small its last member says it is; long reads say how far they are.
TEST(PrepareStructures, ReadsAreBoundedAndLongOnesShowProgress) {
  const TempDir dir;
  const std::string path = dir.path + "/members.pdb.gz";
  for (const std::string& member : {std::string(3000, 'A'), std::string(3000, 'B'), std::string("END\n")}) {
    gzFile gz = gzopen(path.c_str(), "ab");
    ASSERT_NE(gz, nullptr);
    gzwrite(gz, member.data(), static_cast<unsigned>(member.size()));
    gzclose(gz);
  }
  std::ostringstream progress;
  EXPECT_EQ(readEntryText(path, &progress, 10000, 1000).size(), 6004u);
  EXPECT_NE(progress.str().find("  read 6004 bytes of " + path), std::string::npos) << progress.str();
  try {
    readEntryText(path, nullptr, 5000, 1000);
    ADD_FAILURE() << "read past the bound";
  } catch (const PrepareError& e) {
    EXPECT_NE(std::string(e.what()).find("holds more than 5000 bytes once decompressed"), std::string::npos) << e.what();
  }
  // Of many models, the first is all that is built.
  gemmi::cif::Document doc = gemmi::cif::read_string(cifText(kAllColumns, 3));
  keepFirstCifModel(doc.blocks[0]);
  EXPECT_EQ(doc.blocks[0].find_values("_atom_site.id").length(), 12);
  EXPECT_EQ(std::string(gemmi::cif::as_string(doc.blocks[0].find_values("_atom_site.Cartn_z")[11])), "1");
}
