// A batch folder read back for the report: every value the pictures need
// from the summary and the stage files, and broken or odd cases kept in
// the batch with what went wrong, never a crash or a made-up number.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "report/case_view.h"
#include "report/pictures.h"
#include "support/batch_folder.h"
#include "velmorantique/batch_record.h"
#include "velmorantique/report.h"

using nlohmann::json;
using vel::report::CaseView;
using vel::report::loadBatch;
using vel::report::ReportError;

namespace {

// A sheet in the xy-plane with strands along x; the best set trans_1_orient_10
// (two lines, stick file compressed) differs from the top-twist set trans_0_orient_0.
json sheetSummary(const std::string& protein) {
  json candidates = json::array();
  for (int t = 0; t < 3; ++t)
    for (int o = 0; o < 18; ++o)
      candidates.push_back({{"set", "trans_" + std::to_string(t) + "_orient_" + std::to_string(10 * o)},
                            {"t", t}, {"angle", 10 * o}, {"accepted", o < 2}, {"twists", {12.0 + o, 20.0}},
                            {"main_twist", o < 2 ? json(16.0 + t) : json(nullptr)}});
  return {{"case", protein},
          {"exit_status", 0},
          {"message", nullptr},
          {"warnings", json::array()},
          {"inputs", {{"map", "p.mrc"}, {"threshold", 0.05}}},
          {"sheet", {{"points", 3}, {"centre", {0, 0, 0}}, {"normal", {0, 0, 2}}}},
          {"candidates", candidates},
          {"top",
           {{{"rank", 1}, {"set", "trans_0_orient_0"}, {"main_twist", 18.5}, {"lines", 3}, {"two_way", 3.5},
             {"direction", {1, 0, 0}}, {"direction_error", 4.0}},
            {{"rank", 2}, {"set", "trans_1_orient_10"}, {"main_twist", 17.0}, {"lines", 2}, {"two_way", 2.25},
             {"direction", {0, 1, 0}}, {"direction_error", nullptr}}}},
          {"chosen", {{"top_twist", "trans_0_orient_0"}, {"best_two_way", "trans_1_orient_10"}}},
          {"reference",
           {{"strand_axes", {{{"start", {0, 0, 0}}, {"end", {10, 0, 0}}, {"residues", "3-9"}}}},
            {"twists", {-20.0, -22.0}},
            {"mean_twist", -21.0},
            {"mean_axis", {1, 0, 0}}}},
          {"shape_direction", nullptr},
          {"shape_direction_error", nullptr}};
}

void writeStageFiles(const std::string& dir, const std::string& protein) {
  writeFile(dir + protein + "_surfaceModel.pdb", pseudoAtoms({{0, 0, -1}, {5, 0, 0}, {10, 2, 1}}));
  std::vector<std::vector<double>> best = stickLine(0, 0, 100), line2 = stickLine(0, 4.6, 100);
  best.insert(best.end(), line2.begin(), line2.end());
  writeGzipText(dir + protein + "_trans_1_orient_10.pdb.gz", pseudoAtoms(best));
  writeFile(dir + protein + "_trans_1_orient_10_CAchain_0.pdb", pseudoAtoms(stickLine(0, 0, 3), " CA ", "GLY"));
  writeGzipText(dir + protein + "_trans_1_orient_10_CAchain_1.pdb.gz", pseudoAtoms(stickLine(0, 5, 3), " CA ", "GLY"));
}

}  // namespace

