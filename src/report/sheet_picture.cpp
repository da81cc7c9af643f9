// The picture of one case, looking down the sheet normal onto the centre plane.

#include <algorithm>
#include <cmath>
#include <map>

#include "pictures.h"
#include "svg.h"

namespace vel::report {

namespace {

constexpr double kWidth = 600, kHeight = 500;
constexpr double kAreaLeft = 12, kAreaTop = 62, kAreaSize = 420;

// In-plane axes: u along the strands where known, v = n x u, so that the
// viewer at +n sees u to the right and v up.
struct ViewFrame {
  Coordinate centre;
  Vectors u, v, n;

  static ViewFrame make(const CaseView& c) {
    ViewFrame f;
    f.centre = c.centre;
    f.n = c.normal;
    std::vector<Vectors> hints;
    if (c.referenceAxis) hints.push_back(*c.referenceAxis);
    // Without a reference, the answer (the shape direction) runs to the right.
    if (!c.referenceAxis && c.shapeDirection) hints.push_back(*c.shapeDirection);
    if (c.topTwist && c.topTwist->direction) hints.push_back(*c.topTwist->direction);
    if (c.bestTwoWay && c.bestTwoWay->direction) hints.push_back(*c.bestTwoWay->direction);
    hints.push_back(Vectors(1, 0, 0));
    hints.push_back(Vectors(0, 1, 0));
    for (const Vectors& h : hints) {
      const Vectors inPlane(h.x - f.n.x * h.dot(f.n), h.y - f.n.y * h.dot(f.n), h.z - f.n.z * h.dot(f.n));
      if (inPlane.length() > 0.2) {
        f.u = inPlane.unit();
        break;
      }
    }
    f.v = f.n.cross(f.u);
    return f;
  }
  double across(Coordinate p) const { return Vectors(centre, p).dot(u); }
  double along(Coordinate p) const { return Vectors(centre, p).dot(v); }
  double height(Coordinate p) const { return Vectors(centre, p).dot(n); }
};

// Picture extent in plane coordinates, and the map onto the drawing area.
struct Placement {
  double minU = 1e300, maxU = -1e300, minV = 1e300, maxV = -1e300;
  double scale = 1, x0 = 0, y0 = 0;

