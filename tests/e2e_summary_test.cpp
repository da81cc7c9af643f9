// The run summary against what the same run printed and wrote: every number
// the summary carries that also appears on standard output or in a report row
// must read the same when printed the way the program prints it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>

#include "support/program.h"
#include "velmorantique/compare.h"
#include "velmorantique/prepare.h"
#include "velmorantique/shape.h"

using nlohmann::json;
namespace fs = std::filesystem;

using namespace vel;

namespace {

std::string trim(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

std::string printed(const json& v) {
  std::ostringstream s;
  s << v.get<double>();
  return s.str();
}

std::vector<std::string> fields(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> f;
  for (std::string w; in >> w;) f.push_back(w);
  return f;
}

// The text after label on the first line that holds it, up to the next comma.
std::string after(const std::string& line, const std::string& label) {
  size_t at = line.find(label);
  if (at == std::string::npos) return "";
  std::string rest = line.substr(at + label.size());
  return rest.substr(0, rest.find(','));
}

const json* topEntry(const json& summary, const std::string& set) {
  for (const json& t : summary["top"])
    if (t["set"] == set) return &t;
  return nullptr;
}

class SummaryRun : public ::testing::TestWithParam<std::string> {};

// The strand lines of a stick file: points about 0.1 Å apart along a line
// (rarely a step of an Å or so), a step of several Å to the next line.
StrandSet stickLines(const std::string& pdb) {
  StrandSet sticks;
  Coordinate last;
  for (const std::string& line : lines(pdb)) {
    if (line.rfind("ATOM", 0) != 0 && line.rfind("HETATM", 0) != 0) continue;
    const Coordinate p(std::stod(line.substr(30, 8)), std::stod(line.substr(38, 8)), std::stod(line.substr(46, 8)));
    if (sticks.empty() || Vectors(last, p).length() > 2.0) sticks.emplace_back();
    sticks.back().push_back(p);
    last = p;
  }
  return sticks;
}

TEST_P(SummaryRun, AgreesWithThePrintedMeasurementsAndTheReportRows) {
  const std::string name = GetParam();
  const std::string example = sourceDir() + "/examples/" + name + "/";
  const std::string work = makeTempDir();
  copyFile(example + name + ".pdb", work + "/" + name + ".pdb");
  copyFile(example + name + ".mrc", work + "/" + name + ".mrc");
  ProgramRun run = runProgram(work, {name, name, trim(readFile(example + "threshold"))});
  ASSERT_EQ(run.status, 0);
  const std::string outDir = work + "/" + name + "twist/";
  const json s = json::parse(readFile(outDir + name + "_summary.json"));
  EXPECT_EQ(s["exit_status"], 0);
  EXPECT_TRUE(s["message"].is_null());

  // Candidate blocks: "angle = A", then one "handedness   twist" line per pair.
  const std::vector<std::string> out = lines(run.out);
  const json& candidates = s["candidates"];
  ASSERT_EQ(candidates.size(), 54u);
  size_t c = 0, pair = 0;
  int accepted = 0;
  for (const std::string& line : out) {
    if (line.rfind("angle = ", 0) == 0) {
      if (c > 0) {
        EXPECT_EQ(pair, candidates[c - 1]["twists"].size());
      }
      ASSERT_LT(c, candidates.size());
      EXPECT_EQ(line.substr(8), printed(candidates[c]["angle"]));
      ++c;
      pair = 0;
      continue;
    }
    const std::vector<std::string> f = fields(line);
    if (c > 0 && f.size() == 2 && line.find("   ") != std::string::npos && line.find('=') == std::string::npos) {
      const json& cand = candidates[c - 1];
      ASSERT_LT(pair, cand["twists"].size()) << line;
      EXPECT_EQ(f[0], printed(cand["handedness"][pair]));
      EXPECT_EQ(f[1], printed(cand["twists"][pair]));
      ++pair;
    }
    if (line.rfind("avg of main RH twist angle = ", 0) == 0) {
      ++accepted;
      EXPECT_TRUE(candidates[c - 1]["accepted"].get<bool>());
      EXPECT_EQ(after(line, "= "), printed(candidates[c - 1]["main_twist"]));
    }
    if (line.rfind("num of points = ", 0) == 0) {
      EXPECT_EQ(line.substr(16), std::to_string(s["inputs"]["voxels_kept"].get<int>()));
    }
    if (line.rfind("RMSE sheet surface fitting error = ", 0) == 0) {
      EXPECT_EQ(line.substr(35), printed(s["sheet"]["fitting_error"]));
    }
  }
  EXPECT_EQ(c, 54u);
  int acceptedInSummary = 0;
  for (const json& cand : candidates) acceptedInSummary += cand["accepted"].get<bool>();
  EXPECT_EQ(acceptedInSummary, accepted);

  // "Top k twist X:   trans t - orient A", then each scored candidate's lines.
  const json& top = s["top"];
  ASSERT_FALSE(top.empty());
  size_t ranked = 0;
  for (const std::string& line : out) {
    if (line.rfind("Top ", 0) == 0) {
      const std::vector<std::string> f = fields(line);  // Top k twist X: trans t - orient A
      ASSERT_EQ(f.size(), 9u) << line;
      const json& entry = top.at(std::stoul(f[1]));
      EXPECT_EQ(f[3], printed(entry["main_twist"]) + ":");
      EXPECT_EQ(entry["set"], "trans_" + f[5] + "_orient_" + f[8]);
      ++ranked;
    }
    if (line.rfind("trans ", 0) == 0) {
      const std::vector<std::string> f = fields(line);
      std::string a = f[4];
      a.pop_back();  // the comma
      const json* entry = topEntry(s, "trans_" + f[1] + "_orient_" + a);
      ASSERT_NE(entry, nullptr) << line;
      if (line.find("2-way = ") != std::string::npos) {
        EXPECT_EQ(after(line, "2-way = "), printed((*entry)["two_way"]));
      }
      if (line.find("rms_Si = ") != std::string::npos) {
        EXPECT_EQ(after(line, "rms_Si = "), printed((*entry)["rmsd"]));
      }
    }
  }
  EXPECT_EQ(ranked, top.size());

  // The report rows name the chosen sets and their scores.
  const std::vector<std::string> best = fields(lines(readFile(outDir + name + "_bestResult.txt")).at(1));
  const json& chosen = s["chosen"];
  const json* bestSet = topEntry(s, chosen["best_two_way"]);
  const json* topSet = topEntry(s, chosen["top_twist"]);
  ASSERT_TRUE(bestSet && topSet);
  EXPECT_EQ(best[1], printed(s["sheet"]["fitting_error"]));
  EXPECT_EQ(best[2], chosen["best_two_way"]);
  EXPECT_EQ(best[3], std::to_string((*bestSet)["lines"].get<int>()));
  EXPECT_EQ(best[4], std::to_string(s["reference"]["strands"].get<int>()));
  EXPECT_EQ(best[5], printed((*bestSet)["two_way"]));
  EXPECT_EQ(best[6], std::to_string((*bestSet)["detected_residues"].get<int>()));
  EXPECT_EQ(best[8], std::to_string((*topSet)["lines"].get<int>()));
  EXPECT_EQ(best[10], std::to_string((*topSet)["detected_residues"].get<int>()));

  const std::vector<std::string> rms = fields(lines(readFile(outDir + name + "_rms.txt")).at(1));
  const std::string rmsSet = chosen["best_rms"];
  const json* rmsEntry = topEntry(s, rmsSet);
  ASSERT_NE(rmsEntry, nullptr);
  EXPECT_EQ(rms[1], printed((*rmsEntry)["rms_mean"]));
  EXPECT_EQ(rms[4], printed((*rmsEntry)["rmsd"]));
  EXPECT_EQ(rms[5], std::to_string((*rmsEntry)["paired_ca"].get<int>()));
  EXPECT_EQ(rms[7], std::to_string((*rmsEntry)["model_ca"].get<int>()));
  EXPECT_EQ(rms[8], "trans_" + rmsSet.substr(6, rmsSet.find("_orient_") - 6) + "_rot_" +
                        rmsSet.substr(rmsSet.find("_orient_") + 8));

  // The reference twist follows the convention of the examples' own notes.
  const json meta = json::parse(readFile(example + "meta.json"));
  const json& twists = s["reference"]["twists"];
  ASSERT_EQ(twists.size(), meta["inter_strand_angles_deg"].size());
  for (size_t i = 0; i < twists.size(); ++i)
    EXPECT_NEAR(twists[i].get<double>(), meta["inter_strand_angles_deg"][i].get<double>(), 0.05 + 1e-9);
  EXPECT_NEAR(s["reference"]["mean_twist"].get<double>(), meta["mean_inter_strand_angle_deg"].get<double>(), 0.05);
  EXPECT_EQ(s["reference"]["residues"], meta["sheet_residue_count"]);
  auto vector = [](const json& v) { return Vectors(v[0].get<double>(), v[1].get<double>(), v[2].get<double>()); };
  for (const json& t : top) {
    const double e = t["direction_error"].get<double>();
    EXPECT_TRUE(e >= 0 && e <= 90) << e;
    EXPECT_NEAR(vector(t["direction"]).length(), 1.0, 1e-12);
    EXPECT_NEAR(vector(t["nominal_direction"]).length(), 1.0, 1e-12);
    // The direction is that of the candidate's sticks, as its stick file has them.
    std::vector<Vectors> axes;
    for (const PointList& stick : stickLines(readFile(outDir + name + "_" + t["set"].get<std::string>() + ".pdb")))
      if (stick.size() >= 2) axes.push_back(strandAxis(stick).direction);
    EXPECT_LT(axisAngleDegrees(meanLineDirection(axes), vector(t["direction"])), 0.01) << t["set"];
    EXPECT_NEAR(axisAngleDegrees(vector(t["direction"]), vector(s["reference"]["mean_axis"])), e, 1e-9);
  }

  // The verdict and the shape twist, measured without the reference; the
  // twist's error is its difference from the reference's mean twist.
  const json& confidence = s["confidence"];
  const std::string level = confidence["level"];
  EXPECT_TRUE(level == "high" || level == "medium" || level == "low") << level;
  EXPECT_FALSE(confidence["reasons"].empty());
  EXPECT_TRUE(confidence["signals"]["threshold_spread_deg"].is_number());
  EXPECT_LT(s["shape_twist"].get<double>(), 0);
  EXPECT_NEAR(s["shape_twist_error"].get<double>(),
              s["shape_twist"].get<double>() - s["reference"]["mean_twist"].get<double>(), 1e-9);
}

INSTANTIATE_TEST_SUITE_P(BundledExamples, SummaryRun, ::testing::Values("1hpv_b_8a", "synth_4x7_t18_8a"));

bool warns(const std::string& summaryPath, const std::string& warning) {
  const json w = json::parse(readFile(summaryPath))["warnings"];
  return std::find(w.begin(), w.end(), warning) != w.end();
}

// A whole chain's density given in place of one sheet's is named in the
// summary (and nowhere else); the sheets the preparation library cuts from
// the same structure are not. Both are simulated at 8 Å by the library's
// own density model and contoured by its threshold rule.
TEST(OneSheetWarning, NamesAWholeChainButNoneOfItsSheets) {
  namespace prep = vel::prepare;
  const TempDir dir;
  const std::string entry = sourceDir() + "/tests/fixtures/1hpv.pdb.gz";
  prep::PrepareOptions options;
  options.outDir = dir.path + "/sheets";
  options.resolutions = {8};
  std::ostringstream quiet;
  prep::prepareAll({entry}, options, false, quiet, quiet);

  const prep::Structure st = prep::readStructure(entry);
  const std::vector<prep::SheetVerdict> verdicts = prep::judgeSheets(st, "A");
  const prep::SheetVerdict verdict =
      *std::find_if(verdicts.begin(), verdicts.end(), [](const prep::SheetVerdict& v) { return v.eligible; });
  std::vector<prep::Atom> atoms;
  double volume = 0;
  for (const prep::Residue& r : st.chains.at(static_cast<size_t>(verdict.chainIndex)).residues) {
    atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
    volume += prep::residueVolume(r.name);
  }
  const std::string whole = dir.path + "/whole";
  fs::create_directories(whole);
  const prep::DensityBox box = prep::simulateDensity(atoms, 8.0, 1.0, 6.0);
  prep::writeMrc(whole + "/chain.mrc", box);
  prep::writeCasePdb(whole + "/chain.pdb", st, verdict, "the whole chain");

  size_t sheets = 0;
  for (const auto& folder : fs::directory_iterator(dir.path + "/sheets")) {
    const std::string d = folder.path().string(), name = folder.path().filename().string();
    ProgramRun run = runProgram(d, {name, name, trim(readFile(d + "/threshold"))});
    ASSERT_EQ(run.status, 0) << name;
    EXPECT_FALSE(warns(d + "/" + name + "twist/" + name + "_summary.json", "not_one_sheet")) << name;
    ++sheets;
  }
  EXPECT_EQ(sheets, 2u);
  runProgram(whole, {"chain", "chain", prep::findThreshold(box, volume).stats.text});
  EXPECT_TRUE(warns(whole + "/chaintwist/chain_summary.json", "not_one_sheet"));
}

}  // namespace
