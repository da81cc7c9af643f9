#pragma once
// Reference comparison: the reference strands of the PDB file, distances and
// RMS between strand sets, and the count of reference residues a candidate
// detects. Every function that takes a path reads pdbPath + ".pdb" afresh.

#include <string>
#include <utility>
#include <vector>

#include "velmorantique/geometry.h"

StrandSet FindTrueStrands(std::string pdbPath);
// What a report says of each reference strand besides its C-alphas: the
// residue numbers it runs between and the residues its record spans.
struct ReferenceStrandSpan {
  int firstResidue = 0, lastResidue = 0;
  int seqLength = 0;
  std::string sheetId;  // the SHEET records' sheet and strand number, which
  int strand = 0;       // give the order of neighbouring strands
};
// The C-alphas of every strand, N to C; spans, when given, receives one entry
// per strand from the same reading of the file.
StrandSet FindTrueCAs(std::string pdbPath, std::vector<ReferenceStrandSpan>* spans = nullptr);

double Dist(const PointList& p, const PointList& q);
double OneWayDist(const StrandSet& a, const StrandSet& b);
std::pair<double, double> Dist_OneToOne(const PointList& p, const PointList& q);
std::pair<std::pair<double, double>, int> RMS(const StrandSet& a, const StrandSet& b);

std::pair<int, int> FindDetectAA(std::string pdbPath, const StrandSet& candidate);
// The count of FindDetectAA over reference C-alphas and spans already read.
std::pair<int, int> detectResidues(const StrandSet& referenceCAs, const std::vector<ReferenceStrandSpan>& spans,
                                   const StrandSet& candidate);
