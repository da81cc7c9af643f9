#pragma once
// Finding the beta-sheets of a whole map that has no atomic model, and
// cutting each out as an analysis case.
//
// The units, in the order a map goes through them:
//   reading the map (the analysis's own reader)    readWholeMap
//   the map's statistics and the contour level     mapStatistics, chooseLevel
//   the pieces of density above the level          densityPieces, cropToPieces
//   the grid the shape is read on                  workingGrid, toCropGrid
//   what each voxel looks like, at three scales    voxelFeatures, depthInDensity
//   how likely each voxel is of a sheet            VoxelNet, sheetNet, sheetMaps
//   segments: backbone pieces widened into sheets  sheetSegments, growIntoDensity
//   measuring and judging each segment             measureSegment, judgeSegment
//   each case's own threshold                      caseLevel
//   guided cuts (a box, a sphere, a mask)          guidedRegion
//   the case folders, find.json, label map, scripts writeFindOutput
//   everything in order                            findSheets
// Every failure is a FindError carrying a message a user can act on.

#include <array>
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "velmorantique/output_folder.h"
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
  // Voxels of exactly 0: a mask's solvent or a box's padding, never noise.
  // They take no part in the figures below, so that neither a mask nor the
  // size of the box around the molecule moves them.
  size_t zeros = 0;
  // The solvent, estimated robustly from the other voxels: its peak (their
  // half-sample mode, which the molecule does not move even where it fills
  // most of the box) and its spread, 1.4826 times the median distance below
  // the peak of the voxels below it (where the molecule seldom reaches).
  double background = 0, backgroundSigma = 0;
  double highPercentile = 0;  // the 99.9th percentile, a maximum that one hot voxel does not set
  double topPercentile = 0;   // the 99.99th: still the molecule's where it fills a ten-thousandth of the box
};

MapStatistics mapStatistics(const DensityBox& map);

struct LevelRequest {
  std::string contour;          // the map's recommended level, as given; empty: chosen here
  double massKda = 0;           // > 0: the level enclosing the protein's volume
  double backgroundSigmas = 3;  // otherwise background + this many robust sigmas
  // ... unless the 99.99th percentile lies under this many times as far above
  // the background: no density stands out of the noise, and no level is sound.
  double leastContrast = 2;
  // Nor is one that keeps more than this share of the voxels other than
  // exact zeros: the box then holds too little solvent to read a level from.
  double mostShare = 0.9;
  // A map without noise has no spread in its solvent: then this fraction of
  // the way from the background to the 99.9th percentile.
  double flatFraction = 0.15;
};

struct Level {
  double value = 0;          // the text's value: every mask compares with it
  std::string text;          // as written to each case's threshold file
  std::string rule;          // "contour", "mass", "background" or "no noise"
  std::string description;   // how it was chosen, in words
  double volume = 0;         // Å^3 of the voxels the analysis keeps at it (0: not measured)
};

// The voxels the analysis keeps at the level: at or above it, and above 0.
long long voxelsAtOrAbove(const DensityBox& map, double level);

// Throws when no voxel lies at or above the level, and when the map gives no
// sound level of its own (saying so, and asking for --contour or --mass-kda).
Level chooseLevel(const DensityBox& map, const MapStatistics& stats, const LevelRequest& request);

// A found sheet's own threshold, as a case cut with a model gets it: the
// level enclosing `share` of its residues' volume, read from the case's own
// density at the map's resolution (prepare::mapOnlyVolume), lowered until its
// voxels form one piece, and never below the map's level.
Level caseLevel(const DensityBox& box, const std::vector<size_t>& voxels, const Level& mapLevel, double resolution,
                double share);

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

// ---- The working grid ----------------------------------------------------------------

// The crop on the grid the density's shape is read on: voxels of `spacing`
// Å, finer or coarser than the crop's (0: the crop's own), and which of them
// lie in the density (as their nearest crop voxel does).
struct WorkingGrid {
  DensityBox box;
  std::vector<char> inDensity;
  bool resampled = false;  // false: the crop's own grid
};
WorkingGrid workingGrid(const DensityBox& crop, const std::vector<char>& inDensity, double resolution, double spacing);

// ---- The sheet classifier ------------------------------------------------------------

