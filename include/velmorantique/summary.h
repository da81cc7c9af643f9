#pragma once
// The run summary, <protein>_summary.json: one definition of its keys, shared
// by the analysis that writes it and by everything that reads it (the batch
// tables, the batch classification of a run, the batch report).
// docs/run_summary.md describes every key, its unit and when it is null.
//
// Each struct lists its keys once, in keys(): the JSON name beside the
// member that holds it. A number that is not one (not-a-number, infinity) is
// written as null and reads back as not-a-number. Reading never fails: a key
// that is missing or of the wrong type leaves the member's empty value
// (not-a-number, "", no value, an empty list), so a damaged file gives
// missing values, never an error.

#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vel {

// The version of the keys this program writes, as "schema_version". A file
// without it was written before the key existed: version 1, the same keys.
constexpr int kSummarySchemaVersion = 2;
constexpr const char* kSummaryFormat = "velmorantique-summary";

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

using Triple = std::array<double, 3>;  // x, y, z; not-a-number where the file has null
constexpr Triple kNoTriple{kNoValue, kNoValue, kNoValue};
using Count = std::optional<long long>;  // a whole number; no value where the file has none (or null)

// A key left out of the file while it has no value: the values a later stage
// of the run adds, which a run that stopped earlier has not got.
template <class T>
struct Omittable : std::optional<T> {
  using std::optional<T>::optional;
  template <class U = T>
  Omittable& operator=(U&& value) {
    std::optional<T>::operator=(std::forward<U>(value));
    return *this;
  }
};

// The warnings a run may give; "warnings" lists each at most once, in the
// order the run met them.
namespace warning {
// The sheet could not be turned: the fit and the twists are not meaningful.
constexpr const char* kNoCentrePlane = "no_centre_plane";
// No SHEET strand of the chain read: the scores are not numbers.
constexpr const char* kNoReferenceStrands = "no_reference_strands";
// No candidate passed the twist filter.
constexpr const char* kNoCandidate = "no_candidate";
// The density does not look like one sheet.
constexpr const char* kNotOneSheet = "not_one_sheet";
// Some files could not be written: unwritten_output names them.
constexpr const char* kUnwrittenOutput = "unwritten_output";
}  // namespace warning

struct SummaryInputs {
  std::string pdb, map;  // the paths read (map: the .mrc, or the .mrc.gz read in its place)
  double threshold = kNoValue;
  // Added once the map is read.
  Omittable<std::array<long long, 3>> mapSize;  // voxels along x, y, z
  Omittable<Triple> voxelSize;                  // Å
  Omittable<Triple> origin;                     // Å, voxel (0, 0, 0)
  Omittable<long long> voxelsKept;              // sheet points

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("pdb", s.pdb);
    key("map", s.map);
    key("threshold", s.threshold);
    key("map_size", s.mapSize);
    key("voxel_size", s.voxelSize);
    key("origin", s.origin);
    key("voxels_kept", s.voxelsKept);
  }
};

struct SummarySheet {
  Count points;
  Triple centre = kNoTriple;  // Å, map frame
  Triple normal = kNoTriple;  // unit
  // Added by the surface fit.
  Omittable<double> thetaDeg;                          // the turn that brings the normal onto +z, degrees
  Omittable<std::vector<double>> surfaceCoefficients;  // c0..c9 of the cubic height field
  Omittable<double> fittingError;                      // Å, root-mean-square

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("points", s.points);
    key("centre", s.centre);
    key("normal", s.normal);
    key("theta_deg", s.thetaDeg);
    key("surface_coefficients", s.surfaceCoefficients);
    key("fitting_error", s.fittingError);
  }
};

