#include "svg.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace vel::report {

namespace {

std::string num(double v) { return formatNumber(v, 1); }

// Appends value with the given decimals, rounded as printf's %.*f rounds;
// a value that rounds to zero is written without a minus sign.
void appendNumber(std::string& out, double value, int decimals) {
  char buffer[400];  // room for any double with the few decimals a picture uses
  const std::to_chars_result got =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string wide;
  std::string_view text;
  if (got.ec == std::errc()) {
    text = std::string_view(buffer, static_cast<size_t>(got.ptr - buffer));
  } else {
    wide.resize(static_cast<size_t>(std::snprintf(nullptr, 0, "%.*f", decimals, value)) + 1);
    wide.resize(static_cast<size_t>(std::snprintf(wide.data(), wide.size(), "%.*f", decimals, value)));
    text = wide;
  }
  if (text.find_first_not_of("-0.") == std::string_view::npos) {
    out += '0';
    if (decimals > 0) out.append(1, '.').append(static_cast<size_t>(decimals), '0');
    return;
  }
  out.append(text);
}

std::string points(const std::vector<ScreenPoint>& pts) {
  std::string out;
  out.reserve(pts.size() * 12);
  for (const ScreenPoint& p : pts) {
    if (!std::isfinite(p.first) || !std::isfinite(p.second)) continue;
    if (!out.empty()) out += ' ';
    appendNumber(out, p.first, 1);
    out += ',';
    appendNumber(out, p.second, 1);
  }
  return out;
}

bool finite(std::initializer_list<double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

struct Rgb {
  double r, g, b;
};

std::string interpolate(const std::vector<Rgb>& stops, double t) {
  t = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0);
  const double pos = t * static_cast<double>(stops.size() - 1);
  const size_t i = std::min(static_cast<size_t>(pos), stops.size() - 2);
  const double f = pos - static_cast<double>(i);
  const Rgb& a = stops[i];
  const Rgb& b = stops[i + 1];
  char out[8];
  std::snprintf(out, sizeof out, "#%02x%02x%02x", static_cast<int>(std::lround(a.r + (b.r - a.r) * f)),
                static_cast<int>(std::lround(a.g + (b.g - a.g) * f)),
                static_cast<int>(std::lround(a.b + (b.b - a.b) * f)));
  return out;
}

}  // namespace

int tickDecimals(const std::vector<double>& ticks) {
  if (ticks.size() < 2) return 1;
  const double step = ticks[1] - ticks[0];
  return step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
}

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one
// (folder names are bytes, and a stray byte would make the page invalid).
size_t utf8Length(const std::string& text, size_t i) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xbf;  // allowed range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf)
    length = 2;
  else if (lead >= 0xe0 && lead <= 0xef)
    length = 3, low = lead == 0xe0 ? 0xa0 : 0x80, high = lead == 0xed ? 0x9f : 0xbf;
  else if (lead >= 0xf0 && lead <= 0xf4)
    length = 4, low = lead == 0xf0 ? 0x90 : 0x80, high = lead == 0xf4 ? 0x8f : 0xbf;
  else
    return 0;
  if (i + length > text.size()) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[i + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xbf)) return 0;
  }
  return length;
}

}  // namespace

std::string escapeXml(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        if (static_cast<unsigned char>(c) >= 0x80) {
          const size_t length = utf8Length(text, i);
          if (length == 0) {
            out += "\xef\xbf\xbd";  // the replacement character
          } else {
            out.append(text, i, length);
            i += length - 1;
          }
        } else if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\t') {
          out += ' ';  // control characters are not allowed in XML; a message may carry them
        } else {
          out += c;
        }
    }
  }
  return out;
}

std::string formatNumber(double value, int decimals) {
  if (!std::isfinite(value)) return "n/a";
  std::string s;
  appendNumber(s, value, decimals);
  return s;
}

Svg::Svg(double width, double height, const std::string& label) : width_(width), height_(height), label_(label) {}

