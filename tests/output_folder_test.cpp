// The output folders of find and prepare as users meet them when something
// goes wrong: a second run on the same folder, a run killed while it
// replaces an earlier one, a full disk, and a folder that is not find's.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <nlohmann/json.hpp>

#include "support/plate_map.h"
#include "support/program.h"
#include "velmorantique/find.h"
#include "velmorantique/output_folder.h"

namespace fs = std::filesystem;

namespace {

std::string example(const std::string& file) { return sourceDir() + "/examples/1hpv_b_8a/" + file; }

// Starts the program in workDir, its output thrown away, and kills it
// outright after `ms` milliseconds (when it is still running).
void killAfter(const char* binary, const std::string& workDir, const std::vector<std::string>& args, int ms) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    if (chdir(workDir.c_str()) != 0) _exit(126);
    std::vector<char*> argv = {const_cast<char*>(binary)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(binary, argv.data());
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
}

// Files put in an earlier run's case folders: the folder is that run's whole
// with all of them, or the new run's with none.
constexpr int kClutter = 300;

bool isCaseComplete(const fs::path& dir) {
  const std::string name = dir.filename().string();
  int clutter = 0;
  for (const auto& e : fs::directory_iterator(dir)) clutter += e.path().filename().string()[0] == 'n';
  if (clutter != 0 && clutter != kClutter) return false;
  for (const std::string& f : {name + ".mrc", name + ".pdb", std::string("threshold")})
    if (!fs::exists(dir / f)) return false;
  return fs::exists(dir / "meta.json") &&
         !nlohmann::json::parse(readFile((dir / "meta.json").string()), nullptr, false).is_discarded();
}

// Every case find.json lists is there whole, and no other.
std::string findRunProblem(const std::string& out) {
  if (!fs::exists(out + "/find.json")) return "no find.json";
  const nlohmann::json found = nlohmann::json::parse(readFile(out + "/find.json"), nullptr, false);
  std::set<std::string> listed, there;
  for (const auto& s : found["segments"])
    if (s["case"].is_string()) listed.insert(s["case"].get<std::string>());
  for (const auto& e : fs::directory_iterator(out))
    if (e.is_directory()) there.insert(e.path().filename().string());
  if (listed != there) return "the case folders are not those find.json lists";
  for (const std::string& name : listed)
    if (!isCaseComplete(out + "/" + name)) return name + " is not whole";
  return "";
}

// Hidden folders a run writes beside or in a folder before it takes its place.
int leftovers(const std::string& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += e.path().filename().string().front() == '.';
  return n;
}

}  // namespace

// Two writers on one output folder: the second stops at once and names the
// first, for find and prepare alike; two finds started together never both
// report success.
TEST(OutputFolders, OneWriterAtATime) {
  const std::string work = makeTempDir(), out = work + "/out";
  const std::string map = writePlate(work);
  struct Tool {
    const char* binary;
    const char* name;
    const char* lockFile;
    std::vector<std::string> args;
  } tools[] = {
      {VEL_FIND_BINARY, "velmorantique-find", "find.lock", {map, "--resolution", "6", "-o", out, "--contour", "0.2"}},
      {VEL_PREPARE_BINARY, "velmorantique-prepare", "prepare.lock", {example("1hpv_b_8a.pdb"), "-o", out}},
  };
  for (const Tool& t : tools) {
    fs::remove_all(out);
    {
      const vel::output::FolderLock held(out, t.lockFile, t.name, "run");
      const ProgramRun second = runExecutable(t.binary, work, t.args);
      EXPECT_EQ(second.status, 1) << t.name;
      EXPECT_NE(second.err.find(out + " is in use by another " + t.name + " (process " + std::to_string(getpid()) +
                                " on "),
                std::string::npos)
          << second.err;
    }
    EXPECT_EQ(runExecutable(t.binary, work, t.args).status, 0) << t.name;  // the lock ended with its holder
  }
  fs::remove_all(out);
  for (int trial = 0; trial < 4; ++trial) {
    ProgramRun runs[2];
    std::thread other([&] { runs[1] = runExecutable(VEL_FIND_BINARY, work, tools[0].args); });
    runs[0] = runExecutable(VEL_FIND_BINARY, work, tools[0].args);
    other.join();
    EXPECT_NE(runs[0].status + runs[1].status, 0) << runs[0].err << runs[1].err;
    EXPECT_EQ(findRunProblem(out), "");
  }
}

