// Finding cases, the manifest, the array tasks' shares and the table columns.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/program.h"
#include "velmorantique/batch.h"

namespace fs = std::filesystem;
using namespace vel::batch;

namespace {

TEST(BatchCases, ManifestPathsAreTakenFromTheManifestsFolderAndNamesMayBeGiven) {
  const std::string work = makeTempDir();
  fs::create_directories(work + "/maps");
  fs::create_directories(work + "/models");
  writeFile(work + "/list.tsv",
            "pdb_base\tmap_base\tthreshold\tname\n"
            "models/1abc\tmaps/emd_1\t0.05\n"
            "\n"
            "# a comment\n"
            "models/1abc\tmaps/emd_2\t0.07\tsecond\n");
  const std::vector<CaseInputs> cases = readManifest(work + "/list.tsv");
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].name, "1abc");
  EXPECT_EQ(cases[0].caseDir, work + "/maps");  // the run's output folder lies beside the map
  EXPECT_EQ(cases[0].mapBase, "emd_1");
  EXPECT_EQ(cases[0].pdbBase, "../models/1abc");
  EXPECT_EQ(cases[0].threshold, "0.05");
  EXPECT_EQ(cases[1].name, "second");

  // Written out and read back, the list names the same runs.
  writeManifest(work + "/again.tsv", cases);
  const std::vector<CaseInputs> again = readManifest(work + "/again.tsv");
  ASSERT_EQ(again.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(again[i].name, cases[i].name);
    EXPECT_EQ(again[i].caseDir, cases[i].caseDir);
    EXPECT_EQ(again[i].pdbBase, cases[i].pdbBase);
    EXPECT_EQ(again[i].mapBase, cases[i].mapBase);
  }

  writeFile(work + "/short.tsv", "models/1abc\tmaps/emd_1\n");
  EXPECT_THROW(readManifest(work + "/short.tsv"), BatchError);
  writeFile(work + "/twice.tsv", "models/1abc\tmaps/emd_1\t0.05\nmodels/1abc\tmaps/emd_2\t0.05\n");
  EXPECT_THROW(readManifest(work + "/twice.tsv"), BatchError);  // two cases named 1abc
  writeFile(work + "/path.tsv", "models/1abc\tmaps/emd_1\t0.05\t../escape\n");
  EXPECT_THROW(readManifest(work + "/path.tsv"), BatchError);
  fs::remove_all(work);
}

TEST(BatchCases, AFolderIsACaseOrAParentOfCasesTakenByName) {
  const std::string work = makeTempDir();
  for (const char* n : {"b", "a"}) {
    fs::create_directories(work + "/study/" + n);
    writeFile(work + "/study/" + n + "/" + n + ".pdb", "");
    writeFile(work + "/study/" + n + "/threshold", " 0.04 \n");
  }
  fs::create_directories(work + "/study/notes");  // not a case: passed over
  const std::vector<CaseInputs> parent = findCases({work + "/study/"});
  ASSERT_EQ(parent.size(), 2u);
  EXPECT_EQ(parent[0].name, "a");
  EXPECT_EQ(parent[0].threshold, "0.04");
  EXPECT_EQ(parent[0].caseDir, work + "/study/a");
  const std::vector<CaseInputs> one = findCases({work + "/study/b"});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].pdbBase, "b");
  EXPECT_THROW(findCases({work + "/study/notes"}), BatchError);
  EXPECT_THROW(findCases({work + "/study", work + "/study/a"}), BatchError);  // a twice
  fs::remove_all(work);
}

TEST(BatchCases, ArrayTaskKRunsCasesKAndEveryMthAfter) {
  std::vector<CaseInputs> cases(7);
  for (size_t i = 0; i < cases.size(); ++i) cases[i].name = std::to_string(i);
  std::vector<std::string> seen;
  for (int k = 0; k < 3; ++k)
    for (const CaseInputs& c : taskCases(cases, k, 3)) seen.push_back(c.name);
  EXPECT_EQ(seen, (std::vector<std::string>{"0", "3", "6", "1", "4", "2", "5"}));
  EXPECT_TRUE(taskCases(cases, 7, 8).empty());
}

TEST(BatchCases, ResultColumnsBeginWithTheAgreedNamesInOrder) {
  const std::vector<std::string> first{
      "case", "status", "message", "threshold", "voxels", "fitting_error", "top_twist_set", "top_twist_main_twist",
      "best_set", "best_set_main_twist", "best_set_two_way", "best_set_detected", "reference_residues", "rms_set",
      "rms_mean", "rmsd", "top_twist_direction_error", "best_set_direction_error", "reference_twist", "warnings",
      "seconds", "output_bytes"};
  const std::vector<std::string>& columns = resultColumns();
  ASSERT_GE(columns.size(), first.size());
  EXPECT_EQ(std::vector<std::string>(columns.begin(), columns.begin() + first.size()), first);
  for (const std::string& c : columns) EXPECT_EQ(c.find_first_not_of("abcdefghijklmnopqrstuvwxyz_"), std::string::npos) << c;
  // A name twice would make a reader rename or drop a column.
  std::vector<std::string> sorted = columns;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
}

TEST(RefusalMessage, IsTheTextOfTheLastFrame) {
  const std::string printed =
      "num of points = 0\n\n"
      "================================ in Protein.numOfAtoms() ====================\n"
      "an earlier report\n" +
      std::string(79, '=') + "\n" +
      "============================== in MRC::read (string) ==========================\n"
      "Can't open given Map file ( x.mrc ). \n"
      "second line\n" +
      std::string(79, '=') + "\nPress any key...\n";
  EXPECT_EQ(lastFrameMessage(printed), "Can't open given Map file ( x.mrc ). \nsecond line");
  EXPECT_EQ(lastFrameMessage("no frame here\n" + std::string(79, '=') + "\n"), "");
  EXPECT_EQ(lastFrameMessage(""), "");
}

}  // namespace
