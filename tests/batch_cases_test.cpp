// Finding cases, the manifest, names a batch cannot carry, the array tasks'
// shares and script, the table columns, the record's keys, and what an
// ended run makes of its case.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <tuple>

#include "batch/case_run.h"
#include "support/batch_runs.h"
#include "support/program.h"
#include "velmorantique/batch.h"

namespace fs = std::filesystem;
using namespace vel::batch;
using vel::batch::Ended;

namespace {

TEST(BatchCases, ManifestPathsAreTakenFromTheManifestsFolderAndNamesMayBeGiven) {
  const std::string work = makeTempDir();
  fs::create_directories(work + "/maps");
  fs::create_directories(work + "/models");
  // Saved with a byte-order mark, as some editors save tables.
  writeFile(work + "/list.tsv",
            "\xEF\xBB\xBFpdb_base\tmap_base\tthreshold\tname\n"
            "models/1abc\tmaps/emd_1\t0.05\n"
            "\n"
            "# a comment\n"
            "models/1abc\tmaps/emd_2\t0.07\tsecond\n");
  const std::vector<CaseInputs> cases = readManifest(work + "/list.tsv");
  ASSERT_EQ(cases.size(), 2u);
  EXPECT_EQ(cases[0].name, "1abc");
  EXPECT_EQ(cases[0].caseDir, work + "/maps");  // the folder of the map
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
  // ".a.partial-7" is a case folder a killed prepare left half replaced:
  // never a case of its own.
  for (const char* n : {"b", "a", ".a.partial-7"}) {
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

// The output folders of velmorantique-find, as a user has them: one per map
// under a parent, given as the parent, one by one or in a manifest. Each
// gives its map's cases, and a map that gave no sheet is named, not refused.
TEST(BatchCases, FindOutputFoldersGiveTheirMapsCasesAndNameMapsWithoutASheet) {
  const std::string work = makeTempDir();
  const std::string found = work + "/found";
  for (const char* dir : {"m1/m1_s1", "m1/m1_s2", "m2"}) fs::create_directories(found + "/" + dir);
  for (const char* c : {"m1_s1", "m1_s2"}) {
    writeFile(found + "/m1/" + c + "/" + c + ".pdb", "");
    writeFile(found + "/m1/" + c + "/threshold", "0.1\n");
  }
  writeFile(found + "/m1/find.json", R"({"name": "map_one", "map": "/maps/one.mrc", "segments": [{}, {}, {}]})");
  writeFile(found + "/m2/find.json", R"({"name": "map_two", "map": "/maps/two.mrc", "segments": [{}]})");
  writeFile(work + "/list.tsv", "found/m1\nfound/m2/\n");
  auto check = [&](const std::vector<CaseInputs>& cases, const std::vector<MapRecord>& maps, const std::string& how) {
    ASSERT_EQ(cases.size(), 2u) << how;
    EXPECT_EQ(cases[1].name, "m1_s2") << how;
    ASSERT_EQ(maps.size(), 2u) << how;
    EXPECT_EQ(maps[0].name, "map_one") << how;
    EXPECT_EQ(maps[0].cases, (std::vector<std::string>{"m1_s1", "m1_s2"})) << how;
    EXPECT_EQ(maps[0].segments, 3) << how;
    EXPECT_EQ(maps[1].name, "map_two") << how;
    EXPECT_TRUE(maps[1].cases.empty()) << how;
    EXPECT_NE(noSheetMessage(maps[1]).find("none of the 1 segment it"), std::string::npos) << how;
  };
  for (const std::vector<std::string>& given :
       {std::vector<std::string>{found}, std::vector<std::string>{found + "/m1", found + "/m2"}}) {
    std::vector<MapRecord> maps;
    check(findCases(given, &maps), maps, given.front());
  }
  std::vector<MapRecord> maps;
  check(readManifest(work + "/list.tsv", &maps), maps, "manifest");
  // The list survives OUT/maps.json, as --collect and the report read it.
  writeMaps(work, maps);
  EXPECT_EQ(toJson(readMaps(work)), toJson(maps));
  // A found case's verdicts reach its row: whether it is a sheet, from
  // meta.json, and the range its twist lies in, from the summary.
  CaseRecord judged;
  judged.name = "m1_s1";
  judged.status = "ok";
  judged.meta = work + "/meta.json";
  judged.summary = work + "/summary.json";
  writeFile(judged.meta, R"({"kind": "found", "sheet_confidence": {"level": "medium", "reasons": ["a", "b"]}})");
  writeFile(judged.summary, R"({"shape_twist": -12.5, "confidence": {"level": "low", "signals": {"residual_rms_A": 1.5},
                                "reasons": []}})");
  writeTables(work, {judged}, {});
  const std::vector<TableRow> table = readTable(work + "/results.tsv");
  ASSERT_EQ(table.size(), 1u);
  TableRow row = table[0];
  EXPECT_EQ(row["sheet_confidence"], "medium");
  EXPECT_EQ(row["sheet_confidence_reasons"], "a; b");
  EXPECT_EQ(row["twist_confidence"], "medium");
  EXPECT_EQ(row["twist_from"], "-37.5");
  EXPECT_EQ(row["twist_to"], "-8.5");
  // A map without a sheet alone is no error, and has its row in results.tsv.
  std::vector<MapRecord> alone;
  EXPECT_TRUE(findCases({found + "/m2"}, &alone).empty());
  writeTables(work, {}, alone);
  const std::vector<std::string> rows = lines(readFile(work + "/results.tsv"));
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].substr(0, rows[1].find('\t', rows[1].find('\t') + 1)), "map_two\tno_sheet");
  fs::remove_all(work);
}

