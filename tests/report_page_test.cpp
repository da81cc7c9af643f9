// The page and the viewer scripts written for a batch folder: names and
// messages escaped, sections and links that lead somewhere, scripts only for
// finished cases, and axes whose ticks cover the data.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "report/pictures.h"
#include "report/report_page.h"
#include "report/svg.h"
#include "report/viewer_scripts.h"
#include "support/batch_folder.h"
#include "velmorantique/report.h"

using nlohmann::json;
using vel::report::CaseView;

namespace {

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

json minimalSummary(const std::string& protein) {
  return {{"case", protein},
          {"inputs", {{"map", "/maps/m.mrc"}, {"threshold", 0.04737}}},
          {"sheet", {{"centre", {1, 2, 3}}, {"normal", {0, 0, 1}}}},
          {"top", {{{"set", "trans_0_orient_0"}, {"main_twist", 15.0}, {"two_way", 2.5}, {"lines", 2}}}},
          {"chosen", {{"top_twist", "trans_0_orient_0"}, {"best_two_way", "trans_0_orient_0"}}}};
}

}  // namespace

TEST(BatchReport, WritesThePageAndScriptsForFinishedCasesOnly) {
  BatchFolder batch;
  const std::string dir = batch.addFinishedCase("x y", minimalSummary("p"));
  writeFile(dir + "p_trans_0_orient_0.pdb", pseudoAtoms(stickLine(0, 0, 30)));
  for (int s = 0; s < 2; ++s)
    writeFile(dir + "p_trans_0_orient_0_CAchain_" + std::to_string(s) + ".pdb",
              pseudoAtoms(stickLine(0, 4.6 * s, 4), " CA ", "GLY"));
  // Two names that make the same link target, and one that would break the page.
  // Its numbers far outside any plot's range still land in the last bins.
  json wild = minimalSummary("p");
  wild["top"][0]["two_way"] = 1e300;
  wild["top"][0]["direction_error"] = 1e300;
  batch.addFinishedCase("x_y", wild);
  batch.addCase("<b>&amp", {{"status", "refused"}, {"message", "bad \"threshold\" <0\x01>"}});
  // A folder name that is not UTF-8.
  std::filesystem::rename(batch.addCase("bytes", {{"status", "failed"}, {"message", "\u00e5ngstr\u00f6m"}}),
                          batch.out + "/cases/bytes\xff\xc3");
  vel::report::writeBatchReport(batch.out);

  const std::string page = readFile(batch.out + "/report.html");
  EXPECT_EQ(count(page, "<section class=\"case\""), 4u);
  EXPECT_NE(page.find("bytes\xef\xbf\xbd\xef\xbf\xbd"), std::string::npos);
  EXPECT_NE(page.find("\u00e5ngstr\u00f6m"), std::string::npos);
  EXPECT_EQ(count(page, "id=\"case-x_y\""), 1u);
  EXPECT_EQ(count(page, "id=\"case-x_y-2\""), 1u);
  EXPECT_EQ(count(page, "href=\"#case-x_y-2\""), 1u);
  EXPECT_NE(page.find("&lt;b&gt;&amp;amp"), std::string::npos);
  EXPECT_NE(page.find("bad &quot;threshold&quot; &lt;0 &gt;"), std::string::npos);
  EXPECT_EQ(page.find("<b>&amp"), std::string::npos);
  EXPECT_NE(page.find("href=\"cases/x%20y/x%20y_view.pml\""), std::string::npos);

  EXPECT_TRUE(std::filesystem::exists(batch.out + "/cases/x y/x y_view.pml"));
  EXPECT_TRUE(std::filesystem::exists(batch.out + "/cases/x y/x y_view.cxc"));
  EXPECT_FALSE(std::filesystem::exists(batch.out + "/cases/<b>&amp/<b>&amp_view.pml"));

  // Written again, the page is replaced, not appended to.
  vel::report::writeBatchReport(batch.out);
  EXPECT_EQ(readFile(batch.out + "/report.html"), page);
  // A report that cannot be written is an error, and leaves no partial file.
  std::filesystem::remove(batch.out + "/report.html");
  std::filesystem::create_directories(batch.out + "/report.html/inside");
  EXPECT_THROW(vel::report::writeBatchReport(batch.out), vel::report::ReportError);
  EXPECT_FALSE(std::filesystem::exists(batch.out + "/report.html.partial"));
}