void Svg::line(double x1, double y1, double x2, double y2, const std::string& stroke, double width,
               const std::string& dash) {
  if (!finite({x1, y1, x2, y2})) return;
  body_ << "<line x1=\"" << num(x1) << "\" y1=\"" << num(y1) << "\" x2=\"" << num(x2) << "\" y2=\"" << num(y2)
        << "\" stroke=\"" << stroke << "\" stroke-width=\"" << formatNumber(width, 2) << "\"";
  if (!dash.empty()) body_ << " stroke-dasharray=\"" << dash << "\"";
  body_ << "/>\n";
}

void Svg::rect(double x, double y, double w, double h, const std::string& fill, const std::string& stroke) {
  if (!finite({x, y, w, h})) return;
  body_ << "<rect x=\"" << num(x) << "\" y=\"" << num(y) << "\" width=\"" << formatNumber(w, 2) << "\" height=\""
        << formatNumber(h, 2) << "\" fill=\"" << fill << "\"";
  if (stroke != "none") body_ << " stroke=\"" << stroke << "\"";
  body_ << "/>\n";
}

void Svg::circle(double cx, double cy, double r, const std::string& fill, const std::string& stroke,
                 const std::string& tooltip) {
  if (!finite({cx, cy, r})) return;
  body_ << "<circle cx=\"" << num(cx) << "\" cy=\"" << num(cy) << "\" r=\"" << formatNumber(r, 1) << "\" fill=\""
        << fill << "\"";
  if (stroke != "none") body_ << " stroke=\"" << stroke << "\" stroke-width=\"1.3\"";
  if (tooltip.empty()) {
    body_ << "/>\n";
  } else {
    body_ << "><title>" << escapeXml(tooltip) << "</title></circle>\n";
  }
}

void Svg::polyline(const std::vector<ScreenPoint>& pts, const std::string& stroke, double width,
                   const std::string& dash, double opacity) {
  const std::string list = points(pts);
  if (list.empty()) return;
  body_ << "<polyline points=\"" << list << "\" fill=\"none\" stroke=\"" << stroke << "\" stroke-width=\""
        << formatNumber(width, 2) << "\" stroke-linecap=\"round\" stroke-linejoin=\"round\"";
  if (!dash.empty()) body_ << " stroke-dasharray=\"" << dash << "\"";
  if (opacity < 1.0) body_ << " stroke-opacity=\"" << formatNumber(opacity, 2) << "\"";
  body_ << "/>\n";
}

void Svg::polygon(const std::vector<ScreenPoint>& pts, const std::string& fill) {
  const std::string list = points(pts);
  if (list.empty()) return;
  body_ << "<polygon points=\"" << list << "\" fill=\"" << fill << "\"/>\n";
}

void Svg::text(double x, double y, const std::string& content, double size, const std::string& anchor,
               const std::string& fill, const std::string& weight, double rotate) {
  if (!finite({x, y})) return;
  body_ << "<text x=\"" << num(x) << "\" y=\"" << num(y) << "\" font-size=\"" << formatNumber(size, 1) << "\"";
  if (anchor != "start") body_ << " text-anchor=\"" << anchor << "\"";
  if (fill != "#222") body_ << " fill=\"" << fill << "\"";
  if (weight != "normal") body_ << " font-weight=\"" << weight << "\"";
  if (rotate != 0) body_ << " transform=\"rotate(" << num(rotate) << " " << num(x) << " " << num(y) << ")\"";
  body_ << ">" << escapeXml(content) << "</text>\n";
}

void Svg::arrow(double x1, double y1, double x2, double y2, const std::string& colour, double width, double head) {
  const double dx = x2 - x1, dy = y2 - y1;
  const double length = std::hypot(dx, dy);
  if (!std::isfinite(length) || length < 1e-9) return;
  const double ux = dx / length, uy = dy / length;
  const double h = std::min(head, length * 0.6);
  const double bx = x2 - ux * h, by = y2 - uy * h;
  line(x1, y1, bx, by, colour, width);
  polygon({{x2, y2}, {bx - uy * h * 0.45, by + ux * h * 0.45}, {bx + uy * h * 0.45, by - ux * h * 0.45}}, colour);
}

