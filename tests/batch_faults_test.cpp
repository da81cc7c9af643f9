// Results that once went to the wrong case or outlived their run: each case
// owns its output folder, a table shows only what the case's own latest run
// wrote, a record stands only while its files do, and a damaged record or a
// planted link never costs a batch or a file outside it.

#include <gtest/gtest.h>

#include <functional>

#include <nlohmann/json.hpp>

#include "support/batch_runs.h"

namespace fs = std::filesystem;

namespace {

TableRow withoutPlace(TableRow row) {
  for (const char* key : {"case", "case_dir", "seconds"}) row.erase(key);
  return row;
}

TEST(BatchFaults, CasesThatShareAMapEachKeepTheirOwnResults) {
  const std::string work = makeTempDir();
  makeCase(work, "m", "0.0483");
  const std::string low = "m/m\tm/m\t0.0483\tlow\n", high = "m/m\tm/m\t0.07\thigh\n";
  writeFile(work + "/sweep.tsv", low + high);
  writeFile(work + "/low.tsv", low);
  writeFile(work + "/high.tsv", high);
  ASSERT_EQ(runBatch({"-o", work + "/out", "--jobs", "2", "--manifest", work + "/sweep.tsv"}).status, 0);
  ASSERT_EQ(runBatch({"-o", work + "/out-low", "--manifest", work + "/low.tsv"}).status, 0);
  ASSERT_EQ(runBatch({"-o", work + "/out-high", "--manifest", work + "/high.tsv"}).status, 0);
  auto swept = byCase(readTable(work + "/out/results.tsv"));
  EXPECT_NE(swept["low"]["voxels"], swept["high"]["voxels"]);
  EXPECT_EQ(withoutPlace(swept["low"]), withoutPlace(readTable(work + "/out-low/results.tsv").at(0)));
  EXPECT_EQ(withoutPlace(swept["high"]), withoutPlace(readTable(work + "/out-high/results.tsv").at(0)));
}

TEST(BatchFaults, ARerunShowsOnlyWhatItsOwnRunWrote) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "x", "0.0483");
  ASSERT_EQ(runBatch({"-o", work + "/out", work + "/cases"}).status, 0);
  ASSERT_NE(readTable(work + "/out/results.tsv").at(0).at("voxels"), "NA");

  // A threshold the analysis refuses before it writes a summary, and a
  // stage file left behind in the case's output folder; rerun into a new
  // output folder and into the same one.
  writeFile(work + "/cases/x/threshold", "0,05\n");
  fs::create_directories(work + "/out/cases/x/xtwist");
  writeFile(work + "/out/cases/x/xtwist/x_trans_9_orient_0_CAchain_0.pdb", std::string(100000, 'x') + "\n");
  for (const char* out : {"/new-out", "/out"}) {
    EXPECT_EQ(runBatch({"-o", work + out, work + "/cases"}).status, 2);
    const auto after = readTable(work + out + "/results.tsv").at(0);
    EXPECT_EQ(after.at("status"), "refused") << out;
    EXPECT_NE(after.at("message").find("The threshold ( 0,05 )"), std::string::npos) << after.at("message");
    for (const char* column : {"voxels", "fitting_error", "top_twist_set", "best_set", "rms_set"})
      EXPECT_EQ(after.at(column), "NA") << out << ": " << column;
    EXPECT_EQ(after.at("output_bytes"), "0") << out;
    EXPECT_EQ(lines(readFile(work + out + "/bestResult.txt")).size(), 1u) << out;  // the header alone
  }
  EXPECT_FALSE(fs::exists(work + "/out/cases/x/xtwist/x_trans_9_orient_0_CAchain_0.pdb"));
}