// A replacement killed at any moment leaves the earlier run or the new one
// whole (find: the run and its find.json; prepare: each case folder), and
// the next run clears what it left. The earlier run carries many files, so
// that removing it takes a while; the kills are spread over the time a whole
// replacement takes.
TEST(OutputFolders, AKilledReplacementLeavesTheOldOrTheNewWhole) {
  const std::string work = makeTempDir(), out = work + "/out";
  const std::string map = writePlate(work);
  struct Tool {
    const char* binary;
    std::vector<std::string> args;
    std::vector<std::string> cases;  // empty: those find.json lists
  } tools[] = {
      {VEL_FIND_BINARY, {map, "--resolution", "6", "-o", out, "--force", "--contour", "0.2"}, {}},
      {VEL_PREPARE_BINARY,
       {example("1hpv_b_8a.pdb"), "-o", out, "--force", "--resolution", "8,10"},
       {"1hpv_a_b_8a", "1hpv_a_b_10a"}},
  };
  for (const Tool& t : tools) {
    fs::remove_all(out);
    auto clutter = [&] {
      for (const std::string& c : t.cases.empty() ? std::vector<std::string>{"plate_s1"} : t.cases)
        for (int i = 0; i < kClutter; ++i) writeFile(out + "/" + c + "/n" + std::to_string(i), "");
    };
    ASSERT_EQ(runExecutable(t.binary, work, t.args).status, 0);
    clutter();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runExecutable(t.binary, work, t.args).status, 0);
    const int whole = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
    for (int step = 6; step <= 17; ++step) {
      clutter();
      killAfter(t.binary, work, t.args, whole * step / 16);
      if (t.cases.empty()) {
        EXPECT_EQ(findRunProblem(out), "") << "killed after " << whole * step / 16 << " ms";
      }
      for (const std::string& c : t.cases)
        EXPECT_TRUE(fs::exists(out + "/" + c) && isCaseComplete(out + "/" + c)) << c << " after " << whole * step / 16;
    }
    ASSERT_EQ(runExecutable(t.binary, work, t.args).status, 0);
    EXPECT_EQ(leftovers(work) + leftovers(out), 0) << t.binary;
  }
  fs::remove_all(work);
}

// What find's -o may be: a file, or a folder with anything but an earlier
// run of find in it, is refused before any work (here, before the map is
// even read); --force replaces an earlier run of another map whole.
TEST(OutputFolders, FindTakesOnlyItsOwnFolder) {
  const std::string work = makeTempDir();
  writeFile(work + "/file", "x");
  fs::create_directories(work + "/notes");
  writeFile(work + "/notes/mine.txt", "keep me");
  struct Bad {
    std::string out, says;
  } bad[] = {{"file", "-o file is a file, not a folder"},
             {"notes", "notes holds mine.txt, which is not of an earlier run of velmorantique-find"}};
  for (const Bad& b : bad) {
    const ProgramRun run = runExecutable(VEL_FIND_BINARY, work, {"missing.mrc", "--resolution", "6", "-o", b.out, "--force"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(b.says), std::string::npos) << run.err;
  }
  EXPECT_EQ(readFile(work + "/notes/mine.txt"), "keep me");
  const std::string plate = writePlate(work), other = work + "/other.mrc";
  fs::copy_file(plate, other);
  ASSERT_EQ(runExecutable(VEL_FIND_BINARY, work, {plate, "--resolution", "6", "-o", "out", "--contour", "0.2"}).status, 0);
  ASSERT_EQ(
      runExecutable(VEL_FIND_BINARY, work, {other, "--resolution", "6", "-o", "out", "--contour", "0.2", "--force"}).status,
      0);
  EXPECT_FALSE(fs::exists(work + "/out/plate_s1"));
  EXPECT_FALSE(fs::exists(work + "/out/plate_segments.mrc"));
  EXPECT_EQ(findRunProblem(work + "/out"), "");
  fs::remove_all(work);
}

// A full disk that costs prepare a case is a failure, said and in the exit status.
TEST(OutputFolders, PrepareFailsWhenACaseIsNotWritten) {
  const std::string work = makeTempDir(), out = work + "/out";
  const char* asan = std::getenv("ASAN_OPTIONS");
  const ProgramRun run = runExecutable(
      "/usr/bin/env", work,
      {"LD_PRELOAD=" VEL_FULL_DISK_LIB, "VEL_FULL_DISK_DIR=" + out + "/.1hpv_a_b_10a", "VEL_FULL_DISK_BYTES=100",
       "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0", VEL_PREPARE_BINARY,
       example("1hpv_b_8a.pdb"), "-o", out, "--resolution", "8,10"});
  EXPECT_EQ(run.status, 2) << run.err;
  EXPECT_NE(run.err.find("1 case written to " + out + "; 1 case could not be written"), std::string::npos) << run.err;
  EXPECT_TRUE(isCaseComplete(out + "/1hpv_a_b_8a"));
  EXPECT_FALSE(fs::exists(out + "/1hpv_a_b_10a"));
  fs::remove_all(work);
}
