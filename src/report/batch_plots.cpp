// The plots over the whole batch, at the top of the report.

#include <algorithm>
#include <cmath>

#include "pictures.h"
#include "svg.h"

namespace vel::report {

namespace {

constexpr double kWidth = 380, kHeight = 300;

struct Histogram {
  double width;
  std::vector<int> counts;
  int outside = 0;  // values not finite
  Histogram(double binWidth, int bins) : width(binWidth), counts(static_cast<size_t>(bins), 0) {}
  void add(double v) {
    if (!std::isfinite(v) || v < 0) {
      ++outside;
      return;
    }
    // Values past the last bin are counted in it; clamped before the cast, which a huge value would overflow.
    const size_t bin = static_cast<size_t>(std::min(v / width, static_cast<double>(counts.size() - 1)));
    ++counts[bin];
  }
  int highest() const { return counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end()); }
};

// Bars of one or more histograms side by side in each bin.
void drawBars(Svg& svg, const PlotFrame& frame, const std::vector<std::pair<Histogram, std::string>>& sets) {
  const double slots = static_cast<double>(sets.size());
  for (size_t s = 0; s < sets.size(); ++s) {
    const Histogram& h = sets[s].first;
    for (size_t b = 0; b < h.counts.size(); ++b) {
      if (h.counts[b] == 0) continue;
      const double x0 = frame.x(b * h.width), x1 = frame.x((b + 1) * h.width);
      const double slot = (x1 - x0 - 2) / slots;
      const double y = frame.y(h.counts[b]);
      svg.rect(x0 + 1 + slot * s, y, slot, frame.y(0) - y, sets[s].second);
    }
  }
}

}  // namespace

std::string drawTwistScatter(const std::vector<CaseView>& cases) {
  Svg svg(kWidth, kHeight, "Main twist found against the reference twist, one point per case");
  svg.text(10, 18, "Main twist found vs reference twist", 12.5, "start", "#111", "bold");
  double top = 40, lowRes = 1e300, highRes = -1e300;
  for (const CaseView& c : cases) {
    if (c.topTwist && std::isfinite(c.topTwist->mainTwist)) top = std::max(top, c.topTwist->mainTwist);
    if (std::isfinite(c.referenceMeanTwist)) top = std::max(top, std::fabs(c.referenceMeanTwist));
    if (std::isfinite(c.resolution)) lowRes = std::min(lowRes, c.resolution), highRes = std::max(highRes, c.resolution);
  }
  const double hi = niceRange(0, top, 4).second;
  const PlotFrame frame = PlotFrame::within(kWidth, kHeight, 56, 34, 20, 58, 0, hi, 0, hi);
  frame.draw(svg, "reference twist, size (\u00b0)", "main twist found (\u00b0)", 4, 4);
  svg.line(frame.x(0), frame.y(0), frame.x(hi), frame.y(hi), "#888", 1.2, "5 4");
  svg.text(frame.x(hi) - 4, frame.y(hi) + 14, "y = x", 10, "end", "#666");
  int drawn = 0;
  for (const CaseView& c : cases) {
    if (!c.topTwist || !std::isfinite(c.topTwist->mainTwist) || !std::isfinite(c.referenceMeanTwist)) continue;
    const double ref = std::fabs(c.referenceMeanTwist);
    const std::string colour = !std::isfinite(c.resolution) ? "#999"
                               : highRes > lowRes ? sequentialColour((c.resolution - lowRes) / (highRes - lowRes))
                                                  : sequentialColour(0.4);
    svg.circle(frame.x(ref), frame.y(c.topTwist->mainTwist), 4.5, colour, "#000",
               c.name + ": found " + formatNumber(c.topTwist->mainTwist, 1) + "\u00b0, reference " +
                   formatNumber(c.referenceMeanTwist, 1) + "\u00b0, resolution " + formatNumber(c.resolution, 1) +
                   " \u00c5");
    ++drawn;
  }
  if (drawn == 0) svg.text(kWidth / 2, kHeight / 2, "no case with both twists", 11, "middle", "#a00");
  // Resolution key
  const double kx = 60, ky = kHeight - 16;
  if (lowRes == highRes) {
    svg.rect(kx, ky - 5, 10, 10, sequentialColour(0.4));
    svg.text(kx + 14, ky + 4, "resolution " + formatNumber(lowRes, 1) + " \u00c5 (all cases)", 9.5);
  } else if (lowRes < highRes) {
    svg.text(kx, ky + 4, "resolution " + formatNumber(lowRes, 1) + " \u00c5", 9.5, "start");
    for (int i = 0; i < 20; ++i) svg.rect(kx + 118 + i * 4, ky - 5, 4.3, 10, sequentialColour(i / 19.0));
    svg.text(kx + 204, ky + 4, formatNumber(highRes, 1) + " \u00c5", 9.5);
  } else {
    svg.text(kx, ky + 4, "no resolution known (grey points)", 9.5);
  }
  return svg.str();
}

std::string drawDirectionErrorHistogram(const std::vector<CaseView>& cases) {
  Svg svg(kWidth, kHeight, "Histogram of strand direction errors");
  svg.text(10, 18, "Strand direction error", 12.5, "start", "#111", "bold");
  Histogram exact(10, 9), shape(10, 9);
  bool anyShape = false;
  for (const CaseView& c : cases) {
    if (c.topTwist && std::isfinite(c.topTwist->directionError)) exact.add(c.topTwist->directionError);
    if (std::isfinite(c.shapeDirectionError)) shape.add(c.shapeDirectionError), anyShape = true;
  }
  const double most = niceRange(0, std::max({exact.highest(), shape.highest(), 4}), 4).second;
  const PlotFrame frame = PlotFrame::within(kWidth, kHeight, 56, 34, 20, 58, 0, 90, 0, most);
  frame.draw(svg, "angle to the reference strands (\u00b0)", "cases", 9, 4);
  std::vector<std::pair<Histogram, std::string>> sets = {{exact, kTopTwistColour}};
  if (anyShape) sets.push_back({shape, kShapeColour});
  drawBars(svg, frame, sets);
  svg.rect(60, kHeight - 22, 12, 10, kTopTwistColour);
  svg.text(76, kHeight - 13, "twist search (top-twist set)", 9.5);
  if (anyShape) {
    svg.rect(230, kHeight - 22, 12, 10, kShapeColour);
    svg.text(246, kHeight - 13, "shape direction", 9.5);
  }
  return svg.str();
}

std::string drawTwoWayHistogram(const std::vector<CaseView>& cases) {
  Svg svg(kWidth, kHeight, "Histogram of two-way distances of the best sets");
  svg.text(10, 18, "Two-way distance of the best set", 12.5, "start", "#111", "bold");
  double top = 4;
  for (const CaseView& c : cases)
    if (c.bestTwoWay && std::isfinite(c.bestTwoWay->twoWay)) top = std::max(top, c.bestTwoWay->twoWay);
  const double hi = std::ceil(std::min(top, 50.0) * 2 + 1e-9) / 2;
  Histogram twoWay(0.5, static_cast<int>(hi / 0.5));
  for (const CaseView& c : cases)
    if (c.bestTwoWay) twoWay.add(c.bestTwoWay->twoWay);
  const double most = niceRange(0, std::max(twoWay.highest(), 4), 4).second;
  const PlotFrame frame = PlotFrame::within(kWidth, kHeight, 56, 34, 20, 58, 0, hi, 0, most);
  frame.draw(svg, "two-way distance (\u00c5); smaller is closer", "cases", 6, 4);
  drawBars(svg, frame, {{twoWay, kBestSetColour}});
  return svg.str();
}

}  // namespace vel::report
