#include "reference/plain_search.h"

#include <cmath>

#include "driver/strand_search_flow.h"
#include "reference/plain_points.h"

namespace vel::plain {

namespace {

using namespace strand_search;

// Lines laid and measured by scans: every surface point proposes the sample
// above it on the line, every sample is tested against every surface point,
// and the key points come from the plain point-set kernels.
class ScannedLines {
 public:
  explicit ScannedLines(const SurfaceFit& surface) : surface_(surface) {}

  std::vector<PointList> layLines(int t, const Orientation& o) const {
    std::vector<PointList> lines;
    for (double d : lineOffsets(t)) {
      PointList line = sampleLine(o.angle, d);
      if (acceptLine(line)) lines.push_back(std::move(line));
    }
    return lines;
  }

  static KeyPoints keyPoints(const PointList& line) {
    IndexPair ends = plain::findFarestPointInOneSet(line);
    int middle = plain::findMiddlePointBtwTwoPointsInOneSet(ends, line);
    return {plain::findMiddlePointBtwTwoPointsInOneSet({ends[0], middle}, line),
            plain::findMiddlePointBtwTwoPointsInOneSet({middle, ends[1]}, line)};
  }
  static IndexPair closestPair(const PointList& a, const PointList& b) { return plain::findClosestPointBtwSets(a, b); }
  static Coordinate sample(const PointList& line, int position) { return line[position]; }
  static PointList samples(const PointList& line) { return line; }

 private:
  // Samples within 1 Å of the surface are kept, duplicates included.
  PointList sampleLine(double angle, double offset) const {
    const double x0 = surface_.alignment.sheetCentre.x, y0 = surface_.alignment.sheetCentre.y;
    const double radians = angle * kPi / 180;
    PointList line;
    for (const Coordinate& s : surface_.surfacePoints) {
      double x, y;
      if (std::fabs(angle - 90) < kAngleTolerance) {
        x = x0 + offset;
        y = s.y;
      } else if (std::fabs(angle) < kAngleTolerance) {
        x = s.x;
        y = y0 + offset;
      } else {
        x = s.x;
        y = std::tan(radians) * (x - x0) + offset / std::cos(radians) + y0;
      }
      Coordinate sample(x, y, surfaceHeight(surface_.surfaceCoefficients, x, y));
      if (plain::anyCloserThan(surface_.surfacePoints, sample, kDensityDistance)) line.push_back(sample);
    }
    return line;
  }

  static bool acceptLine(const PointList& line) {
    if (line.size() <= 4) return false;
    IndexPair ends = plain::findFarestPointInOneSet(line);
    if (ends[0] == -1) return false;
    return getDistance(line[ends[0]], line[ends[1]]) >= kMinimumLineLength;
  }

  const SurfaceFit& surface_;
};

}  // namespace

TwistSearch searchStrandDirections(const SurfaceFit& surface, std::ostream& out) {
  ScannedLines lines(surface);
  return searchWith(lines, out);
}

}  // namespace vel::plain
