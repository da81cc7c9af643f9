#pragma once
// The strand direction search apart from how lines are laid and measured:
// for three sideways shifts and eighteen orientations ten degrees apart, the
// candidate's lines are laid, the twist angle and handedness between
// neighbouring lines measured, and candidates whose neighbours are all
// right-handed with a plausible twist ranked by their main twist. The
// program lays and measures lines with indexed point sets (strand_search.cpp);
// the tests' plain reference runs this same flow with scans, so that
// comparing the two checks the kernels.

#include <cmath>
#include <iterator>
#include <ostream>
#include <vector>

#include "driver/run.h"
#include "driver/stages.h"
#include "velmorantique/points.h"

namespace vel::strand_search {

// The line spacing and the reach of the offsets are the run's (run.h).
constexpr double kTranslationStep = 1.5;
constexpr double kAngleTolerance = 1e-4;
constexpr double kDensityDistance = 1.0;
constexpr double kMinimumLineLength = 6.0;
constexpr size_t kRankingSize = 10;

// One orientation of the line families.
struct Orientation {
  double angle, radians;
  bool vertical, horizontal;  // 90 and 0 degrees, which have their own formulas
};

// The offsets of the lines of translation t. Offsets advance by repeated
// addition of the line spacing, so the last line of a family may fall just
// short of +300 Å.
inline std::vector<double> lineOffsets(int t) {
  std::vector<double> offsets;
  const double shift = kTranslationStep * t;
  for (double d = -(kOffsetReach / kLineSpacing) * kLineSpacing - shift; d <= kOffsetReach; d += kLineSpacing)
    offsets.push_back(d);
  return offsets;
}

struct KeyPoints {
  int q1, q3;  // first and third quarter points; the line runs from q1 to q3
};

// Lines is what lays and measures the lines, for its line type Line:
//   std::vector<Line> layLines(int t, const Orientation& o): the accepted lines, offset order;
//   KeyPoints keyPoints(const Line&); IndexPair closestPair(const Line&, const Line&);
//   Coordinate sample(const Line&, int position); PointList samples(const Line&).
template <class Lines, class Line>
void analyseCandidate(TwistSearch& search, const std::vector<Line>& lines, int t, int o, double angle,
                      std::ostream& out) {
  out << "angle = " << angle << "\n";
  search.measured.push_back(CandidateTwists{});
  CandidateTwists& measured = search.measured.back();
  measured.t = t;
  measured.o = o;
  measured.angle = angle;
  measured.lines = lines.size();
  if (lines.size() < 2) return;
  PointList& starts = search.strandStarts[t][o];
  PointList& ends = search.strandEnds[t][o];

  KeyPoints k = Lines::keyPoints(lines[0]);
  Vectors reference(Lines::sample(lines[0], k.q1), Lines::sample(lines[0], k.q3));
  starts.push_back(Lines::sample(lines[0], k.q1));
  ends.push_back(Lines::sample(lines[0], k.q3));
  const Line* referenceLine = &lines[0];

  std::vector<double> rhTwists;
  size_t rightHanded = 0;
  for (size_t i = 1; i < lines.size(); ++i) {
    const Line& line = lines[i];
    k = Lines::keyPoints(line);
    const Coordinate q1 = Lines::sample(line, k.q1), q3 = Lines::sample(line, k.q3);
    Vectors direction(q1, q3);
    // Neighbouring lines are always given opposite directions.
    if (reference.dot(direction) > 0) {
      direction = Vectors(q3, q1);
      starts.push_back(q3);
      ends.push_back(q1);
    } else {
      starts.push_back(q1);
      ends.push_back(q3);
    }
    IndexPair link = Lines::closestPair(*referenceLine, line);
    Vectors toNeighbour = link[0] == -1 ? Vectors(NAN, NAN, NAN)
                                        : Vectors(Lines::sample(*referenceLine, link[0]), Lines::sample(line, link[1]));
    Vectors normal = reference.cross(direction);
    double handedness = normal.dot(toNeighbour);
    out << handedness;
    double twist = std::asin(normal.length() / (direction.length() * reference.length())) * 180 / kPi;
    out << "   " << twist << "\n";
    measured.handedness.push_back(handedness);
    measured.twists.push_back(twist);
    if (handedness > 0) {
      ++rightHanded;
      rhTwists.push_back(twist);
    }
    reference = direction;
    referenceLine = &lines[i];
  }

  const double avg = mean(rhTwists), spread = std_dev(rhTwists);
  measured.meanTwist = avg;
  measured.stdTwist = spread;
  measured.mainTwist = mainTwist(rhTwists);
  if (rightHanded == lines.size() - 1 && std::fabs(avg - 17.5) <= 14.5 && spread <= 20) {
    measured.accepted = true;
    out << "avg RH twist angle = " << avg << "   std_dev = " << spread << "\n";
    double twist = measured.mainTwist;
    search.twistRanking.insert({twist, Candidate(t, o)});
    out << "avg of main RH twist angle = " << twist << "\n";
  }
  out << "\n";
}

// Keeps the ranking to its first ten entries as it fills. An entry pushed
// past the tenth place never comes back (later equal keys go after it), so
// the lines of its candidate are released at once.
inline void trimRanking(TwistSearch& search) {
  while (search.twistRanking.size() > kRankingSize) {
    auto last = std::prev(search.twistRanking.end());
    const auto [t, o] = last->second;
    StrandSet().swap(search.strandLines[t][o]);
    search.twistRanking.erase(last);
  }
}

template <class Lines>
TwistSearch searchWith(Lines& lineKernel, std::ostream& out) {
  TwistSearch search;
  for (int t = 0; t < kTranslations; ++t) {
    out << "sheet translation = " << t << "\n\n";
    std::vector<double> angles;
    for (double a = 0; a < 180; a += 10) angles.push_back(a);
    // Each candidate is laid and analysed in turn; only the lines of ranked
    // candidates are kept.
    for (size_t o = 0; o < angles.size(); ++o) {
      const double angle = angles[o];
      const Orientation orientation{angle, angle * kPi / 180, std::fabs(angle - 90) < kAngleTolerance,
                                    std::fabs(angle) < kAngleTolerance};
      const auto lines = lineKernel.layLines(t, orientation);
      const size_t ranked = search.twistRanking.size();
      analyseCandidate<Lines>(search, lines, t, static_cast<int>(o), angle, out);
      if (search.twistRanking.size() > ranked) {
        StrandSet& kept = search.strandLines[t][o];
        for (const auto& line : lines) kept.push_back(Lines::samples(line));
        trimRanking(search);
      }
    }
  }

  int rank = 0;
  for (const auto& [twist, candidate] : search.twistRanking) {
    search.topCandidates[candidate] = true;
    out << "Top " << rank++ << " twist " << twist << ":   trans " << candidate.first << " - orient "
        << 10 * candidate.second << "\n";
  }
  return search;
}

}  // namespace vel::strand_search
