// Command line and run set-up: the usage line, the derived paths, the banner,
// the report files' header rows and the order of the set-up lines.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "driver/setup.h"
#include "support/program.h"
#include "velmorantique/report_tables.h"

using namespace vel;

namespace fs = std::filesystem;

TEST(GetFileName, TakesWhatFollowsTheLastSlash) {
  std::ostringstream err;
  EXPECT_EQ(getFileName("/data/1abc", err), "1abc");
  EXPECT_EQ(getFileName("1abc", err), "1abc");
  EXPECT_EQ(getFileName("maps/1abc/", err), "");
  EXPECT_EQ(getFileName("data/1abc.pdb", err), "1abc.pdb");
  EXPECT_EQ(err.str(), "Separator is /\nSeparator is /\nSeparator is /\nSeparator is /\n");
}

TEST(Usage, WrongArgumentCountPrintsTheUsageLineOnlyAndCreatesNothing) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, std::vector<std::string>{"a", "b"}, std::vector<std::string>{"a", "b", "1", "x"}}) {
    ProgramRun run = runProgram(work, args);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, std::string("usage: ") + VEL_BINARY + " pdb  mrc  threshold \n");
    EXPECT_EQ(run.err, "");
  }
  EXPECT_TRUE(fs::is_empty(work));
}

TEST(ReportTables, HeaderRowsHaveTheirFixedWidths) {
  std::ostringstream best, rms;
  writeHeaderRow(best, kBestResultColumns);
  writeHeaderRow(rms, kRmsColumns);
  EXPECT_EQ(best.str().size(), 181u);  // 180 characters and the line end
  EXPECT_EQ(rms.str().size(), 167u);
  EXPECT_EQ(best.str().substr(0, 30), "          pdbID    fitting Err");
  EXPECT_EQ(rms.str().substr(145), "            set_index\n");
}

// A run whose PDB file is missing still sets up completely: the banner, the
// output directory next to the map base, both report files with their header
// rows; then it stops with the reader's message.
TEST(SetUp, DerivesPathsCreatesTheDirectoryAndWritesHeadersBeforeTheAnalysis) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  fs::create_directories(work + "/maps");
  ProgramRun run = runProgram(work, {"data/1abc", "maps/x", "0.5"});

  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "pdbFile is data/1abc\nSeparator is /\npdb filename is 1abc\nSeparator is /\nSeparator is /\n");
  const std::string banner = std::string(60, '*') + "\n*" + std::string(22, ' ') + "Velmorantique" +
                             std::string(23, ' ') + "*\n" + std::string(60, '*') + "\n";
  EXPECT_EQ(run.out.substr(0, banner.size()), banner);
  EXPECT_NE(run.out.find("Now working on protein 1abc\n\n\nWorking on maps/x\n"), std::string::npos);
  EXPECT_NE(run.out.find("Unable to open data/1abc.pdb"), std::string::npos);

  std::ostringstream best, rms;
  writeHeaderRow(best, kBestResultColumns);
  writeHeaderRow(rms, kRmsColumns);
  EXPECT_EQ(readFile(work + "/maps/xtwist/1abc_bestResult.txt"), best.str());
  EXPECT_EQ(readFile(work + "/maps/xtwist/1abc_rms.txt"), rms.str());
}

TEST(SetUp, MapBaseEndingInASlashGivesATwistSubdirectory) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  fs::create_directories(work + "/maps/1abc");
  runProgram(work, {"1abc", "maps/1abc/", "0.5"});
  EXPECT_TRUE(fs::exists(work + "/maps/1abc/twist/1abc_rms.txt"));
}
