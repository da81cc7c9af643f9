// Whole runs of the bundled example on a disk that fills up or fails: a
// preloaded shim (support/full_disk_shim.cpp) lets chosen files take only so
// many bytes, or fails their close; then a real, small tmpfs where the
// machine lets the test mount one. Whatever is lost, the run must say so and
// not end with status 0, every file it leaves must be whole (equal to the
// stored outputs), and the summary, when it can be written, must name every
// file that is missing.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "support/program.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

const std::string kName = "1hpv_b_8a";
const std::string kOut = kName + "twist/" + kName;  // every output path as the run names it

struct Loss {
  std::string name;
  std::vector<std::string> disk;  // VEL_FULL_DISK_* settings
  int status;
  std::vector<std::string> lost;  // file suffixes that must be missing and named; empty: decided by the disk
  std::vector<std::string> messages;
  std::function<void(const std::string& outDir)> prepare = nullptr;
};

std::string writeFailure(const std::string& suffix, const std::string& reason, const std::string& where) {
  return "================================ in " + where + "() ====================\nUnable to write " + kOut +
         suffix + ": " + reason + ". The incomplete file was removed.\n";
}

std::vector<Loss> losses() {
  const std::string full = "No space left on device";
  return {
      {"OneStageFileCutShort", {"VEL_FULL_DISK_MATCH=_centroids.pdb", "VEL_FULL_DISK_BYTES=100"}, 2,
       {"_centroids.pdb"},
       {writeFailure("_centroids.pdb", full, "Protein.writePDBFile"),
        "Output lost: 1 file of this run could not be written ( " + full + " ): " + kOut +
            "_centroids.pdb. The report rows are written; the files named are not.\n"}},
      {"StageFileCloseFails", {"VEL_FULL_DISK_MATCH=_normal.pdb", "VEL_FULL_DISK_CLOSE=1"}, 2, {"_normal.pdb"},
       {writeFailure("_normal.pdb", "Input/output error", "Protein.writePDBFile")}},
      {"ReportTableLost", {"VEL_FULL_DISK_MATCH=_rms.txt"}, 1, {"_rms.txt"},
       {writeFailure("_rms.txt", full, "Velmorantique.run"), "The report tables are among them: nothing of this run was kept.\n"}},
      {"SummaryLost", {"VEL_FULL_DISK_MATCH=_summary.json"}, 2, {"_summary.json"},
       {"Unable to write " + kOut + "_summary.json: " + full + ".\n"}},
      {"DiskFillsMidRun", {"VEL_FULL_DISK_MATCH=twist/", "VEL_FULL_DISK_BYTES=200000"}, 1, {},
       {"nothing of this run was kept."}},
      {"DiskFullFromTheStart", {"VEL_FULL_DISK_MATCH=twist/"}, 1, {}, {"Output lost: 80 files "}},
      // A file that cannot be opened is reported as it always was, and the
      // run goes on with status 0; only the summary adds it to its list.
      {"StageFileCannotBeOpened", {}, 0, {"_centroids.pdb"},
       {"\nUnable to open " + kOut + "_centroids.pdb\n"},
       [](const std::string& outDir) { fs::create_directories(outDir + kName + "_centroids.pdb"); }},
  };
}

void PrintTo(const Loss& c, std::ostream* os) { *os << c.name; }

class OutputLoss : public ::testing::TestWithParam<Loss> {};

