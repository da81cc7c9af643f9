// The bundled examples, end to end, against their stored outputs: standard
// output, standard error, exit status and every file the run writes, byte for
// byte. scripts/regenerate_golden.sh rewrites the stored outputs on purpose.

#include <gtest/gtest.h>

#include "support/program.h"

namespace {

class GoldenRun : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenRun, ReproducesEveryStoredOutputByteForByte) {
  const std::string name = GetParam();
  const std::string golden = sourceDir() + "/tests/golden/" + name + "/";
  const TempDir workDir;
  const std::string& work = workDir.path;
  copyFile(examplePath(name, ".pdb"), work + "/" + name + ".pdb");
  copyFile(examplePath(name, ".mrc"), work + "/" + name + ".mrc");

  ProgramRun run = runProgram(work, {name, name, trimEnd(readFile(examplePath(name, "threshold")))});

  EXPECT_EQ(std::to_string(run.status), trimEnd(readFile(golden + "status.txt")));
  EXPECT_EQ(run.out, readFile(golden + "stdout.txt"));
  EXPECT_EQ(run.err, readFile(golden + "stderr.txt"));
  const std::string outDir = work + "/" + name + "twist";
  const std::vector<std::string> files = listFiles(outDir);
  ASSERT_EQ(files, listFiles(golden + "files"));
  for (const std::string& f : files)
    EXPECT_TRUE(readFile(outDir + "/" + f) == readFile(golden + "files/" + f)) << f << " differs";
}

INSTANTIATE_TEST_SUITE_P(BundledExamples, GoldenRun, ::testing::Values("1hpv_b_8a", "synth_4x7_t18_8a"));

}  // namespace
