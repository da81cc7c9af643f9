// The picture of one whole map: its density seen down z, the sheets found in
// it in colour, and each sheet's shape direction as an arrow through its centre.

#include <algorithm>
#include <cmath>

#include "pictures.h"
#include "svg.h"

namespace vel::report {

namespace {

constexpr double kWidth = 520, kHeight = 470;
constexpr double kAreaLeft = 12, kAreaTop = 40, kAreaSize = 400;

const char* const kSheetColours[] = {"#e41a1c", "#377eb8", "#4daf4a", "#ff7f00", "#f781bf",
                                     "#00bcd4", "#ffd700", "#984ea3", "#fa8072", "#a6d854"};

}  // namespace

std::string sheetColour(size_t k) { return kSheetColours[k % (sizeof kSheetColours / sizeof *kSheetColours)]; }

std::string drawMapPicture(const MapView& m, const std::vector<const CaseView*>& sheets) {
  Svg svg(kWidth, kHeight, "Map " + m.name + " seen down z, with the sheets found in it");
  svg.text(10, 22, m.name + ": seen down z", 14, "start", "#111", "bold");
  // The extent: the projection's, or the sheets' own when find.json has none.
  double x0 = 1e300, x1 = -1e300, y0 = 1e300, y1 = -1e300;
  auto include = [&](double x, double y) {
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
  };
  if (m.columns > 0) {
    include(m.originX, m.originY);
    include(m.originX + m.columns * m.step, m.originY + m.rows * m.step);
  }
  for (const CaseView* c : sheets)
    if (c->segmentCentre) {
      const double reach = std::isfinite(c->segmentLength) ? c->segmentLength / 2 + 2 : 10;
      include(c->segmentCentre->x - reach, c->segmentCentre->y - reach);
      include(c->segmentCentre->x + reach, c->segmentCentre->y + reach);
    }
  if (x0 > x1) {
    svg.text(kWidth / 2, kHeight / 2, "no picture: find.json has no projection and no sheet has a centre", 12, "middle");
    return svg.str();
  }
  const double span = std::max({x1 - x0, y1 - y0, 1.0});
  const double scale = kAreaSize / span;
  auto at = [&](double x, double y) { return ScreenPoint{kAreaLeft + (x - x0) * scale, kAreaTop + kAreaSize - (y - y0) * scale}; };
  svg.rect(kAreaLeft, kAreaTop, kAreaSize, kAreaSize, "#ffffff", "#bbb");
  // The density in greys; a column that holds a sheet's voxels in its colour.
  for (int r = 0; r < m.rows; ++r)
    for (int q = 0; q < m.columns; ++q) {
      const size_t i = static_cast<size_t>(r) * m.columns + q;
      const double d = m.density[i];
      const int label = m.labels[i];
      if (d < 0.02 && label == 0) continue;
      const ScreenPoint corner = at(m.originX + q * m.step, m.originY + (r + 1) * m.step);
      const int grey = static_cast<int>(std::lround(245 - 170 * d));
      char colour[8];
      std::snprintf(colour, sizeof colour, "#%02x%02x%02x", grey, grey, grey);
      svg.rect(corner.first, corner.second, m.step * scale + 0.4, m.step * scale + 0.4,
               label > 0 ? sheetColour(static_cast<size_t>(label - 1)) : std::string(colour));
    }
  // Each sheet: its shape direction as a double-headed line through its centre, and its name.
  for (size_t k = 0; k < sheets.size(); ++k) {
    const CaseView& c = *sheets[k];
    if (!c.segmentCentre) continue;
    const ScreenPoint centre = at(c.segmentCentre->x, c.segmentCentre->y);
    if (c.shapeDirection) {
      const double half = (std::isfinite(c.segmentLength) ? std::max(c.segmentLength, 8.0) : 16) / 2;
      const Vectors d = *c.shapeDirection;
      const ScreenPoint s = at(c.segmentCentre->x - d.x * half, c.segmentCentre->y - d.y * half);
      const ScreenPoint e = at(c.segmentCentre->x + d.x * half, c.segmentCentre->y + d.y * half);
      svg.line(s.first, s.second, e.first, e.second, "#ffffff", 6);
      svg.arrow(s.first, s.second, e.first, e.second, kShapeColour, 3, 10);
    }
    svg.circle(centre.first, centre.second, 4, "#000", "#fff", c.name);
    svg.text(centre.first + 7, centre.second - 7, c.name, 11, "start", "#000", "bold");
  }
  double y = kAreaTop + 10;
  const double x = kAreaLeft + kAreaSize + 10;
  svg.text(x, y, "each sheet in", 10.5), y += 13;
  svg.text(x, y, "its colour;", 10.5), y += 22;
  svg.arrow(x, y, x + 26, y, kShapeColour, 3, 10);
  y += 16;
  svg.text(x, y, "its shape", 10.5), y += 13;
  svg.text(x, y, "direction", 10.5), y += 13;
  svg.text(x, y, "(seen down z)", 10.5), y += 22;
  svg.text(x, y, "grey: the map's", 10.5), y += 13;
  svg.text(x, y, "densest voxel", 10.5), y += 13;
  svg.text(x, y, "along z", 10.5);
  double bar = 5;
  for (double candidate : {2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0})
    if (candidate <= span / 4) bar = candidate;
  svg.line(kAreaLeft + 10, kAreaTop + kAreaSize + 18, kAreaLeft + 10 + bar * scale, kAreaTop + kAreaSize + 18, "#000", 3);
  svg.text(kAreaLeft + 14 + bar * scale, kAreaTop + kAreaSize + 22, formatNumber(bar, 0) + " \u00c5 (x right, y up)", 10);
  return svg.str();
}

}  // namespace vel::report
