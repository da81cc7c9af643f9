#include "reference/plain_search.h"

#include <cmath>
#include <iterator>

#include "reference/plain_points.h"

namespace vel::plain {

namespace {

double surfaceHeight(const std::array<double, 10>& c, double x, double y) {
  return c[0] * (x * x * x) + c[1] * (x * x * y) + c[2] * (x * y * y) + c[3] * (y * y * y) + c[4] * (x * x) +
         c[5] * (x * y) + c[6] * (y * y) + c[7] * x + c[8] * y + c[9];
}

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

constexpr double kLineSpacing = 4.6;
constexpr double kTranslationStep = 1.5;
constexpr double kOffsetReach = 300.0;
constexpr double kAngleTolerance = 1e-4;
constexpr double kDensityDistance = 1.0;
constexpr double kMinimumLineLength = 6.0;
constexpr size_t kRankingSize = 10;

// One line of a family: every surface point proposes the sample above it on
// the line; samples within 1 Å of the surface are kept (duplicates included).
PointList sampleLine(const SurfaceFit& surface, double angle, double offset) {
  const double x0 = surface.alignment.sheetCentre.x, y0 = surface.alignment.sheetCentre.y;
  const double radians = angle * kPi / 180;
  PointList line;
  for (const Coordinate& s : surface.surfacePoints) {
    double x, y;
    // The vertical family moves with +d along x; the oblique formula taken to
    // 90 degrees would move with -d, so the special cases stand as they are.
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
    Coordinate sample(x, y, surfaceHeight(surface.surfaceCoefficients, x, y));
    if (plain::anyCloserThan(surface.surfacePoints, sample, kDensityDistance)) line.push_back(sample);
  }
  return line;
}

bool acceptLine(const PointList& line) {
  if (line.size() <= 4) return false;
  IndexPair ends = plain::findFarestPointInOneSet(line);
  if (ends[0] == -1) return false;
  return getDistance(line[ends[0]], line[ends[1]]) >= kMinimumLineLength;
}

// Offsets advance by repeated addition of the line spacing, so the last line
// of a family may fall just short of +300 Å.
StrandSet layLines(const SurfaceFit& surface, int t, double angle) {
  StrandSet lines;
  const double shift = kTranslationStep * t;
  for (double d = -(kOffsetReach / kLineSpacing) * kLineSpacing - shift; d <= kOffsetReach; d += kLineSpacing) {
    PointList line = sampleLine(surface, angle, d);
    if (acceptLine(line)) lines.push_back(std::move(line));
  }
  return lines;
}

struct KeyPoints {
  int q1, q3;  // first and third quarter points; the line runs from q1 to q3
};

KeyPoints keyPoints(const PointList& line) {
  IndexPair ends = plain::findFarestPointInOneSet(line);
  int middle = plain::findMiddlePointBtwTwoPointsInOneSet(ends, line);
  int q1 = plain::findMiddlePointBtwTwoPointsInOneSet({ends[0], middle}, line);
  int q3 = plain::findMiddlePointBtwTwoPointsInOneSet({middle, ends[1]}, line);
  return {q1, q3};
}

void analyseCandidate(TwistSearch& search, int t, int o, double angle, std::ostream& out) {
  out << "angle = " << angle << "\n";
  const StrandSet& lines = search.strandLines[t][o];
  if (lines.size() < 2) return;
  PointList& starts = search.strandStarts[t][o];
  PointList& ends = search.strandEnds[t][o];

  KeyPoints k = keyPoints(lines[0]);
  Vectors reference(lines[0][k.q1], lines[0][k.q3]);
  starts.push_back(lines[0][k.q1]);
  ends.push_back(lines[0][k.q3]);
  const PointList* referenceLine = &lines[0];

  std::vector<double> rhTwists;
  size_t rightHanded = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    const PointList& line = lines[i];
    k = keyPoints(line);
    Vectors direction(line[k.q1], line[k.q3]);
    // Neighbouring lines are always given opposite directions.
    if (reference.dot(direction) > 0) {
      direction = Vectors(line[k.q3], line[k.q1]);
      starts.push_back(line[k.q3]);
      ends.push_back(line[k.q1]);
    } else {
      starts.push_back(line[k.q1]);
      ends.push_back(line[k.q3]);
    }
    IndexPair link = plain::findClosestPointBtwSets(*referenceLine, line);
    Vectors toNeighbour = link[0] == -1 ? Vectors(NAN, NAN, NAN) : Vectors((*referenceLine)[link[0]], line[link[1]]);
    Vectors normal = reference.cross(direction);
    double handedness = normal.dot(toNeighbour);
    out << handedness;
    double twist = std::asin(normal.length() / (direction.length() * reference.length())) * 180 / kPi;
    out << "   " << twist << "\n";
    if (handedness > 0) {
      ++rightHanded;
      rhTwists.push_back(twist);
    }
    reference = direction;
    referenceLine = &line;
  }

  const double avg = mean(rhTwists), spread = std_dev(rhTwists);
  if (rightHanded == lines.size() - 1 && std::fabs(avg - 17.5) <= 14.5 && spread <= 20) {
    out << "avg RH twist angle = " << avg << "   std_dev = " << spread << "\n";
    double twist = mainTwist(rhTwists);
    search.twistRanking.insert({twist, Candidate(t, o)});
    out << "avg of main RH twist angle = " << twist << "\n";
  }
  out << "\n";
}

}  // namespace

TwistSearch searchStrandDirections(const SurfaceFit& surface, std::ostream& out) {
  TwistSearch search;
  for (int t = 0; t < kTranslations; ++t) {
    out << "sheet translation = " << t << "\n\n";
    std::vector<double> angles;
    for (double a = 0; a < 180; a += 10) angles.push_back(a);
    for (size_t o = 0; o < angles.size(); ++o) search.strandLines[t][o] = layLines(surface, t, angles[o]);
    for (size_t o = 0; o < angles.size(); ++o) analyseCandidate(search, t, static_cast<int>(o), angles[o], out);
  }

  if (search.twistRanking.size() > kRankingSize) {
    auto cut = search.twistRanking.begin();
    std::advance(cut, kRankingSize);
    search.twistRanking.erase(cut, search.twistRanking.end());
  }
  int rank = 0;
  for (const auto& [twist, candidate] : search.twistRanking) {
    search.topCandidates[candidate] = true;
    out << "Top " << rank++ << " twist " << twist << ":   trans " << candidate.first << " - orient "
        << 10 * candidate.second << "\n";
  }
  return search;
}

}  // namespace vel::plain
