// The report page: counts, batch plots, the table of cases and one section
// per case. Everything is inline so that the file opens offline.

#include "report_page.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "pictures.h"
#include "svg.h"

namespace vel::report {

namespace {

namespace fs = std::filesystem;

const char* const kStyle = R"(
body { font-family: sans-serif; margin: 1.5em auto; max-width: 1280px; color: #222; padding: 0 1em; }
h1 { font-size: 1.6em; margin-bottom: 0.2em; }
h2 { font-size: 1.25em; border-bottom: 1px solid #ccc; padding-bottom: 0.2em; }
.lead { color: #555; margin-top: 0; }
.plots, .figures { display: flex; flex-wrap: wrap; gap: 12px; align-items: flex-start; }
.charts { display: flex; flex-direction: column; gap: 12px; }
svg { border: 1px solid #ddd; background: #fff; }
table { border-collapse: collapse; font-size: 0.92em; }
th, td { border: 1px solid #ccc; padding: 3px 8px; text-align: right; }
th { background: #eee; cursor: pointer; user-select: none; }
td.name, th.name, td.text { text-align: left; }
.status-ok { color: #222; } .status-other { color: #a40000; font-weight: bold; }
.trust { display: inline-block; padding: 0 0.5em; border-radius: 0.6em; font-weight: bold; color: #fff; }
.trust-high { background: #176b2c; } .trust-medium { background: #b07800; } .trust-low { background: #a40000; }
.trust-none { background: #888; }
ul.reasons { margin-top: 0.2em; }
.message { background: #fff3f3; border-left: 4px solid #c33; padding: 0.5em 0.8em; white-space: pre-wrap; }
.note { color: #8a5a00; }
dl.meaning dt { font-weight: bold; margin-top: 0.4em; } dl.meaning dd { margin-left: 1.5em; }
ul.files { columns: 2; font-size: 0.92em; }
)";

const char* const kSortScript = R"(
document.querySelectorAll('table.sortable th').forEach(function (th, col) {
  th.addEventListener('click', function () {
    var body = th.closest('table').tBodies[0], rows = Array.prototype.slice.call(body.rows);
    var up = th.getAttribute('data-dir') !== 'up';
    th.setAttribute('data-dir', up ? 'up' : 'down');
    rows.sort(function (a, b) {
      var x = a.cells[col].getAttribute('data-v'), y = b.cells[col].getAttribute('data-v');
      if (x === '' || y === '') return (x === '') - (y === '');
      var nx = Number(x), ny = Number(y);
      var r = isNaN(nx) || isNaN(ny) ? x.localeCompare(y) : nx - ny;
      return up ? r : -r;
    });
    rows.forEach(function (r) { body.appendChild(r); });
  });
});
)";

std::string percentEncode(const std::string& path) {
  std::string out;
  for (unsigned char ch : path) {
    if (std::isalnum(ch) || ch == '/' || ch == '.' || ch == '-' || ch == '_' || ch == '~') {
      out += static_cast<char>(ch);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", ch);
      out += hex;
    }
  }
  return out;
}

// An id usable as a link target: letters, digits, - and _, unique on the page.
std::vector<std::string> sectionIds(const std::vector<CaseView>& cases) {
  std::vector<std::string> ids;
  std::set<std::string> used;
  for (const CaseView& c : cases) {
    std::string id = "case-";
    for (unsigned char ch : c.name) id += std::isalnum(ch) || ch == '-' || ch == '_' ? static_cast<char>(ch) : '_';
    std::string unique = id;
    for (int k = 2; used.count(unique); ++k) unique = id + "-" + std::to_string(k);
    used.insert(unique);
    ids.push_back(unique);
  }
  return ids;
}

// A run that finished is no failure, whether or not a candidate passed the twist filter.
std::string statusClass(const CaseView& c) { return c.finished() ? "status-ok" : "status-other"; }

// A table cell carrying its sort value: numbers as they are, missing as empty.
std::string numberCell(double value, int decimals, const std::string& unit = "") {
  if (!std::isfinite(value)) return "<td data-v=\"\">\u2013</td>";
  char v[32];
  std::snprintf(v, sizeof v, "%.6g", value);
  return "<td data-v=\"" + std::string(v) + "\">" + formatNumber(value, decimals) + unit + "</td>";
}

std::string joinedReasons(const std::vector<std::string>& why) {
  std::string reasons;
  for (const std::string& r : why) reasons += (reasons.empty() ? "" : "; ") + r;
  return reasons;
}

// A verdict's level as a coloured badge; the reasons, in a table cell, as
// its tooltip.
std::string levelBadge(const std::string& level, const std::vector<std::string>& why, bool withReasons) {
  const std::string reasons = joinedReasons(why);
  std::string badge = "<span class=\"trust trust-" + escapeXml(level.empty() ? "none" : level) + "\"";
  if (withReasons && !reasons.empty()) badge += " title=\"" + escapeXml(reasons) + "\"";
  return badge + ">" + escapeXml(level.empty() ? "\u2013" : level) + "</span>";
}

int levelRank(const std::string& level) {
  return level == "high" ? 3 : level == "medium" ? 2 : level == "low" ? 1 : 0;
}

// The verdict on the shape direction.
std::string trustBadge(const CaseView& c, bool withReasons) {
  return levelBadge(c.confidence, c.confidenceReasons, withReasons);
}

// A badge in a sortable table cell, ranked by its level.
std::string levelCell(const std::string& level, const std::vector<std::string>& why) {
  return "<td class=\"text\" data-v=\"" + std::to_string(levelRank(level)) + "\">" + levelBadge(level, why, true) +
         "</td>";
}

std::string percent(double fraction) { return std::isfinite(fraction) ? formatNumber(100 * fraction, 0) + "%" : "n/a"; }

std::string vectorText(const Vectors& v) {
  return "(" + formatNumber(v.x, 3) + ", " + formatNumber(v.y, 3) + ", " + formatNumber(v.z, 3) + ")";
}

double topTwistValue(const CaseView& c, double ModelledSet::*field) {
  return c.topTwist ? (*c.topTwist).*field : kMissing;
}
double bestSetValue(const CaseView& c, double ModelledSet::*field) {
  return c.bestTwoWay ? (*c.bestTwoWay).*field : kMissing;
}

void writeMeaning(std::ostream& out) {
  out << "<h2 id=\"meaning\">What the numbers mean</h2>\n<dl class=\"meaning\">\n"
      << "<dt>Main twist</dt><dd>The twist, in degrees, between neighbouring strand lines laid over the fitted sheet "
         "surface, averaged around the largest values, for the top-twist set (the accepted candidate with the largest "
         "main twist). It is the unsigned angle between two lines; a candidate is accepted only when every "
         "neighbouring pair turns the right way and their mean twist lies between 3\u00b0 and 32\u00b0. Closer to the "
         "reference twist is better.</dd>\n"
      << "<dt>Reference twist</dt><dd>The mean angle between neighbouring strands of the reference structure. It is "
         "signed: natural (left-handed) sheets are negative. The plots compare its size with the main twist.</dd>\n"
      << "<dt>Direction error</dt><dd>The angle, 0\u00b0 to 90\u00b0, between the strand direction found (top-twist "
         "set) and the mean direction of the reference strands. Smaller is better: 0\u00b0 means the lines run "
         "exactly along the strands, 90\u00b0 straight across them.</dd>\n"
      << "<dt>Two-way distance</dt><dd>In \u00e5ngstr\u00f6m, the mean of the distance from the reference strand axes "
         "to the lines and from the lines to the reference axes, for the best set (the modelled candidate nearest the "
         "reference). Smaller is better: neighbouring strands lie about 4.5 to 5 \u00c5 apart, so a distance well "
         "below that means the lines lie on the strands rather than between them.</dd>\n"
      << "<dt>Shape direction error</dt><dd>When present, the direction error of the strand direction estimated from "
         "the shape of the density alone. Smaller is better.</dd>\n"
      << "<dt>Model-map fit</dt><dd>For a case cut from an experimental map, how well its reference model sits in "
         "the map: the share of the strands' C-alphas in density and the correlation of the model's simulated "
         "density with the map. A fit below "
      << percent(kMinStrandCaInDensity) << " or a correlation below " << formatNumber(kMinModelMapCorrelation, 1)
      << " is flagged: the model may belong to another protein or sit in the wrong place, and the errors measured "
         "against it would mislead.</dd>\n"
      << "<dt>Without a model</dt><dd>A sheet found by velmorantique-find in a map that has no model, or a case "
         "whose PDB file gives no reference strands. Its answer is the shape direction, the strand direction read "
         "from the shape of the density alone, and the shape twist, the signed twist between neighbouring lines "
         "along it (natural sheets negative); there is nothing to measure their errors against.</dd>\n"
      << "<dt>The analysis's candidate</dt><dd>The top-twist set of the twist search (its main twist and "
         "direction), shown for a case without a model as what the analysis itself would pick. Measured on real "
         "sheets it is seldom within 20\u00b0 of the strands: trust the shape direction first.</dd>\n"
      << "<dt>Where a found sheet lies</dt><dd>Its centre in the map's frame (\u00c5), its length and width (the "
         "spread of its voxels in its plane), its area, and its sheet probability: the finder's mean chance, over "
         "its voxels, that a voxel belongs to a sheet (0 to 1).</dd>\n"
      << "<dt>Trust</dt><dd>How far to trust the shape direction of this sheet, judged without the reference: "
         "<b>high</b> when the sheet's fitted surface holds at thresholds 10% either side and at other "
         "smoothings, the sheet twists clearly more than it bends, is not small, its patches agree with one "
         "another and run about where its whole surface does, and its strand line runs along or across its "
         "outline; "
         "<b>low</b> when the surface moves with the threshold or the smoothing, the sheet bends about as much "
         "as it twists, or it is small; "
         "<b>medium</b> between. The reasons are given beside it. Its calibration on real sheets is in the "
         "project's documentation; check a sheet whose trust is not high in a viewer.</dd>\n"
      << "<dt>Status</dt><dd>Whether the run finished, not whether its answer is right (for that, see the trust). "
         "ok: the run finished with candidates; no_candidate: it finished but no candidate passed "
         "the twist filter; refused: the input was refused (see the message); failed: the run stopped with an error; "
         "timed_out: it was stopped after the time limit; "
         "unfinished: it has not finished yet; unreadable: its batch record could not be read.</dd>\n"
      << "<dt>Picture</dt><dd>Each case is seen down the sheet normal. Colour is the height of the fitted sheet "
         "surface above (red) or below (blue) the centre plane; black arrows are the reference strand axes, N to C, "
         "labelled with their residues; teal wide lines are the best set, orange thin lines the top-twist set "
         "(the analysis's candidate, for a case without a model); the purple arrow is the shape direction.</dd>\n"
      << "</dl>\n";
}

void writeCounts(std::ostream& out, const std::vector<CaseView>& cases, const std::vector<MapView>& maps) {
  std::map<std::string, int> counts;
  for (const CaseView& c : cases) ++counts[c.status];
  out << "<h2 id=\"counts\">Cases by status</h2>\n<table class=\"counts\"><thead><tr><th class=\"name\">status</th>"
         "<th>cases</th></tr></thead><tbody>\n";
  for (const auto& [status, n] : counts)
    out << "<tr><td class=\"name\">" << escapeXml(status) << "</td><td>" << n << "</td></tr>\n";
  out << "<tr><td class=\"name\"><b>all</b></td><td><b>" << cases.size() << "</b></td></tr>\n</tbody></table>\n";
  size_t noReference = 0, poorFit = 0;
  for (const CaseView& c : cases) {
    noReference += c.withoutModel();
    poorFit += c.poorModelFit();
  }
  if (poorFit > 0)
    out << "<p class=\"note\">" << poorFit << (poorFit == 1 ? " case has a model" : " cases have models")
        << " that fit the map poorly: <a href=\"#meaning\">their errors are not to be trusted</a>.</p>\n";
  if (noReference > 0)
    out << "<p>" << noReference << (noReference == 1 ? " case has" : " cases have")
        << " no model: <a href=\"#found\">its shape direction and shape twist</a> are the answer, with no error "
           "to measure.</p>\n";
  std::string empty;
  size_t emptyCount = 0;
  for (const MapView& m : maps)
    if (m.cases.empty()) empty += std::string(emptyCount++ ? ", " : "") + escapeXml(m.name);
  if (emptyCount > 0)
    out << "<p>" << emptyCount << (emptyCount == 1 ? " map" : " maps") << " gave no sheet: " << empty
        << " (<a href=\"#maps\">by map</a>).</p>\n";
}

std::string vectorCell(const std::optional<Vectors>& v) {
  if (!v) return "<td data-v=\"\">\u2013</td>";
  return "<td class=\"text\" data-v=\"" + formatNumber(v->x, 3) + "\">" + escapeXml(vectorText(*v)) + "</td>";
}

// The cases without a model, their answer first: the shape direction and
// shape twist with the verdict, then where the sheet lies and how sheet-like
// find judged it, and last the analysis's own candidate.
void writeFoundTable(std::ostream& out, const std::vector<CaseView>& cases, const std::vector<std::string>& ids,
                     std::vector<size_t> which) {
  std::stable_sort(which.begin(), which.end(), [&](size_t a, size_t b) { return cases[a].map < cases[b].map; });
  out << "<h2 id=\"found\">Every sheet without a model</h2>\n<p>By map. The shape direction (a unit vector in "
         "the map frame) and the shape twist are the answer; \u201cis a sheet\u201d says how likely the segment is a "
         "sheet at all, the trust how far to believe the direction, and the twist range where the sheet's own "
         "twist lies (four times in five), with its level. "
         "The analysis's candidate is the line set its twist search ranks first, shown for reference: on real "
         "sheets it is seldom along the strands. Click a column title to sort.</p>\n"
      << "<table class=\"sortable found\"><thead><tr><th class=\"name\">case</th><th class=\"name\">map</th>"
      << "<th class=\"name\">status</th><th class=\"name\">is a sheet</th><th class=\"name\">trust</th>"
      << "<th>shape direction</th><th>shape twist (\u00b0)</th><th class=\"name\">twist range (\u00b0)</th>"
      << "<th>centre (\u00c5)</th><th>length \u00d7 width (\u00c5)</th>"
      << "<th>area (\u00c5\u00b2)</th><th>sheet probability</th><th>analysis's candidate, main twist (\u00b0)</th>"
      << "<th>resolution (\u00c5)</th></tr></thead><tbody>\n";
  for (size_t i : which) {
    const CaseView& c = cases[i];
    out << "<tr><td class=\"name\" data-v=\"" << escapeXml(c.name) << "\"><a href=\"#" << ids[i] << "\">"
        << escapeXml(c.name) << "</a></td><td class=\"text\" data-v=\"" << escapeXml(c.map) << "\">"
        << escapeXml(c.map.empty() ? "\u2013" : c.map) << "</td><td class=\"text " << statusClass(c)
        << "\" data-v=\"" << escapeXml(c.status) << "\">" << escapeXml(c.status) << "</td>"
        << levelCell(c.sheetConfidence, c.sheetConfidenceReasons) << levelCell(c.confidence, c.confidenceReasons)
        << vectorCell(c.shapeDirection) << numberCell(c.shapeTwist, 1);
    out << "<td class=\"text\" data-v=\"" << levelRank(c.twistConfidence) << "\">"
        << levelBadge(c.twistConfidence, c.twistReason.empty() ? std::vector<std::string>() : std::vector<std::string>{c.twistReason}, true);
    if (std::isfinite(c.twistFrom)) out << " " << formatNumber(c.twistFrom, 0) << " to " << formatNumber(c.twistTo, 0);
    out << "</td>";
    if (c.segmentCentre)
      out << vectorCell(Vectors(c.segmentCentre->x, c.segmentCentre->y, c.segmentCentre->z));
    else
      out << "<td data-v=\"\">\u2013</td>";
    out << "<td class=\"text\" data-v=\"" << formatNumber(c.segmentLength, 1) << "\">" << formatNumber(c.segmentLength, 0)
        << " \u00d7 " << formatNumber(c.segmentWidth, 0) << "</td>" << numberCell(c.segmentArea, 0)
        << numberCell(c.sheetProbability, 2) << numberCell(topTwistValue(c, &ModelledSet::mainTwist), 1)
        << numberCell(c.resolution, 1) << "</tr>\n";
  }
  out << "</tbody></table>\n";
}

// Each map find went through: a picture of the sheets over it, and a line
// for a map that gave none.
void writeMaps(std::ostream& out, const std::vector<CaseView>& cases, const std::vector<std::string>& ids,
               const std::vector<MapView>& maps) {
  out << "<h2 id=\"maps\">By map</h2>\n";
  for (const MapView& m : maps) {
    out << "<section class=\"map\"><h3>" << escapeXml(m.name) << "</h3>\n";
    if (!m.mapPath.empty()) out << "<p class=\"lead\">" << escapeXml(m.mapPath) << "</p>\n";
    if (!m.resolutionWarning.empty())
      out << "<p class=\"note\">resolution: " << escapeXml(m.resolutionWarning) << "</p>\n";
    std::vector<const CaseView*> sheets;
    std::string links;
    for (const std::string& name : m.cases)
      for (size_t i = 0; i < cases.size(); ++i)
        if (cases[i].name == name) {
          sheets.push_back(&cases[i]);
          links += std::string(links.empty() ? "" : ", ") + "<a href=\"#" + ids[i] + "\">" + escapeXml(name) + "</a>";
        }
    if (m.cases.empty()) {
      out << "<p class=\"nosheet\"><b>No sheet found in this map</b>: velmorantique-find ";
      if (m.segments == 0)
        out << "met no segment that could be a sheet.";
      else
        out << "kept none of the " << m.segments << (m.segments == 1 ? " segment" : " segments") << " it considered.";
      out << "</p>\n</section>\n";
      continue;
    }
    out << "<p>" << sheets.size() << (sheets.size() == 1 ? " sheet: " : " sheets: ") << links << ".</p>\n"
        << drawMapPicture(m, sheets) << "</section>\n";
  }
}

// For each method and each trust level, over the cases that have a
// reference: the median direction error and how many lie within 20 degrees.
void writeHeadline(std::ostream& out, const std::vector<CaseView>& cases) {
  struct Method {
    const char* name;
    double (*error)(const CaseView&);
  };
  const Method methods[] = {
      {"shape direction", [](const CaseView& c) { return c.shapeDirectionError; }},
      {"core top-twist direction", [](const CaseView& c) { return topTwistValue(c, &ModelledSet::directionError); }},
  };
  bool any = false;
  for (const CaseView& c : cases) any = any || std::isfinite(c.shapeDirectionError);
  if (!any) return;
  out << "<h2 id=\"headline\">Against the reference strands</h2>\n<p>Median direction error and the cases within "
         "20\u00b0, by trust level (trust is judged on the shape direction, without the reference).</p>\n"
         "<table class=\"counts\"><thead><tr><th class=\"name\">method</th>";
  const char* levels[] = {"all", "high", "medium", "low"};
  for (const char* level : levels) out << "<th>" << level << "</th>";
  out << "</tr></thead><tbody>\n";
  for (const Method& m : methods) {
    out << "<tr><td class=\"name\">" << m.name << "</td>";
    for (const char* level : levels) {
      std::vector<double> errors;
      for (const CaseView& c : cases) {
        const double e = m.error(c);
        if (std::isfinite(e) && (std::string(level) == "all" || c.confidence == level)) errors.push_back(e);
      }
      if (errors.empty()) {
        out << "<td>\u2013</td>";
        continue;
      }
      const size_t within = std::count_if(errors.begin(), errors.end(), [](double e) { return e <= 20; });
      std::sort(errors.begin(), errors.end());
      const size_t n = errors.size();
      const double median = n % 2 ? errors[n / 2] : 0.5 * (errors[n / 2 - 1] + errors[n / 2]);
      out << "<td>" << formatNumber(median, 1) << "\u00b0 \u00b7 " << within << "/" << n << "</td>";
    }
    out << "</tr>\n";
  }
  out << "</tbody></table>\n";
}

void writeCaseTable(std::ostream& out, const std::vector<CaseView>& cases, const std::vector<std::string>& ids,
                    const std::vector<size_t>& which, bool anyShape, bool alsoWithout) {
  out << "<h2 id=\"cases\">" << (alsoWithout ? "Every case with a model" : "Every case")
      << "</h2>\n<p>Click a column title to sort; click a name to go to its section.</p>\n"
      << "<table class=\"sortable\"><thead><tr><th class=\"name\">case</th><th class=\"name\">status</th>"
      << "<th class=\"name\">trust</th>"
      << "<th>main twist (\u00b0)</th><th>reference twist (\u00b0)</th><th>direction error (\u00b0)</th>"
      << "<th>two-way (\u00c5)</th>" << (anyShape ? "<th>shape direction error (\u00b0)</th>" : "")
      << "<th>lines (best)</th><th>resolution (\u00c5)</th><th>seconds</th></tr></thead><tbody>\n";
  for (size_t i : which) {
    const CaseView& c = cases[i];
    out << "<tr><td class=\"name\" data-v=\"" << escapeXml(c.name) << "\"><a href=\"#" << ids[i] << "\">"
        << escapeXml(c.name) << "</a></td><td class=\"text " << statusClass(c) << "\" data-v=\"" << escapeXml(c.status)
        << "\">" << escapeXml(c.status) << "</td>" << levelCell(c.confidence, c.confidenceReasons) << numberCell(topTwistValue(c, &ModelledSet::mainTwist), 1)
        << numberCell(c.referenceMeanTwist, 1) << numberCell(topTwistValue(c, &ModelledSet::directionError), 1)
        << numberCell(bestSetValue(c, &ModelledSet::twoWay), 2);
    if (anyShape) out << numberCell(c.shapeDirectionError, 1);
    out << numberCell(c.bestTwoWay ? c.bestTwoWay->lines : kMissing, 0) << numberCell(c.resolution, 1)
        << numberCell(c.seconds, 1) << "</tr>\n";
  }
  out << "</tbody></table>\n";
}

void link(std::ostream& out, const std::string& path, const std::string& label, const std::string& outDir) {
  out << "<li><a href=\"" << escapeXml(relativeLink(path, outDir)) << "\">" << escapeXml(label) << "</a></li>\n";
}

void writeFileLinks(std::ostream& out, const CaseView& c, const std::string& outDir) {
  out << "<h3>Files</h3>\n<ul class=\"files\">\n";
  std::error_code error;
  auto linkIfThere = [&](const std::string& path, const std::string& label) {
    if (!path.empty() && fs::exists(path, error)) link(out, path, label, outDir);
  };
  const std::string folder = c.caseFolder + "/";
  linkIfThere(folder + "record.json", "batch record (record.json)");
  linkIfThere(folder + c.name + ".log", "standard output of the run (" + c.name + ".log)");
  linkIfThere(folder + c.name + ".err", "standard error of the run (" + c.name + ".err)");
  linkIfThere(folder + c.name + "_view.pml", "PyMOL viewer script (" + c.name + "_view.pml)");
  linkIfThere(folder + c.name + "_view.cxc", "ChimeraX viewer script (" + c.name + "_view.cxc)");
  linkIfThere(c.summaryPath, "run summary (JSON)");
  linkIfThere(c.metaPath, "case description (meta.json)");
  if (!c.outputDir.empty() && !c.protein.empty()) {
    const std::string prefix = (c.outputDir.back() == '/' ? c.outputDir : c.outputDir + "/") + c.protein;
    linkIfThere(prefix + "_bestResult.txt", "best-result table row");
    linkIfThere(prefix + "_rms.txt", "RMS table row");
  }
  linkIfThere(c.outputDir, "analysis output folder (stage PDB files)");
  out << "</ul>\n";
}

// What a case without a model answers, first: the shape direction and shape
// twist, where the sheet lies, and the analysis's candidate labelled as such.
void writeAnswer(std::ostream& out, const CaseView& c) {
  out << "<p class=\"answer\"><b>Shape direction</b> "
      << (c.shapeDirection ? vectorText(*c.shapeDirection) + " (unit vector, map frame)" : std::string("\u2013"))
      << " \u00b7 <b>shape twist</b> " << formatNumber(c.shapeTwist, 1) << "\u00b0 \u00b7 trust "
      << escapeXml(c.confidence.empty() ? "\u2013" : c.confidence) << "</p>\n";
  if (std::isfinite(c.twistFrom))
    out << "<p>The sheet's own twist lies between " << formatNumber(c.twistFrom, 0) << "\u00b0 and "
        << formatNumber(c.twistTo, 0) << "\u00b0 four times in five (twist trust " << escapeXml(c.twistConfidence)
        << ": " << escapeXml(c.twistReason) << ").</p>\n";
  if (!c.sheetConfidence.empty()) {
    const std::string reasons = joinedReasons(c.sheetConfidenceReasons);
    out << "<p>Is it a sheet: " << escapeXml(c.sheetConfidence) << (reasons.empty() ? "" : " (" + escapeXml(reasons) + ")")
        << ".</p>\n";
  }
  if (c.segmentCentre || !c.map.empty()) {
    out << "<p>Where it lies: " << (c.map.empty() ? std::string() : "map " + escapeXml(c.map) + ", ");
    if (c.segmentCentre)
      out << "centre " << vectorText(Vectors(c.segmentCentre->x, c.segmentCentre->y, c.segmentCentre->z)) << " \u00c5, ";
    out << "extent " << formatNumber(c.segmentLength, 0) << " \u00d7 " << formatNumber(c.segmentWidth, 0)
        << " \u00c5, area " << formatNumber(c.segmentArea, 0) << " \u00c5\u00b2, sheet probability "
        << formatNumber(c.sheetProbability, 2) << ".</p>\n";
  }
  if (c.topTwist)
    out << "<p class=\"lead\">The analysis's candidate: its top-twist set " << escapeXml(c.topTwist->set)
        << ", main twist " << formatNumber(c.topTwist->mainTwist, 1) << "\u00b0"
        << (c.topTwist->direction ? ", direction " + vectorText(*c.topTwist->direction) : std::string())
        << ". It is the line set the twist search ranks first, not the answer: on real sheets it is seldom along "
           "the strands.</p>\n";
}

void writeCaseSection(std::ostream& out, const CaseView& c, const std::string& id, const std::string& outDir) {
  out << "<section class=\"case\" id=\"" << id << "\">\n<h2>" << escapeXml(c.name) << " <small class=\""
      << statusClass(c) << "\">" << escapeXml(c.status) << "</small> " << trustBadge(c, false) << "</h2>\n";
  if (!c.confidenceReasons.empty()) {
    out << "<p>Trust in the shape direction: " << escapeXml(c.confidence) << ", because</p>\n<ul class=\"reasons\">";
    for (const std::string& r : c.confidenceReasons) out << "<li>" << escapeXml(r) << "</li>";
    out << "</ul>\n";
  }
  if (c.withoutModel()) writeAnswer(out, c);
  if (c.status == "no_candidate")
    out << "<p class=\"note\">No candidate of the twist search passed its filter"
        << (c.withoutModel() ? "; the shape direction and shape twist stand on their own." : ".") << "</p>\n";
  else if (!c.finished() && !c.message.empty())
    out << "<p class=\"message\">" << escapeXml(c.message) << "</p>\n";
  else if (!c.finished())
    out << "<p class=\"message\">The run gave no message; see its standard output and error below.</p>\n";
  // That a case without a model has no reference strands goes without saying.
  for (const std::string& w : c.warnings)
    if (!(c.withoutModel() && (w == "no_reference_strands" || w == "no_reference")))
      out << "<p class=\"note\">warning: " << escapeXml(w) << "</p>\n";
  for (const std::string& n : c.notes) out << "<p class=\"note\">" << escapeXml(n) << "</p>\n";
  if (c.poorModelFit())
    out << "<p class=\"note\">Poor model-map fit: " << percent(c.modelCaInDensity) << " of the strand C-alphas in "
        << "density (at least " << percent(kMinStrandCaInDensity) << " expected), correlation "
        << formatNumber(c.modelMapCorrelation, 2) << " (at least " << formatNumber(kMinModelMapCorrelation, 1)
        << " expected). The reference model may not belong here: do not trust the errors measured against it.</p>\n";
  if (!c.withoutModel() && c.topTwist && c.topTwist->direction)
    out << "<p>Strand direction (top-twist set " << escapeXml(c.topTwist->set) << ", main twist "
        << formatNumber(c.topTwist->mainTwist, 1) << "\u00b0): " << vectorText(*c.topTwist->direction)
        << (c.shapeDirection ? "; from the sheet's shape: " + vectorText(*c.shapeDirection) : std::string())
        << ", unit vectors in the map frame.</p>\n";
  if (c.hasSummary) {
    // Without a model and a candidate, the neighbours' chart would be empty.
    const bool neighbours = !c.withoutModel() || c.topTwist;
    out << "<div class=\"figures\">\n<div class=\"picture\">" << drawSheetPicture(c) << "</div>\n<div class=\"charts\">"
        << (neighbours ? drawNeighbourTwistChart(c) : std::string()) << drawCandidateChart(c) << "</div>\n</div>\n";
  } else {
    out << "<p>No run summary: nothing to draw.</p>\n";
  }
  writeFileLinks(out, c, outDir);
  out << "<p><a href=\"#cases\">back to the table</a></p>\n</section>\n";
}

}  // namespace

std::string relativeLink(const std::string& target, const std::string& from) {
  std::error_code error;
  const fs::path base = fs::absolute(from, error).lexically_normal();
  const fs::path path = fs::absolute(target, error).lexically_normal();
  fs::path relative = path.lexically_relative(base);
  if (relative.empty()) relative = path;
  return percentEncode(relative.generic_string());
}

std::string renderReportPage(const std::vector<CaseView>& cases, const std::vector<MapView>& maps,
                             const std::string& outDir) {
  std::ostringstream out;
  const std::vector<std::string> ids = sectionIds(cases);
  std::vector<size_t> modelled, unmodelled;
  for (size_t i = 0; i < cases.size(); ++i) (cases[i].withoutModel() ? unmodelled : modelled).push_back(i);
  std::vector<CaseView> withModel;
  for (size_t i : modelled) withModel.push_back(cases[i]);
  bool anyShape = false, anyReferenceValue = false;
  for (const CaseView& c : withModel) {
    anyShape = anyShape || std::isfinite(c.shapeDirectionError);
    anyReferenceValue = anyReferenceValue || std::isfinite(c.referenceMeanTwist) ||
                        std::isfinite(topTwistValue(c, &ModelledSet::directionError)) ||
                        std::isfinite(bestSetValue(c, &ModelledSet::twoWay));
  }
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<title>Velmorantique batch report</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n"
      << "<h1>Velmorantique batch report</h1>\n<p class=\"lead\">" << cases.size()
      << (cases.size() == 1 ? " case" : " cases") << " in "
      << escapeXml(fs::absolute(outDir).lexically_normal().string()) << ". ";
  if (!modelled.empty())
    out << (unmodelled.empty() ? "Each sheet's" : std::to_string(modelled.size()) + " with a model: each sheet's")
        << " strand direction and twist were searched in its density map and compared with the reference "
           "strands of its PDB file. ";
  if (!unmodelled.empty())
    out << (modelled.empty() ? "Each sheet" : std::to_string(unmodelled.size()) + " without a model: each sheet")
        << " has no model to compare with; its strand direction and twist were read from the shape of its density "
           "alone (the shape direction and shape twist), and the verdict says how far to trust them. ";
  out << "<a href=\"#meaning\">What the numbers mean</a>.</p>\n";
  writeCounts(out, cases, maps);
  writeHeadline(out, withModel);
  if (anyReferenceValue)
    out << "<h2 id=\"plots\">The batch at a glance</h2>\n<p>Cases with a model. Points near the dashed line found "
           "the reference twist; bars to the left in the middle and right plots are better.</p>\n<div class=\"plots\">"
        << drawTwistScatter(withModel) << drawDirectionErrorHistogram(withModel) << drawTwoWayHistogram(withModel)
        << "</div>\n";
  if (!modelled.empty()) writeCaseTable(out, cases, ids, modelled, anyShape, !unmodelled.empty());
  if (!unmodelled.empty()) writeFoundTable(out, cases, ids, unmodelled);
  if (!maps.empty()) writeMaps(out, cases, ids, maps);
  writeMeaning(out);
  for (size_t i = 0; i < cases.size(); ++i) writeCaseSection(out, cases[i], ids[i], outDir);
  out << "<script>" << kSortScript << "</script>\n</body>\n</html>\n";
  return out.str();
}

}  // namespace vel::report
