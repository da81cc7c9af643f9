// Strand direction search: how the lines are laid over the fitted surface
// and measured, with indexed point sets. The search itself (which lines, the
// twist and handedness between neighbours, acceptance and ranking) is in
// strand_search_flow.h.
//
// Every surface point proposes one sample on every line, and a sample is
// kept when some surface point lies within 1 Å of it. Most lines pass far
// from the sheet and keep nothing; a sample depends only on the coordinate
// of the surface point it comes from (x, or y for the 90-degree family), so
// equal coordinates give equal samples. The search therefore measures each
// distinct coordinate once, only on lines that pass within 1 Å of some
// surface point, and only where the line runs over the sheet; the lines it
// builds are the same, sample for sample and in the same order.

#include <algorithm>
#include <cmath>
#include <numeric>

#include "driver/stages.h"
#include "driver/strand_search_flow.h"
#include "velmorantique/points.h"

namespace vel {

using namespace strand_search;

namespace {

// Allowance for the rounding of a computed sample off its exact line; far
// above it for coordinates within reach (withinReach). Coordinates beyond
// it, or not finite, are sampled without the shortcuts.
constexpr double kLineSlack = 1e-6;

// The coordinate a family samples by (x, or y for the 90-degree family), for
// every surface point: its distinct values, ascending, and the value of each
// surface point. Values equal but for the sign of zero are kept apart, since
// they are written differently.
struct SampleKeys {
  std::vector<double> values;
  std::vector<int> keyOf;  // surface point -> index into values
};

SampleKeys sampleKeys(const PointList& surface, bool byY) {
  auto value = [&](int j) { return byY ? surface[j].y : surface[j].x; };
  std::vector<int> order(surface.size());
  std::iota(order.begin(), order.end(), 0);
  // Ascending values, not-a-number last; equal values by their bits.
  std::sort(order.begin(), order.end(), [&](int a, int b) {
    const double va = value(a), vb = value(b);
    if (std::isnan(va) != std::isnan(vb)) return std::isnan(vb);
    if (va < vb || vb < va) return va < vb;
    return bitsOf(va) < bitsOf(vb);
  });
  SampleKeys keys;
  keys.keyOf.resize(surface.size());
  for (size_t i = 0; i < order.size(); ++i) {
    const double v = value(order[i]);
    if (keys.values.empty() || bitsOf(v) != bitsOf(keys.values.back())) keys.values.push_back(v);
    keys.keyOf[order[i]] = static_cast<int>(keys.values.size()) - 1;
  }
  return keys;
}

// A line the search has laid: its samples as distinct points along the line
// with the positions at which each occurs, for the key-point queries.
struct LaidLine {
  PointSetIndex index;
  IndexPair ends;  // the farthest pair

  Coordinate sample(int position) const { return index.point(position); }
  // The samples in order, duplicates included, as the line is handed on.
  PointList samples() const {
    PointList all(index.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = index.point(static_cast<int>(i));
    return all;
  }
};

class LineSampler {
 public:
  explicit LineSampler(const SurfaceFit& surface)
      : surface_(surface),
        density_(surface.surfacePoints, kDensityDistance),
        x0_(surface.alignment.sheetCentre.x),
        y0_(surface.alignment.sheetCentre.y),
        byX_(sampleKeys(surface.surfacePoints, false)),
        byY_(sampleKeys(surface.surfacePoints, true)) {
    shortcuts_ = withinReach(Coordinate(x0_, y0_, 0));
    for (const Coordinate& p : surface.surfacePoints) shortcuts_ = shortcuts_ && withinReach(p);
  }

  // The key points of a line, and the closest pair of samples between two,
  // through the lines' indexes.
  static KeyPoints keyPoints(const LaidLine& line) {
    const Coordinate e0 = line.sample(line.ends[0]), e1 = line.sample(line.ends[1]);
    const Coordinate middle = line.sample(line.index.middlePoint(e0, e1));
    return {line.index.middlePoint(e0, middle), line.index.middlePoint(middle, e1)};
  }
  static IndexPair closestPair(const LaidLine& a, const LaidLine& b) { return closestPairBetween(a.index, b.index); }
  static Coordinate sample(const LaidLine& line, int position) { return line.sample(position); }
  static PointList samples(const LaidLine& line) { return line.samples(); }

