// Whole runs on maps whose outcome can be derived independently of the
// program: no density left, a flat sheet without twist, a sheet lying exactly
// on a cubic surface, and the synthetic sheet of known twist.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/mrc_file.h"
#include "support/program.h"

namespace {

const std::string kCase = "1hpv_b_8a";

// Puts the bundled reference structure and the given map into work.
void putStructureAndMap(const std::string& work, const MrcMapFile& map) {
  copyFile(examplePath(kCase, ".pdb"), work + "/" + kCase + ".pdb");
  writeMrcFile(work + "/" + kCase + ".mrc", map);
}

// A one-voxel-thick sheet on 1 Å voxels: density 1 at slice height(x, y).
MrcMapFile sheetMap(int n, int nz, const std::function<int(int, int)>& height) {
  MrcMapFile map;
  map.nx = map.ny = n;
  map.nz = nz;
  map.mx = map.my = n;
  map.mz = nz;
  map.xlen = map.ylen = static_cast<float>(n);
  map.zlen = static_cast<float>(nz);
  map.data.assign(static_cast<size_t>(n) * n * nz, 0.0f);
  for (int x = 0; x < n; ++x) {
    for (int y = 0; y < n; ++y) {
      const int z = height(x, y);
      EXPECT_TRUE(z >= 0 && z < nz);
      if (z >= 0 && z < nz) map.data[(static_cast<size_t>(z) * n + y) * n + x] = 1.0f;
    }
  }
  return map;
}

double numberAfter(const std::string& text, const std::string& label) {
  size_t at = text.find(label);
  EXPECT_NE(at, std::string::npos) << label;
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + label.size());
}

}  // namespace

TEST(WholeRun, NoDensityAboveTheThresholdStopsWithAFramedMessage) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  for (const char* ext : {".pdb", ".mrc"})
    copyFile(examplePath(kCase, ext), work + "/" + kCase + ext);
  ProgramRun run = runProgram(work, {kCase, kCase, "1e9"});

  EXPECT_EQ(run.status, 1);
  const std::string frame =
      "num of points = 0\n"
      "============================== in sheet extraction ==========================\n"
      "No sheet density is left at threshold 1e+09: at least two distinct sheet points are needed "
      "( num of points = 0 ).\n" +
      std::string(79, '=') + "\n";
  ASSERT_GE(run.out.size(), frame.size());
  EXPECT_EQ(run.out.substr(run.out.size() - frame.size()), frame);

  const std::string outDir = work + "/" + kCase + "twist/";
  const std::string golden = sourceDir() + "/tests/golden/" + kCase + "/files/";
  EXPECT_EQ(lines(readFile(outDir + kCase + "_bestResult.txt")).size(), 1u);
  EXPECT_EQ(lines(readFile(outDir + kCase + "_rms.txt")).size(), 1u);
  EXPECT_EQ(readFile(outDir + kCase + "_strandPoints.pdb"), readFile(golden + kCase + "_strandPoints.pdb"));
  EXPECT_EQ(listFiles(outDir).size(), 4u);  // and the run summary
}

// A flat one-voxel sheet: its centroids all lie next to empty voxels, so no
// centre plane is found and the sheet is not turned; the fitted surface is a
// plane, every neighbour pair of lines is parallel, and no candidate passes.
TEST(WholeRun, FlatSheetWritesTheSurfaceAndPlaceholderRows) {
  const TempDir workDir;
  const std::string& work = workDir.path;
  putStructureAndMap(work, sheetMap(24, 9, [](int, int) { return 4; }));
  ProgramRun run = runProgram(work, {kCase, kCase, "0.5"});

  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("num of points = 576\n"), std::string::npos);
  EXPECT_EQ(run.out.find("Top "), std::string::npos);
  EXPECT_NE(run.out.find("\nNo candidate passed the twist filter.\n"), std::string::npos);

  const std::string outDir = work + "/" + kCase + "twist/";
  EXPECT_EQ(lines(readFile(outDir + kCase + "_surfaceModel.pdb")).size(), 576u);
  const std::vector<std::string> best = lines(readFile(outDir + kCase + "_bestResult.txt"));
  const std::vector<std::string> rms = lines(readFile(outDir + kCase + "_rms.txt"));
  ASSERT_EQ(best.size(), 2u);
  ASSERT_EQ(rms.size(), 2u);
  EXPECT_EQ(best[1].size(), 180u);
  EXPECT_EQ(rms[1].size(), 166u);
  // Known columns hold their values: protein, fitting error and reference
  // strands; total reference residues in the RMS row; dashes elsewhere.
  EXPECT_EQ(best[1].substr(0, 15), "      1hpv_b_8a");
  EXPECT_EQ(best[1].substr(30, 50), std::string(19, ' ') + "-" + std::string(14, ' ') + "-" + std::string(14, ' ') + "4");
  EXPECT_EQ(best[1].substr(165), std::string(14, ' ') + "-");
  EXPECT_EQ(rms[1].substr(15, 60), std::string(14, ' ') + "-" + std::string(14, ' ') + "-" + std::string(14, ' ') +
                                          "4" + std::string(14, ' ') + "-");
  EXPECT_EQ(rms[1].substr(105, 15), std::string(13, ' ') + "22");
  EXPECT_EQ(rms[1].substr(145), std::string(20, ' ') + "-");

  // The summary names both absences and has no chosen set; the 54 candidates
  // are there, none accepted.
  const nlohmann::json summary = nlohmann::json::parse(readFile(outDir + kCase + "_summary.json"));
  EXPECT_EQ(summary["warnings"], nlohmann::json({"no_centre_plane", "no_candidate"}));
  EXPECT_TRUE(summary["chosen"].is_null());
  EXPECT_TRUE(summary["top"].empty());
  ASSERT_EQ(summary["candidates"].size(), 54u);
  for (const auto& c : summary["candidates"]) EXPECT_FALSE(c["accepted"].get<bool>());
  EXPECT_EQ(summary["reference"]["strands"], 4);
}