// What the classifier sees of each voxel in the density (see voxel_features.cpp).
constexpr int kVoxelFeatureCount = 30;
constexpr int kPlateFeature = 14;  // how plate-like the ridge around is, at the strands' spacing
struct VoxelFeatures {
  std::vector<size_t> voxels;                  // box indices of the voxels in the density
  std::vector<float> values;                   // kVoxelFeatureCount per voxel, in that order
  std::vector<std::array<float, 3>> normal;    // the direction of strongest curvature, at the strands' spacing
};
VoxelFeatures voxelFeatures(const DensityBox& box, const std::vector<char>& inDensity, double resolution, double level);

// Per voxel of the box: how far inside the density it lies (Å, up to 8;
// 0 outside), beyond the box counting as outside.
std::vector<float> depthInDensity(const DensityBox& box, const std::vector<char>& inDensity);

constexpr int kMostInputs = 64, kMostHidden = 64, kMostOutputs = 4;
// One hidden layer of tanh units, a logistic unit per output; the inputs
// are standardised first.
struct VoxelNet {
  int inputs = 0, hidden = 0, outputs = 0;
  double voxel = 0;                // Å: the working grid it was trained on (0: the map's own voxels)
  std::vector<float> mean, scale;  // per input
  std::vector<float> w1, b1;       // hidden x inputs, hidden
  std::vector<float> w2, b2;       // outputs x hidden, outputs
  void predict(const float* x, float* out) const;
};

struct TrainingSet {
  int inputs = 0, outputs = 0;
  std::vector<float> x, y;    // inputs and 0/1 labels, row after row
  std::vector<float> weight;  // per row; empty: all 1
};
struct TrainingPlan {
  int hidden = 16, epochs = 30;
  double voxel = 0;  // Å: the working grid the features were read on (0: the map's own voxels)
  size_t batch = 256;
  double rate = 0.003, decay = 1e-5;
  unsigned seed = 1;
};
VoxelNet trainVoxelNet(const TrainingSet& data, const TrainingPlan& plan, std::ostream* progress);
// The weights as C++ source, for sheet_net_weights.inc.
void writeNetSource(const VoxelNet& net, std::ostream& out);
// The network trained on the tuning half: output 0 a voxel of a sheet's
// residue, output 1 a voxel on a sheet's backbone.
const VoxelNet& sheetNet();
constexpr int kSheetOutput = 0, kBackboneOutput = 1;
// The network's outputs for each row of the features, row after row.
std::vector<float> sheetProbabilities(const VoxelFeatures& features, const VoxelNet& net);

// ---- Segments -------------------------------------------------------------------------

struct SegmentRules {
  double minArea = 200;         // Å^2: three strands of three residues, and more than a hairpin
  double maxThickness = 20;     // Å, side chains included
  double minSheetProbability = 0.4;  // the segment's mean
  double minWidth = 9;          // Å: its narrower in-plane extent (a rod has none)
  double maxFitResidual = 6.0;  // Å: its backbone's rms distance from a smooth (quadric) surface
  double growReach = 6.0;       // Å: a sheet widens this far from its backbone
  double tinyVolume = 20;       // Å^3: smaller pieces of backbone are only counted in find.json
  // The classifier's segments.
  double averaging = 1.0;       // Å: the classifier's probabilities are averaged over this first
  double sheetMin = 0.5;        // a voxel of a sheet's residue
  double coreMin = 0.5;         // ... and of its backbone: where a sheet starts
  double splitFit = 2.5;        // Å: a backbone piece further than this (rms) from one smooth surface
  double coreStep = 0.05;       // ... is cut again this much higher
  double coreMost = 0.9;        // ... up to this
  double widenMin = 0.35;       // a sheet widens through voxels at least this likely of a sheet
  double normalStepDeg = 90;    // neighbouring backbone voxels whose normals differ more stay apart
  double caseVolumeShare = prepare::kVolumeFactor;  // a case's threshold encloses this share of its residues' volume, read from its map
  double surroundReach = 3.0;   // Å: a kept sheet takes the voxels below the level this near it
  double trimReach = 5.0;       // Å: a case keeps only its voxels this near its backbone core (0: all)
  // Å: a case as the analysis reads it (its voxels at or above its own
  // threshold) is at most this thick by the analysis's measure, or the
  // analysis would call it more than one sheet (not_one_sheet).
  double maxCaseThickness = 12.5;
  // Å^3: the least a case's voxels may fill. The smallest sheets of three
  // strands have strands of four or five residues: 15 residues of about
  // 133 Å^3 (110 Da x 1.21 Å^3/Da) fill about 2000 Å^3.
  double minCaseVolume = 2000;
};