TEST(BatchReport, LinksAreRelativeToTheBatchFolder) {
  using vel::report::relativeLink;
  EXPECT_EQ(relativeLink("/data/b/OUT/cases/c1/c1.log", "/data/b/OUT"), "cases/c1/c1.log");
  EXPECT_EQ(relativeLink("/data/b/OUT/cases/c1/c1.log", "/data/b/OUT/"), "cases/c1/c1.log");
  EXPECT_EQ(relativeLink("/data/runs/my case/1abctwist/", "/data/b/OUT"), "../../runs/my%20case/1abctwist/");
  EXPECT_EQ(relativeLink("/data/b/OUT/cases/a#b?.json", "/data/b/OUT"), "cases/a%23b%3F.json");
}

TEST(ViewerScripts, LoadTheMapAtTheThresholdAndBondEveryChain) {
  CaseView c;
  c.name = "c";
  c.mapPath = "/maps/m.mrc";
  c.threshold = 0.04737;
  c.hasSheet = true;
  c.centre = vel::Coordinate(1, 2, 3);
  const std::string dir = makeTempDir();
  vel::report::ModelledSet best;
  best.stickFile = dir + "/lines.pdb";
  for (int s = 0; s < 3; ++s) {
    best.caChainFiles.push_back(dir + "/ca" + std::to_string(s) + ".pdb");
    writeFile(best.caChainFiles.back(), pseudoAtoms(stickLine(0, 4.6 * s, 4 + s), " CA ", "GLY"));
  }
  c.bestTwoWay = best;

  const std::string pml = vel::report::pymolScript(c);
  EXPECT_NE(pml.find("load /maps/m.mrc, sheet_map\nisomesh sheet_mesh, sheet_map, 0.04737\n"), std::string::npos);
  EXPECT_EQ(count(pml, ".pdb, best_ca_"), 3u);
  EXPECT_NE(pml.find("cmd.bond("), std::string::npos);
  EXPECT_NE(pml.find("pos=[1.000, 2.000, 3.000]"), std::string::npos);

  const std::string cxc = vel::report::chimeraxScript(c);
  EXPECT_NE(cxc.find("open \"/maps/m.mrc\" format mrc\nvolume #1 style mesh level 0.04737"), std::string::npos);
  // Chains of 4, 5 and 6 C-alphas: one marker each, one link between neighbours.
  EXPECT_EQ(count(cxc, "marker #"), 15u);
  EXPECT_EQ(count(cxc, "marker link #"), 12u);
  EXPECT_NE(cxc.find("marker link #102:5,6 "), std::string::npos);
  EXPECT_NE(cxc.find("cofr 1.000,2.000,3.000"), std::string::npos);

  EXPECT_NE(pml.find("# c in PyMOL: pymol c_view.pml\n"), std::string::npos);
  EXPECT_EQ(pml.find("left out"), std::string::npos);

  // A name or path goes into no line, comments included, unless each of its
  // characters is known to be harmless: line ends, PyMOL's ';' (which ends a
  // comment's shelter) and ',' '=' '~' '$', quotes, and anything not ASCII.
  for (const std::string& hostile :
       {std::string("c\nreinitialize"), std::string("v;z = __import__('os').system('touch x') #"),
        std::string("a,b=c"), std::string("$HOME~"), std::string("say \"hi\""), std::string("\u00e5ngstr\u00f6m")}) {
    CaseView bad = c;
    bad.name = hostile;
    bad.mapPath = "/maps/" + hostile + ".mrc";
    vel::report::ModelledSet set = best;
    set.stickFile = dir + "/" + hostile + ".pdb";
    bad.bestTwoWay = set;
    for (const std::string& script : {vel::report::pymolScript(bad), vel::report::chimeraxScript(bad)}) {
      EXPECT_EQ(script.find(hostile), std::string::npos) << script;
      EXPECT_NE(script.find("# This case in "), std::string::npos) << script;
      EXPECT_NE(script.find("they are left out; open them by hand"), std::string::npos) << script;
      EXPECT_TRUE(script.find("ca2.pdb, best_ca_2") != std::string::npos ||
                  script.find("marker link #102:5,6") != std::string::npos);  // the chains still load
    }
  }
}

