// The two small charts beside each case's picture.

#include <algorithm>
#include <cmath>

#include "pictures.h"
#include "svg.h"

namespace vel::report {

namespace {

constexpr double kWidth = 350, kHeight = 230;

struct Series {
  std::vector<double> values;
  std::string colour, label, dash;
  bool squares = false;
};

double meanOf(const std::vector<double>& values) {
  double sum = 0;
  int n = 0;
  for (double v : values)
    if (std::isfinite(v)) sum += v, ++n;
  return n ? sum / n : kMissing;
}

}  // namespace

std::string drawNeighbourTwistChart(const CaseView& c) {
  Svg svg(kWidth, kHeight, "Twist between neighbouring lines of " + c.name);
  svg.text(10, 16, "Twist between neighbouring lines", 12, "start", "#111", "bold");
  std::vector<Series> series;
  // Without a reference the best two-way set is nearest to nothing, and the
  // top-twist set is the analysis's candidate.
  const bool modelled = !c.referenceAxes.empty();
  if (c.bestTwoWay && modelled) series.push_back({c.bestTwoWay->twists, kBestSetColour, "best two-way", "", true});
  if (c.topTwist) series.push_back({c.topTwist->twists, kTopTwistColour, modelled ? "top twist" : "analysis's candidate", ""});
  // The reference angles are signed (natural sheets negative); the found twist
  // is the unsigned angle between lines, so the two are compared in size.
  std::vector<double> reference;
  for (double r : c.referenceTwists) reference.push_back(std::fabs(r));
  if (!reference.empty()) series.push_back({reference, kReferenceColour, "reference |angle|", "4 3"});

  size_t pairs = 1;
  double top = 35;
  for (const Series& s : series) {
    pairs = std::max(pairs, s.values.size());
    for (double v : s.values)
      if (std::isfinite(v)) top = std::max(top, v);
  }
  const PlotFrame frame = PlotFrame::within(kWidth, kHeight, 52, 30, 18, 50, 0.5, static_cast<double>(pairs) + 0.5, 0,
                                            niceRange(0, top, 4).second);
  frame.draw(svg, "neighbouring pair across the sheet", "twist (\u00b0)", static_cast<int>(std::min<size_t>(pairs, 8)),
             4);
  if (series.empty()) svg.text(kWidth / 2, kHeight / 2, "no lines to compare", 11, "middle", "#a00");
  double legendX = 20;
  for (const Series& s : series) {
    std::vector<ScreenPoint> pts;
    for (size_t i = 0; i < s.values.size(); ++i) pts.push_back({frame.x(i + 1.0), frame.y(s.values[i])});
    svg.polyline(pts, s.colour, 1.6, s.dash);
    for (const ScreenPoint& q : pts) {
      if (s.squares)
        svg.rect(q.first - 3.5, q.second - 3.5, 7, 7, s.colour);
      else
        svg.circle(q.first, q.second, 3.2, s.colour);
    }
    svg.line(legendX, kHeight - 8, legendX + 16, kHeight - 8, s.colour, 2, s.dash);
    svg.text(legendX + 20, kHeight - 4, s.label, 9.5);
    legendX += 30 + 5.4 * static_cast<double>(s.label.size());
  }
  return svg.str();
}

std::string drawCandidateChart(const CaseView& c) {
  Svg svg(kWidth, kHeight, "Main twist of every candidate of " + c.name);
  svg.text(10, 16, "Main twist of the 54 candidates", 12, "start", "#111", "bold");
  static const char* const kShiftColours[] = {"#1f78b4", "#6a3d9a", "#b15928"};
  double top = 35;
  bool substituted = false;
  std::vector<std::pair<const CandidateTwist*, double>> shown;
  for (const CandidateTwist& t : c.candidates) {
    // A rejected candidate may carry no main twist; its mean twist stands in.
    double value = t.mainTwist;
    if (!std::isfinite(value)) {
      value = meanOf(t.twists);
      substituted = substituted || std::isfinite(value);
    }
    if (!std::isfinite(value)) continue;
    shown.push_back({&t, value});
    top = std::max(top, value);
  }
  const PlotFrame frame = PlotFrame::within(kWidth, kHeight, 52, 30, 18, 50, -10, 180, 0, niceRange(0, top, 4).second);
  frame.draw(svg, "orientation (\u00b0)", "twist (\u00b0)", 10, 4);
  if (substituted) svg.text(kWidth - 10, 16, "rejected: mean twist", 9.5, "end", "#555");
  for (const auto& [t, value] : shown) {
    const std::string colour = kShiftColours[std::clamp(t->shift, 0, 2)];
    const double x = frame.x(t->angle + (t->shift - 1) * 2.2), y = frame.y(value);
    const std::string tip =
        t->set + ": " + formatNumber(value, 1) + "\u00b0" + (t->accepted ? ", accepted" : ", rejected");
    if (t->accepted)
      svg.circle(x, y, 4, colour, "#000", tip);
    else
      svg.circle(x, y, 2.6, "#fff", colour, tip);
  }
  if (c.candidates.empty()) svg.text(kWidth / 2, kHeight / 2, "no candidates in the summary", 11, "middle", "#a00");
  double legendX = 14;
  for (int s = 0; s < 3; ++s) {
    svg.circle(legendX + 4, kHeight - 8, 3.5, kShiftColours[s]);
    svg.text(legendX + 11, kHeight - 4, "shift " + std::to_string(s), 9.5);
    legendX += 58;
  }
  svg.circle(legendX + 4, kHeight - 8, 4, "#888", "#000");
  svg.text(legendX + 11, kHeight - 4, "accepted", 9.5);
  svg.circle(legendX + 68, kHeight - 8, 2.6, "#fff", "#888");
  svg.text(legendX + 75, kHeight - 4, "rejected", 9.5);
  return svg.str();
}

}  // namespace vel::report
