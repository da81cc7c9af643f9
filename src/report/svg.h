#pragma once
// A small SVG writer for the report's pictures and plots: shapes in user
// units, text escaped, and numbers printed short. Each picture is inline in
// one HTML page, so nothing here uses element ids (they would collide).

#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vel::report {

std::string escapeXml(const std::string& text);
// A number with the given decimals, or "n/a" when it is not finite.
std::string formatNumber(double value, int decimals);

using ScreenPoint = std::pair<double, double>;

class Svg {
 public:
  // label: what the picture shows, for screen readers and as its tooltip.
  Svg(double width, double height, const std::string& label);

  void line(double x1, double y1, double x2, double y2, const std::string& stroke, double width,
            const std::string& dash = "");
  void rect(double x, double y, double w, double h, const std::string& fill, const std::string& stroke = "none");
  void circle(double cx, double cy, double r, const std::string& fill, const std::string& stroke = "none",
              const std::string& tooltip = "");
  void polyline(const std::vector<ScreenPoint>& points, const std::string& stroke, double width,
                const std::string& dash = "", double opacity = 1.0);
  void polygon(const std::vector<ScreenPoint>& points, const std::string& fill);
  // anchor: start, middle or end; weight: normal or bold.
  void text(double x, double y, const std::string& content, double size = 11, const std::string& anchor = "start",
            const std::string& fill = "#222", const std::string& weight = "normal", double rotate = 0);
  // An arrow from (x1, y1) to (x2, y2) with a filled head at the end.
  void arrow(double x1, double y1, double x2, double y2, const std::string& colour, double width, double head);

  std::string str() const;

 private:
  double width_, height_;
  std::string label_;
  std::ostringstream body_;
};

// value -> screen, linear; a degenerate domain maps to the middle of the range.
struct LinearScale {
  double d0, d1, r0, r1;
  double operator()(double v) const { return d1 == d0 ? (r0 + r1) / 2 : r0 + (v - d0) / (d1 - d0) * (r1 - r0); }
};

// About `count` round tick values covering [lo, hi] (1, 2 or 5 times a power of ten apart).
std::vector<double> niceTicks(double lo, double hi, int count);
// Decimals that tell neighbouring ticks apart.
int tickDecimals(const std::vector<double>& ticks);
// The domain [lo, hi] widened outwards to the nearest ticks.
std::pair<double, double> niceRange(double lo, double hi, int count);

// A plot frame with axes, ticks, tick labels and axis titles.
struct PlotFrame {
  double left, top, width, height;
  LinearScale x, y;
  void draw(Svg& svg, const std::string& xTitle, const std::string& yTitle, int xTicks = 5, int yTicks = 5) const;
  bool inside(double vx, double vy) const;
  // A frame in a picture of the given size, with room left for tick labels and
  // titles: `left` and `top` before it, `right` and `bottom` after it.
  static PlotFrame within(double pictureWidth, double pictureHeight, double left, double top, double right,
                          double bottom, double xLo, double xHi, double yLo, double yHi);
};

// Sequential colour of t in [0, 1] (dark blue to yellow), for resolution.
std::string sequentialColour(double t);
// Diverging colour of t in [-1, 1] (blue below, white at 0, red above), for height.
std::string divergingColour(double t);

}  // namespace vel::report
