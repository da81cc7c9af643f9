// Bounded input to the batch: a case's hostile meta.json or record costs
// that case a message, never the batch; a manifest that is a device, a FIFO
// or no list at all is refused at once.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/batch_runs.h"

namespace fs = std::filesystem;

namespace {

std::string deepArrays() { return std::string(100000, '[') + std::string(100000, ']'); }

TEST(BatchBounds, AHostileMetaJsonCostsItsRowAMessageNotTheBatch) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "x", "0.0483");
  const std::string meta = work + "/cases/x/meta.json";
  struct Case {
    const char* what;
    std::function<void()> make;
    const char* message;
  };
  const std::vector<Case> cases{
      {"nested 100,000 deep", [&] { writeFile(meta, deepArrays()); }, "nested more than 64 levels deep"},
      {"past the size bound",
       [&] {
         writeFile(meta, "{}");
         ASSERT_EQ(::truncate(meta.c_str(), 17 << 20), 0);  // sparse: no disk used
       },
       "bytes, more than the"},
  };
  for (const Case& c : cases) {
    c.make();
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"-o", work + "/out", "--force", work + "/cases"},
          std::vector<std::string>{"--collect", "-o", work + "/out"}}) {
      const BatchRun run = runBatch(args);
      ASSERT_EQ(run.status, 0) << c.what << " " << args[0] << "\n" << run.err;
      const TableRow row = readTable(work + "/out/results.tsv").at(0);
      EXPECT_EQ(row.at("status"), "ok") << c.what;
      EXPECT_NE(row.at("message").find(c.message), std::string::npos) << c.what << ": " << row.at("message");
      EXPECT_EQ(row.at("resolution"), "NA") << c.what;
    }
  }
}

TEST(BatchBounds, ADeepRecordIsNoRecordAndTheCaseRunsAgain) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "x", "0.0483");
  ASSERT_EQ(runBatch({"-o", work + "/out", work + "/cases"}).status, 0);
  writeFile(work + "/out/cases/x/record.json", deepArrays());
  const BatchRun collect = runBatch({"--collect", "-o", work + "/out"});
  EXPECT_NE(collect.status, 0) << collect.err;  // the case has no record: it has not finished
  const BatchRun rerun = runBatch({"-o", work + "/out", work + "/cases"});
  ASSERT_EQ(rerun.status, 0) << rerun.err;
  EXPECT_EQ(readTable(work + "/out/results.tsv").at(0).at("status"), "ok");
}

TEST(BatchBounds, AManifestThatIsNoListIsRefusedAtOnce) {
  const std::string work = makeTempDir();
  const std::string fifo = work + "/fifo.tsv", longLine = work + "/long.tsv", large = work + "/large.tsv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  writeFile(longLine, "a\tb\t0.1\t" + std::string(20000, 'n') + "\n");
  writeFile(large, "a\tb\t0.1\n");
  ASSERT_EQ(::truncate(large.c_str(), 65 << 20), 0);  // sparse
  const std::vector<std::pair<std::string, std::string>> manifests{
      {"/dev/zero", "/dev/zero is not a regular file"},
      {fifo, "is not a regular file"},
      {longLine, "long.tsv:1: a line of 20008 bytes"},
      {large, "bytes, more than the"},
  };
  // Bounded in memory and time, so that a batch that reads on for ever fails
  // the test rather than the machine (the sanitizer's reserved address space
  // leaves no room for a memory bound).
#if defined(__SANITIZE_ADDRESS__)
  const std::string bound = "exec timeout 60 ";
#else
  const std::string bound = "ulimit -v 1000000 && exec timeout 60 ";
#endif
  for (const auto& [manifest, message] : manifests) {
    const ProgramRun run = runExecutable(
        "/bin/sh", work, {"-c", bound + shellWord(VEL_BATCH_BINARY) + " -o out --manifest " + shellWord(manifest)}, 90);
    EXPECT_EQ(run.status, 1) << manifest << "\n" << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << manifest << "\n" << run.err;
  }
}

// Two runs at once must not each claim the memory one run may use: with 16
// MB for the batch, the example's sheet (up to 10 MB) runs alone but not as
// one of two jobs given 8 MB each.
TEST(BatchBounds, ParallelJobsShareTheMemoryOneRunMayUse) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "a", "0.0483");
  makeCase(work + "/cases", "b", "0.0483");
  for (const char* jobs : {"1", "2"}) {
    runBatch({"-o", work + "/out", "--force", "--jobs", jobs, work + "/cases"}, {"VELMORANTIQUE_MEMORY_MB=16"});
    for (const TableRow& row : readTable(work + "/out/results.tsv")) {
      const bool shared = std::string(jobs) == "2";
      EXPECT_EQ(row.at("status") == "ok", !shared) << jobs << " jobs: " << row.at("message");
      if (shared) {
        EXPECT_NE(row.at("message").find("more than the memory this run may use ( 8 MB )"), std::string::npos)
            << row.at("message");
      }
    }
  }
}

}  // namespace
