#pragma once
// Finding the beta-sheets of a whole map that has no atomic model, and
// cutting each out as an analysis case.
//
// The units, in the order a map goes through them:
//   reading the map (the analysis's own reader)    readWholeMap
//   the map's statistics and the contour level     mapStatistics, chooseLevel
//   the pieces of density above the level          densityPieces, cropToPieces
//   the local shape: how plate-like each voxel is  plateField
//   segments: a watershed on the plate score       watershedSegments
//   measuring and judging each segment             measureSegment, judgeSegment
//   widening kept segments into their density      growIntoDensity
//   guided cuts (a box, a sphere, a mask)          guidedRegion
//   the case folders, find.json, label map, scripts writeFindOutput
//   everything in order                            findSheets
// Every failure is a FindError carrying a message a user can act on.

#include <array>
#include <cstddef>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "velmorantique/prepare.h"

namespace vel {
namespace find {

class FindError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using prepare::DensityBox;
using prepare::Point;

// ---- Reading -----------------------------------------------------------------

// Reads an MRC/CCP4 map (gzipped too) with the analysis's own reader, so that
// a map the analysis would refuse (a skewed cell, a stack of volumes, a
// truncated file) is refused here with the same reason. Lines saying how an
// unusual stored form was read go to `notes`.
DensityBox readWholeMap(const std::string& path, std::ostream& notes);

// ---- Statistics and level ---------------------------------------------------------

struct MapStatistics {
  size_t voxels = 0;
  double min = 0, max = 0, mean = 0, sigma = 0;
  // The solvent, estimated robustly: the median of the voxels and 1.4826
  // times their median absolute deviation (most of a whole map is solvent).
  double background = 0, backgroundSigma = 0;
  double highPercentile = 0;  // the 99.9th percentile, a maximum that one hot voxel does not set
};

MapStatistics mapStatistics(const DensityBox& map);

struct LevelRequest {
  std::string contour;          // the map's recommended level, as given; empty: chosen here
  double massKda = 0;           // > 0: the level enclosing the protein's volume
  double backgroundSigmas = 3;  // otherwise background + this many robust sigmas
  // A map without noise has no spread in its solvent: then this fraction of
  // the way from the background to the 99.9th percentile.
  double flatFraction = 0.15;
};

struct Level {
  double value = 0;          // the text's value: every mask compares with it
  std::string text;          // as written to each case's threshold file
  std::string rule;          // "contour", "mass" or "background"
  std::string description;   // how it was chosen, in words
};

// Throws when no voxel lies at or above the level.
Level chooseLevel(const DensityBox& map, const MapStatistics& stats, const LevelRequest& request);

// ---- Pieces of density ------------------------------------------------------------

// The 26-connected pieces of voxels at or above the level (and above 0, as
// the analysis keeps them), each as its voxel indices in grid order; pieces
// smaller than `minVolume` Å^3 are counted in `dropped` and left out.
struct Pieces {
  std::vector<std::vector<size_t>> pieces;
  size_t dropped = 0, droppedVoxels = 0;
};
Pieces densityPieces(const DensityBox& map, double level, double minVolume);

// The part of a map around some voxels: the box they span widened by
// `margin` voxels (within the map), with the grid offset of its first voxel.
struct Crop {
  DensityBox box;
  std::array<int, 3> offset{};
  size_t toMap(size_t boxIndex, const std::array<int, 3>& mapSize) const;
  size_t fromMap(size_t mapIndex, const std::array<int, 3>& mapSize) const;
};
Crop cropToPieces(const DensityBox& map, const Pieces& pieces, int margin);

// ---- Local shape --------------------------------------------------------------------

struct ShapeScale {
  // The map is smoothed until its blur (taken as 0.225 R for a map at
  // resolution R) reaches this, so that a sheet's strands merge into a plate.
  double totalSigma = 2.5;
  double averagingSigma = 2.0;  // Å: the ridge ratios are averaged over this
  double ridgeOffset = 0.5;     // voxels: how near the ridge's crest a voxel must lie
};

// Per voxel of the box: how plate-like the density around it is (0 a rod or
// a blob, 1 a plate; -1 outside the density), and the plate's normal there.
// A voxel on the density's ridge (its largest curvature is across it and it
// sits at the crest) gives the ratio of its two largest curvatures, 0 for a
// plate and 1 for a rod; the score is one minus their local average.
struct PlateField {
  std::vector<float> plate;
  std::vector<std::array<float, 3>> normal;
};
PlateField plateField(const DensityBox& box, const std::vector<char>& inDensity, double resolution,
                      const ShapeScale& scale);

// ---- Segments -------------------------------------------------------------------------

struct SegmentRules {
  double plateMin = 0.55;       // voxels below this plate score start no segment and join none
  double plateShare = 0.3;      // ... and below the score of the top this share of the density's voxels
  double mergeDepth = 0.05;     // two basins merge where the lower's peak stands less than this above their pass
  double mergeAngleDeg = 35;    // ... and their mean normals agree within this
  double minArea = 150;         // Å^2: three strands of three residues
  double maxThickness = 12;     // Å
  double minPlateScore = 0.62;  // the segment's mean
  double minWidth = 9;          // Å: its narrower in-plane extent (a rod has none)
  double maxFitResidual = 4.0;  // Å: rms distance from a smooth (quadric) surface
  double growReach = 3.0;       // Å: a kept segment takes in the density this near it
  int tinyVoxels = 20;          // smaller basins are only counted in find.json
};

struct SegmentShape {
  size_t voxels = 0;
  double volume = 0;      // Å^3
  double area = 0;        // Å^2: volume / thickness
  double thickness = 0;   // Å: sqrt(12) x the rms distance from the fitted surface
  double length = 0, width = 0;  // Å: in-plane extents (sqrt(12) x the rms spread)
  double plateScore = 0;  // mean over the segment's core
  double fitResidual = 0; // Å
  Point centre{}, normal{};
};

struct Segment {
  int id = 0;                  // 1.. in the order considered
  std::string method;          // "plate watershed", "box", "sphere" or "mask"
  std::vector<size_t> core;    // box indices of the plate voxels that define it
  std::vector<size_t> voxels;  // box indices of every voxel of its case
  SegmentShape shape;
  bool kept = false;
  std::string reason;          // why kept or dropped
  std::string caseName;        // NAME_sK when kept
};

// Floods the plate score downwards from its peaks over the voxels in the
// density; two basins become one only where the pass between them is shallow
// and their plates lie alike.
std::vector<Segment> watershedSegments(const DensityBox& box, const std::vector<char>& inDensity,
                                       const PlateField& field, const SegmentRules& rules, size_t& tinyCount);

// Shape measures of a set of voxels (the plate score taken from `field`
// over `core` when the field is given).
SegmentShape measureSegment(const DensityBox& box, const std::vector<size_t>& voxels,
                            const std::vector<size_t>& core, const PlateField* field);

// Keeps a segment that could be a sheet; says why (kept or not).
void judgeSegment(Segment& segment, const SegmentRules& rules);

// Widens each kept segment's core through the density, nearest first, up
// to `reach` Å; a voxel goes to the segment that reaches it first.
void growIntoDensity(const DensityBox& box, const std::vector<char>& inDensity, std::vector<Segment>& segments,
                     double reach);

// ---- Guided cuts ----------------------------------------------------------------------

struct GuidedCut {
  enum class Kind { None, Box, Sphere, Mask } kind = Kind::None;
  Point lo{}, hi{};      // box corners, Å, map frame
  Point centre{};        // sphere
  double radius = 0;     // sphere, Å
  std::string maskPath;  // voxels where the mask (on any orthogonal grid) is above 0.5
};

// The voxels of the box at or above the level inside the region, as one segment.
Segment guidedRegion(const DensityBox& box, const std::vector<char>& inDensity, const GuidedCut& cut,
                     std::ostream& notes);

// The voxels of a case in a box of their own (4 Å beyond them), every other
// voxel 0: the map a case folder holds.
DensityBox caseMap(const DensityBox& box, const std::vector<size_t>& voxels);

// ---- Everything in order ------------------------------------------------------------------

struct FindOptions {
  std::string mapPath;
  std::string outDir;
  double resolution = 0;
  LevelRequest level;
  std::string modelPath;  // for evaluation: each case gets the sheet it overlaps
  GuidedCut guided;
  bool force = false;
  ShapeScale scale;
  SegmentRules rules;
};

struct FindResult {
  std::string name;  // NAME, from the map's file name
  MapStatistics stats;
  Level level;
  Pieces pieces;
  Crop crop;
  std::vector<char> inDensity;  // over crop.box
  std::vector<Segment> segments;
  size_t tinySegments = 0;
  std::vector<std::string> notes;
};

// Finds the sheets (or cuts the guided region) without writing anything.
FindResult findSheets(const FindOptions& options, std::ostream& progress);

// The cases NAME_sK/ (NAME_sK.mrc, NAME_sK.pdb, threshold, meta.json), then
// find.json, NAME_segments.mrc, NAME_segments.pml and NAME_segments.cxc.
// Each case folder appears whole or not at all. Returns the cases written.
int writeFindOutput(const FindOptions& options, const FindResult& result, std::ostream& progress);

// Refuses, before any work, an output folder that holds an earlier run's
// results, unless options.force.
void checkOutputFolder(const FindOptions& options);

// The base name of the cases: the map's file name without .mrc/.map/.ccp4
// and .gz, lower case, with every character but letters, digits, '.', '-'
// and '_' turned into '_'.
std::string findName(const std::string& mapPath);

// Whether a path or name can stand in a viewer script's line as it is:
// letters, digits and "._/+-" only. PyMOL splits lines at ';' even inside
// comments, so anything else is left out of the scripts.
bool scriptSafe(const std::string& text);

}  // namespace find
}  // namespace vel