TEST(BatchFaults, ARecordStandsOnlyWhileItIsWholeAndItsFilesAreThere) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "x", "0.0483");
  const std::string meta = work + "/cases/x/meta.json";
  writeFile(meta, "{\"resolution_A\": 8}\n");
  // A copy of the programs, so that the analysis can be rebuilt under the batch.
  const std::string bin = work + "/bin", analysis = bin + "/velmorantique";
  fs::create_directories(bin);
  fs::copy_file(VEL_BATCH_BINARY, bin + "/velmorantique-batch");
  fs::copy_file(fs::path(VEL_BATCH_BINARY).parent_path() / "velmorantique", analysis);
  const std::vector<std::string> batch{"-o", work + "/out", work + "/cases"};
  ASSERT_EQ(runBatch(batch, {}, bin + "/velmorantique-batch").status, 0);
  const std::string clean = comparableTables(work + "/out");
  const std::string record = work + "/out/cases/x/record.json", output = work + "/out/cases/x/xtwist/";
  const std::string text = readFile(record);

  // Each damage or change of input makes the case run again, to the same
  // tables; none stops the batch.
  const std::vector<std::pair<const char*, std::function<void()>>> damages{
      {"a record without its fingerprint",
       [&] {
         nlohmann::json j = nlohmann::json::parse(text);
         j.erase("fingerprint");
         writeFile(record, j.dump());
       }},
      {"a record with keys of the wrong kind",
       [&] { writeFile(record, R"({"case": 1, "status": "ok", "finished": true, "files": "all", "exit_status": "0"})"); }},
      {"a record cut short", [&] { writeFile(record, text.substr(0, text.size() / 2)); }},
      {"the output folder deleted", [&] { fs::remove_all(output); }},
      {"a stage file cut short",
       [&] { fs::resize_file(output + "x_surfaceModel.pdb", fs::file_size(output + "x_surfaceModel.pdb") / 2); }},
      {"a record left running, as by a --force stopped midway",
       [&] {
         nlohmann::json j = nlohmann::json::parse(text);
         j["status"] = "running";
         j["finished"] = false;
         writeFile(record, j.dump());
       }},
      {"the case's meta.json rewritten",
       [&] { writeFile(meta, "{\"resolution_A\": 8, \"note\": \"the map cut again\"}\n"); }},
      {"the analysis program rebuilt, to the same size",
       [&] { fs::last_write_time(analysis, fs::last_write_time(analysis) + std::chrono::seconds(5)); }},
  };
  for (const auto& [what, damage] : damages) {
    damage();
    const BatchRun run = runBatch(batch, {}, bin + "/velmorantique-batch");
    EXPECT_EQ(run.status, 0) << what << "\n" << run.err;
    EXPECT_NE(run.err.find("x: ok"), std::string::npos) << what << ": not run again\n" << run.err;
    EXPECT_EQ(comparableTables(work + "/out"), clean) << what;
  }
}

TEST(BatchFaults, NoLinkIsFollowedOutOfTheOutputFolder) {
  const std::string work = makeTempDir();
  makeCase(work + "/cases", "x", "0.0483");
  makeCase(work + "/cases", "y", "0.0483");
  const std::string outside = work + "/elsewhere";
  fs::create_directories(outside + "/other");
  writeFile(outside + "/precious.pdb", "ATOM\n");
  writeFile(outside + "/other/precious.pdb", "ATOM\n");
  // Links where the batch and the analysis write: beside the inputs, as
  // today's layout had it, and in OUT.
  fs::create_symlink(outside, work + "/cases/x/xtwist");
  ASSERT_EQ(runBatch({"-o", work + "/out", work + "/cases"}).status, 0);
  const auto untouched = snapshot(outside);

  for (const char* force : {"--compress", "--force"}) {
    fs::remove_all(work + "/out/cases/x/xtwist");
    fs::create_symlink(outside, work + "/out/cases/x/xtwist");
    fs::remove_all(work + "/out/cases/y");
    fs::create_symlink(outside + "/other", work + "/out/cases/y");
    const BatchRun run = runBatch({"-o", work + "/out", force, "--compress", work + "/cases"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(snapshot(outside), untouched) << force;
    EXPECT_TRUE(fs::is_symlink(work + "/cases/x/xtwist"));
    for (const char* own : {"/out/cases/x/xtwist", "/out/cases/y"})
      EXPECT_FALSE(fs::is_symlink(work + own)) << own;
    EXPECT_TRUE(fs::exists(work + "/out/cases/x/xtwist/x_surfaceModel.pdb.gz"));
  }
}

}  // namespace
