#pragma once
// Whole-chain maps simulated from the calibration entries, and what the
// chain's model says of them: shared by the finder's accuracy benchmark and
// the training of its sheet classifier.
#include <cstdint>
#include <string>
#include <vector>

#include "find/model_overlap.h"
#include "map_kinds.h"
#include "shape_sheets.h"
#include "velmorantique/find.h"

// The parts of a line between separators.
std::vector<std::string> splitText(const std::string& s, char sep);

struct EntryRow {
  std::string entry, chain;  // "all", or chains "A,C": the first of them with an eligible sheet
  std::string protein;
  std::string label() const;  // ENTRY, or ENTRY_A_C
};

// The rows of one half of the split (columns `entry`, `split`, `chains`,
// and `protein` when present), in the split's order.
std::vector<EntryRow> entriesOf(const std::string& splitPath, const std::string& half);

// A label as one file name: the "/" of an entry given with its folder
// (pfam_domains/PF00041_1TEN_A) becomes "_".
std::string fileLabel(std::string label);

// DIR/ENTRY.pdb, .cif, .pdb.gz or .cif.gz; empty when none exists.
std::string structurePath(const std::string& dir, const std::string& entry);

// The model's sheets as readModelSheets gives them; for a file without
// sheet records (as most of ../shared/data/structures), DSSP's.
vel::find::ModelSheets modelSheetsWithDssp(const std::string& path);

// The chain simulated and its reference: the first chain with an eligible sheet.
struct Truth {
  std::string chain;
  const vel::prepare::Chain* residues = nullptr;
  std::vector<vel::find::ModelSheet> sheets;  // eligible sheets of the chain
  std::vector<char> strandResidue;            // per residue of the chain: in a SHEET strand
  double volume = 0;                          // summed residue volumes, Å^3
  std::vector<vel::prepare::Atom> atoms() const;
};
Truth truthOf(const vel::find::ModelSheets& model, const std::string& chain);

// Per residue of the chain: in a strand of the structure's sheets.
std::vector<char> strandResiduesOf(const vel::prepare::Structure& st, const vel::prepare::Chain& chain);

// An atom of what a map holds, and whether it belongs to a strand residue.
struct LabelledAtom {
  vel::prepare::Atom atom;
  bool strand = false;
};

// The chain's atoms, labelled by `strand` (per residue).
std::vector<LabelledAtom> labelledAtoms(const vel::prepare::Chain& chain, const std::vector<char>& strand);

// A map of one of map_kinds.h's kinds, with every atom it holds labelled:
// the chain's and, when crowded, the entry's other chains' and the packed
// copies' of the chain.
struct KindMap {
  SimulatedMap map;
  std::vector<LabelledAtom> atoms;
  // The other sheets a crowded map holds: those of the other chains and of
  // the packed copies, moved into place. A case on them is not a false one.
  std::vector<vel::find::ModelSheet> neighbourSheets;
};
// Whether copyOf makes the copy rather than a kind: "clean", "low-passed", "noisy".
bool isPlainCopy(const std::string& copy);
KindMap kindMapOf(const vel::find::ModelSheets& model, const Truth& truth, const MapKind& kind, double resolution,
                  uint32_t seed);

vel::DensityGrid toGrid(const vel::find::DensityBox& b);
vel::find::DensityBox withValues(vel::find::DensityBox b, const vel::DensityGrid& g);

// The map a copy ("clean", "low-passed" or "noisy") is made into.
vel::find::DensityBox copyOf(const vel::find::DensityBox& clean, const std::string& copy, double resolution,
                             double volume, uint32_t seed);