// Voxels exactly on z = (u^3 - u)/6 + u*v + 46 around the grid's middle (an
// integer at every voxel): the cubic fit reproduces them, up to rounding.
TEST(WholeRun, SheetOnAnExactCubicFitsWithoutError) {
  auto height = [](int x, int y) {
    int u = x - 5, v = y - 5;
    return (u * u * u - u) / 6 + u * v + 46;
  };
  const TempDir workDir;
  const std::string& work = workDir.path;
  putStructureAndMap(work, sheetMap(11, 93, height));
  ProgramRun run = runProgram(work, {kCase, kCase, "0.5"});

  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("num of points = 121\n"), std::string::npos);
  EXPECT_LT(std::fabs(numberAfter(run.out, "RMSE sheet surface fitting error = ")), 1e-6);
}

// The synthetic helicoid twists by 17.25 degrees per 4.6 Å across its strands;
// the best candidate's main twist lies close to it.
TEST(WholeRun, SyntheticSheetOfKnownTwistIsMeasuredCloseToItsTrueTwist) {
  const std::string out = readFile(sourceDir() + "/tests/golden/synth_4x7_t18_8a/stdout.txt");
  const double measured = numberAfter(out, "Top 0 twist ");
  EXPECT_NEAR(measured, 17.25, 1.0);
  EXPECT_NE(out.find("avg of main RH twist angle"), std::string::npos);
}

// Without SHEET records every two-way distance and RMS mean is not a number;
// such scores rank as they always have, so the first candidate scored (here
// also the top-twist one) names both rows.
TEST(WholeRun, WithoutReferenceStrandsTheFirstScoredCandidateNamesBothRows) {
  const std::string work = makeTempDir();
  std::string pdb;
  for (const std::string& line : lines(readFile(sourceDir() + "/examples/" + kCase + "/" + kCase + ".pdb")))
    if (line.compare(0, 5, "SHEET") != 0) pdb += line + "\n";
  writeFile(work + "/" + kCase + ".pdb", pdb);
  copyFile(sourceDir() + "/examples/" + kCase + "/" + kCase + ".mrc", work + "/" + kCase + ".mrc");
  ProgramRun run = runProgram(work, {kCase, kCase, "0.04737"});

  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("trans 2 - orient 140, DIST1 = -nan, DIST2 = -nan, 2-way = -nan\n"), std::string::npos);
  const std::string outDir = work + "/" + kCase + "twist/";
  const std::vector<std::string> best = lines(readFile(outDir + kCase + "_bestResult.txt"));
  const std::vector<std::string> rms = lines(readFile(outDir + kCase + "_rms.txt"));
  ASSERT_EQ(best.size(), 2u);
  ASSERT_EQ(rms.size(), 2u);
  EXPECT_EQ(best[1],
            "      1hpv_b_8a        3.36905  trans_0_orient_120              5              0           -nan"
            "              0              0                        5           -nan              0");
  EXPECT_EQ(rms[1],
            "      1hpv_b_8a           -nan              5              0           -nan"
            "                             0              0                       34            trans_0_rot_120");
}
