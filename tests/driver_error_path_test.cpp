// The one error path: library routines that must stop throw the parts of
// their framed message and print nothing; the driver prints every line of a
// run, the library's included, on the streams it was given, in order.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "driver/analysis.h"
#include "support/program.h"
#include "velmorantique/fatal.h"
#include "velmorantique/map.h"
#include "velmorantique/protein.h"

using namespace vel;

namespace fs = std::filesystem;

namespace {

struct InProcessRun {
  int status = -1;
  std::string out, err;
  std::string stdoutLeak;  // whatever reached the process's standard output instead
};

// runVelmorantique in workDir, with string streams for its output.
InProcessRun runInProcess(const std::string& workDir, std::vector<std::string> args) {
  args.insert(args.begin(), "velmorantique");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  const fs::path before = fs::current_path();
  fs::current_path(workDir);
  InProcessRun r;
  std::ostringstream out, err;
  testing::internal::CaptureStdout();
  r.status = runVelmorantique(static_cast<int>(argv.size()), argv.data(), out, err);
  r.stdoutLeak = testing::internal::GetCapturedStdout();
  fs::current_path(before);
  r.out = out.str();
  r.err = err.str();
  return r;
}

// A call that must stop: what it printed, and the frame it threw.
template <class F>
std::pair<std::string, Frame> refusalOf(F f) {
  Frame frame;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  try {
    f();
    ADD_FAILURE() << "the call did not stop";
  } catch (const FatalError& e) {
    EXPECT_EQ(e.status, 1);
    frame = e.frame;
  }
  std::string printed = testing::internal::GetCapturedStdout();
  printed += testing::internal::GetCapturedStderr();
  return {printed, frame};
}

}  // namespace

TEST(ErrorPath, ReadersThrowTheFrameAndPrintNothing) {
  Map map;
  auto [mapPrinted, mapFrame] = refusalOf([&] { map.read("/nonexistent/absent.mrc"); });
  EXPECT_EQ(mapPrinted, "");
  EXPECT_EQ(frameText(mapFrame),
            "============================== in MRC::read (string) ==========================\n"
            "Can't open given Map file ( /nonexistent/absent.mrc ). \n" +
                std::string(79, '=') + "\n");

  Protein protein;
  auto [pdbPrinted, pdbFrame] = refusalOf([&] { protein.read("/nonexistent/absent.pdb", ""); });
  EXPECT_EQ(pdbPrinted, "");
  EXPECT_EQ(pdbFrame.where, "Protein.read");
  EXPECT_EQ(pdbFrame.message, "Unable to open /nonexistent/absent.pdb");
  EXPECT_FALSE(pdbFrame.wait);
  EXPECT_EQ(frameText(pdbFrame), "\n================================ in Protein.read() ====================\n"
                                 "Unable to open /nonexistent/absent.pdb\n" +
                                     std::string(79, '=') + "\n");

  auto [radiusPrinted, radiusFrame] = refusalOf([] { getRadius('X', 'C'); });
  EXPECT_EQ(radiusPrinted, "");
  EXPECT_EQ(frameText(radiusFrame), "============================= in getRadius(char, char) ===============\n"
                                    "The atomtype or method class sent are incorrect\n" +
                                        std::string(70, '=') + "\n");
}

TEST(ErrorPath, SolverFrameGoesToTheErrorStreamAndOthersToTheOutput) {
  std::ostringstream out, err;
  printFrame(Frame{FrameStyle::Solver, "NR", "gaussj: Singular Matrix"}, out, err);
  EXPECT_EQ(out.str(), "");
  EXPECT_EQ(err.str(), "Numerical Recipes run-time error...\ngaussj: Singular Matrix\n...now exiting to system...\n");
  printFrame(Frame{FrameStyle::Banner, "sheet extraction", "No sheet density"}, out, err);
  EXPECT_EQ(out.str(), "============================== in sheet extraction ==========================\n"
                       "No sheet density\n" +
                           std::string(79, '=') + "\n");
}

// Every line of a whole run, the readers' and the protein model's included,
// reaches the streams the driver was given, byte for byte as the program
// prints them; nothing goes to the process's own standard output.
TEST(ErrorPath, WholeRunPrintsOnTheDriversStreamsOnly) {
  const std::string name = "1hpv_b_8a";
  const std::string example = sourceDir() + "/examples/" + name + "/";
  const std::string golden = sourceDir() + "/tests/golden/" + name + "/";
  const std::string work = makeTempDir();
  copyFile(example + name + ".pdb", work + "/" + name + ".pdb");
  copyFile(example + name + ".mrc", work + "/" + name + ".mrc");
  std::string threshold = readFile(example + "threshold");
  while (!threshold.empty() && (threshold.back() == '\n' || threshold.back() == ' ')) threshold.pop_back();

  InProcessRun run = runInProcess(work, {name, name, threshold});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, readFile(golden + "stdout.txt"));
  EXPECT_EQ(run.err, readFile(golden + "stderr.txt"));
  EXPECT_EQ(run.stdoutLeak, "");

  // A refused map: its frame follows the run's own lines, and the report
  // files keep their header rows.
  fs::remove(work + "/" + name + ".mrc");
  InProcessRun refused = runInProcess(work, {name, name, threshold});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.stdoutLeak, "");
  const std::string tail = "Working on " + name + "\n" +
                           "============================== in MRC::read (string) ==========================\n"
                           "Can't open given Map file ( " +
                           name + ".mrc ). \n" + std::string(79, '=') + "\n";
  ASSERT_GE(refused.out.size(), tail.size());
  EXPECT_EQ(refused.out.substr(refused.out.size() - tail.size()), tail);
  EXPECT_EQ(lines(readFile(work + "/" + name + "twist/" + name + "_bestResult.txt")).size(), 1u);
  EXPECT_EQ(lines(readFile(work + "/" + name + "twist/" + name + "_rms.txt")).size(), 1u);

  // Once the run is over, the library's lines go to standard output again.
  testing::internal::CaptureStdout();
  errMsg("Protein", "test", "after the run");
  EXPECT_NE(testing::internal::GetCapturedStdout().find("after the run"), std::string::npos);
  fs::remove_all(work);
}
