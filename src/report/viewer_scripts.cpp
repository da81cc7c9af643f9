// Scripts that open one finished case in PyMOL or ChimeraX: the map as a
// mesh at the run's threshold, the reference strands, and the best set's
// lines and C-alpha chains, coloured and bonded, centred on the sheet.

#include "viewer_scripts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "stage_files.h"

namespace vel::report {

namespace {

// Three decimals, as %.3f writes them; a coordinate too large for the
// buffer is no place a viewer can go, and is written as nan.
std::string coordinate(double v) {
  char out[48];
  const std::to_chars_result got = std::to_chars(out, out + sizeof out, v, std::chars_format::fixed, 3);
  return got.ec == std::errc() ? std::string(out, got.ptr) : std::string("nan");
}

std::string thresholdText(double threshold) {
  char out[32];
  std::snprintf(out, sizeof out, "%.6g", threshold);
  return out;
}

// The lines shown: the set nearest the reference, or without one the
// analysis's candidate (the top-twist set).
const ModelledSet* shownSet(const CaseView& c) {
  if (c.topTwist && (c.withoutModel() || !c.bestTwoWay)) return &*c.topTwist;
  return c.bestTwoWay ? &*c.bestTwoWay : nullptr;
}

// The shape direction drawn as lines across the sheet: parallel to it, 4.8 Å
// apart (the strands' spacing), in the sheet's centre plane, as far as the
// fitted surface reaches (or 10 Å either way without it).
std::vector<std::pair<Coordinate, Coordinate>> shapeLines(const CaseView& c) {
  std::vector<std::pair<Coordinate, Coordinate>> lines;
  if (!c.shapeDirection || !c.hasSheet) return lines;
  const Vectors n = c.normal;
  const Vectors& d0 = *c.shapeDirection;
  const Vectors inPlane(d0.x - n.x * d0.dot(n), d0.y - n.y * d0.dot(n), d0.z - n.z * d0.dot(n));
  if (!(inPlane.length() > 0.1)) return lines;
  const Vectors d = inPlane.unit(), across = n.cross(d);
  double lo = -10, hi = 10, left = -10, right = 10;
  if (!c.surface.empty()) {
    lo = hi = left = right = 0;
    for (const Coordinate& q : c.surface) {
      const Vectors r(c.centre, q);
      lo = std::min(lo, r.dot(d)), hi = std::max(hi, r.dot(d));
      left = std::min(left, r.dot(across)), right = std::max(right, r.dot(across));
    }
  }
  constexpr double kSpacing = 4.8;
  constexpr int kMostLines = 15;
  const int first = std::max(static_cast<int>(std::ceil(left / kSpacing)), -kMostLines / 2);
  const int last = std::min(static_cast<int>(std::floor(right / kSpacing)), kMostLines / 2);
  auto at = [&](double along, double side) {
    return Coordinate(c.centre.x + d.x * along + across.x * side, c.centre.y + d.y * along + across.y * side,
                      c.centre.z + d.z * along + across.z * side);
  };
  for (int k = first; k <= last; ++k) lines.push_back({at(lo, k * kSpacing), at(hi, k * kSpacing)});
  return lines;
}

// Text from a name or a path goes into a script line only when every
// character is one that neither viewer reads as anything but part of a
// file name: ASCII letters and digits, space and _ - . / +. PyMOL splits a
// line at ';' before it sees a '#' comment (so a comment is no shelter),
// expands '~' and '$', and reads ',', '=', quotes and brackets as argument
// syntax; ChimeraX splits at ';' and ends a quoted path at '"'. Anything
// else leaves the text out of the script, comments included: only what
// this list allows is known to be harmless.
bool scriptSafe(const std::string& text) {
  if (text.empty()) return false;
  for (char ch : text) {
    const bool letterOrDigit = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
    if (!letterOrDigit && (ch == '\0' || !std::strchr(" _-./+", ch))) return false;
  }
  return true;
}

// The stage files of a set that the script can name.
std::vector<std::string> loadable(const std::vector<std::string>& paths) {
  std::vector<std::string> out;
  for (const std::string& p : paths)
    if (scriptSafe(p)) out.push_back(p);
  return out;
}

// The case and its script as the first comment line names them: by name
// when the name is safe to write.
std::string caseLabel(const CaseView& c) { return scriptSafe(c.name) ? c.name : "This case"; }
std::string scriptName(const CaseView& c, const std::string& ending) {
  return scriptSafe(c.name) ? c.name + "_view." + ending : "this script";
}

std::string vectorText(const Vectors& v) {
  return "(" + coordinate(v.x) + " " + coordinate(v.y) + " " + coordinate(v.z) + ")";
}

// The comment lines that open a script: what is shown, the answer first for
// a case without a model. No ';' (PyMOL and ChimeraX end a line there, even
// in a comment) and nothing from a name or path but what scriptSafe allows.
std::string header(const CaseView& c, const std::string& viewer, const std::string& ending) {
  std::ostringstream s;
  s << "# " << caseLabel(c) << " in " << viewer << ": " << (viewer == "PyMOL" ? "pymol " : "chimerax ")
    << scriptName(c, ending) << (ending == "cxc" ? " (or: open " + scriptName(c, ending) + ")" : std::string()) << "\n";
  if (c.withoutModel()) {
    s << "# without a model: shape direction "
      << (c.shapeDirection ? vectorText(*c.shapeDirection) : std::string("unknown")) << ", shape twist "
      << (std::isfinite(c.shapeTwist) ? coordinate(c.shapeTwist) + " degrees" : std::string("unknown"))
      << (c.confidence.empty() || !scriptSafe(c.confidence) ? std::string() : ", trust " + c.confidence) << "\n"
      << "# grey mesh: the map at the run's threshold\n"
      << "# purple lines: the shape direction, drawn across the sheet 4.8 A apart\n"
      << "# orange: the candidate of the analysis (its top-twist set), not the answer\n";
  } else {
    s << "# grey mesh: the map at the run's threshold\n# black: reference strand axes\n"
      << "# teal: lines of the set nearest the reference\n# orange: its C-alpha chains\n"
      << "# purple lines: the shape direction, drawn across the sheet 4.8 A apart\n";
  }
  return s.str();
}

// ChimeraX takes paths in double quotes.
std::string quoted(const std::string& path) { return "\"" + path + "\""; }

// Said when a file of the case could not be named in the script.
std::string leftOutNote(const CaseView& c, const ModelledSet* set) {
  std::vector<std::string> paths{c.mapPath, c.referencePoints};
  if (set) {
    paths.push_back(set->stickFile);
    paths.insert(paths.end(), set->caChainFiles.begin(), set->caChainFiles.end());
  }
  for (const std::string& p : paths)
    if (!p.empty() && !scriptSafe(p))
      return "# Some of this case's files have paths with characters other than letters, digits, space and\n"
             "# _ - . / +, which a script line cannot carry safely: they are left out; open them by hand.\n";
  return "";
}

}  // namespace

std::string pymolScript(const CaseView& c) {
  std::ostringstream s;
  const ModelledSet* set = shownSet(c);
  s << header(c, "PyMOL", "pml") << leftOutNote(c, set) << "reinitialize\n"
    << "bg_color white\n";
  if (scriptSafe(c.mapPath) && std::isfinite(c.threshold)) {
    // PyMOL rescales a map to its own mean and sigma unless told not to: the
    // mesh is drawn at the run's threshold in the map's own units.
    s << "set normalize_ccp4_maps, 0\nload " << c.mapPath << ", sheet_map\n"
      << "isomesh sheet_mesh, sheet_map, " << thresholdText(c.threshold) << "\n"
      << "color grey60, sheet_mesh\n"
      << "disable sheet_map\n";
  }
  // Pseudo-atoms are waters to PyMOL (crosses): show them as small spheres.
  if (!c.withoutModel() && scriptSafe(c.referencePoints))
    s << "load " << c.referencePoints << ", reference\n"
      << "hide everything, reference\nshow spheres, reference\nset sphere_scale, 0.3, reference\n"
      << "color grey20, reference\n";
  if (set && scriptSafe(set->stickFile)) {
    if (c.withoutModel())
      s << "load " << set->stickFile << ", candidate_lines\n"
        << "hide everything, candidate_lines\nshow spheres, candidate_lines\nset sphere_scale, 0.2, candidate_lines\n"
        << "color orange, candidate_lines\n";
    else
      s << "load " << set->stickFile << ", best_lines\n"
        << "hide everything, best_lines\nshow spheres, best_lines\nset sphere_scale, 0.25, best_lines\n"
        << "set_color best_teal, [0.106, 0.620, 0.467]\ncolor best_teal, best_lines\n";
  }
  const std::vector<std::pair<Coordinate, Coordinate>> lines = shapeLines(c);
  if (!lines.empty()) {
    s << "python\nfrom pymol.cgo import CYLINDER\nshape = []\n";
    for (const auto& [a, b] : lines)
      s << "shape += [CYLINDER, " << coordinate(a.x) << ", " << coordinate(a.y) << ", " << coordinate(a.z) << ", "
        << coordinate(b.x) << ", " << coordinate(b.y) << ", " << coordinate(b.z)
        << ", 0.35, 0.459, 0.439, 0.702, 0.459, 0.439, 0.702]\n";
    s << "cmd.load_cgo(shape, 'shape_direction')\npython end\n";
  }
  const std::vector<std::string> chains =
      set ? loadable(set->caChainFiles) : std::vector<std::string>();
  if (!chains.empty()) {
    for (size_t i = 0; i < chains.size(); ++i) s << "load " << chains[i] << ", best_ca_" << i << "\n";
    // The chains are written without bonds: join consecutive C-alphas.
    s << "python\n"
      << "for name in cmd.get_names('objects'):\n"
      << "    if name.startswith('best_ca_'):\n"
      << "        for serial in range(1, cmd.count_atoms(name)):\n"
      << "            cmd.bond('%s and id %d' % (name, serial), '%s and id %d' % (name, serial + 1))\n"
      << "python end\n"
      << "hide everything, best_ca_*\nshow sticks, best_ca_*\nshow spheres, best_ca_*\n"
      << "set sphere_scale, 0.45, best_ca_*\nset stick_radius, 0.3, best_ca_*\ncolor orange, best_ca_*\n";
  }
  if (c.hasSheet) {
    s << "pseudoatom sheet_centre, pos=[" << coordinate(c.centre.x) << ", " << coordinate(c.centre.y) << ", "
      << coordinate(c.centre.z) << "]\nhide everything, sheet_centre\n";
    s << "orient " << (set ? (c.withoutModel() ? "candidate_lines" : "best_lines or reference") : "sheet_centre") << "\n"
      << "center sheet_centre\n";
  }
  return s.str();
}

std::string chimeraxScript(const CaseView& c) {
  std::ostringstream s;
  const ModelledSet* set = shownSet(c);
  s << header(c, "ChimeraX", "cxc") << leftOutNote(c, set) << "close session\n"
    << "set bgColor white\n";
  int model = 0;
  if (scriptSafe(c.mapPath) && std::isfinite(c.threshold)) {
    ++model;
    s << "open " << quoted(c.mapPath) << " format mrc\n"
      << "volume #" << model << " style mesh level " << thresholdText(c.threshold) << " color gray\n";
  }
  if (!c.withoutModel() && scriptSafe(c.referencePoints)) {
    ++model;
    s << "open " << quoted(c.referencePoints) << " format pdb\n"
      << "style #" << model << " sphere\nsize #" << model << " atomRadius 0.3\ncolor #" << model << " #333333\n";
  }
  if (set && scriptSafe(set->stickFile)) {
    ++model;
    s << "open " << quoted(set->stickFile) << " format pdb\n"
      << "style #" << model << " sphere\nsize #" << model << " atomRadius 0.25\ncolor #" << model << " #1b9e77\n";
  }
  // The C-alpha chains as linked markers: bonds that the PDB files do not carry.
  if (set) {
    int chainModel = 100;
    for (const std::string& file : set->caChainFiles) {
      PointList cas;
      try {
        cas = readStagePoints(file);
      } catch (const std::exception&) {
        continue;  // the picture notes unreadable files; the script just leaves the chain out
      }
      for (size_t i = 0; i < cas.size(); ++i) {
        s << "marker #" << chainModel << " position " << coordinate(cas[i].x) << "," << coordinate(cas[i].y) << ","
          << coordinate(cas[i].z) << " color orange radius 0.5\n";
        if (i > 0) s << "marker link #" << chainModel << ":" << i << "," << i + 1 << " color orange radius 0.25\n";
      }
      ++chainModel;
    }
  }
  int lineModel = 200;
  for (const auto& [a, b] : shapeLines(c)) {
    for (const Coordinate& p : {a, b})
      s << "marker #" << lineModel << " position " << coordinate(p.x) << "," << coordinate(p.y) << "," << coordinate(p.z)
        << " color #7570b3 radius 0.35\n";
    s << "marker link #" << lineModel << ":1,2 color #7570b3 radius 0.35\n";
    ++lineModel;
  }
  s << "view\n";
  if (c.hasSheet)
    s << "cofr " << coordinate(c.centre.x) << "," << coordinate(c.centre.y) << "," << coordinate(c.centre.z) << "\n";
  return s.str();
}

}  // namespace vel::report
