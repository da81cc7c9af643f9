#pragma once
// Reading the pseudo-atom PDB files of a run back, plain or gzip-compressed.

#include <string>

#include "velmorantique/geometry.h"

namespace vel::report {

// The path of a stage file as it is on disk: path itself, else path + ".gz";
// empty when neither exists.
std::string findStageFile(const std::string& path);

// The coordinates of every ATOM/HETATM record of a PDB file, in file order.
// Reads gzip-compressed files as well. Throws ReportError naming the file and
// line when the file cannot be read or a coordinate is not a number.
PointList readStagePoints(const std::string& path);

// Splits the points of a stick file, written line after line, into its
// strand lines: a step longer than maxStep starts a new line.
StrandSet splitStrandLines(const PointList& points, double maxStep);

}  // namespace vel::report
