#pragma once
// The reference structure of a run, read from pdbPath + ".pdb". Every call
// reads the file afresh, as the run's output expects: a run reads it once
// for the strand axes, once for the C-alphas and once per detected-residue
// count, and each read reports again the missing C-alphas it meets.

#include <string>

#include "velmorantique/compare.h"

namespace vel {

// The strand records with their C-alphas, asked for in chain order.
ReferenceStrands readReferenceStrands(const std::string& pdbPath);
// The same, refusing (framed message, FatalError) a strand residue without
// its C-alpha, whose placeholder would pull every score far off the sheet.
ReferenceStrands readCheckedReferenceStrands(const std::string& pdbPath);
// The C-alphas of every strand record, record order, refused as above.
StrandSet FindTrueCAs(const std::string& pdbPath);
// The sampled axis of every strand record, record order. Axes too long to
// sample stop the run (framed message, FatalError).
StrandSet FindTrueStrands(const std::string& pdbPath);

}  // namespace vel