TEST_P(OutputLoss, IsNamedNeverEndsWithStatusZeroAndLeavesOnlyWholeFiles) {
  const Loss& c = GetParam();
  const TempDir workDir;
  const std::string& work = workDir.path;
  copyFile(examplePath(kName, ".pdb"), work + "/" + kName + ".pdb");
  copyFile(examplePath(kName, ".mrc"), work + "/" + kName + ".mrc");
  const std::string outDir = work + "/" + kName + "twist/";
  if (c.prepare) c.prepare(outDir);

  // Sanitizer runtimes want to come first among the preloaded libraries.
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::vector<std::string> args = {"LD_PRELOAD=" + std::string(VEL_FULL_DISK_SHIM),
                                   "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
  args.insert(args.end(), c.disk.begin(), c.disk.end());
  for (const std::string& a : {std::string(VEL_BINARY), kName, kName, trimEnd(readFile(examplePath(kName, "threshold")))})
    args.push_back(a);
  const ProgramRun run = runExecutable("env", work, args);

  EXPECT_EQ(run.status, c.status) << run.out.substr(run.out.size() > 2000 ? run.out.size() - 2000 : 0);
  for (const std::string& m : c.messages) EXPECT_NE(run.out.find(m), std::string::npos) << m;
  EXPECT_EQ(run.err.find("Sanitizer"), std::string::npos) << run.err;

  // Every file left is whole; the ones missing are the ones lost.
  const std::string golden = sourceDir() + "/tests/golden/" + kName + "/files/";
  std::vector<std::string> missing;
  for (const std::string& f : listFiles(golden)) {
    if (!fs::is_regular_file(outDir + f))
      missing.push_back(f);
    else
      EXPECT_TRUE(readFile(outDir + f) == readFile(golden + f)) << f << " is not whole";
  }
  const std::string summaryPath = outDir + kName + "_summary.json";
  EXPECT_FALSE(fs::exists(summaryPath + ".tmp"));
  if (!c.lost.empty()) {
    std::vector<std::string> expected;
    for (const std::string& suffix : c.lost)
      if (suffix != "_summary.json") expected.push_back(kName + suffix);
    EXPECT_EQ(missing, expected);
    EXPECT_EQ(fs::exists(summaryPath), c.lost != std::vector<std::string>{"_summary.json"});
  } else {
    EXPECT_FALSE(missing.empty());
  }
  if (c.status == 1 && c.lost.empty()) {
    EXPECT_FALSE(fs::exists(summaryPath)) << "the disk was full";
  }
  if (!fs::exists(summaryPath)) return;
  const json s = json::parse(readFile(summaryPath));
  EXPECT_EQ(s["exit_status"], run.status);
  EXPECT_NE(std::find(s["warnings"].begin(), s["warnings"].end(), "unwritten_output"), s["warnings"].end());
  std::vector<std::string> named;
  for (const json& f : s["unwritten_output"]) {
    named.push_back(f["file"]);
    EXPECT_FALSE(f["reason"].get<std::string>().empty());
  }
  std::sort(named.begin(), named.end());
  EXPECT_EQ(named, missing);
}

INSTANTIATE_TEST_SUITE_P(FullDisk, OutputLoss, ::testing::ValuesIn(losses()),
                         [](const ::testing::TestParamInfo<Loss>& info) { return info.param.name; });

// A real file system that fills up: a 1 MB tmpfs mounted (in a mount
// namespace of the test's own) as the output folder, which the example's
// 6.6 MB of files overflow.
TEST(OutputLossOnTmpfs, RunSaysSoAndLeavesOnlyWholeFiles) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  copyFile(examplePath(kName, ".pdb"), work + "/" + kName + ".pdb");
  copyFile(examplePath(kName, ".mrc"), work + "/" + kName + ".mrc");
  const std::string outDir = work + "/" + kName + "twist/", kept = work + "/kept/";
  fs::create_directories(outDir);
  fs::create_directories(kept);
  const std::string script = "mount -t tmpfs -o size=1m none '" + outDir + "' || exit 77; '" + VEL_BINARY + "' " +
                             kName + " " + kName + " " + trimEnd(readFile(examplePath(kName, "threshold"))) +
                             "; status=$?; cp -a '" + outDir + ".' '" + kept + "'; exit $status";
  const ProgramRun run =
      runExecutable("unshare", work, {"--user", "--map-root-user", "--mount", "sh", "-c", script});
  if (run.status == 77 || run.err.find("unshare:") != std::string::npos)
    GTEST_SKIP() << "this machine does not let the test mount a tmpfs: " << run.err;

  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("No space left on device"), std::string::npos);
  const std::string golden = sourceDir() + "/tests/golden/" + kName + "/files/";
  size_t whole = 0;
  for (const std::string& f : listFiles(kept)) {
    if (f == kName + "_summary.json") continue;
    ASSERT_TRUE(fs::exists(golden + f)) << f;
    EXPECT_TRUE(readFile(kept + f) == readFile(golden + f)) << f << " is not whole";
    ++whole;
  }
  EXPECT_LT(whole, listFiles(golden).size());
}

}  // namespace
