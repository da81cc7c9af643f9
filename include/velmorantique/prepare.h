#pragma once
// Preparing analysis cases from structures: one folder per beta-sheet and
// resolution, holding the sheet's chain as a PDB file, a density map of the
// sheet, the density threshold and a description of the case (meta.json).
//
// The units, in the order a case is made:
//   structure reading and sheet eligibility  readStructure, judgeSheets
//   secondary structure: records or DSSP      assignSecondaryStructure
//   the case's PDB file                       writeCasePdb
//   the density map                           simulateDensity, cutExperimentalMap, writeMrc
//   the threshold rule                        findThreshold, measureLevel
//   the reference twist and meta.json         interStrandAngles, caseMeta
//   ideal sheets of known twist               buildSyntheticSheet
//   one folder per case                       prepareCases
// Every failure is a PrepareError carrying a message a user can act on.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <iosfwd>
#include <limits>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace vel {
namespace prepare {

class PrepareError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using Point = std::array<double, 3>;

// ---- Structures ----------------------------------------------------------

struct Atom {
  std::string name;     // as in the file, without padding: "CA", "OG1"
  std::string element;  // upper case: "C", "FE"
  Point pos{};
  double occupancy = 1;
  double bFactor = 0;
};

struct Residue {
  std::string name;  // "VAL"
  int number = 0;
  char icode = ' ';
  std::vector<Atom> atoms;
  const Atom* find(const std::string& atomName) const;
};

// The ATOM residues of one chain of model 1: first alternate location only,
// no hydrogens, no HETATM residues.
struct Chain {
  std::string name;  // as in the file; mmCIF names may be longer than one character
  std::vector<Residue> residues;
  std::vector<int> repeatedNumbers;  // residue numbers met again further down the chain
  bool aminoAcids = false;           // holds amino acids (not only DNA, RNA or other residues)
};

struct ResidueId {
  std::string chain;
  std::string name;
  int number = 0;
  char icode = ' ';
};

struct Strand {
  ResidueId start, end;
  int sense = 0;
  // Registration: the atom of this strand and the one of the previous strand
  // that it bonds to; absent for the first strand.
  bool registered = false;
  std::string curAtom, prevAtom;
  ResidueId cur, prev;
};

struct Sheet {
  std::string id;
  std::vector<Strand> strands;  // in record order
};

struct Structure {
  std::string source;  // the path read
  std::string entry;   // identifier, as in the file header or its name
  std::vector<Chain> chains;
  std::vector<Sheet> sheets;        // the sheets prepared, from sheetSource
  std::string sheetSource = "records";  // "records" (the file's own) or "dssp"
  std::vector<Sheet> recordSheets;  // the file's own records, when DSSP's sheets replaced them
  std::vector<std::string> notes;   // what was read by default where the file is silent
};

// Reads model 1 of a PDB or mmCIF file, plain or gzipped, of at most 512 MiB
// once decompressed, with a line on `progress` (when given) on each 64 MiB of
// a long read. An old PDB file that carries the entry name and a line serial
// in columns 73-80 is read again with those columns cut when the first
// reading fails. Names that are not printable ASCII are refused.
Structure readStructure(const std::string& path, std::ostream* progress = nullptr);

// ---- Sheet eligibility -----------------------------------------------------

struct SheetVerdict {
  const Sheet* sheet = nullptr;
  std::string chain;                                   // the strands' chain; "" when several
  int chainIndex = -1;                                 // into Structure::chains
  std::vector<std::pair<size_t, size_t>> strandRanges;  // residue index ranges, first..last
  size_t residueCount = 0;
  bool eligible = false;
  std::string reason;  // why not, when not eligible
};

// The chains a `--chain` value names: "" is the first chain that holds amino
// acids, "all" every such chain, "A,B" those chains. Throws when a chain named
// is absent or holds no amino acids, or when no chain holds any.
std::vector<std::string> chainsPrepared(const Structure& st, const std::string& chains);

// Judges every sheet of the structure against the chains prepared (a
// `--chain` value, as chainsPrepared reads it); sheets of other chains are
// reported as such.
std::vector<SheetVerdict> judgeSheets(const Structure& st, const std::string& chains);

// One line for a listing: sheet, chain, strands with their residues, verdict.
std::string describeVerdict(const SheetVerdict& v);

// One line for a listing: every chain with ATOM residues, and whether it holds amino acids.
std::string describeChains(const Structure& st);

// ---- Secondary structure --------------------------------------------------------

enum class SheetSource {
  Auto,     // the file's sheet records when it has any, DSSP otherwise
  Records,  // the file's sheet records only
  Dssp,     // DSSP, whatever the file records
};

// Two strands that DSSP pairs into a ladder, as indices into a list of strands.
struct Ladder {
  size_t first = 0, second = 0;
  int sense = -1;  // 1 parallel, -1 antiparallel
};

// Sheets from strands and the ladders that join them, each in the order of
// its ladders, as SHEET records list strands: every strand after the first
// pairs with the one before it, and its sense is relative to that one. A sheet
// that branches is split where it branches, as the records split it (the
// junction strand in both pieces, the later pieces named id2, id3, ...); a
// closed barrel lists its first strand again at the end.
std::vector<Sheet> sheetsFromLadders(const std::string& id, const std::vector<Strand>& strands,
                                     const std::vector<Ladder>& ladders);

struct DsspRun {
  std::string program = "mkdssp";  // a name looked up on PATH, or a path
  double timeoutSeconds = 600;
};

// The sheets DSSP finds in the amino-acid chains of the structure (model 1,
// as read), run as a child process on a clean mmCIF copy of those chains: the
// chains prepared (a --chain value) and the others with them, up to 62.
std::vector<Sheet> assignSheetsByDssp(const Structure& st, const std::string& chains, const DsspRun& run);

// Sets the sheets to prepare from the source asked for (and records which).
// With DSSP in place of a file's own records, those records are kept in
// recordSheets for comparison.
void assignSecondaryStructure(Structure& st, SheetSource source, const std::string& chains, const DsspRun& run);

// Lines comparing the file's records with DSSP on the chains prepared: the
// strand residues of each, and for every sheet the other source's sheet that
// shares most of its residues. Empty unless DSSP replaced the records.
std::vector<std::string> compareAssignments(const Structure& st, const std::string& chains);

// ---- The case's PDB file ----------------------------------------------------

// Writes a header naming the entry and the title, the sheet's SHEET records
// alone (numbered 1..n) and every ATOM record of the chain, then TER and END,
// 80 columns each.
void writeCasePdb(const std::string& path, const Structure& st, const SheetVerdict& v, const std::string& title);

// ---- Density -------------------------------------------------------------------

// A box of voxels; voxel (i, j, k) sits at origin + voxel * (i, j, k), x fastest.
struct DensityBox {
  std::array<int, 3> n{};
  std::array<double, 3> voxel{};
  Point origin{};
  std::vector<float> values;
  size_t index(int i, int j, int k) const { return (static_cast<size_t>(k) * n[1] + j) * n[0] + i; }
  size_t size() const { return values.size(); }
};

// Calls visit(index, squared distance to p) for every voxel of the box
// within reach of p along each axis; the caller keeps those near enough.
template <class Visit>
void visitVoxelsAround(const DensityBox& box, const Point& p, double reach, Visit&& visit) {
  int lo[3], hi[3];
  for (int d = 0; d < 3; ++d) {
    lo[d] = std::max(0, static_cast<int>(std::floor((p[d] - reach - box.origin[d]) / box.voxel[d])));
    hi[d] = std::min(box.n[d] - 1, static_cast<int>(std::ceil((p[d] + reach - box.origin[d]) / box.voxel[d])));
  }
  for (int k = lo[2]; k <= hi[2]; ++k)
    for (int j = lo[1]; j <= hi[1]; ++j)
      for (int i = lo[0]; i <= hi[0]; ++i) {
        const double dx = box.origin[0] + i * box.voxel[0] - p[0];
        const double dy = box.origin[1] + j * box.voxel[1] - p[1];
        const double dz = box.origin[2] + k * box.voxel[2] - p[2];
        visit(box.index(i, j, k), dx * dx + dy * dy + dz * dz);
      }
}

// The box spanning the atoms +- margin, snapped to the voxel grid: per axis
// origin = floor((min - margin) / s) * s and n = ceil((max + margin - origin) / s) + 1.
DensityBox boxAroundAtoms(const std::vector<Point>& atoms, const std::array<double, 3>& voxel, double margin);

// The density of the atoms from electron scattering factors, every atom with
// B = 0 and occupancy 1, blurred by B = 4 R^2.
DensityBox simulateDensity(const std::vector<Atom>& atoms, double resolution, double voxel, double margin);

// The same density on the voxels of a given box (any origin and voxel size).
DensityBox simulateDensityOn(const std::vector<Atom>& atoms, double resolution, const DensityBox& grid);

struct MapCut {
  double margin = 6;
  double zone = 3;   // voxels farther than this from every atom are set to 0
  double voxel = 0;  // 0: the map's own voxel size
  std::vector<Atom> model;  // every atom of the model, which the noise is measured away from; empty: the sheet's
};

// The noise of a map, measured away from the molecule (farther than 6 Å
// from every atom of the model): its median and a robust standard deviation
// (1.4826 x the median absolute deviation). Not a number when fewer than
// 1000 voxels lie that far out.
struct MapNoise {
  double median = 0;
  double sigma = std::numeric_limits<double>::quiet_NaN();
  size_t outsideVoxels = 0;
};

struct CutMap {
  DensityBox box;
  std::vector<char> inZone;  // per box voxel: within the zone and inside the map
  MapNoise noise;
  double mapMax = 0;         // of the whole map
};

// Cuts the box around the atoms out of an experimental map (orthogonal cells
// only), resampled by trilinear interpolation when a voxel size is given.
// The atoms must lie at least min(zone, 3 Å) inside the map; the box beyond
// the map's edge is empty.
CutMap cutExperimentalMap(const std::string& mapPath, const std::vector<Atom>& atoms, const MapCut& cut);

// Mode 2, little-endian, x fastest, cell = n * voxel, ORIGIN = voxel (0,0,0),
// header statistics filled.
void writeMrc(const std::string& path, const DensityBox& box);

// ---- Threshold ---------------------------------------------------------------

// Residue volume in cubic ångström (135 for names not in the table).
double residueVolume(const std::string& residueName);

struct LevelStats {
  std::string text;  // the threshold as written (what the analysis reads)
  double level = 0;  // the text's value
  long long kept = 0;
  int pieces6 = 0, pieces26 = 0;
  long long largest6 = 0;  // voxels of the largest 6-connected piece
  int sheetPieces6 = 0;    // 6-connected pieces of at least a residue's volume (60 Å^3)
  bool touchesFace = false;
};

// The voxels at or above a level: how many, in how many 6- and 26-connected
// pieces, and whether any lies on a face of the box.
LevelStats measureLevel(const DensityBox& box, const std::string& text);

struct ThresholdResult {
  bool found = false;
  std::string message;  // why not, when not found
  LevelStats stats;
  bool noisy = false;   // the noise rules applied
  double floor = 0;     // the lowest level they allow
};

// Starts at the level enclosing `volume` and lowers it in 3% steps until the
// voxels at or above it form one 6-connected piece, specks smaller than a
// residue (60 Å^3) aside. On a noisy map (noise σ
// over 0.1% of the box's maximum) the level stays at or above the noise's
// median + 3 σ, and the largest piece need only hold 90% of the kept voxels.
// The search gives up (not found) once the level falls below `lowest`.
ThresholdResult findThreshold(const DensityBox& box, double volume, const MapNoise& noise = MapNoise(),
                              double lowest = -std::numeric_limits<double>::infinity());

// The threshold rule encloses this share of the strand residues' volume: at
// 6-10 Å a whole residue's volume takes in the side chains and leaves a thick,
// lumpy slab (docs/threshold.md).
constexpr double kVolumeFactor = 0.5;

// The strand residues' volume read from a map alone, where no model gives
// it: a multiple, set by the resolution, of the volume of the voxels at or
// above half the box's maximum. On the box of one sheet's density it comes
// within about 10% of the summed residue volumes at 6-10 Å.
double mapOnlyVolume(const DensityBox& box, double resolution);

// Rounds to four significant digits, as text.
std::string fourDigits(double level);

// ---- Reference twist -------------------------------------------------------------

// Signed angles in degrees between the axes of neighbouring strands, given each
// strand's C-alpha positions from N to C.
std::vector<double> interStrandAngles(const std::vector<std::vector<Point>>& strandCAs);

// ---- Synthetic sheets ---------------------------------------------------------------

struct SyntheticSheetShape {
  int strands = 4;
  int length = 7;
  double twist = -18;  // degrees between neighbouring strands, reference convention
  bool parallel = false;
};

// N straight strands of L residues 4.8 Å apart, rising 3.35 Å per residue,
// each turned by the twist about the cross-strand axis relative to its
// neighbour, with a planar trans backbone and a C-beta, and SHEET records.
Structure buildSyntheticSheet(const SyntheticSheetShape& shape);

// ---- Cases ----------------------------------------------------------------------------

struct PrepareOptions {
  std::string outDir;
  std::vector<double> resolutions{8.0};
  std::string chain;  // as --chain gives it: "", "A", "A,B" or "all"
  SheetSource assign = SheetSource::Auto;
  DsspRun dssp;
  std::vector<std::string> sheets;  // empty: every sheet
  double voxel = 1.0;
  bool voxelGiven = false;
  double margin = 6.0;
  double volumeFactor = kVolumeFactor;
  bool force = false;
  bool skipExisting = false;  // keep existing case folders without a word of complaint
  std::string mapPath;  // experimental map instead of simulated density
  double zone = 3.0;
  std::string threshold;  // as given; empty: the rule
  bool synthetic = false;
  SyntheticSheetShape syntheticSheet;
};

struct CaseOutcome {
  std::string name;
  bool written = false;
  bool kept = false;    // there already, and kept (--skip-existing)
  bool unfit = false;   // not written as the sheet cannot make a case (no threshold keeps it whole, say)
  std::string message;  // why not, when not written
};

// The folder names a run has given out, each with the sheet that holds it
// ("1abc chain A sheet B").
using NamesGiven = std::map<std::string, std::string>;

// Writes one folder per eligible sheet and resolution under options.outDir,
// reporting each on `progress`. A folder appears whole or not at all.
// Folder names are lower case, so two sheets whose chain or sheet ids differ
// only in case (chains "A" and "a" of a large complex) would share one: the
// first keeps it and the later one is refused, never written over it.
// `given` carries the names across the entries of one run.
std::vector<CaseOutcome> prepareCases(const Structure& st, const PrepareOptions& options, std::ostream& progress,
                                      NamesGiven* given = nullptr);

// What a call of prepareAll did.
struct PrepareTally {
  int written = 0;     // case folders written
  int kept = 0;        // there already, kept by --skip-existing
  int unreadable = 0;  // structure files that could not be read at all
  int unwritten = 0;   // cases that should have been written and were not (a full disk, a folder in the way)
};

// Prepares every structure file in turn (or the synthetic sheet when the
// options ask for one), with a progress line per entry on `progress`. With
// `list`, prints each sheet and its verdict on `out` instead. Throws when
// no case was written and none kept (unless listing), or, listing, when no
// file was read.
PrepareTally prepareAll(const std::vector<std::string>& files, const PrepareOptions& options, bool list, std::ostream& out,
               std::ostream& progress);

// The case name: entry, chain, sheet and resolution, lower case ("1abc_a_b_8a").
std::string caseName(const std::string& entry, const std::string& chain, const std::string& sheet, double resolution);

}  // namespace prepare
}  // namespace vel