  // The accepted lines of candidate (t, o), in offset order.
  std::vector<LaidLine> layLines(int t, const Orientation& o) {
    const std::vector<double> offsets = lineOffsets(t);

    // Where each line runs over the sheet: the range of sampling values of
    // the surface points within 1 Å of the line in the xy-plane. A sample
    // lies on its line, so a surface point closer than 1 Å to it lies
    // closer than 1 Å to the line, and its own sampling value differs from
    // the sample's by less than 1 Å.
    const PointList& surface = surface_.surfacePoints;
    const SampleKeys& keys = o.vertical ? byY_ : byX_;
    std::vector<double> lo(offsets.size(), 0), hi(offsets.size(), 0);
    std::vector<bool> crosses(offsets.size(), !shortcuts_);
    if (shortcuts_) {
      const double s = std::sin(o.radians), c = std::cos(o.radians);
      const double reach = kDensityDistance + kLineSlack;
      for (size_t j = 0; j < surface.size(); ++j) {
        const Coordinate& p = surface[j];
        const double w = o.vertical ? p.x - x0_ : (o.horizontal ? p.y - y0_ : (p.y - y0_) * c - (p.x - x0_) * s);
        const double key = o.vertical ? p.y : p.x;
        const long long first = static_cast<long long>(std::floor((w - reach - offsets[0]) / kLineSpacing)) - 1;
        const long long last = static_cast<long long>(std::floor((w + reach - offsets[0]) / kLineSpacing)) + 1;
        for (long long k = std::max(first, 0LL); k <= last && k < static_cast<long long>(offsets.size()); ++k) {
          if (!(std::fabs(w - offsets[k]) < reach)) continue;
          if (!crosses[k] || key < lo[k]) lo[k] = key;
          if (!crosses[k] || key > hi[k]) hi[k] = key;
          crosses[k] = true;
        }
      }
    }

    std::vector<LaidLine> lines;
    for (size_t k = 0; k < offsets.size(); ++k) {
      if (!crosses[k]) continue;
      size_t from = 0, to = keys.values.size();
      if (shortcuts_) {
        const double reach = kDensityDistance + kLineSlack;
        from = std::lower_bound(keys.values.begin(), keys.values.end(), lo[k] - reach) - keys.values.begin();
        to = std::upper_bound(keys.values.begin(), keys.values.end(), hi[k] + reach) - keys.values.begin();
      }
      sampleLine(o, offsets[k], keys, from, to, lines);
    }
    return lines;
  }

 private:
  // The sample proposed by a surface point whose sampling value is v.
  Coordinate sampleAt(const Orientation& o, double offset, double tangent, double offsetTerm, double v) const {
    double x, y;
    // The vertical family moves with +d along x; the oblique formula taken to
    // 90 degrees would move with -d, so the special cases stand as they are.
    if (o.vertical) {
      x = x0_ + offset;
      y = v;
    } else if (o.horizontal) {
      x = v;
      y = y0_ + offset;
    } else {
      x = v;
      y = tangent * (x - x0_) + offsetTerm + y0_;
    }
    return Coordinate(x, y, surfaceHeight(surface_.surfaceCoefficients, x, y));
  }

  // Samples the line for the distinct values [from, to) and, if it is
  // accepted, appends it to lines.
  void sampleLine(const Orientation& o, double offset, const SampleKeys& keys, size_t from, size_t to,
                  std::vector<LaidLine>& lines) {
    const double tangent = std::tan(o.radians), offsetTerm = offset / std::cos(o.radians);
    const size_t count = to - from;
    kept_.assign(count, -1);
    distinct_.clear();
    distinct_.reserve(count);
    int hint = -1;
    for (size_t u = from; u < to; ++u) {
      const Coordinate sample = sampleAt(o, offset, tangent, offsetTerm, keys.values[u]);
      if (density_.anyCloserThan(sample, hint)) {
        kept_[u - from] = static_cast<int>(distinct_.size());
        distinct_.push_back(sample);
      }
    }
    if (distinct_.empty()) return;

    // Samples are appended in the order of the surface points that propose
    // them, duplicates kept.
    std::vector<int> classOf;
    classOf.reserve(distinct_.size());
    for (int key : keys.keyOf) {
      const size_t u = static_cast<size_t>(key);
      if (u < from || u >= to || kept_[u - from] < 0) continue;
      classOf.push_back(kept_[u - from]);
    }
    if (classOf.size() <= 4) return;
    // The lines of a family run the same way in the xy-plane; indexed in one
    // frame, neighbouring lines compare without recomputing their boxes.
    const Vectors along = o.vertical ? Vectors(0, 1, 0)
                                     : (o.horizontal ? Vectors(1, 0, 0) : Vectors(1, tangent, 0));
    PointSetIndex index(std::move(distinct_), std::move(classOf), true, &along);
    IndexPair ends = index.farthestPair();
    if (ends[0] == -1 || !(getDistance(index.point(ends[0]), index.point(ends[1])) >= kMinimumLineLength)) return;
    lines.push_back(LaidLine{std::move(index), ends});
  }

  const SurfaceFit& surface_;
  PointGrid density_;  // the surface points, for "is some surface point within 1 Å?"
  double x0_, y0_;
  SampleKeys byX_, byY_;
  bool shortcuts_ = false;
  std::vector<int> kept_;  // per distinct value of the line's range: its distinct sample, or -1
  PointList distinct_;     // the line's distinct samples, handed on to its index
};

}  // namespace

double mainTwist(const std::vector<double>& twists) {
  if (twists.size() < 4) return mean(twists);
  std::vector<double> inner(twists.begin() + 1, twists.end() - 1);
  if (inner.size() <= 3) return mean(inner);
  size_t largest = 0;
  for (size_t i = 1; i < inner.size(); ++i)
    if (inner[i] > inner[largest]) largest = i;
  size_t first = largest == 0 ? 0 : (largest == inner.size() - 1 ? inner.size() - 3 : largest - 1);
  return (inner[first] + inner[first + 1] + inner[first + 2]) / 3;
}

TwistSearch searchStrandDirections(const SurfaceFit& surface, std::ostream& out) {
  LineSampler sampler(surface);
  return searchWith(sampler, out);
}

}  // namespace vel
