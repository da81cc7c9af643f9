#pragma once
// What the report knows about one case of a batch: the batch record, the
// run summary and the stage files it needs for the pictures, read once.

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "velmorantique/geometry.h"

namespace vel::report {

constexpr double kMissing = std::numeric_limits<double>::quiet_NaN();

// One of the 54 candidates of the twist search.
struct CandidateTwist {
  std::string set;  // trans_T_orient_A
  int shift = 0;    // translation index t
  int angle = 0;    // orientation in degrees
  bool accepted = false;
  double mainTwist = kMissing;  // degrees; may be missing for rejected candidates
  std::vector<double> twists;   // between neighbouring lines, in line order
};

// A modelled candidate as the pictures draw it: summary values and its lines.
struct ModelledSet {
  std::string set;
  int lines = 0;
  double mainTwist = kMissing;
  double twoWay = kMissing;          // Å, mean of both one-way distances to the reference
  double directionError = kMissing;  // degrees, 0-90
  std::optional<Vectors> direction;  // unit, map frame
  std::vector<double> twists;        // between neighbouring lines
  StrandSet strandLines;             // from the stick file, map frame; empty when not on disk
  std::string stickFile;             // path found on disk, or empty
  std::vector<std::string> caChainFiles;
};

struct ReferenceAxis {
  Coordinate start, end;  // N to C
  std::string residues;   // "18-23"
};

struct CaseView {
  std::string name;     // batch case name: its folder under OUT/cases, which names its files
  std::string protein;  // file prefix of the stage files (summary "case")
  std::string status;   // ok, no_candidate, refused, failed, timed_out, or what went wrong reading it
  std::string message;  // why a case is not ok, in the run's or the reader's words
  double seconds = kMissing;
  std::string caseFolder;  // OUT/cases/NAME
  std::string runDir;      // where the run ran: the summary's relative paths start here
  std::string outputDir, summaryPath, metaPath;
  std::vector<std::string> notes;  // files the report looked for and did not find

  bool hasSummary = false;
  int exitStatus = -1;
  std::vector<std::string> warnings;
  std::string mapPath;
  double threshold = kMissing;
  double resolution = kMissing;  // Å, from meta.json
  // How well the reference model sits in the map (meta.json's model_map_fit,
  // for cases cut from an experimental map): the share of strand C-alphas in
  // density, and the correlation of the model's simulated density with the map.
  double modelCaInDensity = kMissing;
  double modelMapCorrelation = kMissing;

  // A sheet velmorantique-find cut from a whole map (meta.json's kind
  // "found"): the map's name, and where the segment lies and how sheet-like
  // it looked (segment_shape).
  bool found = false;
  std::string map;
  std::optional<Coordinate> segmentCentre;  // Å, map frame
  double segmentLength = kMissing, segmentWidth = kMissing, segmentArea = kMissing;  // Å, Å, Å²
  double sheetProbability = kMissing;
  // Whether find judged the segment a sheet at all (meta.json's sheet_confidence).
  std::string sheetConfidence;
  std::vector<std::string> sheetConfidenceReasons;

  bool hasSheet = false;
  Coordinate centre;
  Vectors normal;     // unit
  PointList surface;  // the fitted sheet surface, map frame
  int sheetPoints = 0;

  std::vector<ReferenceAxis> referenceAxes;
  std::vector<double> referenceTwists;  // signed, natural sheets negative
  double referenceMeanTwist = kMissing;
  std::optional<Vectors> referenceAxis;  // mean strand direction
  std::string referencePoints;           // reference axes stage file, or empty

  std::vector<CandidateTwist> candidates;
  std::optional<ModelledSet> topTwist;    // the accepted candidate of largest main twist
  std::optional<ModelledSet> bestTwoWay;  // the modelled candidate nearest the reference

  std::optional<Vectors> shapeDirection;
  double shapeDirectionError = kMissing;
  double shapeTwist = kMissing;  // signed, natural sheets negative

  // How far to trust the shape direction: "high", "medium", "low", or empty
  // when the run gave no verdict; and why, in words.
  std::string confidence;
  std::vector<std::string> confidenceReasons;
  // How far to trust the shape twist: a level and the range, in degrees,
  // the sheet's own twist lies in.
  std::string twistConfidence;
  std::string twistReason;
  double twistFrom = kMissing, twistTo = kMissing;

  bool finished() const { return status == "ok" || status == "no_candidate"; }
  // No reference strands: the twist and direction stand, and there is
  // nothing to measure their errors against.
  bool noReference() const;
  // A case without a model: found in a whole map, or without reference
  // strands. Its answer is the shape direction and shape twist.
  bool withoutModel() const { return noReference() || (found && referenceAxes.empty()); }
  // A model that does not sit in the map: errors measured against it mislead.
  bool poorModelFit() const;
};

// A model fits its map when nearly all its strand C-alphas lie in density
// and its simulated density correlates with the map. A model of the right
// protein, placed right, has its strand C-alphas on the backbone ridge,
// the densest part of a sheet, so well over 90% lie above the case's
// threshold; a wrong model moved into the box was seen with 82%. The
// correlation of a right model at the map's resolution is typically 0.6 to
// 0.9 in the sheet's zone, and a wrong one stays below 0.5.
constexpr double kMinStrandCaInDensity = 0.9;
constexpr double kMinModelMapCorrelation = 0.5;

// A whole map that velmorantique-find went through (OUT/maps.json), with its
// cases and, from find.json, a picture of it seen down z.
struct MapView {
  std::string name, mapPath, findDir;
  std::vector<std::string> cases;  // batch names
  int segments = 0;
  std::string resolutionWarning;
  // The map's density projected down z onto a coarse grid (its largest value
  // in each column), with the case number (1..) whose voxels lie in it, 0 none.
  int columns = 0, rows = 0;
  double originX = 0, originY = 0, step = 0;  // Å: the corner of cell (0, 0) and the cells' side
  std::vector<double> density;                // rows x columns, 0 to 1
  std::vector<int> labels;
  std::vector<std::string> labelCases;        // the case named by label k + 1
};

// The maps of OUT/maps.json, each case given its map's name; maps of found
// cases that the list lacks (a batch given the case folders alone) are made
// from the cases' own meta.json.
std::vector<MapView> loadMaps(const std::string& outDir, std::vector<CaseView>& cases);

// Every case under outDir/cases, sorted by name. Throws ReportError when
// there is no cases folder; a case that cannot be read is kept, with the
// reason in its status and message.
std::vector<CaseView> loadBatch(const std::string& outDir);
CaseView loadCase(const std::string& caseFolder);

}  // namespace vel::report