// One of the 54 candidates of the twist search, accepted or not.
struct SummaryCandidate {
  std::string set;  // trans_T_orient_A
  Count t;          // translation index
  double angle = kNoValue;  // degrees
  Count lines;
  bool accepted = false;
  std::vector<double> twists, handedness;  // one per neighbouring pair of lines; degrees, and signed
  double meanTwist = kNoValue, stdTwist = kNoValue, mainTwist = kNoValue;  // degrees

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("set", s.set);
    key("t", s.t);
    key("angle", s.angle);
    key("lines", s.lines);
    key("accepted", s.accepted);
    key("twists", s.twists);
    key("handedness", s.handedness);
    key("mean_twist", s.meanTwist);
    key("std_twist", s.stdTwist);
    key("main_twist", s.mainTwist);
  }
};

// One of the ten best candidates, in ranking order.
struct SummaryTopEntry {
  Count rank;
  std::string set;
  double mainTwist = kNoValue;
  Triple direction = kNoTriple;          // unit strand direction, map frame: its sticks' once scored
  Triple nominalDirection = kNoTriple;   // unit, the direction of its orientation, turned into the map frame
  // Added when the candidate is scored.
  Omittable<long long> lines;
  Omittable<double> twoWay, rmsMean, rmsd;  // Å
  Omittable<long long> pairedCa, modelCa, detectedResidues;
  double directionError = kNoValue;  // degrees, 0-90, to the mean reference strand axis

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("rank", s.rank);
    key("set", s.set);
    key("main_twist", s.mainTwist);
    key("direction", s.direction);
    key("nominal_direction", s.nominalDirection);
    key("lines", s.lines);
    key("two_way", s.twoWay);
    key("rms_mean", s.rmsMean);
    key("rmsd", s.rmsd);
    key("paired_ca", s.pairedCa);
    key("model_ca", s.modelCa);
    key("detected_residues", s.detectedResidues);
    key("direction_error", s.directionError);
  }
};

struct SummaryChosen {
  std::string topTwist, bestTwoWay, bestRms;  // set names

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("top_twist", s.topTwist);
    key("best_two_way", s.bestTwoWay);
    key("best_rms", s.bestRms);
  }
};

struct SummaryStrandAxis {
  Triple start = kNoTriple, end = kNoTriple;  // Å, N to C
  std::string residues;                       // "18-23"
  std::string sheet;
  Count strand;

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("start", s.start);
    key("end", s.end);
    key("residues", s.residues);
    key("sheet", s.sheet);
    key("strand", s.strand);
  }
};

struct SummaryReference {
  Count strands, residues;
  std::vector<SummaryStrandAxis> strandAxes;  // SHEET order
  std::vector<double> twists;                 // degrees, signed, between neighbouring strands
  double meanTwist = kNoValue;
  Triple meanAxis = kNoTriple;  // unit

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("strands", s.strands);
    key("residues", s.residues);
    key("strand_axes", s.strandAxes);
    key("twists", s.twists);
    key("mean_twist", s.meanTwist);
    key("mean_axis", s.meanAxis);
  }
};

// How far to trust the shape direction.
struct SummaryConfidence {
  std::string level;                      // "high", "medium" or "low"
  std::map<std::string, double> signals;  // the figures judged, by name
  std::vector<std::string> reasons;       // in words, the weakest first

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("level", s.level);
    key("signals", s.signals);
    key("reasons", s.reasons);
  }
};

// A file the run could not write whole.
struct SummaryUnwrittenFile {
  std::string file;    // its name in the output folder
  std::string reason;  // the system's words: "No space left on device"

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("file", s.file);
    key("reason", s.reason);
  }
};

