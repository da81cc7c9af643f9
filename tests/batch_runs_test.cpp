// Whole batches of the built programs: cases that are refused, hang or lack
// their map are reported while the others complete; a batch stopped midway
// and started again ends with the tables of one uninterrupted batch.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "support/program.h"
#include "velmorantique/batch.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = "synth_4x7_t18_8a";

// A case folder NAME holding the bundled example under the case's name.
void makeCase(const std::string& parent, const std::string& name, const std::string& threshold, bool withMap = true) {
  const std::string dir = parent + "/" + name;
  fs::create_directories(dir);
  const std::string example = sourceDir() + "/examples/" + kExample + "/" + kExample;
  copyFile(example + ".pdb", dir + "/" + name + ".pdb");
  if (withMap) copyFile(example + ".mrc", dir + "/" + name + ".mrc");
  writeFile(dir + "/threshold", threshold + "\n");
}

struct BatchRun {
  int status = -1;
  std::string out, err;
};

BatchRun runBatch(const std::vector<std::string>& args) {
  const std::string work = makeTempDir();
  std::string cmd = VEL_BATCH_BINARY;
  for (const std::string& a : args) cmd += " '" + a + "'";
  cmd += " </dev/null >" + work + "/out 2>" + work + "/err";
  const int raw = std::system(cmd.c_str());
  BatchRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readFile(work + "/out");
  r.err = readFile(work + "/err");
  fs::remove_all(work);
  return r;
}

// results.tsv as rows of named cells.
std::vector<std::map<std::string, std::string>> readTable(const std::string& path) {
  std::vector<std::string> rows = lines(readFile(path));
  std::vector<std::map<std::string, std::string>> table;
  if (rows.empty()) return table;
  auto cells = [](const std::string& row) {
    std::vector<std::string> c;
    std::istringstream in(row);
    for (std::string s; std::getline(in, s, '\t');) c.push_back(s);
    if (!row.empty() && row.back() == '\t') c.push_back("");
    return c;
  };
  const std::vector<std::string> header = cells(rows[0]);
  for (size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string> c = cells(rows[i]);
    EXPECT_EQ(c.size(), header.size()) << rows[i];
    std::map<std::string, std::string> row;
    for (size_t k = 0; k < header.size() && k < c.size(); ++k) row[header[k]] = c[k];
    table.push_back(row);
  }
  return table;
}

// The tables without what differs from run to run (times) or with where the
// cases lie.
std::string comparable(const std::string& out) {
  std::string text;
  for (auto row : readTable(out + "/results.tsv")) {
    row.erase("seconds");
    for (const auto& [k, v] : row) text += k + "=" + v + "\t";
    text += "\n";
  }
  return text + readFile(out + "/bestResult.txt") + readFile(out + "/rms.txt");
}

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
  std::map<std::string, std::map<std::string, std::string>> byCase;
  for (const auto& row : table) byCase[row.at("case")] = row;
  EXPECT_EQ(byCase["a_good"]["status"], "ok");
  EXPECT_EQ(byCase["e_good"]["status"], "ok");
  EXPECT_EQ(byCase["a_good"]["best_set"], byCase["e_good"]["best_set"]);
  EXPECT_NE(byCase["a_good"]["reference_twist"], "NA");
  EXPECT_EQ(byCase["b_refused"]["status"], "refused");
  EXPECT_NE(byCase["b_refused"]["message"].find("No sheet density is left at threshold 1e+09"), std::string::npos);
  EXPECT_EQ(byCase["b_refused"]["best_set"], "NA");
  EXPECT_EQ(byCase["c_nomap"]["status"], "refused");
  EXPECT_NE(byCase["c_nomap"]["message"].find("c_nomap.mrc"), std::string::npos) << byCase["c_nomap"]["message"];
  EXPECT_EQ(byCase["d_hangs"]["status"], "timed_out");
  // Every case that was not ok is named in the closing summary.
  for (const char* name : {"b_refused", "c_nomap", "d_hangs"})
    EXPECT_NE(run.out.find(std::string("  ") + name + ": "), std::string::npos) << run.out;

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

  // Stopped (as by Ctrl-C) once the first case has its record.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execl(VEL_BATCH_BINARY, VEL_BATCH_BINARY, "-o", (work + "/out-stopped").c_str(), "--jobs", "1",
          (work + "/stopped").c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(work + "/out-stopped/cases/p1/record.json") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_FALSE(fs::exists(work + "/out-stopped/cases/p4/record.json")) << "the batch ended before it was stopped";
  const auto firstRecord = fs::last_write_time(work + "/out-stopped/cases/p1/record.json");

  const BatchRun resumed = runBatch({"-o", work + "/out-stopped", "--jobs", "1", work + "/stopped"});
  EXPECT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  EXPECT_NE(resumed.err.find("p1: finished before, unchanged"), std::string::npos) << resumed.err;
  EXPECT_EQ(fs::last_write_time(work + "/out-stopped/cases/p1/record.json"), firstRecord);
  EXPECT_EQ(comparable(work + "/out-stopped"), comparable(work + "/out-once"));

  // --force runs every case again on a cleared output folder.
  writeFile(work + "/stopped/p2/p2twist/stale_file.pdb", "left from an older run\n");
  const BatchRun forced = runBatch({"-o", work + "/out-stopped", "--jobs", "2", "--force", work + "/stopped"});
  EXPECT_EQ(forced.status, 0);
  EXPECT_EQ(forced.err.find("finished before"), std::string::npos);
  EXPECT_FALSE(fs::exists(work + "/stopped/p2/p2twist/stale_file.pdb"));
  EXPECT_EQ(comparable(work + "/out-stopped"), comparable(work + "/out-once"));
  fs::remove_all(work);
}

TEST(Batch, CompressesStageFilesAndReportsTheBytesSaved) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "z1", "0.0483");
  const BatchRun run = runBatch({"-o", work + "/out", "--compress", work + "/cases/z1"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("bytes saved by compression"), std::string::npos) << run.out;
  size_t plain = 0, packed = 0;
  for (const auto& e : fs::directory_iterator(work + "/cases/z1/z1twist")) {
    const std::string f = e.path().filename().string();
    plain += f.size() > 4 && f.compare(f.size() - 4, 4, ".pdb") == 0;
    packed += f.size() > 7 && f.compare(f.size() - 7, 7, ".pdb.gz") == 0;
  }
  EXPECT_EQ(plain, 0u);
  EXPECT_GT(packed, 5u);
  const auto row = readTable(work + "/out/results.tsv").at(0);
  EXPECT_EQ(std::to_string(fs::file_size(work + "/cases/z1/z1twist/z1_surfaceModel.pdb.gz") > 0), "1");
  EXPECT_LT(std::stoull(row.at("output_bytes")), 2000000u);  // the plain stage files take about 5 MB
  fs::remove_all(work);
}

TEST(Batch, RefusesUsageErrorsWithStatusOne) {
  EXPECT_EQ(runBatch({}).status, 1);
  EXPECT_EQ(runBatch({"-o", makeTempDir()}).status, 1);                       // no cases
  EXPECT_EQ(runBatch({"-o", makeTempDir(), "/nonexistent/folder"}).status, 1);
  EXPECT_EQ(runBatch({"-o", makeTempDir(), "--jobs", "0", "."}).status, 1);
  const BatchRun help = runBatch({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--timeout S"), std::string::npos);
}

}  // namespace
