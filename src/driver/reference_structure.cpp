#include "driver/reference_structure.h"

#include <algorithm>

#include "velmorantique/fatal.h"
#include "velmorantique/protein.h"

namespace vel {

namespace {

Protein readProtein(const std::string& pdbPath) {
  Protein protein;
  protein.read(pdbPath + ".pdb", "");
  return protein;
}

Coordinate caOf(const Protein& protein, int residue) { return protein.getAtomCoordinate(residue, " CA "); }

std::string residueText(const AminoAcid& aa) { return aa.chr3 + "-" + toString(aa.num); }

[[noreturn]] void refuseAxisLength(const Protein& protein, const SheetsSecondaryStructure& record, double length) {
  stopRun(FrameStyle::Report, "Reference.FindTrueStrands",
          "The strand axes of " + protein.fileName + " are too long to sample every 0.1 A ( " +
              toString(length) + " A reached at the strand " + residueText(protein.AAs[record.start]) + " to " +
              residueText(protein.AAs[record.end]) + "; at most " + toString(kMaxAxisLength) +
              " A in all ). Its C-alpha coordinates are not those of a sheet.");
}

// A strand residue without its C-alpha has no place on the strand: its axis
// and its C-alphas would run out to a placeholder far from the sheet, and
// every score would measure that placeholder.
void refuseStrandsWithoutCa(const Protein& protein, const std::string& function) {
  for (const SheetsSecondaryStructure& record : protein.strands) {
    for (int j = record.start; j <= record.end; ++j) {
      if (protein.getAtomIndx(j, " CA ") != -1) continue;
      stopRun(FrameStyle::Report, "Reference." + function,
              "The strand " + residueText(protein.AAs[record.start]) + " to " + residueText(protein.AAs[record.end]) +
                  " of " + protein.fileName + " has no C-alpha ( CA ) at residue " + residueText(protein.AAs[j]) +
                  ": its strand axis cannot be drawn. Add the atom, or end the SHEET record before that residue.");
    }
  }
}

// The strand records with their C-alphas, asked for in chain order.
ReferenceStrands strandsOf(const Protein& protein) {
  ReferenceStrands strands(protein.strands.size());
  for (size_t i = 0; i < protein.strands.size(); ++i) {
    const SheetsSecondaryStructure& record = protein.strands[i];
    for (int j = record.start; j <= record.end; ++j) strands[i].cas.push_back(caOf(protein, j));
    strands[i].seqLength = record.seqLength;
    strands[i].sheetId = record.sheetID;
    strands[i].strand = record.strand;
    if (record.start >= 0 && record.start < protein.numOfAA()) strands[i].firstResidue = protein.AAs[record.start].num;
    if (record.end >= 0 && record.end < protein.numOfAA()) strands[i].lastResidue = protein.AAs[record.end].num;
  }
  return strands;
}

}  // namespace

ReferenceStrands readReferenceStrands(const std::string& pdbPath) { return strandsOf(readProtein(pdbPath)); }

ReferenceStrands readCheckedReferenceStrands(const std::string& pdbPath) {
  const Protein protein = readProtein(pdbPath);
  refuseStrandsWithoutCa(protein, "FindTrueCAs");
  return strandsOf(protein);
}

StrandSet FindTrueCAs(const std::string& pdbPath) {
  StrandSet cas;
  for (ReferenceStrand& strand : readCheckedReferenceStrands(pdbPath)) cas.push_back(std::move(strand.cas));
  return cas;
}

StrandSet FindTrueStrands(const std::string& pdbPath) {
  const Protein protein = readProtein(pdbPath);
  refuseStrandsWithoutCa(protein, "FindTrueStrands");
  StrandSet axes(protein.strands.size());
  double sampledLength = 0.0;
  for (size_t i = 0; i < protein.strands.size(); ++i) {
    const SheetsSecondaryStructure& record = protein.strands[i];
    const int a = record.start, b = record.end;
    // The C-alphas are asked for in the order the axis uses them (the first,
    // every consecutive triplet, the last), so that a missing one is
    // reported, in chain order, each time it is used.
    PointList cas(static_cast<size_t>(std::max(0, b - a + 1)));
    const Coordinate first = caOf(protein, a);
    for (int j = a; j <= b - 2; ++j)
      for (int k = j; k <= j + 2; ++k) cas[k - a] = caOf(protein, k);
    const Coordinate last = caOf(protein, b);
    if (!cas.empty()) {
      cas.front() = first;
      cas.back() = last;
    }
    axes[i] = sampleStrandAxis(first, cas, last, sampledLength);
    if (!(sampledLength <= kMaxAxisLength)) refuseAxisLength(protein, record, sampledLength);
  }
  return axes;
}

}  // namespace vel
