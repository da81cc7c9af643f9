// velmorantique-find as users run it: guided cuts give one case each, the
// case runs through the analysis at a terminal without waiting for a key and
// without framed errors, and bad input ends with a message, status 1 and
// nothing written.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "support/mrc_file.h"
#include "support/plate_map.h"
#include "support/program.h"
#include "velmorantique/find.h"

namespace fs = std::filesystem;

namespace {

ProgramRun findRun(const std::string& workDir, const std::vector<std::string>& args) {
  return runExecutable(VEL_FIND_BINARY, workDir, args, 120);
}

// 100^3 voxels of 1 Å densely filled with ripples: a map whose every stage
// is large for its file.
std::string writeDenseMap(const std::string& dir) {
  vel::find::DensityBox box;
  box.n = {100, 100, 100};
  box.voxel = {1, 1, 1};
  box.values.resize(100 * 100 * 100);
  for (size_t i = 0; i < box.values.size(); ++i)
    box.values[i] = static_cast<float>(1 + std::sin(0.7 * (i % 100)) * std::cos(0.5 * (i / 100 % 100)));
  const std::string path = dir + "/dense.mrc";
  vel::prepare::writeMrc(path, box);
  return path;
}

// Runs the program with a pseudo-terminal as its standard input and output;
// what it printed, and its status (-1 when it had to be stopped).
ProgramRun atTerminal(const std::string& workDir, const std::vector<std::string>& args, int seconds) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    if (chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv = {const_cast<char*>(VEL_BINARY)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(VEL_BINARY, argv.data());
    _exit(127);
  }
  ProgramRun run;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  char buf[4096];
  for (;;) {
    pollfd p = {master, POLLIN, 0};
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      break;
    }
    if (poll(&p, 1, 200) <= 0) continue;
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;  // the terminal closed: the program ended
    run.out.append(buf, static_cast<size_t>(n));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace

TEST(FindCommand, EachGuidedCutIsOneCaseThatRunsAtATerminal) {
  const std::string work = makeTempDir();
  const std::string map = writePlate(work);
  // A mask on a coarser grid of its own, set over x > 0.
  vel::find::DensityBox mask;
  mask.n = {10, 10, 10};
  mask.voxel = {4, 4, 4};
  mask.origin = {-20, -20, -20};
  mask.values.assign(1000, 0.0f);
  for (int k = 0; k < 10; ++k)
    for (int j = 0; j < 10; ++j)
      for (int i = 5; i < 10; ++i) mask.values[mask.index(i, j, k)] = 1;
  vel::prepare::writeMrc(work + "/mask.mrc", mask);
  struct Cut {
    std::vector<std::string> args;
    const char* method;
    double lowestX, highestX;  // where the case's voxels may lie along x
  } cuts[] = {
      {{"--box", "-5,-30,-30,5,30,30"}, "box", -5, 5},
      {{"--around", "8,0,0", "--radius", "4"}, "sphere", 4, 12},
      {{"--mask", work + "/mask.mrc"}, "mask", -2, 12},
  };
  for (const Cut& c : cuts) {
    std::vector<std::string> args = {map, "--resolution", "6", "-o", "out", "--contour", "0.5", "--force"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const ProgramRun run = findRun(work, args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string dir = work + "/out/plate_s1";
    const nlohmann::json meta = nlohmann::json::parse(readFile(dir + "/meta.json"));
    EXPECT_EQ(meta["method"], c.method);
    EXPECT_EQ(meta["reference"], "none");
    EXPECT_FALSE(meta.contains("sheet_confidence")) << c.method;  // the user's own region: not judged
    EXPECT_FALSE(fs::exists(work + "/out/plate_s2"));
    const double x0 = meta["origin_A"][0].get<double>() + 4, x1 = x0 + meta["box_voxels"][0].get<double>() - 9;
    EXPECT_GE(x0, c.lowestX - 0.5) << c.method;
    EXPECT_LE(x1, c.highestX + 0.5) << c.method;
    for (const char* f : {"find.json", "plate_segments.mrc", "plate_segments.pml", "plate_segments.cxc"})
      EXPECT_TRUE(fs::exists(work + "/out/" + f)) << f;
  }
  // The last case, by hand at a terminal: no key is waited for, no frame is
  // printed, and the analysis says in its own line that it has no reference.
  const std::string dir = work + "/out/plate_s1";
  const ProgramRun run = atTerminal(dir, {"plate_s1", "plate_s1", lines(readFile(dir + "/threshold")).at(0)}, 60);
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("No reference strands: plate_s1.pdb has no SHEET record"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("===="), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Press any key"), std::string::npos);
}

TEST(FindCommand, FindsThePlateAndKeepsAnEarlierRunWithoutForce) {
  const std::string work = makeTempDir();
  const std::string map = writePlate(work);
  ProgramRun run = findRun(work, {map, "--resolution", "6", "-o", "out", "--contour", "0.2"});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json found = nlohmann::json::parse(readFile(work + "/out/find.json"));
  EXPECT_EQ(found["level"]["rule"], "contour");
  ASSERT_TRUE(fs::exists(work + "/out/plate_s1/plate_s1.mrc"));
  // The case's own threshold, never below the map's level, as meta.json says.
  const nlohmann::json meta = nlohmann::json::parse(readFile(work + "/out/plate_s1/meta.json"));
  EXPECT_EQ(readFile(work + "/out/plate_s1/threshold"), meta["level"]["text"].get<std::string>() + "\n");
  EXPECT_GE(meta["threshold"].get<double>(), 0.2);
  EXPECT_EQ(meta["map_level"]["text"], "0.2");
  // Whether the case is a sheet at all, the same in meta.json and find.json.
  EXPECT_TRUE(meta["sheet_confidence"]["level"].is_string());
  EXPECT_FALSE(meta["sheet_confidence"]["reasons"].empty());
  for (const nlohmann::json& s : found["segments"])
    if (s["case"] == "plate_s1") {
      EXPECT_EQ(s["sheet_confidence"], meta["sheet_confidence"]);
    }
  std::ostringstream notes;
  const vel::find::DensityBox cut = vel::find::readWholeMap(work + "/out/plate_s1/plate_s1.mrc", notes);
  EXPECT_EQ(meta["voxels_above_threshold"], vel::find::voxelsAtOrAbove(cut, meta["threshold"].get<double>()));
  const std::string script = readFile(work + "/out/plate_segments.pml");
  // Each case over the whole map, drawn as the grey mesh the script promises.
  EXPECT_NE(script.find("plate_s1.mrc\", plate_s1_map"), std::string::npos) << script;
  EXPECT_NE(script.find("load \"" + map + "\", whole_map\nisomesh whole_mesh, whole_map, 0.2\n"), std::string::npos)
      << script;
  run = findRun(work, {map, "--resolution", "6", "-o", "out", "--contour", "0.2"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("--force"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(work + "/out/plate_s1/plate_s1.mrc"));
  // Nor does a replacing run lose the earlier one when it fails on its model,
  // or half-way through writing on a full disk.
  const std::string before = readFile(work + "/out/find.json");
  const std::string mapBefore = readFile(work + "/out/plate_s1/plate_s1.mrc");
  const std::vector<std::string> replace = {map, "--resolution", "6", "-o", "out", "--contour", "0.25", "--force"};
  std::vector<std::string> withBadModel = replace;
  withBadModel.insert(withBadModel.end(), {"--model", "none.pdb"});
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::vector<std::string> onFullDisk = {
      "LD_PRELOAD=" VEL_FULL_DISK_LIB, "VEL_FULL_DISK_DIR=" + work + "/.out", "VEL_FULL_DISK_BYTES=100",
      "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0", VEL_FIND_BINARY};
  onFullDisk.insert(onFullDisk.end(), replace.begin(), replace.end());
  run = findRun(work, withBadModel);
  EXPECT_EQ(run.status, 1) << run.err;
  run = runExecutable("/usr/bin/env", work, onFullDisk);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.err.find("out/plate_s1/plate_s1.pdb: cannot be written; nothing in out was changed"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(readFile(work + "/out/find.json"), before);
  EXPECT_TRUE(readFile(work + "/out/plate_s1/plate_s1.mrc") == mapBefore);
  for (const auto& e : fs::directory_iterator(work + "/out"))
    EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
  // An output folder whose path a script cannot carry gets scripts without it.
  fs::create_directories(work + "/odd; name");
  run = findRun(work, {map, "--resolution", "6", "-o", "odd; name", "--contour", "0.2"});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* s : {"/odd; name/plate_segments.pml", "/odd; name/plate_segments.cxc"})
    EXPECT_EQ(readFile(work + s).find("odd;"), std::string::npos) << s;
  // One with a space keeps its files, the paths in quotes.
  run = findRun(work, {map, "--resolution", "6", "-o", "two words", "--contour", "0.2"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(readFile(work + "/two words/plate_segments.pml").find("load \"" + work + "/two words/plate_s1/plate_s1.mrc\""),
            std::string::npos);
  EXPECT_NE(readFile(work + "/two words/plate_segments.cxc").find("open \"" + work + "/two words/plate_s1/plate_s1.mrc\""),
            std::string::npos);
}

TEST(FindCommand, BadInputIsRefusedAndLeavesNothing) {
  const std::string work = makeTempDir();
  const std::string map = writePlate(work), dense = writeDenseMap(work);
  MrcMapFile skewed;
  skewed.nx = skewed.ny = skewed.nz = skewed.mx = skewed.my = skewed.mz = 4;
  skewed.xlen = skewed.ylen = skewed.zlen = 4;
  skewed.gamma = 120;
  skewed.data.assign(64, 1.0f);
  writeMrcFile(work + "/skewed.mrc", skewed);
  MrcMapFile fine = skewed;  // cell lengths in the wrong unit: voxels of 0.001 Å
  fine.gamma = 90;
  fine.xlen = fine.ylen = fine.zlen = 0.004f;
  writeMrcFile(work + "/fine.mrc", fine);
  struct Bad {
    std::vector<std::string> args;
    const char* says;
  } cases[] = {
      {{"missing.mrc", "--resolution", "6", "-o", "out"}, "Can't open"},
      {{work + "/skewed.mrc", "--resolution", "6", "-o", "out"}, "orthogonal"},
      {{work + "/fine.mrc", "--resolution", "6", "-o", "out", "--box", "-9,-9,-9,9,9,9"}, "voxel size (0.001 A) is below 0.1 A"},
      {{map, "--resolution", "6", "-o", "out", "--contour", "1e9"}, "no voxel of the map lies at or above"},
      {{map, "--resolution", "six", "-o", "out"}, "--resolution needs a number, not 'six'"},
      {{map, "-o", "out"}, "no resolution given"},
      {{map, "--resolution", "6", "-o", "out", "--around", "1,2,3"}, "--around needs --radius"},
      {{map, "--resolution", "6", "-o", "out", "--contour", "0.5", "--box", "30,30,30,40,40,40"},
       "no voxel at or above the level lies inside the box"},
      // Physical ranges, and a run past the memory it may use.
      {{map, "--resolution", "0.0001", "-o", "out"}, "--resolution needs a number from 1 to 50 A, not '0.0001'"},
      {{map, "--resolution", "1e308", "-o", "out"}, "--resolution needs a number from 1 to 50 A, not '1e308'"},
      {{map, "--resolution", "6", "-o", "out", "--mass-kda", "1e30"}, "--mass-kda needs a number from 1 to 100000 kDa"},
      {{dense, "--resolution", "6", "-o", "out", "--max-memory", "0.01"},
       "dividing the density of the map's 100 x 100 x 100 voxels may need up to 12 MB, more than --max-memory ( 10 MB "
       "): allow more with --max-memory GB"},
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer reserves more address space than the bound leaves
      {{"-c", "ulimit -v 50000 && exec " + std::string(VEL_FIND_BINARY) + " " + dense + " --resolution 6 --contour 1.2 -o out", "sh"},
       "error: out of memory: the input asks for more memory than this process can get"},
#endif
  };
  for (const Bad& c : cases) {
    const bool shell = c.args[0] == "-c";  // run under a shell's bound
    const ProgramRun run = shell ? runExecutable("/bin/sh", work, c.args, 120) : findRun(work, c.args);
    EXPECT_EQ(run.status, 1) << c.says;
    EXPECT_NE(run.err.find("error: "), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(work + "/out/find.json")) << c.says;
  }
  const ProgramRun help = findRun(work, {"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--sigmas K"), std::string::npos);
  EXPECT_NE(help.out.find("[3]"), std::string::npos);  // the live default
}

TEST(FindCommand, AModelWhoseFirstChainIsNucleicAcidIsRead) {
  // Entries often list a bound DNA or a ribosome's RNA before the protein;
  // such a chain holds no sheet and must not stop the model being read.
  const std::string work = makeTempDir();
  const std::string map = writePlate(work);
  std::string model;
  const char* dna[] = {
      "ATOM      1  P    DA N   1       1.000   2.000   3.000  1.00 20.00           P  ",
      "ATOM      2  C1'  DA N   1       2.000   2.500   3.500  1.00 20.00           C  ",
      "ATOM      3  P    DC N   2       4.000   2.000   3.000  1.00 20.00           P  ",
  };
  bool atomsStarted = false;
  for (const std::string& l : lines(readFile(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb"))) {
    if (!atomsStarted && l.rfind("ATOM", 0) == 0) {
      for (const char* d : dna) model += std::string(d) + "\n";
      atomsStarted = true;
    }
    model += l + "\n";
  }
  writeFile(work + "/model.pdb", model);
  const ProgramRun run =
      findRun(work, {map, "--resolution", "6", "-o", "out", "--contour", "0.2", "--model", work + "/model.pdb"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(work + "/out/find.json"));
}