TEST(BatchReport, FlagsAPoorModelFitAndShowsACaseWithoutReferenceWithoutErrors) {
  BatchFolder batch;
  auto fit = [](double inDensity, double correlation) {
    return json{{"model_map_fit", {{"strand_ca_in_density", inDensity}, {"correlation", correlation}}}};
  };
  batch.addFinishedCase("fits", minimalSummary("p"), fit(0.97, 0.71));
  batch.addFinishedCase("moved_in", minimalSummary("p"), fit(0.82, 0.62));  // another protein moved into the box
  batch.addFinishedCase("uncorrelated", minimalSummary("p"), fit(0.95, 0.31));
  batch.addFinishedCase("simulated", minimalSummary("p"), json{{"resolution_A", 8}});
  json alone = minimalSummary("p");
  alone["warnings"] = {"no_reference_strands"};
  alone["top"][0]["direction"] = {0, 1, 0};
  alone["top"][0]["two_way"] = nullptr;
  alone["shape_direction"] = {0.6, 0.8, 0};
  batch.addFinishedCase("alone", alone);
  vel::report::writeBatchReport(batch.out);
  const std::string page = readFile(batch.out + "/report.html");

  auto section = [&](const std::string& name) {
    const size_t at = page.find("<section class=\"case\" id=\"case-" + name + "\">");
    return at == std::string::npos ? std::string() : page.substr(at, page.find("</section>", at) - at);
  };
  EXPECT_NE(page.find("2 cases have models that fit the map poorly"), std::string::npos);
  EXPECT_NE(section("moved_in").find("Poor model-map fit: 82% of the strand C-alphas in density (at least 90%"),
            std::string::npos);
  EXPECT_NE(section("uncorrelated").find("correlation 0.31 (at least 0.5 expected)"), std::string::npos);
  for (const char* fine : {"fits", "simulated", "alone"}) EXPECT_EQ(section(fine).find("Poor model-map fit"), std::string::npos) << fine;

  // Without a model the answer leads: the shape direction, and the top-twist
  // set only as the analysis's candidate; no column of errors it cannot have.
  const std::string row = page.substr(page.find("<a href=\"#case-alone\">"));
  EXPECT_EQ(row.substr(0, row.find("</tr>")).find("no reference"), std::string::npos);
  EXPECT_NE(row.substr(0, row.find("</tr>")).find("(0.600, 0.800, 0.000)"), std::string::npos);
  EXPECT_NE(section("alone").find("<b>Shape direction</b> (0.600, 0.800, 0.000)"), std::string::npos);
  EXPECT_NE(section("alone").find("The analysis's candidate: its top-twist set trans_0_orient_0, main twist "
                                  "15.0\u00b0, direction (0.000, 1.000, 0.000)"),
            std::string::npos);
}