struct RunSummary {
  std::string format;  // kSummaryFormat
  Count version;       // 1 in every file: the first marker of the format, kept as it was
  Count schemaVersion;
  std::string caseName;  // the protein: the PDB file's base name
  Count exitStatus;
  std::optional<std::string> message;  // a refused run's framed message
  std::vector<std::string> warnings;
  SummaryInputs inputs;
  std::optional<SummarySheet> sheet;
  std::vector<SummaryCandidate> candidates;
  std::vector<SummaryTopEntry> top;
  std::optional<SummaryChosen> chosen;
  std::optional<SummaryReference> reference;
  std::optional<Triple> shapeDirection;  // unit, map frame
  double shapeDirectionError = kNoValue;  // degrees, 0-90
  double shapeTwist = kNoValue;           // degrees, signed: the twist read from the shape
  double shapeTwistError = kNoValue;      // degrees: shapeTwist minus the reference's mean twist
  std::optional<SummaryConfidence> confidence;
  Omittable<std::vector<SummaryUnwrittenFile>> unwrittenOutput;  // only when a file could not be written

  template <class Self, class Key>
  static void keys(Self& s, Key&& key) {
    key("format", s.format);
    key("version", s.version);
    key("schema_version", s.schemaVersion);
    key("case", s.caseName);
    key("exit_status", s.exitStatus);
    key("message", s.message);
    key("warnings", s.warnings);
    key("inputs", s.inputs);
    key("sheet", s.sheet);
    key("candidates", s.candidates);
    key("top", s.top);
    key("chosen", s.chosen);
    key("reference", s.reference);
    key("shape_direction", s.shapeDirection);
    key("shape_direction_error", s.shapeDirectionError);
    key("shape_twist", s.shapeTwist);
    key("shape_twist_error", s.shapeTwistError);
    key("confidence", s.confidence);
    key("unwritten_output", s.unwrittenOutput);
  }

  // The schema version of the file read: 1 for a file without the key.
  long long schema() const { return schemaVersion.value_or(1); }
  bool hasWarning(const std::string& w) const;
  // The first entry of `top` with that set name; nullptr when none has it.
  const SummaryTopEntry* topEntry(const std::string& set) const;
};

nlohmann::json summaryToJson(const RunSummary& summary);
// Never throws: what the document lacks, or holds in the wrong type, reads
// as missing (see above); a document that is no object gives an empty summary.
RunSummary summaryFromJson(const nlohmann::json& document);

// Every JSON file the tools read back (meta.json, the run summaries, the
// batch's records, find.json) is read by this one function, with bounds: the
// largest such file any tool writes holds tens of kilobytes and nests a few
// levels deep, so a file past kJsonFileBytes or kJsonDepth is damaged or
// hostile, not data. Reading it whole or copying so deep a document would
// cost gigabytes or overflow the stack.
constexpr size_t kJsonFileBytes = 16u << 20;
constexpr int kJsonDepth = 64;

// At most maxBytes of a regular file: a folder, FIFO or device is not read
// (it could hang or never end), nor a larger file; either gives "" and
// problem, naming the file.
std::string readBoundedFile(const std::string& path, size_t maxBytes, std::string& problem);
// The document at path. A file that is missing, not a regular file (a folder,
// FIFO or device could hang or never end), too large, too deep or not JSON
// gives null and says why in problem, naming the file; never throws.
nlohmann::json readJsonFile(const std::string& path, std::string& problem);
// The document held in text, with the same depth bound; null and problem
// ("not JSON (...)" or "nested more than ... deep") when it is no such
// document. name is the file named in problem.
nlohmann::json parseJson(const std::string& text, const std::string& name, std::string& problem);

// How far to trust the twist read from the shape. The shape twist comes out
// smaller than the sheet's own (its surface is smoothed over the strands), so
// the verdict gives the range the sheet's mean twist between neighbouring
// strands lies in, in the reference's convention, and a level for how narrow
// that range is.
struct TwistVerdict {
  std::string level;            // "high", "medium" or "low"; empty when no twist was read
  double from = NAN, to = NAN;  // degrees, from <= to
  std::string reason;
};

// From the shape twist, the direction's verdict level and the fit's rms
// residual in Å (residual_rms_A among the verdict's signals).
TwistVerdict judgeTwist(double shapeTwist, const std::string& directionLevel, double residualRms);
// The same from a run's summary.
TwistVerdict judgeTwist(const RunSummary& summary);

}  // namespace vel