TEST(CaseLoading, ReadsTheSummaryAndTheStageFilesOfTheChosenSets) {
  BatchFolder batch;
  // The stage files are named after the protein, which need not be the case name.
  const std::string dir = batch.addFinishedCase("case_a", sheetSummary("prot"));
  writeStageFiles(dir, "prot");
  const std::vector<CaseView> cases = loadBatch(batch.out);
  ASSERT_EQ(cases.size(), 1u);
  const CaseView& c = cases[0];
  EXPECT_EQ(c.name, "case_a");
  EXPECT_EQ(c.protein, "prot");
  EXPECT_EQ(c.mapPath, batch.root + "/runs/p.mrc");  // relative to where the run ran
  ASSERT_TRUE(c.hasSheet);
  EXPECT_DOUBLE_EQ(c.normal.z, 1.0);  // made unit
  EXPECT_EQ(c.surface.size(), 3u);
  EXPECT_EQ(c.candidates.size(), 54u);
  EXPECT_TRUE(std::isnan(c.candidates[5].mainTwist));

  ASSERT_TRUE(c.topTwist && c.bestTwoWay);
  EXPECT_EQ(c.topTwist->set, "trans_0_orient_0");
  EXPECT_DOUBLE_EQ(c.topTwist->mainTwist, 18.5);
  EXPECT_DOUBLE_EQ(c.topTwist->directionError, 4.0);
  EXPECT_TRUE(c.topTwist->strandLines.empty());  // no stick file on disk: noted, not invented
  EXPECT_EQ(c.notes.size(), 1u);
  EXPECT_EQ(c.bestTwoWay->set, "trans_1_orient_10");
  EXPECT_DOUBLE_EQ(c.bestTwoWay->twoWay, 2.25);
  EXPECT_TRUE(std::isnan(c.bestTwoWay->directionError));
  ASSERT_EQ(c.bestTwoWay->strandLines.size(), 2u);
  EXPECT_EQ(c.bestTwoWay->caChainFiles.size(), 2u);
  EXPECT_EQ(c.bestTwoWay->twists, (std::vector<double>{13.0, 20.0}));
  ASSERT_EQ(c.referenceAxes.size(), 1u);
  EXPECT_EQ(c.referenceAxes[0].residues, "3-9");
  EXPECT_DOUBLE_EQ(c.referenceMeanTwist, -21.0);
  EXPECT_FALSE(c.shapeDirection);

  // A batch of one case gives a report of one case, its picture drawn from the compressed stick file.
  vel::report::writeBatchReport(batch.out);
  const std::string page = readFile(batch.out + "/report.html");
  EXPECT_NE(page.find("<section class=\"case\" id=\"case-case_a\">"), std::string::npos);
  EXPECT_EQ(page.find("<section", page.find("<section") + 1), std::string::npos);
  EXPECT_NE(page.find("1 case in "), std::string::npos);
}

TEST(CaseLoading, NullsAndOddValuesBecomeMissingNotNumbers) {
  BatchFolder batch;
  json summary = sheetSummary("odd");
  summary["sheet"]["normal"] = {0, 0, 0};  // a sheet without a centre plane
  summary["top"][0]["main_twist"] = nullptr;
  summary["top"][0]["lines"] = "three";
  summary["top"][1]["lines"] = 1e300;
  summary["top"][1]["direction"] = {1, nullptr, 0};
  summary["reference"]["twists"] = {-20.0, nullptr};
  summary["candidates"] = "not a list";
  summary["shape_direction"] = {0, 1, 0};
  batch.addFinishedCase("odd", summary);
  const CaseView c = loadBatch(batch.out).at(0);
  EXPECT_FALSE(c.hasSheet);
  ASSERT_TRUE(c.topTwist);
  EXPECT_TRUE(std::isnan(c.topTwist->mainTwist));
  EXPECT_EQ(c.topTwist->lines, 0);
  EXPECT_EQ(c.bestTwoWay->lines, 0);
  EXPECT_FALSE(c.bestTwoWay->direction);
  EXPECT_TRUE(std::isnan(c.referenceTwists.at(1)));
  EXPECT_TRUE(c.candidates.empty());
  EXPECT_TRUE(c.shapeDirection);
  // Drawn anyway, with no number made up from the missing ones.
  for (const std::string& svg : {vel::report::drawSheetPicture(c), vel::report::drawNeighbourTwistChart(c),
                                  vel::report::drawCandidateChart(c)}) {
    EXPECT_EQ(svg.find("nan"), std::string::npos) << svg;
    EXPECT_EQ(svg.find("inf"), std::string::npos) << svg;
  }
}