struct SegmentShape {
  size_t voxels = 0;
  double volume = 0;      // Å^3
  double area = 0;        // Å^2: volume / thickness
  double thickness = 0;   // Å: sqrt(12) x the rms distance from the fitted surface
  double length = 0, width = 0;  // Å: in-plane extents (sqrt(12) x the rms spread)
  double plateScore = 0;  // how plate-like its backbone's ridge is (0 a rod, 1 a plate), mean
  double sheetProbability = 0;  // the classifier's, mean over its voxels
  double fitResidual = 0; // Å
  Point centre{}, normal{};
};

struct Segment {
  int id = 0;                  // 1.. in the order considered
  std::string method;          // "sheet classifier", "box", "sphere" or "mask"
  std::vector<size_t> core;    // box indices of the backbone voxels that define it
  std::vector<size_t> voxels;  // box indices of every voxel of its case
  SegmentShape shape;
  bool kept = false;
  std::string reason;          // why kept or dropped
  std::string caseName;        // NAME_sK when kept
  Level level;                 // the case's own threshold; empty text: the map's level
};

// The classifier's outputs over a box (0 outside the density), with the
// local normals of the density.
struct SheetMaps {
  std::vector<char> inDensity;
  std::vector<float> sheet, backbone;
  std::vector<float> plate;  // how plate-like the ridge around is, at the strands' spacing
  std::vector<std::array<float, 3>> normal;
};
SheetMaps sheetMaps(const DensityBox& box, const std::vector<char>& inDensity, double resolution, double level,
                    const VoxelNet& net);

// Pieces of sheet backbone whose normals turn gradually, each widened
// through the voxels of sheet residues and then into the voxels below the
// level next to it, measured and judged.
std::vector<Segment> sheetSegments(const DensityBox& box, const SheetMaps& maps, const SegmentRules& rules,
                                   size_t& tinyCount);

// Shape measures of a set of voxels; the fit residual is taken over `core`
// (all the voxels when empty).
SegmentShape measureSegment(const DensityBox& box, const std::vector<size_t>& voxels,
                            const std::vector<size_t>& core);

// Keeps a segment that could be a sheet; says why (kept or not).
void judgeSegment(Segment& segment, const SegmentRules& rules);

// Whether a kept segment is a sheet at all, from its own signals: "high",
// "medium" or "low", with the reasons in words.
struct SheetConfidence {
  std::string level;
  std::vector<std::string> reasons;
};
SheetConfidence judgeSheetConfidence(const SegmentShape& shape);

// The thickness of a case as the analysis measures it on the voxels it keeps
// (at or above `level`, and above 0): their volume over 12 times the spread
// along the two long axes of the plate they span.
double analysisThickness(const DensityBox& box, const std::vector<size_t>& voxels, double level);
// Drops a kept segment whose case, at its threshold `level`, the analysis
// would read as thicker than one sheet, saying so.
void judgeCase(Segment& segment, const DensityBox& box, double level, const SegmentRules& rules);

// Segments found on a resampled working grid, carried over to the crop's
// voxels: each crop voxel joins the core and the case of its nearest
// working voxel.
void toCropGrid(std::vector<Segment>& segments, const WorkingGrid& work, const DensityBox& crop);

// Keeps only the segment's voxels within `reach` Å of its core: the sheet
// without the loops that leave it or the density packed against it.
void trimToSheet(const DensityBox& box, Segment& segment, double reach);

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
  SegmentRules rules;
  uint64_t maxMemory = 0;  // bytes find may use; 0: as much as a map grid may take (cubeMemoryLimit)
};

// ---- The map's own resolution ---------------------------------------------------------

