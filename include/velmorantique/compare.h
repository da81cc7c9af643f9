#pragma once
// Reference comparison: the reference strands of the PDB file, distances and
// RMS between strand sets, and the count of reference residues a candidate
// detects. Every function that takes a path reads pdbPath + ".pdb" afresh.

#include <string>
#include <utility>

#include "velmorantique/geometry.h"

StrandSet FindTrueStrands(std::string pdbPath);
StrandSet FindTrueCAs(std::string pdbPath);

double Dist(const PointList& p, const PointList& q);
double OneWayDist(const StrandSet& a, const StrandSet& b);
std::pair<double, double> Dist_OneToOne(const PointList& p, const PointList& q);
std::pair<std::pair<double, double>, int> RMS(const StrandSet& a, const StrandSet& b);

std::pair<int, int> FindDetectAA(std::string pdbPath, const StrandSet& candidate);
