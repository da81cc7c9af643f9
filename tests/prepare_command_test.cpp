// velmorantique-prepare as users run it: the cases it writes run through the
// analysis, and bad input ends with a clear message, status 1 and no case
// folder, whole or half-written.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <algorithm>
#include <cmath>
#include <filesystem>

#include "support/mrc_file.h"
#include "support/program.h"

namespace fs = std::filesystem;

namespace {

std::string fixture(const std::string& name) { return sourceDir() + "/tests/fixtures/" + name; }
std::string example(const std::string& name) { return sourceDir() + "/examples/1hpv_b_8a/" + name; }

ProgramRun prepare(const std::string& workDir, const std::vector<std::string>& args) {
  return runExecutable(VEL_PREPARE_BINARY, workDir, args, 300);
}

std::vector<std::string> entries(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

nlohmann::json meta(const std::string& caseDir) { return nlohmann::json::parse(readFile(caseDir + "/meta.json")); }

}  // namespace

TEST(PrepareCommand, EveryCaseWrittenRunsThroughTheAnalysis) {
  const std::string work = makeTempDir(), out = work + "/cases";
  ProgramRun run = prepare(work, {fixture("1hpv.pdb.gz"), fixture("1A7G.cif.gz"), "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("[2/2]"), std::string::npos);  // a progress line per entry
  run = prepare(work, {"--synthetic", "--strands", "3", "--length", "6", "--twist", "-20", "-o", out,
                       "--resolution", "6"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> expected = {"1a7g_e_a_8a", "1hpv_a_b_8a", "1hpv_a_c_8a", "synth_3x6_tm20_a_a_6a"};
  ASSERT_EQ(entries(out), expected);
  for (const std::string& name : expected) {
    const std::string dir = out + "/" + name;
    std::vector<std::string> files = {"meta.json", name + ".mrc", name + ".pdb", "threshold"};
    std::sort(files.begin(), files.end());
    EXPECT_EQ(listFiles(dir), files);
    const std::string threshold = lines(readFile(dir + "/threshold")).at(0);
    EXPECT_EQ(meta(dir)["run"], "velmorantique " + name + " " + name + " " + threshold + "   (from inside this folder)");
    const ProgramRun analysis = runProgram(dir, {name, name, threshold});
    EXPECT_EQ(analysis.status, 0) << name << "\n" << analysis.out << analysis.err;
    // The analysis keeps exactly the voxels counted for the case.
    EXPECT_NE(analysis.out.find("num of points = " + std::to_string(meta(dir)["voxels_above_threshold"].get<long>())),
              std::string::npos)
        << name;
  }
  fs::remove_all(work);
}

TEST(PrepareCommand, ListingNamesEverySheetAndWritesNothing) {
  const std::string work = makeTempDir();
  const ProgramRun run = prepare(work, {fixture("1hpv.pdb.gz"), fixture("2BEG.pdb.gz"), "--list"});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> rows = lines(run.out);
  ASSERT_EQ(rows.size(), 9u) << run.out;
  EXPECT_EQ(rows[0], "1hpv  chains A (99 residues), B (99 residues)");
  EXPECT_EQ(rows[1].find("1hpv  sheet A  chain several"), 0u);
  EXPECT_NE(rows[2].find("22 residues  eligible"), std::string::npos);
  EXPECT_NE(rows[4].find("not eligible: in chain B"), std::string::npos);
  EXPECT_NE(rows[8].find("2beg  sheet B"), std::string::npos);
  EXPECT_NE(rows[8].find("not eligible: strands in more than one chain"), std::string::npos);
  EXPECT_EQ(entries(work), std::vector<std::string>{});
  fs::remove_all(work);
}

TEST(PrepareCommand, BadInputEndsWithAMessageAndNoCaseFolder) {
  const std::string work = makeTempDir();
  writeFile(work + "/notes.txt", "Notes on my favourite protein.\n");
  // An experimental map with a skewed cell, placed over the sheet.
  MrcMapFile skewed;
  skewed.nx = skewed.ny = skewed.nz = skewed.mx = skewed.my = skewed.mz = 40;
  skewed.xlen = skewed.ylen = skewed.zlen = 40;
  skewed.xorigin = -16;
  skewed.yorigin = 16;
  skewed.zorigin = -21;
  skewed.data.assign(40 * 40 * 40, 1.0f);
  std::vector<unsigned char> bytes = mrcFileBytes(skewed);
  const float beta = 100;
  int32_t betaBits;
  std::memcpy(&betaBits, &beta, 4);
  patchInt(bytes, 4 * 14, betaBits);
  writeBytes(work + "/skewed.mrc", bytes);
  // A map of the right kind that lies beside the sheet.
  MrcMapFile beside = skewed;
  beside.xorigin = 100;
  writeMrcFile(work + "/beside.mrc", beside);
  // A header that promises far more voxels than follow it.
  MrcMapFile boastful = skewed;
  boastful.nx = boastful.ny = boastful.nz = 100000;
  boastful.data.assign(8, 1.0f);
  writeMrcFile(work + "/boastful.mrc", boastful);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{work + "/absent.pdb"}, "no such file"},
      {{work + "/notes.txt"}, "neither a PDB nor an mmCIF file"},
      {{fixture("1A8O.pdb.gz"), "--assign", "records"}, "no sheet records"},
      {{fixture("1A8O.pdb.gz")}, "DSSP finds no beta-sheet"},
      {{fixture("1A8O.pdb.gz"), "--assign", "secondary"}, "--assign takes auto, records or dssp"},
      {{example("1hpv_b_8a.pdb"), "--map", work + "/skewed.mrc"}, "not orthogonal"},
      {{example("1hpv_b_8a.pdb"), "--map", work + "/beside.mrc"}, "the map does not cover the sheet"},
      {{example("1hpv_b_8a.pdb"), "--map", work + "/absent.mrc"}, "no such map file"},
      {{example("1hpv_b_8a.pdb"), "--map", work + "/boastful.mrc"}, "promises more voxels than the file holds"},
      {{example("1hpv_b_8a.pdb"), "--voxel", "0.01"}, "choose a larger voxel size"},
      {{example("1hpv_b_8a.pdb"), "--resolution", "eight"}, "--resolution needs a number"},
      {{example("1hpv_b_8a.pdb"), "--sheet", "Z"}, "no case written"},
  };
  for (const Case& c : cases) {
    const std::string out = work + "/out";
    std::vector<std::string> args = c.args;
    args.push_back("-o");
    args.push_back(out);
    const ProgramRun run = prepare(work, args);
    EXPECT_EQ(run.status, 1) << c.message;
    const std::string last = lines(run.err).empty() ? "" : lines(run.err).back();
    EXPECT_EQ(last.find("error: "), 0u) << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(entries(out), std::vector<std::string>{}) << c.message;  // not even a partial folder
    fs::remove_all(out);
  }
  fs::remove_all(work);
}

TEST(PrepareCommand, AnExistingCaseIsReplacedOnlyWithForce) {
  const std::string work = makeTempDir(), out = work + "/out";
  ASSERT_EQ(prepare(work, {example("1hpv_b_8a.pdb"), "-o", out}).status, 0);
  const std::string dir = out + "/1hpv_a_b_8a";
  writeFile(dir + "/my_notes.txt", "keep me\n");
  ProgramRun run = prepare(work, {example("1hpv_b_8a.pdb"), "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("exists already (use --force to replace it)"), std::string::npos) << run.err;
  EXPECT_EQ(readFile(dir + "/my_notes.txt"), "keep me\n");
  run = prepare(work, {example("1hpv_b_8a.pdb"), "-o", out, "--force", "--resolution", "8,10"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(dir + "/my_notes.txt"));
  EXPECT_EQ(entries(out), (std::vector<std::string>{"1hpv_a_b_10a", "1hpv_a_b_8a"}));
  // A structure file that cannot be read fails the call, though the others
  // are prepared (or kept), so that a script over a collection notices.
  run = prepare(work, {work + "/missing.pdb", example("1hpv_b_8a.pdb"), "-o", out, "--skip-existing"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("; 1 structure file could not be read"), std::string::npos) << run.err;
  fs::remove_all(work);
}

TEST(PrepareCommand, ExperimentalMapIsCutAroundTheSheet) {
  const std::string work = makeTempDir(), out = work + "/out";
  // The bundled simulated map stands in for an experimental one.
  ProgramRun run = prepare(work, {example("1hpv_b_8a.pdb"), "--map", example("1hpv_b_8a.mrc"), "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  std::string dir = out + "/1hpv_a_b_8a";
  nlohmann::json m = meta(dir);
  EXPECT_EQ(m["kind"], "experimental");
  EXPECT_EQ(m["zone_A"], 3.0);
  // On the map's own grid: its origin (-15, 17, -20) plus whole voxels.
  for (int d = 0; d < 3; ++d) {
    const double origin = m["origin_A"][d];
    EXPECT_EQ(origin, std::round(origin));
  }
  EXPECT_EQ(m["components_6_connected"], 1);
  std::string threshold = lines(readFile(dir + "/threshold")).at(0);
  EXPECT_EQ(runProgram(dir, {"1hpv_a_b_8a", "1hpv_a_b_8a", threshold}).status, 0);

  run = prepare(work, {example("1hpv_b_8a.pdb"), "--map", example("1hpv_b_8a.mrc"), "-o", out, "--force",
                       "--voxel", "0.5", "--threshold", "0.05", "--zone", "4"});
  ASSERT_EQ(run.status, 0) << run.err;
  m = meta(dir);
  EXPECT_EQ(m["voxel_size_A"][0], 0.5);
  EXPECT_EQ(readFile(dir + "/threshold"), "0.05\n");
  EXPECT_EQ(m["threshold_rule"], "given on the command line");
  EXPECT_EQ(runProgram(dir, {"1hpv_a_b_8a", "1hpv_a_b_8a", "0.05"}).status, 0);

  // A gzipped map, as archives serve them.
  run = prepare(work, {sourceDir() + "/tests/data/1a7g_a_6a.pdb", "--map", fixture("1a7g_a_6a/1a7g_a_6a.mrc.gz"),
                       "--resolution", "6", "-o", out});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(meta(out + "/1a7g_e_a_6a")["box_voxels"], (std::vector<int>{29, 41, 29}));
  fs::remove_all(work);
}

TEST(PrepareCommand, HelpShowsTheDefaults) {
  const std::string work = makeTempDir();
  const ProgramRun run = prepare(work, {"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* expected : {"--resolution R[,R...]", "[8]", "--margin M", "[6]", "--zone Z", "[3]", "[-18]"})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected;
  EXPECT_EQ(prepare(work, {}).status, 1);
  fs::remove_all(work);
}

// Options that once failed on sound input: a rerun that adds only new cases,
// a zone wider than the map, and a resolution finer than the analysis reads.
TEST(PrepareCommand, RerunsWideZonesAndFineResolutionsSayWhatTheyDo) {
  const std::string work = makeTempDir(), out = work + "/out";
  ASSERT_EQ(prepare(work, {example("1hpv_b_8a.pdb"), "-o", out}).status, 0);
  const std::string kept = readFile(out + "/1hpv_a_b_8a/meta.json");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string said;  // on stderr
  };
  const std::vector<Case> cases = {
      {{example("1hpv_b_8a.pdb"), fixture("1A7G.cif.gz"), "--skip-existing"}, 0,
       "1 case written to " + out + ", 1 there already kept"},
      {{example("1hpv_b_8a.pdb"), "--skip-existing"}, 0, "0 cases written to " + out + ", 1 there already kept"},
      {{example("1hpv_b_8a.pdb"), "--skip-existing", "--force"}, 1, "contradict each other"},
      {{example("1hpv_b_8a.pdb"), "--map", example("1hpv_b_8a.mrc"), "--zone", "100", "--resolution", "9"}, 0,
       "1hpv_a_b_9a: written"},
      {{example("1hpv_b_8a.pdb"), "--resolution", "3"}, 0, "at 3 Å a simulated sheet shows its atoms apart"},
      // At 2 Å the sheet's whole volume falls apart into atoms (its densest 0.4 still holds together).
      {{example("1hpv_b_8a.pdb"), "--resolution", "2", "--volume-factor", "1"}, 1,
       "no density level keeps the sheet in one piece above 1% of the map's maximum"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", out});
    const ProgramRun run = prepare(work, args);
    EXPECT_EQ(run.status, c.status) << c.said << "\n" << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
  }
  EXPECT_EQ(readFile(out + "/1hpv_a_b_8a/meta.json"), kept);  // kept as it was
  EXPECT_FALSE(fs::exists(out + "/1hpv_a_b_2a"));
  const ProgramRun fine = prepare(work, {example("1hpv_b_8a.pdb"), "--resolution", "2", "--volume-factor", "1", "-o", out});
  EXPECT_NE(fine.err.find("the analysis is meant for sheets at about 4 Å or coarser"), std::string::npos) << fine.err;
  fs::remove_all(work);
}