// A batch over find's output: each kind of case in its own table, the found
// sheets with their map and where they lie, a map that gave no sheet named,
// a no_candidate case shown as the finished run it is, and no plot drawn
// over values the cases cannot have.
TEST(BatchReport, CasesWithoutAModelLeadWithTheirAnswerGroupedByMap) {
  BatchFolder batch;
  json modelled = minimalSummary("p");
  modelled["top"][0]["two_way"] = nullptr;
  batch.addFinishedCase("modelled", modelled, json{{"resolution_A", 8}});
  json found = minimalSummary("m1_s1");
  found["warnings"] = {"no_reference_strands"};
  found["shape_direction"] = {0, 0.6, 0.8};
  found["shape_twist"] = -12.5;
  found["confidence"] = {{"level", "high"}, {"signals", {{"residual_rms_A", 1.5}}}, {"reasons", json::array()}};
  const json meta = {{"kind", "found"}, {"map_source", "/maps/M1.mrc"}, {"resolution_A", 8},
                     {"segment_shape", {{"centre_A", {10.5, -2, 3}}, {"length_A", 24}, {"width_A", 13},
                                        {"area_A2", 324}, {"sheet_probability", 0.515}}},
                     {"sheet_confidence", {{"level", "low"}, {"reasons", {"probability below the limit"}}}}};
  batch.addFinishedCase("m1_s1", found, meta);
  json none = found;
  none.erase("top");
  none.erase("chosen");
  none["warnings"] = {"no_reference_strands", "no_candidate"};
  const std::string dir = batch.addFinishedCase("m1_s2", none, meta);
  json record = json::parse(readFile(batch.out + "/cases/m1_s2/record.json"));
  record["status"] = "no_candidate";
  writeFile(batch.out + "/cases/m1_s2/record.json", record.dump());
  writeFile(batch.out + "/maps.json", json::array({{{"name", "m1"}, {"find_dir", dir}, {"cases", {"m1_s1", "m1_s2"}}},
                                                   {{"name", "empty_map"}, {"segments", 2}, {"cases", json::array()}}})
                                          .dump());
  vel::report::writeBatchReport(batch.out);
  const std::string page = readFile(batch.out + "/report.html");
  auto between = [&](const std::string& from, const std::string& to) {
    const size_t at = page.find(from);
    return at == std::string::npos ? std::string() : page.substr(at, page.find(to, at) - at);
  };
  EXPECT_NE(between("Every case with a model", "</table>").find("#case-modelled"), std::string::npos);
  EXPECT_EQ(between("Every case with a model", "</table>").find("#case-m1_s1"), std::string::npos);
  const std::string foundTable = between("Every sheet without a model", "</table>");
  for (const char* shown : {"#case-m1_s1", "#case-m1_s2", ">m1<", "(0.000, 0.600, 0.800)", ">-12.5<",
                            "(10.500, -2.000, 3.000)", "24 \u00d7 13", ">324<", ">0.52<",
                            "title=\"probability below the limit\">low<", "-26 to -10"})
    EXPECT_NE(foundTable.find(shown), std::string::npos) << shown;
  EXPECT_EQ(foundTable.find("no reference"), std::string::npos);
  EXPECT_NE(between("<h2 id=\"maps\">", "What the numbers mean").find("<b>No sheet found in this map</b>: "
                                                                       "velmorantique-find kept none of the 2"),
            std::string::npos);
  EXPECT_NE(page.find("Map m1 seen down z"), std::string::npos);
  const std::string noCandidate = between("id=\"case-m1_s2\"", "</section>");
  EXPECT_EQ(noCandidate.find("class=\"message\""), std::string::npos);
  EXPECT_EQ(noCandidate.find("status-other"), std::string::npos);
  EXPECT_NE(noCandidate.find("the shape direction and shape twist stand on their own"), std::string::npos);
  // Maps that all gave no sheet: no case at all, and still a page that names them.
  BatchFolder sheetless;
  std::filesystem::create_directories(sheetless.out);
  writeFile(sheetless.out + "/maps.json", json::array({{{"name", "empty_map"}, {"cases", json::array()}}}).dump());
  vel::report::writeBatchReport(sheetless.out);
  EXPECT_NE(readFile(sheetless.out + "/report.html").find("1 map gave no sheet: empty_map"), std::string::npos);
  // One model case without reference values has nothing to plot.
  EXPECT_EQ(page.find("The batch at a glance"), std::string::npos);
  EXPECT_EQ(page.find("compared with the reference strands"), page.rfind("compared with the reference strands"));
}

TEST(PlotAxes, TicksAreRoundAndCoverTheData) {
  using vel::report::niceRange;
  using vel::report::niceTicks;
  EXPECT_EQ(niceTicks(0, 90, 9), (std::vector<double>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90}));
  // Steps of 0.1 counted as multiples, so the last tick is not lost to rounding.
  const std::vector<double> tenths = niceTicks(0, 0.7, 7);
  ASSERT_EQ(tenths.size(), 8u);
  EXPECT_NEAR(tenths.back(), 0.7, 1e-12);
  const auto [lo, hi] = niceRange(-0.3, 37.2, 4);
  EXPECT_LE(lo, -0.3);
  EXPECT_GE(hi, 37.2);
  EXPECT_EQ(vel::report::formatNumber(-0.0001, 1), "0.0");
  EXPECT_EQ(vel::report::formatNumber(std::nan(""), 1), "n/a");
  EXPECT_TRUE(niceTicks(std::nan(""), 1, 4).empty());
}