TEST(BatchCases, CaseFoldersOfOneNameTakeTheirParentsNames) {
  const std::string work = makeTempDir();
  for (const char* dir : {"a/x", "b/x", "p/a/y", "q/a/y", "c/z"}) {
    fs::create_directories(work + "/" + dir);
    writeFile(work + "/" + dir + "/threshold", "0.05\n");
  }
  std::vector<std::string> names;
  for (const CaseInputs& c : findCases({work + "/a", work + "/b", work + "/p/a", work + "/q/a", work + "/c"}))
    names.push_back(c.name + " " + c.pdbBase);
  // The files keep their names: only the case, which names its folder in OUT, is told apart.
  EXPECT_EQ(names, (std::vector<std::string>{"a_x x", "b_x x", "p_a_y y", "q_a_y y", "z z"}));
}

TEST(BatchCases, ThresholdFilesAreReadOnlyWhenSmallAndRegular) {
  const std::string work = makeTempDir();
  const std::vector<std::pair<std::string, std::string>> expected{
      {"plain", ""}, {"fifo", "is not a regular file"}, {"zero", "is not a regular file"},
      {"huge", "more than the 256"}, {"empty", "the threshold file is empty"}, {"none", "has no threshold file"},
      {"tab", "holds a tab"}};
  for (const auto& [name, problem] : expected) {
    fs::create_directories(work + "/" + name);
    writeFile(work + "/" + name + "/" + name + ".pdb", "");
  }
  const std::string dir = work + "/";
  writeFile(dir + "plain/threshold", " 0.04 \nsecond line\n");
  ASSERT_EQ(mkfifo((dir + "fifo/threshold").c_str(), 0644), 0);  // no writer: reading it would wait forever
  fs::create_symlink("/dev/zero", dir + "zero/threshold");       // endless
  writeFile(dir + "huge/threshold", std::string(1 << 20, '7'));
  writeFile(dir + "empty/threshold", "\n");
  writeFile(dir + "tab/threshold", "0.05\t1\n");
  std::map<std::string, CaseInputs> found;
  const std::vector<CaseInputs> cases = findCases({work});
  for (const CaseInputs& c : cases) found[c.name] = c;
  ASSERT_EQ(found.size(), expected.size());
  // The case list that array tasks and --collect read back holds every case.
  writeManifest(work + "/cases.tsv", cases);
  EXPECT_EQ(readManifest(work + "/cases.tsv").size(), cases.size());
  EXPECT_EQ(found["plain"].threshold, "0.04");
  for (const auto& [name, problem] : expected) {
    if (problem.empty()) continue;
    EXPECT_NE(found[name].problem.find(problem), std::string::npos) << name << ": " << found[name].problem;
    EXPECT_EQ(found[name].threshold, "") << name;
  }
}

