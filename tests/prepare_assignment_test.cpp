// Sheets from DSSP where an entry records none, the chains prepared, and a
// DSSP that cannot answer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <sstream>

#include "support/gzip_file.h"
#include "support/program.h"
#include "velmorantique/prepare.h"

namespace fs = std::filesystem;
using namespace vel::prepare;

namespace {

std::string fixture(const std::string& name) { return sourceDir() + "/tests/fixtures/" + name; }

ProgramRun prepare(const std::string& workDir, const std::vector<std::string>& args) {
  return runExecutable(VEL_PREPARE_BINARY, workDir, args, 300);
}

// 1hpv as a file without sheet records: a dimer with one sheet in each chain
// and one across them.
std::string withoutSheetRecords(const std::string& dir) {
  std::string text;
  for (const std::string& line : lines(readGzipFile(fixture("1hpv.pdb.gz"))))
    if (line.compare(0, 6, "SHEET ") != 0) text += line + "\n";
  writeFile(dir + "/1hpv.pdb", text);
  return dir + "/1hpv.pdb";
}

std::string sheetOrder(const Sheet& sheet) {
  std::string text = sheet.id + ":";
  for (const Strand& s : sheet.strands)
    text += " " + std::to_string(s.start.number) + (s.sense > 0 ? "p" : s.sense < 0 ? "a" : "");
  return text;
}

}  // namespace

// Strand k starts at residue 10 k; the strands as DSSP lists them (by residue
// number) and the ladders between them.
TEST(PrepareAssignment, LaddersOrderStrandsAsSheetRecordsDo) {
  struct Case {
    const char* what;
    int strands;
    std::vector<Ladder> ladders;
    std::vector<std::string> sheets;
  };
  const std::vector<Case> cases = {
      {"a path listed out of order (ubiquitin)", 5, {{0, 1, -1}, {0, 4, 1}, {2, 3, -1}, {2, 4, -1}},
       {"S: 10 0a 40p 20a 30a"}},
      {"a branch: the longest run, then the rest from the junction", 4, {{0, 1, -1}, {1, 2, -1}, {1, 3, 1}},
       {"S: 0 10a 20a", "S2: 10 30p"}},
      {"a closed barrel lists its first strand again", 4, {{0, 1, -1}, {1, 2, -1}, {2, 3, -1}, {3, 0, -1}},
       {"S: 0 10a 20a 30a 0a"}},
      {"ladders repeated or within a strand count once", 3, {{0, 1, -1}, {1, 0, -1}, {1, 1, 1}, {1, 2, 1}},
       {"S: 0 10a 20p"}},
      {"strands without ladders make no sheet", 3, {}, {}},
  };
  for (const Case& c : cases) {
    std::vector<Strand> strands(static_cast<size_t>(c.strands));
    for (int k = 0; k < c.strands; ++k) strands[k].start = strands[k].end = {"A", "ALA", 10 * k, ' '};
    std::vector<std::string> got;
    for (const Sheet& sheet : sheetsFromLadders("S", strands, c.ladders)) got.push_back(sheetOrder(sheet));
    EXPECT_EQ(got, c.sheets) << c.what;
  }
}

// The default is the first chain that holds amino acids; DNA and RNA chains
// are never prepared.
TEST(PrepareAssignment, ChainsPreparedHoldAminoAcids) {
  std::ostringstream text;
  int serial = 1;
  for (int r = 1; r <= 3; ++r)
    for (const char* atom : {" P  ", " C1'", " N9 "}) {
      char line[100];
      std::snprintf(line, sizeof line, "ATOM  %5d %s  DA D%4d    %8.3f%8.3f%8.3f  1.00 20.00           %c", serial++,
                    atom, r, 3.0 * r, 1.0, 0.0, atom[1]);
      text << line << "\n";
    }
  for (const char chain : {'A', 'B'})
    for (int r = 1; r <= 3; ++r)
      for (const char* atom : {" N  ", " CA ", " C  ", " O  "}) {
        char line[100];
        std::snprintf(line, sizeof line, "ATOM  %5d %s GLY %c%4d    %8.3f%8.3f%8.3f  1.00 20.00           %c",
                      serial++, atom, chain, r, 3.8 * r, 10.0 * (chain - 'A'), 5.0, atom[1]);
        text << line << "\n";
      }
  const TempFile file("dna_first.pdb", text.str());
  const Structure st = readStructure(file.path);
  struct Case {
    std::string chains;
    std::vector<std::string> prepared;
    std::string refusal;
  };
  const std::vector<Case> cases = {
      {"", {"A"}, ""},          {"all", {"A", "B"}, ""}, {"B,A,B", {"B", "A"}, ""},
      {"D", {}, "chain D holds no amino acids"}, {"A,Q", {}, "no chain Q"},
  };
  for (const Case& c : cases) {
    try {
      EXPECT_EQ(chainsPrepared(st, c.chains), c.prepared) << c.chains;
      EXPECT_EQ(c.refusal, "") << c.chains;
    } catch (const PrepareError& e) {
      EXPECT_NE(c.refusal, "") << c.chains << ": " << e.what();
      EXPECT_NE(std::string(e.what()).find(c.refusal), std::string::npos) << e.what();
    }
  }
}