  void include(double pu, double pv) {
    if (!std::isfinite(pu) || !std::isfinite(pv)) return;
    minU = std::min(minU, pu);
    maxU = std::max(maxU, pu);
    minV = std::min(minV, pv);
    maxV = std::max(maxV, pv);
  }
  void fit() {
    if (minU > maxU) minU = -10, maxU = 10, minV = -10, maxV = 10;
    const double span = std::max({maxU - minU, maxV - minV, 4.0}) * 1.08;
    scale = kAreaSize / span;
    x0 = kAreaLeft + kAreaSize / 2 - (minU + maxU) / 2 * scale;
    y0 = kAreaTop + kAreaSize / 2 + (minV + maxV) / 2 * scale;
  }
  ScreenPoint at(double pu, double pv) const { return {x0 + pu * scale, y0 - pv * scale}; }
};

std::string titleLine(const CaseView& c) {
  auto value = [](double v, int decimals, const char* unit) {
    return std::isfinite(v) ? formatNumber(v, decimals) + unit : std::string("n/a");
  };
  if (c.referenceAxes.empty())
    return "shape twist " + value(c.shapeTwist, 1, "\u00b0") + " \u00b7 " +
           (c.topTwist ? "the analysis's candidate: main twist " + value(c.topTwist->mainTwist, 1, "\u00b0")
                       : std::string("no candidate passed the twist filter"));
  std::string line = c.topTwist ? "main twist " + value(c.topTwist->mainTwist, 1, "\u00b0")
                                : std::string("no candidate passed the twist filter");
  line += " \u00b7 reference twist " + value(c.referenceMeanTwist, 1, "\u00b0");
  if (c.topTwist) line += " \u00b7 direction error " + value(c.topTwist->directionError, 1, "\u00b0");
  if (c.bestTwoWay) line += " \u00b7 two-way " + value(c.bestTwoWay->twoWay, 2, " \u00c5");
  return line;
}

// Every 4th point of a 0.1 Å stick is enough for a line a few pixels wide;
// on a sheet so wide that they would fall within a pixel of each other,
// fewer still, one a pixel or so apart.
std::vector<ScreenPoint> projectLine(const PointList& line, const ViewFrame& f, const Placement& p) {
  std::vector<ScreenPoint> out;
  const double perPixel = 1.0 / (0.1 * p.scale);
  const size_t step = perPixel > 4 && std::isfinite(perPixel) ? static_cast<size_t>(std::min(perPixel, 1e6)) : 4;
  for (size_t i = 0; i < line.size(); i += step) out.push_back(p.at(f.across(line[i]), f.along(line[i])));
  if (!line.empty() && (line.size() - 1) % step != 0) out.push_back(p.at(f.across(line.back()), f.along(line.back())));
  return out;
}

void drawHeights(Svg& svg, const CaseView& c, const ViewFrame& f, const Placement& p, double heightRange) {
  // Points are binned into square cells about one voxel wide, each coloured by
  // the mean height of its points: a readable map that stays small.
  const double cell = std::max(1.0, (p.maxU - p.minU) / 110);
  std::map<std::pair<long, long>, std::pair<double, int>> cells;
  for (const Coordinate& q : c.surface) {
    const double h = f.height(q);
    if (!std::isfinite(h)) continue;
    auto& bin = cells[{std::lround(std::floor(f.across(q) / cell)), std::lround(std::floor(f.along(q) / cell))}];
    bin.first += h;
    bin.second += 1;
  }
  const double side = cell * p.scale + 0.4;  // slight overlap hides the seams between cells
  for (const auto& [key, sum] : cells) {
    const ScreenPoint corner = p.at(static_cast<double>(key.first) * cell, static_cast<double>(key.second + 1) * cell);
    svg.rect(corner.first, corner.second, side, side, divergingColour(sum.first / sum.second / heightRange));
  }
}

void drawColourBar(Svg& svg, double heightRange) {
  const double x = 452, top = 84, h = 170, w = 14;
  const int steps = 40;
  for (int i = 0; i < steps; ++i) {
    const double t = 1.0 - 2.0 * (i + 0.5) / steps;
    svg.rect(x, top + h * i / steps, w, h / steps + 0.3, divergingColour(t));
  }
  svg.rect(x, top, w, h, "none", "#777");
  for (double tick : niceTicks(-heightRange, heightRange, 4)) {
    const double y = top + h * (heightRange - tick) / (2 * heightRange);
    svg.line(x + w, y, x + w + 4, y, "#555", 1);
    svg.text(x + w + 7, y + 4, formatNumber(tick, heightRange < 2 ? 1 : 0), 10);
  }
  svg.text(x - 6, top - 22, "height above", 10.5);
  svg.text(x - 6, top - 9, "centre plane (\u00c5)", 10.5);
}

void drawLegend(Svg& svg, const CaseView& c) {
  double y = 280;
  const double x = 450;
  auto entry = [&](const std::string& colour, const std::string& label, double width) {
    svg.line(x, y, x + 26, y, colour, width);
    svg.text(x + 32, y + 4, label, 10.5);
    y += 20;
  };
  const bool reference = !c.referenceAxes.empty();
  if (c.shapeDirection) {
    svg.arrow(x, y, x + 26, y, kShapeColour, 3.5, 11);
    svg.text(x + 32, y + 4, "shape direction", 10.5, "start", "#222", reference ? "normal" : "bold");
    y += 20;
  }
  if (reference) entry(kReferenceColour, "reference strand axis", 2.2);
  if (c.bestTwoWay && reference) entry(kBestSetColour, "best two-way set", 5);
  if (c.topTwist) entry(kTopTwistColour, reference ? "top-twist set" : "analysis's candidate", 2);
  if (c.bestTwoWay && reference) svg.text(x, y, "best: " + c.bestTwoWay->set, 9.5, "start", kBestSetColour), y += 14;
  if (c.topTwist) svg.text(x, y, "top twist: " + c.topTwist->set, 9.5, "start", kTopTwistColour), y += 14;
  if (reference && c.topTwist && c.bestTwoWay && c.topTwist->set == c.bestTwoWay->set)
    svg.text(x, y, "(one candidate is both)", 9.5, "start", "#555"), y += 14;
}

void drawScaleBar(Svg& svg, const Placement& p) {
  const double spanAngstrom = kAreaSize / p.scale;
  double length = 5;
  for (double candidate : {1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0})
    if (candidate <= spanAngstrom / 4) length = candidate;
  const double x = kAreaLeft + 12, y = kAreaTop + kAreaSize - 12;
  svg.rect(x - 4, y - 16, length * p.scale + 8, 22, "#ffffff");
  svg.line(x, y, x + length * p.scale, y, "#000", 3);
  svg.text(x + length * p.scale / 2, y - 5, formatNumber(length, 0) + " \u00c5", 10, "middle");
}

}  // namespace

std::string drawSheetPicture(const CaseView& c) {
  Svg svg(kWidth, kHeight, "Sheet of " + c.name + " seen down its normal");
  svg.text(10, 22, c.name, 16, "start", "#111", "bold");
  svg.text(10, 42, titleLine(c), 11.5);
  if (!c.hasSheet) {
    svg.text(kWidth / 2, kHeight / 2, "no sheet plane in the summary: nothing to draw", 13, "middle", "#a00");
    return svg.str();
  }
  const ViewFrame f = ViewFrame::make(c);
  Placement p;
  double heightRange = 0;
  for (const Coordinate& q : c.surface) {
    p.include(f.across(q), f.along(q));
    const double h = std::fabs(f.height(q));
    if (std::isfinite(h)) heightRange = std::max(heightRange, h);
  }
  for (const ReferenceAxis& a : c.referenceAxes) {
    p.include(f.across(a.start), f.along(a.start));
    p.include(f.across(a.end), f.along(a.end));
  }
  for (const std::optional<ModelledSet>* set : {&c.topTwist, &c.bestTwoWay})
    if (*set)
      for (const PointList& line : (*set)->strandLines)
        for (const Coordinate& q : line) p.include(f.across(q), f.along(q));
  p.fit();
  heightRange = niceRange(0, std::max(heightRange, 0.5), 4).second;

  svg.rect(kAreaLeft, kAreaTop, kAreaSize, kAreaSize, "#f4f4f4", "#bbb");
  drawHeights(svg, c, f, p, heightRange);
  if (c.surface.empty())
    svg.text(kAreaLeft + kAreaSize / 2, kAreaTop + 20, "surface stage file not found", 11, "middle", "#a00");

  // The best set is drawn wide underneath, so the top-twist set stays visible on it.
  // Without a reference it is only the nearest to nothing, and is left out.
  if (c.bestTwoWay && !c.referenceAxes.empty())
    for (const PointList& line : c.bestTwoWay->strandLines)
      svg.polyline(projectLine(line, f, p), kBestSetColour, 5, "", 0.85);
  if (c.topTwist)
    for (const PointList& line : c.topTwist->strandLines) svg.polyline(projectLine(line, f, p), kTopTwistColour, 2);

  for (const ReferenceAxis& a : c.referenceAxes) {
    const ScreenPoint s = p.at(f.across(a.start), f.along(a.start));
    const ScreenPoint e = p.at(f.across(a.end), f.along(a.end));
    svg.arrow(s.first, s.second, e.first, e.second, kReferenceColour, 2.2, 9);
    // The label sits beyond the C-terminal end, on the side the axis points to.
    const double dx = e.first - s.first, dy = e.second - s.second, len = std::hypot(dx, dy);
    const double lx = e.first + (len > 0 ? dx / len * 8 : 0), ly = e.second + (len > 0 ? dy / len * 8 : 0) + 4;
    svg.text(lx, ly, a.residues, 10.5, dx >= 0 ? "start" : "end", "#000", "bold");
  }
  if (c.shapeDirection) {
    // Wide, on a white edge, across most of the sheet: the answer stands out from the lines under it.
    const double span = (p.maxU - p.minU) * 0.42;
    const Vectors d = *c.shapeDirection;
    const ScreenPoint s = p.at(-d.dot(f.u) * span, -d.dot(f.v) * span);
    const ScreenPoint e = p.at(d.dot(f.u) * span, d.dot(f.v) * span);
    svg.line(s.first, s.second, e.first, e.second, "#ffffff", 7);
    svg.arrow(s.first, s.second, e.first, e.second, kShapeColour, 3.5, 14);
  }
  const ScreenPoint centre = p.at(0, 0);
  svg.circle(centre.first, centre.second, 3, "#000", "#fff", "sheet centre");
  drawScaleBar(svg, p);
  drawColourBar(svg, heightRange);
  drawLegend(svg, c);
  return svg.str();
}

}  // namespace vel::report
