#pragma once
// Small PDB files written by the reference-comparison tests: fixed-column ATOM
// and SHEET lines of chain A, and a file <base>.pdb in the test temporary
// directory, removed when the test is done with it.

#include <cstdio>
#include <string>

#include "support/files.h"

// name is the 4-character field of columns 13-16, blanks included.
inline std::string atomLine(int serial, const std::string& name, const std::string& resName,
                            int resNum, double x, double y, double z) {
  char line[96];
  std::snprintf(line, sizeof line, "ATOM  %5d %-4.4s %3.3s A%4d    %8.3f%8.3f%8.3f  1.00  0.00",
                serial, name.c_str(), resName.c_str(), resNum, x, y, z);
  return std::string(line) + "\n";
}

// A strand from residue number first to residue number last.
inline std::string sheetLine(int strand, int first, int last) {
  char line[96];
  std::snprintf(line, sizeof line, "SHEET  %3d   A 2 VAL A%4d  VAL A%4d %2d", strand, first, last,
                strand == 1 ? 0 : -1);
  return std::string(line) + "\n";
}

struct PdbFile {
  PdbFile(const std::string& name, const std::string& text)
      : file(name + ".pdb", text), base(file.path.substr(0, file.path.size() - 4)) {}

  TempFile file;
  const std::string base;  // the path without its ".pdb" ending
};