TEST(BatchCases, NamesTheBatchCannotCarryAreRefusedUpFront) {
  const std::string out = makeTempDir() + "/OUT";
  auto caseNamed = [](const std::string& name, const std::string& dir = "/data/cases") {
    CaseInputs c;
    c.name = c.pdbBase = c.mapBase = name;
    c.caseDir = dir + "/" + name;
    return c;
  };
  // A tab or line end would break the case list; bytes that are not UTF-8
  // the records; a quote would be changed in results.tsv; a long name would
  // give the analysis's files names the file system refuses.
  const std::vector<std::tuple<CaseInputs, std::string, std::string>> refused{
      {caseNamed("a\tb"), "a\\x09b", "control character"},
      {caseNamed("a\nb"), "a\\x0Ab", "control character"},
      {caseNamed("bell\x07"), "bell\\x07", "control character"},
      {caseNamed("bad\xff\xc3"), "bad\\xFF\\xC3", "not UTF-8"},
      {caseNamed("say\"hi\""), "say\"hi\"", "double quote"},
      {caseNamed("x", "/data/a\nb"), "x (in /data/a\\x0Ab/x)", "its path holds a control character"},
      {caseNamed(std::string(225, 'n')), std::string(225, 'n'), "limit of 255 bytes per name"},
  };
  for (const auto& [c, shown, why] : refused) {
    try {
      checkCases({caseNamed("fine"), c}, out);
      ADD_FAILURE() << "accepted: " << shown;
    } catch (const BatchError& e) {
      const std::string message = e.what();
      EXPECT_NE(message.find("1 case has a name the batch cannot carry"), std::string::npos) << message;
      EXPECT_NE(message.find(shown), std::string::npos) << message;
      EXPECT_NE(message.find(why), std::string::npos) << message;
    }
  }
  EXPECT_NO_THROW(checkCases({caseNamed("1hpv_a_b_8a"), caseNamed("x y"), caseNamed("\u00e5ngstr\u00f6m"),
                              caseNamed(std::string(200, 'n'))},
                             out));
  EXPECT_THROW(checkCases({caseNamed("fine")}, out + "\nrm -rf ~"), BatchError);
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

TEST(SlurmScript, QuotesEveryPathAndRefusesLineBreaks) {
  const std::string work = makeTempDir();
  std::vector<CaseInputs> cases(3);
  Options opts;
  opts.outDir = work + "/it's out";
  SlurmOptions slurm;
  slurm.batchTool = "/opt/vel bin/velmorantique-batch";
  const std::string script = readFile(writeSlurmScript(cases, opts, slurm));
  EXPECT_NE(script.find("#SBATCH --output='" + work + "/it'\\''s out/slurm/task_%a.out'\n"), std::string::npos) << script;
  EXPECT_NE(script.find("exec '/opt/vel bin/velmorantique-batch' --task \"$SLURM_ARRAY_TASK_ID\" --array-size 3 -o '" +
                        work + "/it'\\''s out'\n"),
            std::string::npos)
      << script;
  for (auto change : std::vector<std::function<void(Options&, SlurmOptions&)>>{
           [](Options& o, SlurmOptions&) { o.outDir += "\ntouch /tmp/injected"; },
           [](Options&, SlurmOptions& s) { s.sbatchArgs.push_back("--qos=x\nrm -rf ~"); },
           [](Options&, SlurmOptions& s) { s.partition = "short\r"; }}) {
    Options o = opts;
    SlurmOptions s = slurm;
    change(o, s);
    EXPECT_THROW(writeSlurmScript(cases, o, s), BatchError);
  }
}

TEST(BatchRecord, ReadsMissingAndMistypedKeysAsEmptyAndRoundTrips) {
  CaseRecord r;
  r.name = "c";
  r.status = "ok";
  r.warnings = {"no_reference"};
  r.exitStatus = 0;
  r.seconds = 1.5;
  r.outputBytes = 5255688;
  r.caseDir = "/data/c";
  r.runDir = "/out/cases/c";
  r.outputDir = "/out/cases/c/ctwist";
  r.summary = "/out/cases/c/ctwist/c_summary.json";
  r.fingerprint = {{"threshold", "0.05"}};
  r.files = {{"c_summary.json", 31293, 1796667103142998157}};
  r.finished = true;
  EXPECT_EQ(toJson(recordFromJson(toJson(r))), toJson(r));

  // A record of an older batch, or one edited by hand: nothing is assumed.
  for (const char* text : {R"({})", R"([1, 2])", R"("text")",
                           R"({"case": 5, "status": ["ok"], "exit_status": "0", "files": "x", "seconds": "1",
                               "output_bytes": -3, "bytes_saved": 1e300, "finished": "yes", "warnings": {"a": 1}})"}) {
    const CaseRecord odd = recordFromJson(nlohmann::json::parse(text));
    EXPECT_EQ(odd.name, "") << text;
    EXPECT_EQ(odd.status, "") << text;
    EXPECT_FALSE(odd.exitStatus) << text;
    EXPECT_TRUE(odd.files.empty()) << text;
    EXPECT_EQ(odd.outputBytes, 0u) << text;
    EXPECT_EQ(odd.bytesSaved, 0u) << text;
    EXPECT_TRUE(odd.fingerprint.is_null()) << text;
    EXPECT_FALSE(odd.finished) << text;
  }
  // Bytes that are not UTF-8 (from a run's output) cannot stop the record being written.
  r.message = "bad \xff byte";
  EXPECT_NE(recordText(r).find("bad \xef\xbf\xbd byte"), std::string::npos);
}