std::string Svg::str() const {
  std::ostringstream out;
  out << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << num(width_) << "\" height=\"" << num(height_)
      << "\" viewBox=\"0 0 " << num(width_) << " " << num(height_) << "\" role=\"img\" aria-label=\""
      << escapeXml(label_) << "\" font-family=\"sans-serif\">\n<title>" << escapeXml(label_) << "</title>\n"
      << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n"
      << body_.str() << "</svg>\n";
  return out.str();
}

std::vector<double> niceTicks(double lo, double hi, int count) {
  std::vector<double> ticks;
  if (!std::isfinite(lo) || !std::isfinite(hi) || count < 1) return ticks;
  if (hi < lo) std::swap(lo, hi);
  if (hi == lo) return {lo};
  const double raw = (hi - lo) / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  double step = power;
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    step = m * power;
    if (step >= raw) break;
  }
  // Ticks are multiples of the step, counted in integers so none is lost to rounding.
  const long first = static_cast<long>(std::ceil(lo / step - 1e-9));
  const long last = static_cast<long>(std::floor(hi / step + 1e-9));
  for (long k = first; k <= last; ++k) ticks.push_back(static_cast<double>(k) * step);
  return ticks;
}

std::pair<double, double> niceRange(double lo, double hi, int count) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) return {0, 1};
  if (hi == lo) return {lo - 1, hi + 1};
  const std::vector<double> ticks = niceTicks(lo, hi, count);
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : (hi - lo);
  return {std::floor(lo / step + 1e-9) * step, std::ceil(hi / step - 1e-9) * step};
}

void PlotFrame::draw(Svg& svg, const std::string& xTitle, const std::string& yTitle, int xTicks, int yTicks) const {
  const double bottom = top + height, right = left + width;
  svg.rect(left, top, width, height, "#fafafa", "#999");
  const std::vector<double> yValues = niceTicks(std::min(y.d0, y.d1), std::max(y.d0, y.d1), yTicks);
  for (double t : yValues) {
    const double sy = y(t);
    svg.line(left, sy, right, sy, "#e4e4e4", 1);
    svg.line(left - 4, sy, left, sy, "#666", 1);
    svg.text(left - 6, sy + 4, formatNumber(t, tickDecimals(yValues)), 10, "end");
  }
  const std::vector<double> xValues = niceTicks(std::min(x.d0, x.d1), std::max(x.d0, x.d1), xTicks);
  for (double t : xValues) {
    const double sx = x(t);
    svg.line(sx, bottom, sx, bottom + 4, "#666", 1);
    svg.text(sx, bottom + 15, formatNumber(t, tickDecimals(xValues)), 10, "middle");
  }
  svg.text(left + width / 2, bottom + 30, xTitle, 11, "middle");
  svg.text(left - 34, top + height / 2, yTitle, 11, "middle", "#222", "normal", -90);
}

PlotFrame PlotFrame::within(double pictureWidth, double pictureHeight, double left, double top, double right,
                            double bottom, double xLo, double xHi, double yLo, double yHi) {
  const double width = pictureWidth - left - right, height = pictureHeight - top - bottom;
  return PlotFrame{left, top, width, height, {xLo, xHi, left, left + width}, {yLo, yHi, top + height, top}};
}

bool PlotFrame::inside(double vx, double vy) const {
  const double sx = x(vx), sy = y(vy);
  return std::isfinite(sx) && std::isfinite(sy) && sx >= left - 0.5 && sx <= left + width + 0.5 && sy >= top - 0.5 &&
         sy <= top + height + 0.5;
}

std::string sequentialColour(double t) {
  static const std::vector<Rgb> stops = {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}};
  return interpolate(stops, t);
}

std::string divergingColour(double t) {
  static const std::vector<Rgb> stops = {
      {33, 102, 172}, {103, 169, 207}, {247, 247, 247}, {239, 138, 98}, {178, 24, 43}};
  return interpolate(stops, (t + 1) / 2);
}

}  // namespace vel::report