// The resolution (Å) the map's sharpness suggests: the slope of its radially
// averaged power spectrum against the square of the frequency, as a map
// blurred as maps are simulated here (B = 4 R^2) has it. NaN when the map is
// too small or its spectrum too flat to tell.
double estimateResolution(const DensityBox& map);
// --resolution is doubted when it lies further than this share of the
// estimate from it.
constexpr double kResolutionTolerance = 0.3;
struct ResolutionCheck {
  double given = 0, estimate = 0;
  bool disagrees = false;
  std::string warning;  // when it disagrees, in words
  std::string note;     // otherwise, what was found
};
ResolutionCheck checkResolution(const DensityBox& map, double given);

// The physical ranges of the options: cryo-EM maps of proteins are solved
// at 1 to 50 A (finer is beyond any, coarser shows no secondary structure),
// and the largest assemblies imaged whole weigh under 100,000 kDa.
constexpr double kLeastResolution = 1, kMostResolution = 50;
constexpr double kLeastMassKda = 1, kMostMassKda = 100000;

// Bytes find holds per voxel, measured on dense maps with room to spare:
// per voxel of the whole map while its density is divided into pieces, and
// per voxel of the crop around those pieces while the classifier reads the
// local shape. Runs that would need more than they may use are refused
// before the work.
constexpr double kMapBytesPerVoxel = 12, kShapeBytesPerVoxel = 96;
// Refuses, with the numbers and how to lower them, a stage that may need
// bytesPerVoxel for every voxel of a grid of n voxels, past o.maxMemory (or
// the bound of a map grid).
void refuseOverBudget(const FindOptions& o, const std::array<int, 3>& n, double bytesPerVoxel, const char* stage);

// The longest NAME the cases' names are made from: NAME_sK, and after it
// the longest ending of the files the batch and the analysis make for a
// case, stay within the 255 bytes a file system gives a name.
constexpr size_t kLongestFindName = 200;

struct FindResult {
  std::string name;  // NAME, from the map's file name
  MapStatistics stats;
  size_t nonFinite = 0;  // voxels without a number (NaN, inf), set to 0 on reading
  Level level;
  Pieces pieces;
  Crop crop;
  std::vector<char> inDensity;  // over crop.box
  std::vector<Segment> segments;
  size_t tinySegments = 0;
  std::vector<std::string> notes;
  ResolutionCheck resolution;  // the resolution given against the map's own
};

// The first steps alone: the map read, its level chosen, and the pieces of
// density at or above it cropped (name, stats, level, pieces, crop, inDensity).
FindResult locateDensity(const FindOptions& options, std::ostream& progress);

// Finds the sheets (or cuts the guided region) without writing anything.
FindResult findSheets(const FindOptions& options, std::ostream& progress);

// The lock file in the output folder: one run of find at a time writes there.
constexpr const char* kLockFile = "find.lock";

// The cases NAME_sK/ (NAME_sK.mrc, NAME_sK.pdb, threshold, meta.json), then
// find.json, NAME_segments.mrc, NAME_segments.pml and NAME_segments.cxc.
// The run is written whole beside the output folder and then takes its
// place in one step, replacing the whole earlier run: a run that fails or is
// killed at any moment leaves the earlier one or the new one, complete.
// `lock` holds the output folder. Returns the cases written.
int writeFindOutput(const FindOptions& options, const FindResult& result, output::FolderLock& lock,
                    std::ostream& progress);

// Refuses, before any work, an output folder that is a file, or that holds
// anything but an earlier run of find (from whatever map), or that holds
// one unless options.force.
void checkOutputFolder(const FindOptions& options);

// The base name of the cases: the map's file name without .mrc/.map/.ccp4
// and .gz, lower case, with every character but letters, digits, '.', '-'
// and '_' turned into '_'.
std::string findName(const std::string& mapPath);

// Whether a path or name can stand in a viewer script's line as it is:
// letters, digits and "._/+-" only. PyMOL splits lines at ';' even inside
// comments, so anything else is left out of the scripts.
bool scriptSafe(const std::string& text);
// A path as a script line carries it: in double quotes (which both PyMOL and
// ChimeraX read as one argument, spaces and all) when every character but
// its spaces is scriptSafe; "" when it cannot be carried.
std::string scriptPath(const std::string& path);

}  // namespace find
}  // namespace vel