// Without sheet records DSSP gives the sheets; --chain all prepares every
// protein chain, and the case's PDB file carries DSSP's sheet for the analysis.
TEST(PrepareAssignment, EntryWithoutSheetRecordsGivesCasesFromEveryChain) {
  const TempDir work;
  const std::string entry = withoutSheetRecords(work.path), out = work.path + "/cases";
  ProgramRun run = prepare(work.path, {entry, "--chain", "all", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("the analysis reads one chain"), std::string::npos) << run.err;  // the sheet across the dimer
  for (const std::string name : {"1hpv_a_b_8a", "1hpv_b_c_8a"}) {
    const std::string dir = out + "/" + name;
    const nlohmann::json meta = nlohmann::json::parse(readFile(dir + "/meta.json"));
    EXPECT_EQ(meta["secondary_structure_source"], "dssp") << name;
    EXPECT_EQ(meta["strand_count"], 7) << name;
    int sheetLines = 0;
    for (const std::string& line : lines(readFile(dir + "/" + name + ".pdb"))) sheetLines += line.compare(0, 6, "SHEET ") == 0;
    EXPECT_EQ(sheetLines, 7) << name;
    const std::string threshold = lines(readFile(dir + "/threshold")).at(0);
    const ProgramRun analysis = runProgram(dir, {name, name, threshold});
    EXPECT_EQ(analysis.status, 0) << analysis.out;
    EXPECT_EQ(analysis.out.find("No reference strands"), std::string::npos) << name;
  }
  // The records stay the default where the file has them; DSSP on demand
  // is compared with them.
  run = prepare(work.path, {fixture("1hpv.pdb.gz"), "-o", out + "2", "--sheet", "B"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(nlohmann::json::parse(readFile(out + "2/1hpv_a_b_8a/meta.json"))["secondary_structure_source"], "records");
  run = prepare(work.path, {fixture("1hpv.pdb.gz"), "--list", "--assign", "dssp"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("records sheet C (4 strands, 20 residues): shares 19 residues with dssp sheet B"),
            std::string::npos)
      << run.out;
  run = prepare(work.path, {entry, "--assign", "records", "-o", out + "3"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no sheet records"), std::string::npos) << run.err;
}

TEST(PrepareAssignment, DsspThatCannotAnswerIsNamed) {
  const TempDir work;
  const std::string entry = withoutSheetRecords(work.path);
  writeFile(work.path + "/slow_dssp", "#!/bin/sh\nsleep 30\n");
  fs::permissions(work.path + "/slow_dssp", fs::perms::owner_all);
  writeFile(work.path + "/failing_dssp", "#!/bin/sh\necho 'Error parsing input' >&2\nexit 3\n");
  fs::permissions(work.path + "/failing_dssp", fs::perms::owner_all);
  struct Case {
    std::string program;
    std::string message;
  };
  const std::vector<Case> cases = {
      {work.path + "/absent/mkdssp", "install Debian's dssp package"},
      {"no-such-dssp-program", "install Debian's dssp package"},
      {work.path + "/failing_dssp", "failed with status 3: Error parsing input"},
      {work.path + "/slow_dssp", "was stopped after 0.5 s"},
  };
  const Structure read = readStructure(entry);
  for (const Case& c : cases) {
    Structure st = read;
    DsspRun dssp;
    dssp.program = c.program;
    dssp.timeoutSeconds = 0.5;
    try {
      assignSecondaryStructure(st, SheetSource::Auto, "", dssp);
      ADD_FAILURE() << c.program << " gave sheets";
    } catch (const PrepareError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // The command says so and writes nothing.
  const ProgramRun run = prepare(work.path, {entry, "--dssp", "no-such-dssp-program", "-o", work.path + "/out"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("install Debian's dssp package"), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(work.path + "/out/1hpv_a_b_8a"));
}
