// A batch on a full disk: no case is ever recorded ok without its values,
// the reason names the disk, the tables are all written or none, and once
// there is room again a plain rerun ends with the tables of one clean run.
// The disk fills two ways: everywhere, through a preloaded library that
// fails writes under one folder; and, where this process may mount, on a
// real tmpfs that is too small.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>

#include "support/batch_runs.h"

namespace fs = std::filesystem;

namespace {

// The settings that preload the failing writes into the batch and its runs.
std::vector<std::string> fullDiskUnder(const std::string& dir, long bytes) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  // A sanitized build insists on its runtime coming first; the preloaded
  // library only wraps two calls and may come before it.
  return {"LD_PRELOAD=" VEL_FULL_DISK_LIB, "VEL_FULL_DISK_DIR=" + dir, "VEL_FULL_DISK_BYTES=" + std::to_string(bytes),
          "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"};
}

// No row says ok (or no_candidate) without its values.
void expectNoEmptyOk(const std::string& out, const std::string& what) {
  if (!fs::exists(out + "/results.tsv")) return;
  for (const TableRow& row : readTable(out + "/results.tsv"))
    if (row.at("status") == "ok" || row.at("status") == "no_candidate") {
      for (const char* column : {"voxels", "fitting_error", "top_twist_set"})
        EXPECT_NE(row.at(column), "NA") << what << ": " << row.at("case") << " is ok without " << column;
    }
}

// The message says the disk was (or may have been) full, in the batch's
// words or the analysis's.
bool saysDiskFull(const std::string& message) {
  return message.find("full") != std::string::npos || message.find("No space left on device") != std::string::npos;
}

struct Cases {
  std::string work = makeTempDir();
  std::string folders = work + "/cases";
  std::string clean = work + "/clean";
  Cases() {
    for (const char* name : {"a", "b"}) makeCase(folders, name, "0.0483");
    EXPECT_EQ(runBatch({"-o", clean, "--jobs", "2", folders}).status, 0);
  }
};

TEST(BatchFullDisk, NoCaseIsOkWithoutItsFilesAndARerunWithRoomEndsClean) {
  const Cases cases;
  struct Fill {
    const char* what;
    std::string under;  // in OUT
    long bytes;
  };
  const std::vector<Fill> fills{
      {"stage files cut short", "/cases/a/atwist", 300000},
      {"nothing written at all", "/cases/a/atwist", 0},
      {"no room for the record", "/cases/a/record.json", 0},
  };
  for (const Fill& fill : fills) {
    const std::string out = cases.work + "/out-" + std::to_string(&fill - fills.data());
    const BatchRun full = runBatch({"-o", out, "--jobs", "2", cases.folders}, fullDiskUnder(out + fill.under, fill.bytes));
    EXPECT_EQ(full.status, 2) << fill.what << "\n" << full.out << full.err;
    auto rows = byCase(readTable(out + "/results.tsv"));
    EXPECT_EQ(rows["a"]["status"], "failed") << fill.what;
    EXPECT_TRUE(saysDiskFull(rows["a"]["message"])) << fill.what << ": " << rows["a"]["message"];
    EXPECT_NE(full.out.find("  a: failed: "), std::string::npos) << full.out;  // named in the closing summary
    EXPECT_NE(full.err.find("a: failed (") , std::string::npos) << full.err;   // and as it happened, with why
    EXPECT_EQ(rows["b"]["status"], "ok") << fill.what;
    expectNoEmptyOk(out, fill.what);
    EXPECT_EQ(lines(readFile(out + "/bestResult.txt")).size(), 2u) << fill.what;  // b's row alone

    const BatchRun again = runBatch({"-o", out, "--jobs", "2", cases.folders});
    EXPECT_EQ(again.status, 0) << fill.what << "\n" << again.err;
    EXPECT_EQ(comparableTables(out), comparableTables(cases.clean)) << fill.what;
  }

  // No room for the tables: the closing summary is still printed, then why,
  // and no table is replaced unless all are.
  const std::string out = cases.work + "/out-tables";
  ASSERT_EQ(runBatch({"-o", out, cases.folders}).status, 0);
  fs::remove(cases.folders + "/b/threshold");  // b now fails, and the tables would change
  const auto before = snapshot(out);
  const BatchRun full = runBatch({"-o", out, cases.folders}, fullDiskUnder(out + "/results", 0));
  EXPECT_EQ(full.status, 1);
  EXPECT_NE(full.out.find("2 cases: 1 ok, 1 failed"), std::string::npos) << full.out;
  EXPECT_NE(full.err.find("error: cannot write " + out + "/results.tsv: No space left on device (the disk that "
                          "holds it is full)"),
            std::string::npos)
      << full.err;
  for (const char* table : {"/bestResult.txt", "/rms.txt", "/results.tsv"})
    EXPECT_EQ(snapshot(out)[out + table], before.at(out + table)) << table;
  for (const char* table : {"/bestResult.txt", "/rms.txt", "/results.tsv"})
    EXPECT_FALSE(fs::exists(out + table + ".tmp")) << table;
}

// A tmpfs as the batch's output folder, too small for the runs, then given room.
class SmallDisk {
 public:
  explicit SmallDisk(const std::string& dir) : dir_(dir) {
    fs::create_directories(dir);
    mounted_ = mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=3m") == 0;
    if (!mounted_) why_ = std::strerror(errno);
  }
  ~SmallDisk() {
    if (mounted_) umount2(dir_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }
  bool grow() { return mount("tmpfs", dir_.c_str(), "tmpfs", MS_REMOUNT, "size=64m") == 0; }

 private:
  std::string dir_, why_;
  bool mounted_ = false;
};

TEST(BatchFullDisk, OnARealFullDiskNothingIsLostAndResumeEndsClean) {
  const Cases cases;
  const std::string disk = cases.work + "/disk";
  SmallDisk small(disk);
  if (!small.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (" << small.why() << "); root and CAP_SYS_ADMIN needed";
  const std::string out = disk + "/out";
  const BatchRun full = runBatch({"-o", out, "--jobs", "1", cases.folders});
  EXPECT_NE(full.status, 0) << full.out << full.err;
  EXPECT_NE(full.out.find("failed"), std::string::npos) << full.out;
  EXPECT_TRUE(saysDiskFull(full.out + full.err)) << full.out << full.err;
  expectNoEmptyOk(out, "on a full tmpfs");

  ASSERT_TRUE(small.grow());
  const BatchRun again = runBatch({"-o", out, "--jobs", "1", cases.folders});
  EXPECT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_EQ(comparableTables(out), comparableTables(cases.clean));
}

}  // namespace