TEST(RunClassification, EveryEndingHasItsStatusAndReason) {
  auto exited = [](int status, SummaryState summary = SummaryState::Sound) {
    RunFacts f;
    f.ended.waitStatus = status << 8;
    f.summary = summary;
    f.logs = "L";
    return f;
  };
  auto with = [](RunFacts f, auto change) {
    change(f);
    return f;
  };
  struct Ending {
    const char* what;
    RunFacts facts;
    std::string status, message;
    std::vector<std::string> warnings;
    bool keepSummary;
  };
  const std::string outputFolder =
      "Unable to open xtwist/x_bestResult.txt: the output directory xtwist/ could not be created or cannot be written.";
  const std::vector<Ending> endings{
      {"a complete run", exited(0), "ok", "", {}, true},
      {"no candidate", with(exited(0), [](RunFacts& f) { f.summaryWarnings = {"no_candidate"}; }), "no_candidate", "",
       {"no_candidate"}, true},
      {"no reference strands", with(exited(0), [](RunFacts& f) { f.summaryWarnings = {"no_reference_strands"}; }),
       "ok", "", {"no_reference"}, true},
      {"status 0 and no summary", exited(0, SummaryState::Missing), "failed",
       "the run ended with status 0 but wrote no summary (was the disk full?); see L", {}, false},
      {"status 0 and a summary cut short",
       with(exited(0, SummaryState::Unreadable), [](RunFacts& f) { f.summaryProblem = "not JSON: cut short?"; }),
       "failed", "the run ended with status 0 but left a summary that cannot be read (not JSON: cut short?)", {}, false},
      {"status 0 and an earlier run's summary",
       with(exited(0, SummaryState::NotThisRun), [](RunFacts& f) { f.summaryProblem = "older than the run"; }),
       "failed", "left a summary that is not its own (older than the run)", {}, false},
      {"status 0 and a stage file cut short on a full disk",
       with(exited(0),
            [](RunFacts& f) {
              f.unwritten = "x_surfaceModel.pdb is cut short";
              f.fullDisk = "the disk that holds /o is full: 0 bytes free";
            }),
       "failed",
       "did not write all its files: x_surfaceModel.pdb is cut short (the disk that holds /o is full: 0 bytes free)",
       {}, false},
      {"refused, the summary says why",
       with(exited(1), [](RunFacts& f) { f.summaryMessage = "No sheet density is left at threshold 1e+09"; }),
       "refused", "No sheet density is left at threshold 1e+09", {}, true},
      {"refused before its summary",
       with(exited(1, SummaryState::Missing), [](RunFacts& f) { f.logFrame = "The threshold ( 0,05 ) is not"; }),
       "refused", "The threshold ( 0,05 ) is not", {}, false},
      {"refused for its output folder: the machine's fault, run again",
       with(exited(1), [&](RunFacts& f) { f.summaryMessage = outputFolder; }), "failed", outputFolder, {}, false},
      {"status 2: files lost to a full disk",
       with(exited(2), [](RunFacts& f) { f.summaryMessage = "Output lost: 3 files ( No space left on device )"; }),
       "failed", "exit status 2: Output lost: 3 files ( No space left on device ); see L", {}, false},
      {"status 1: the report rows lost",
       with(exited(1), [](RunFacts& f) { f.summaryMessage = "Output lost: nothing of this run was kept."; }),
       "failed", "Output lost: nothing of this run was kept.", {}, false},
      {"status 0 but the summary lists unwritten files",
       with(exited(0), [](RunFacts& f) { f.summaryWarnings = {"unwritten_output"}; }), "failed",
       "the run could not write all its files (was the disk full?)", {}, false},
      {"out of memory", with(exited(1, SummaryState::Missing), [](RunFacts& f) { f.logFrame = "Out of memory: the map"; }),
       "failed", "Out of memory: the map", {}, false},
      {"status 1 without a word", exited(1, SummaryState::Missing), "failed", "exit status 1 without a message; see L",
       {}, false},
      {"killed", with(exited(0, SummaryState::Missing), [](RunFacts& f) { f.ended.waitStatus = SIGKILL; }), "failed",
       "killed by signal 9 (Killed); see L", {}, false},
      {"the executable would not start",
       with(exited(127, SummaryState::Missing), [](RunFacts& f) { f.batchMessage = "cannot run the analysis executable"; }),
       "failed", "exit status 127: cannot run the analysis executable; see L", {}, false},
      {"never started", with(RunFacts(), [](RunFacts& f) { f.ended = Ended{false, "no threshold: none", false, 0}; }),
       "failed", "no threshold: none", {}, false},
      {"stopped at the time limit", with(RunFacts(), [](RunFacts& f) { f.ended.timedOut = true, f.timeout = 10; }),
       "timed_out", "stopped after 10 s", {}, false},
  };
  for (const Ending& e : endings) {
    const Verdict v = classifyRun(e.facts);
    EXPECT_EQ(v.status, e.status) << e.what;
    EXPECT_NE(v.message.find(e.message), std::string::npos) << e.what << ": " << v.message;
    EXPECT_EQ(e.message.empty(), v.message.empty()) << e.what << ": " << v.message;
    EXPECT_EQ(v.warnings, e.warnings) << e.what;
    EXPECT_EQ(v.keepSummary, e.keepSummary) << e.what;
  }
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
  // Newer columns follow in the order they came: the batch's, the verdict's,
  // then where a found sheet lies.
  const std::vector<std::string> later{"case_dir",   "model_ca_in_density", "model_map_correlation",
                                       "confidence", "shape_twist",         "shape_twist_error"};
  EXPECT_NE(std::search(columns.begin(), columns.end(), later.begin(), later.end()), columns.end());
  const std::vector<std::string> found{"map",          "sheet_centre_x", "sheet_centre_y",
                                       "sheet_centre_z", "sheet_length", "sheet_width",
                                       "sheet_area",   "sheet_probability", "confidence_reasons",
                                       "resolution_warning"};
  EXPECT_NE(std::search(columns.begin(), columns.end(), found.begin(), found.end()), columns.end());
  const std::vector<std::string> last{"sheet_confidence", "sheet_confidence_reasons", "twist_confidence", "twist_from",
                                      "twist_to"};
  EXPECT_EQ(std::vector<std::string>(columns.end() - last.size(), columns.end()), last);
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