TEST(CaseLoading, ABrokenCaseStaysInTheBatchWithWhatWentWrong) {
  BatchFolder batch;
  EXPECT_THROW(loadBatch(batch.out), ReportError);  // no cases folder at all

  writeFile(batch.addCase("b_torn", json::object()) + "/record.json", "{\"case\": \"b_torn\", \"status\": ");
  batch.addCase("c_running", {{"status", "ok"}, {"finished", false}});
  batch.addCase("a_lost", {{"status", "ok"}, {"summary", batch.root + "/nowhere.json"}});
  batch.addCase("d_failed", {{"status", "failed"}, {"message", "map unreadable"}, {"summary", nullptr}});
  std::filesystem::create_directories(batch.out + "/cases/e_queued");  // no record yet
  const std::vector<CaseView> cases = loadBatch(batch.out);
  ASSERT_EQ(cases.size(), 5u);
  EXPECT_EQ(cases[0].name, "a_lost");
  EXPECT_FALSE(cases[0].hasSummary);
  ASSERT_EQ(cases[0].notes.size(), 1u);
  EXPECT_NE(cases[0].notes[0].find("nowhere.json"), std::string::npos);
  EXPECT_EQ(cases[1].status, "unreadable");
  EXPECT_NE(cases[1].message.find("record.json"), std::string::npos);
  EXPECT_EQ(cases[2].status, "unfinished");
  EXPECT_EQ(cases[3].status, "failed");
  EXPECT_EQ(cases[3].message, "map unreadable");
  EXPECT_EQ(cases[4].status, "unfinished");
}

// A batch folder moved or copied shows its own runs, from records of this
// batch (paths relative to the folder) and of an older one (absolute paths
// into the folder it was written in); and the report writes nothing through
// a case folder that is a link out of the folder.
TEST(CaseLoading, AMovedOrCopiedBatchFolderShowsItsOwnRuns) {
  BatchFolder batch;
  auto finished = [&](const std::string& name) {
    vel::batch::CaseRecord r;
    r.name = name;
    r.status = "ok";
    r.finished = true;
    r.runDir = batch.out + "/cases/" + name;
    r.outputDir = r.runDir + "/ptwist";
    r.summary = r.outputDir + "/p_summary.json";
    std::filesystem::create_directories(r.outputDir);
    writeFile(r.summary, sheetSummary("p").dump());
    return r;
  };
  const vel::batch::CaseRecord older = finished("older"), ours = finished("ours");
  writeFile(older.runDir + "/record.json", vel::batch::toJson(older).dump());
  writeFile(ours.runDir + "/record.json", vel::batch::recordText(ours, batch.out));
  EXPECT_EQ(readFile(ours.runDir + "/record.json").find(batch.out), std::string::npos);

  const std::string moved = batch.root + "/moved", copy = batch.root + "/copy";
  std::filesystem::rename(batch.out, moved);
  std::filesystem::copy(moved, copy, std::filesystem::copy_options::recursive);
  json rerun = sheetSummary("p");
  rerun["top"][0]["main_twist"] = 30.0;
  for (const char* name : {"older", "ours"}) writeFile(moved + "/cases/" + name + "/ptwist/p_summary.json", rerun.dump());
  for (const auto& [folder, twist] : {std::pair<std::string, double>{moved, 30.0}, {copy, 18.5}})
    for (const CaseView& c : loadBatch(folder)) {
      EXPECT_EQ(c.summaryPath, folder + "/cases/" + c.name + "/ptwist/p_summary.json");
      ASSERT_TRUE(c.hasSummary && c.topTwist) << c.name;
      EXPECT_DOUBLE_EQ(c.topTwist->mainTwist, twist) << folder << " " << c.name;
    }

  // OUT/cases/ours linked to a folder elsewhere: no viewer script is written there.
  const std::string elsewhere = batch.root + "/elsewhere";
  std::filesystem::rename(copy + "/cases/ours", elsewhere);
  std::filesystem::create_directory_symlink(elsewhere, copy + "/cases/ours");
  vel::report::writeBatchReport(copy);
  EXPECT_TRUE(std::filesystem::exists(copy + "/cases/older/older_view.pml"));
  for (const auto& e : std::filesystem::directory_iterator(elsewhere))
    EXPECT_EQ(e.path().filename().string().find("_view."), std::string::npos) << e.path();
}
