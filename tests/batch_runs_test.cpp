// Whole batches of the built programs: cases that are refused, hang or lack
// their map are reported while the others complete; a batch stopped midway,
// even killed outright, and started again ends with the tables of one
// uninterrupted batch; input folders stay as they were; one batch at a time
// writes to an output folder.

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <fstream>
#include <random>

#include "support/batch_runs.h"

namespace fs = std::filesystem;

namespace {

TEST(Batch, ReportsRefusedHangingAndMaplessCasesWhileTheOthersComplete) {
  const std::string work = makeTempDir();
  const std::string cases = work + "/cases";
  makeCase(cases, "a_good", "0.0483");
  makeCase(cases, "b_refused", "1e9");  // no density left: the analysis refuses
  makeCase(cases, "c_nomap", "0.0483", false);
  makeCase(cases, "d_hangs", "0.0483", false);
  // A map that never delivers a byte: the run waits until it is stopped.
  ASSERT_EQ(mkfifo((cases + "/d_hangs/d_hangs.mrc").c_str(), 0644), 0);
  makeCase(cases, "e_good", "0.0483");

  const BatchRun run = runBatch({"-o", work + "/out", "--jobs", "2", "--timeout", "10", cases});
  EXPECT_EQ(run.status, 2) << run.out << run.err;
  const auto table = readTable(work + "/out/results.tsv");
  ASSERT_EQ(table.size(), 5u);
  auto rows = byCase(table);
  EXPECT_EQ(rows["a_good"]["status"], "ok");
  EXPECT_EQ(rows["e_good"]["status"], "ok");
  EXPECT_EQ(rows["a_good"]["best_set"], rows["e_good"]["best_set"]);
  EXPECT_NE(rows["a_good"]["reference_twist"], "NA");
  EXPECT_EQ(rows["b_refused"]["status"], "refused");
  EXPECT_NE(rows["b_refused"]["message"].find("No sheet density is left at threshold 1e+09"), std::string::npos);
  EXPECT_EQ(rows["b_refused"]["best_set"], "NA");
  EXPECT_EQ(rows["c_nomap"]["status"], "refused");
  EXPECT_NE(rows["c_nomap"]["message"].find("c_nomap.mrc"), std::string::npos) << rows["c_nomap"]["message"];
  EXPECT_EQ(rows["d_hangs"]["status"], "timed_out");
  // Every case that was not ok is named in the closing summary.
  for (const char* name : {"b_refused", "c_nomap", "d_hangs"})
    EXPECT_NE(run.out.find(std::string("  ") + name + ": "), std::string::npos) << run.out;
  // The two finished cases have a verdict, in the table and counted at the end;
  // the refused ones have none.
  EXPECT_EQ(rows["a_good"]["confidence"], rows["e_good"]["confidence"]);
  EXPECT_NE(rows["a_good"]["shape_twist"], "NA");
  EXPECT_EQ(rows["b_refused"]["confidence"], "NA");
  const std::string level = rows["a_good"]["confidence"];
  EXPECT_NE(run.out.find("trust in the shape direction:"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("2 " + level), std::string::npos) << run.out;

  // Both report tables hold one header row and the two complete cases' rows.
  EXPECT_EQ(lines(readFile(work + "/out/bestResult.txt")).size(), 3u);
  EXPECT_EQ(lines(readFile(work + "/out/rms.txt")).size(), 3u);
  fs::remove_all(work);
}

TEST(Batch, ResumesAfterBeingStoppedMidwayWithTheTablesOfOneUninterruptedRun) {
  const std::string work = makeTempDir();
  for (const char* side : {"/once", "/stopped"})
    for (const char* name : {"p1", "p2", "p3", "p4"}) makeCase(work + side, name, "0.0483");

  ASSERT_EQ(runBatch({"-o", work + "/out-once", "--jobs", "1", work + "/once"}).status, 0);

  // Stopped (as by Ctrl-C) once the first case has its finished record.
  const pid_t pid = startBatch({"-o", work + "/out-stopped", "--jobs", "1", work + "/stopped"});
  ASSERT_GE(pid, 0);
  EXPECT_TRUE(waitForText(work + "/out-stopped/cases/p1/record.json", "\"finished\": true"));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_FALSE(fs::exists(work + "/out-stopped/cases/p4/record.json")) << "the batch ended before it was stopped";
  const auto firstRecord = fs::last_write_time(work + "/out-stopped/cases/p1/record.json");

  const BatchRun resumed = runBatch({"-o", work + "/out-stopped", "--jobs", "1", work + "/stopped"});
  EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  EXPECT_NE(resumed.err.find("p1: finished before, unchanged"), std::string::npos) << resumed.err;
  EXPECT_EQ(fs::last_write_time(work + "/out-stopped/cases/p1/record.json"), firstRecord);
  EXPECT_EQ(comparableTables(work + "/out-stopped"), comparableTables(work + "/out-once"));

  // --force runs every case again on a cleared output folder.
  writeFile(work + "/out-stopped/cases/p2/p2twist/stale_file.pdb", "left from an older run\n");
  const BatchRun forced = runBatch({"-o", work + "/out-stopped", "--jobs", "2", "--force", work + "/stopped"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(forced.err.find("finished before"), std::string::npos);
  EXPECT_FALSE(fs::exists(work + "/out-stopped/cases/p2/p2twist/stale_file.pdb"));
  EXPECT_EQ(comparableTables(work + "/out-stopped"), comparableTables(work + "/out-once"));
  fs::remove_all(work);
}

TEST(Batch, CompressesStageFilesAndReportsTheBytesSaved) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "z1", "0.0483");
  const BatchRun run = runBatch({"-o", work + "/out", "--compress", work + "/cases/z1"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("bytes saved by compression"), std::string::npos) << run.out;
  size_t plain = 0, packed = 0;
  for (const auto& e : fs::directory_iterator(work + "/out/cases/z1/z1twist")) {
    const std::string f = e.path().filename().string();
    plain += f.size() > 4 && f.compare(f.size() - 4, 4, ".pdb") == 0;
    packed += f.size() > 7 && f.compare(f.size() - 7, 7, ".pdb.gz") == 0;
  }
  EXPECT_EQ(plain, 0u);
  EXPECT_GT(packed, 5u);
  const auto row = readTable(work + "/out/results.tsv").at(0);
  EXPECT_EQ(std::to_string(fs::file_size(work + "/out/cases/z1/z1twist/z1_surfaceModel.pdb.gz") > 0), "1");
  EXPECT_LT(std::stoull(row.at("output_bytes")), 2000000u);  // the plain stage files take about 5 MB
  fs::remove_all(work);
}

TEST(Batch, RefusesUsageErrorsWithStatusOne) {
  EXPECT_EQ(runBatch({}).status, 1);
  EXPECT_EQ(runBatch({"-o", makeTempDir()}).status, 1);                       // no cases
  EXPECT_EQ(runBatch({"-o", makeTempDir(), "/nonexistent/folder"}).status, 1);
  // Parallel runs are a whole number of sane size, said so plainly.
  for (const char* jobs : {"0", "2e9", "1.5", "-1", "99999", ""}) {
    const BatchRun run = runBatch({"-o", makeTempDir(), "--jobs", jobs, "."});
    EXPECT_EQ(run.status, 1) << jobs;
    EXPECT_NE(run.err.find("--jobs needs a whole number from 1 to 1024, not '" + std::string(jobs) + "'"),
              std::string::npos) << run.err;
  }
  const BatchRun help = runBatch({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--timeout S"), std::string::npos);
}

// The folder as a read-only view where the system enforces it (a read-only
// bind mount, for a process that may mount); otherwise its write
// permissions are taken away, which binds every user but root. Either way
// the tests compare snapshots, which show any write.
class ReadOnlyView {
 public:
  ReadOnlyView(const std::string& folder, const std::string& view) : path(view), folder_(folder) {
    fs::create_directories(view);
    mounted_ = mount(folder.c_str(), view.c_str(), nullptr, MS_BIND, nullptr) == 0;
    if (mounted_ && mount(nullptr, view.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      umount2(view.c_str(), MNT_DETACH);
      mounted_ = false;
    }
    if (!mounted_) {
      fs::remove(view);
      fs::create_directory_symlink(folder, view);
      writable(fs::perm_options::remove);
    }
  }
  ~ReadOnlyView() {
    if (mounted_)
      umount2(path.c_str(), MNT_DETACH);
    else
      writable(fs::perm_options::add);
  }
  const std::string path;

 private:
  void writable(fs::perm_options how) {
    for (const auto& e : fs::recursive_directory_iterator(folder_))
      fs::permissions(e.path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write, how);
  }
  const std::string folder_;
  bool mounted_ = false;
};

TEST(Batch, LeavesInputFoldersUntouchedAndGivesTheFilesOfARunByHand) {
  const std::string work = makeTempDir();
  // A prepared case's meta.json gives its resolution, which the analysis
  // reads beside the map it is given, in the batch's run folder too.
  const std::string meta = sourceDir() + "/examples/" + kBatchExample + "/meta.json";
  makeCase(work + "/inputs", "a", "0.0483");
  copyFile(meta, work + "/inputs/a/meta.json");
  makeCase(work + "/inputs", "b", "1e9");  // refused, after writing its summary
  const ReadOnlyView cases(work + "/inputs", work + "/cases");
  const auto inputs = snapshot(work + "/inputs");

  const BatchRun first = runBatch({"-o", work + "/out1", "--jobs", "2", cases.path});
  EXPECT_EQ(first.status, 2) << first.err;
  EXPECT_EQ(snapshot(work + "/inputs"), inputs);
  const auto rows = byCase(readTable(work + "/out1/results.tsv"));
  EXPECT_EQ(rows.at("a").at("status"), "ok");
  EXPECT_EQ(rows.at("b").at("status"), "refused");
  EXPECT_EQ(rows.at("a").at("case_dir"), cases.path + "/a");

  // A second batch over the same cases, with other options and into another
  // folder, leaves the first batch's folder as it was.
  const auto firstOut = snapshot(work + "/out1");
  EXPECT_EQ(runBatch({"-o", work + "/out2", "--force", "--compress", cases.path}).status, 2);
  EXPECT_EQ(snapshot(work + "/out1"), firstOut);
  EXPECT_EQ(snapshot(work + "/inputs"), inputs);

  // The run's files are those of the analysis run by hand in a writable copy, byte for byte.
  const std::string byHand = work + "/by-hand/a";
  makeCase(work + "/by-hand", "a", "0.0483");
  copyFile(meta, byHand + "/meta.json");
  ASSERT_EQ(runProgram(byHand, {"a", "a", "0.0483"}).status, 0);
  const std::vector<std::string> files = listFiles(byHand + "/atwist");
  EXPECT_EQ(listFiles(work + "/out1/cases/a/atwist"), files);
  for (const std::string& f : files)
    EXPECT_EQ(readFile(work + "/out1/cases/a/atwist/" + f), readFile(byHand + "/atwist/" + f)) << f;
}

TEST(Batch, ACaseWithoutReferenceStrandsIsOkWithTheWarningNoReference) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "n", "0.0483");
  std::string pdb;
  for (const std::string& line : lines(readFile(work + "/cases/n/n.pdb")))
    if (line.compare(0, 5, "SHEET") != 0) pdb += line + "\n";
  writeFile(work + "/cases/n/n.pdb", pdb);
  const BatchRun run = runBatch({"-o", work + "/out", work + "/cases"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const TableRow row = readTable(work + "/out/results.tsv").at(0);
  EXPECT_EQ(row.at("status"), "ok");
  EXPECT_EQ(row.at("warnings"), "no_reference");
  for (const char* found : {"top_twist_main_twist", "top_twist_direction_x", "shape_direction_x"})
    EXPECT_NE(row.at(found), "NA") << found;
  for (const char* error : {"top_twist_direction_error", "best_set_two_way", "reference_twist"})
    EXPECT_EQ(row.at(error), "NA") << error;
  // The report leads with the shape direction, shows the top-twist set as
  // the analysis's candidate, and has no column of errors it cannot have.
  const std::string page = readFile(work + "/out/report.html");
  EXPECT_EQ(page.find("no reference</td>"), std::string::npos);
  EXPECT_NE(page.find("<b>Shape direction</b> ("), std::string::npos);
  EXPECT_NE(page.find("The analysis's candidate: its top-twist set " + row.at("top_twist_set")), std::string::npos);
}

TEST(Batch, OneBatchAtATimeWritesToAnOutputFolder) {
  const std::string work = makeTempDir();
  for (const char* name : {"p1", "p2", "p3"}) makeCase(work + "/cases", name, "0.0483");
  ASSERT_EQ(runBatch({"-o", work + "/clean", "--jobs", "2", work + "/cases"}).status, 0);

  // The first batch waits in p2 on a map that delivers nothing until this
  // test opens it for writing.
  const std::string map = work + "/cases/p2/p2.mrc";
  fs::rename(map, map + ".real");
  ASSERT_EQ(mkfifo(map.c_str(), 0644), 0);
  const pid_t first = startBatch({"-o", work + "/out", "--jobs", "1", work + "/cases"});
  ASSERT_TRUE(waitForText(work + "/out/cases/p2/record.json", "running"));
  const BatchRun second = runBatch({"-o", work + "/out", "--jobs", "1", work + "/cases"});
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.err.find("is in use by another velmorantique-batch (process " + std::to_string(first) + " on "),
            std::string::npos)
      << second.err;
  { std::ofstream release(map); }  // an empty map: p2 is refused and the first batch ends
  int status = 0;
  waitpid(first, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2);

  // The lock ended with its holder; with its map back, p2 runs again.
  fs::remove(map);
  fs::rename(map + ".real", map);
  EXPECT_EQ(runBatch({"-o", work + "/out", work + "/cases"}).status, 0);
  EXPECT_EQ(comparableTables(work + "/out"), comparableTables(work + "/clean"));
}

TEST(Batch, KilledOutrightAtRandomMomentsAndResumedEndsWithTheTablesOfOneCleanRun) {
  const std::string work = makeTempDir();
  for (const char* name : {"p1", "p2", "p3", "p4"}) makeCase(work + "/cases", name, "0.0483");
  ASSERT_EQ(runBatch({"-o", work + "/clean", "--jobs", "2", work + "/cases"}).status, 0);
  const std::string clean = comparableTables(work + "/clean");

  // Each time a batch that reruns every case (--force) is killed with
  // SIGKILL: before, while or after its runs, its records or its tables.
  std::random_device seed;
  std::mt19937 random(seed());
  std::uniform_int_distribution<int> moment(0, 2500);
  for (int kill9 = 0; kill9 < 5; ++kill9) {
    const int ms = moment(random);
    const pid_t pid = startBatch({"-o", work + "/out", "--jobs", "2", "--force", work + "/cases"});
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    for (const TableRow& row : fs::exists(work + "/out/results.tsv") ? readTable(work + "/out/results.tsv")
                                                                      : std::vector<TableRow>())
      if (row.at("status") == "ok") {
        EXPECT_NE(row.at("voxels"), "NA") << "killed after " << ms << " ms";
      }
    const BatchRun resumed = runBatch({"-o", work + "/out", "--jobs", "2", work + "/cases"});
    EXPECT_EQ(resumed.status, 0) << "killed after " << ms << " ms\n" << resumed.err;
    EXPECT_EQ(comparableTables(work + "/out"), clean) << "killed after " << ms << " ms";
  }
}

}  // namespace
