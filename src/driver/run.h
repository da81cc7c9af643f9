#pragma once
// What one run owns, and what each stage hands on to the next. A reader who
// wants to know where a value comes from finds it here, in the struct of the
// stage that makes it.

#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "velmorantique/compare.h"
#include "velmorantique/confidence.h"
#include "velmorantique/geometry.h"
#include "velmorantique/map.h"
#include "velmorantique/shape.h"

namespace vel {

// A candidate strand direction: (translation index t in 0..2, orientation
// index o in 0..17, the angle 10*o degrees).
using Candidate = std::pair<int, int>;

constexpr int kTranslations = 3;
constexpr int kOrientations = 18;
// Strand lines are laid this far apart (Å), over offsets up to this far
// from the sheet centre on either side.
constexpr double kLineSpacing = 4.6;
constexpr double kOffsetReach = 300.0;

// The twist ranking keeps duplicate keys in insertion order, which is the
// candidate loop order (t, then o); the best entry is always the first.
using TwistRanking = std::multimap<double, Candidate, std::greater<double>>;

template <class T>
using CandidateTable = std::array<std::array<T, kOrientations>, kTranslations>;  // [t][o]

// Run values from the command line, and the two report streams that stay
// open for the whole run.
struct RunSetup {
  std::string pdbPath;      // reference PDB without ".pdb"
  std::string mapBase;      // density map without ".mrc"
  double threshold = 0.0;
  std::string proteinName;  // base name of pdbPath
  std::string outDir;       // mapBase + "twist/"
  std::ofstream bestResultStream;
  std::ofstream rmsStream;

  // outDir + proteinName + suffix: the name of every file the run writes.
  std::string outputPath(const std::string& suffix) const { return outDir + proteinName + suffix; }
};

// Sheet density extraction.
struct SheetDensity {
  StrandSet referenceStrands;  // reference strand axes, map frame
  Map densityMap;              // thresholded
  PointList sheetPoints;       // one per density voxel, voxel order, map frame
  Coordinate sheetCentre;      // sheet point nearest the mean, map frame; never moved
  Vectors sheetNormal;         // cross product of the centre plane's edges; not normalised
  // The strand direction and twist the sheet's shape suggests, from the map
  // before thresholding, with how far the estimate moves when repeated.
  vel::ShapeReading shape;
};

// The move between the map frame and the aligned frame: the sheet centre is
// moved onto the map centre, then turned by theta about alignAxis through the
// map centre, so that the sheet normal points along +z.
struct Alignment {
  Coordinate mapCentre;
  Coordinate sheetCentre;
  Vectors alignAxis;
  double theta = 0.0;  // radians; not-a-number when the sheet normal is zero

  // The turn is skipped for a sheet already facing +z, or when theta is not a number.
  bool turns() const;
  PointList toAlignedFrame(PointList points) const;  // move, then turn by theta
  PointList turnBack(PointList points) const;        // turn by -theta only
  PointList toMapFrame(PointList points) const;      // turn by -theta, then add shiftBack
  Vectors shiftBack() const;                         // sheetCentre - mapCentre
};

// Every point moved by v.
PointList translatePoints(PointList points, Vectors v);

// Sheet surface fitting.
struct SurfaceFit {
  Alignment alignment;
  PointList alignedPoints;                       // the sheet points in the aligned frame
  std::array<double, 10> surfaceCoefficients{};  // c0..c9 of the cubic height field
  PointList surfacePoints;                       // (x, y, f(x, y)) per sheet point, aligned frame
  long double fittingError = 0.0L;               // root-mean-square of f(x, y) - z
};

// The cubic height field z = f(x, y), terms added in a fixed order.
double surfaceHeight(const std::array<double, 10>& c, double x, double y);

// What the twist analysis measured for one candidate, whether accepted or not.
struct CandidateTwists {
  int t = 0, o = 0;
  double angle = 0.0;                      // degrees
  size_t lines = 0;                        // accepted lines
  std::vector<double> twists;              // degrees, one per neighbouring pair of lines
  std::vector<double> handedness;          // one per neighbouring pair; positive is right-handed
  double meanTwist = NAN, stdTwist = NAN;  // over the right-handed pairs
  double mainTwist = NAN;                  // the twist it is ranked by
  bool accepted = false;
};

// Strand direction search and twist analysis; everything in the aligned frame.
struct TwistSearch {
  // Accepted lines per candidate, offset order; each line holds its samples
  // in the order of the surface points that proposed them, duplicates kept.
  // Only the candidates of twistRanking keep their lines: the later stages
  // read no others, and at fine sampling every line holds thousands of samples.
  CandidateTable<StrandSet> strandLines;
  CandidateTable<PointList> strandStarts;  // one per line, for every candidate with two lines or more
  CandidateTable<PointList> strandEnds;
  TwistRanking twistRanking;  // main twist -> candidate, descending, at most 10
  std::map<Candidate, bool> topCandidates;
  std::vector<CandidateTwists> measured;  // all 54, loop order t then o
};

// One scored top candidate: its model, brought back into the map frame, and
// its scores against the reference strands.
struct ScoredCandidate {
  Candidate candidate;
  StrandSet sticks;      // its strand lines, each ordered and resampled every 0.1 Å, map frame
  double twoWay = 0;     // mean of the two one-way distances between sticks and reference strands
  double rmsMean = 0;    // RMS mean distance of its C-alpha models to the reference C-alphas
  double rmsd = 0;       // RMSD of the same comparison
  int rmsCount = 0;      // C-alphas paired by that comparison
  int modelCaCount = 0;  // C-alphas of its models
  int detected = 0;      // reference residues its sticks detect (FindDetectAA)
};

// Candidate strand models and scoring.
struct CandidateScores {
  ReferenceStrands reference;           // the reference strands as scoring read them, record order
  std::vector<ScoredCandidate> scored;  // the top candidates, candidate loop order (t, then o)

  // The best by two-way distance and by RMS mean distance: the smallest, the
  // first scored among equal ones; nullptr when none was scored.
  const ScoredCandidate* bestByTwoWay() const;
  const ScoredCandidate* bestByRms() const;
  const ScoredCandidate* find(Candidate c) const;
};

// The position of the entry that a multimap ordered by operator< yields
// first when keys are inserted in their order: the smallest key, the first
// of equal ones. A key that is not a number compares neither below nor
// above any other, and the entry the map then puts first depends on the
// shape of its tree; that is kept too, so a run whose scores are not numbers
// picks the same candidate. -1 for no keys.
int firstInRanking(const std::vector<double>& keys);

// The text of a candidate's set name parts: t, and the angle 10*o in degrees.
std::string translationText(int t);
std::string angleText(int o);
// A candidate's set name, "trans_T_orient_A": its stage files, its report
// row and the run summary call it so.
std::string setName(Candidate c);

}  // namespace vel
