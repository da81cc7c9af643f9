#pragma once
// Whole-chain maps simulated from the calibration entries, and what the
// chain's model says of them: shared by the finder's accuracy benchmark and
// the training of its sheet classifier.
#include <cstdint>
#include <string>
#include <vector>

#include "find/model_overlap.h"
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

// DIR/ENTRY.pdb or DIR/ENTRY.cif; empty when neither exists.
std::string structurePath(const std::string& dir, const std::string& entry);

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

vel::DensityGrid toGrid(const vel::find::DensityBox& b);
vel::find::DensityBox withValues(vel::find::DensityBox b, const vel::DensityGrid& g);

// The map a copy ("clean", "low-passed" or "noisy") is made into.
vel::find::DensityBox copyOf(const vel::find::DensityBox& clean, const std::string& copy, double resolution,
                             double volume, uint32_t seed);