TEST(PlotAxes, NumbersRoundAsPrintfDoes) {
  // Halfway cases in decimal that are not halfway in binary, and values
  // wider than any picture: the digits printf's %.*f gives, minus sign of a
  // zero dropped.
  std::vector<double> values = {0.05, 0.15, 0.25, 2.675, 1.005, -0.05, -2.5, 1e15 + 0.3, 1e300, -1e300, 123456.789};
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> spread(-2000.0, 2000.0);
  for (int i = 0; i < 2000; ++i) values.push_back(spread(random));
  for (const double v : values)
    for (int decimals = 0; decimals <= 3; ++decimals) {
      std::string expected(512, '\0');
      expected.resize(static_cast<size_t>(std::snprintf(expected.data(), expected.size(), "%.*f", decimals, v)));
      if (expected.find_first_not_of("-0.") == std::string::npos) expected.erase(0, expected[0] == '-' ? 1 : 0);
      EXPECT_EQ(vel::report::formatNumber(v, decimals), expected) << v << " with " << decimals;
    }
}

TEST(BatchReport, LeavesUnchangedScriptsAsTheyAre) {
  BatchFolder batch;
  const std::string dir = batch.addFinishedCase("c", minimalSummary("p"));
  writeFile(dir + "p_trans_0_orient_0.pdb", pseudoAtoms(stickLine(0, 0, 30)));
  vel::report::writeBatchReport(batch.out);
  const std::string pml = batch.out + "/cases/c/c_view.pml", cxc = batch.out + "/cases/c/c_view.cxc";
  auto inode = [](const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : ino_t(0);
  };
  const ino_t pmlBefore = inode(pml), cxcBefore = inode(cxc);
  const std::string cxcText = readFile(cxc);

  // Drawn again over the same run: the scripts are not replaced.
  vel::report::writeBatchReport(batch.out);
  EXPECT_EQ(inode(pml), pmlBefore);
  EXPECT_EQ(inode(cxc), cxcBefore);

  // A script edited by hand, one cut short, and one whose run changed are all written anew.
  writeFile(pml, "reinitialize\n");
  writeFile(cxc, cxcText.substr(0, cxcText.size() - 1) + "!");
  writeFile(dir + "p_trans_0_orient_0_CAchain_0.pdb", pseudoAtoms(stickLine(0, 0, 4), " CA ", "GLY"));
  vel::report::writeBatchReport(batch.out);
  EXPECT_NE(readFile(pml).find("best_ca_0"), std::string::npos);
  EXPECT_NE(readFile(cxc).find("marker #100"), std::string::npos);
}

TEST(SheetPicture, AVeryWideSheetKeepsItsLinesToAboutAPointAPixel) {
  // Two lines of 0.1 Å steps, 400 Å long: the 420-pixel drawing area shows
  // about one Å a pixel, so drawing every 4th point would put 2.5 in each.
  CaseView c;
  c.name = "wide";
  c.hasSheet = true;
  c.centre = vel::Coordinate(200, 0, 0);
  c.normal = vel::Vectors(0, 0, 1);
  vel::report::ModelledSet set;
  set.set = "trans_0_orient_0";
  for (double y : {0.0, 4.6}) {
    set.strandLines.emplace_back();
    for (int i = 0; i <= 4000; ++i) set.strandLines.back().emplace_back(0.1 * i, y, 0.0);
  }
  c.topTwist = set;
  const std::string svg = vel::report::drawSheetPicture(c);
  size_t lines = 0;
  for (size_t at = svg.find("<polyline points=\""); at != std::string::npos;
       at = svg.find("<polyline points=\"", at + 1)) {
    const size_t end = svg.find('"', at + 18);
    const std::string list = svg.substr(at + 18, end - at - 18);
    const size_t points = count(list, " ") + 1;
    EXPECT_GE(points, 300u);
    EXPECT_LE(points, 500u);
    // Both ends are drawn: the line spans the whole area.
    const double first = std::stod(list), last = std::stod(list.substr(list.rfind(' ') + 1));
    EXPECT_GT(last - first, 350);
    ++lines;
  }
  EXPECT_EQ(lines, 2u);
}
