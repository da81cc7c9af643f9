#pragma once
// Fixtures for the protein tests: full 80-column ATOM records with every field
// settable, and standard output captured around a call.

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "support/files.h"

struct AtomRecord {
  int serial = 1;
  std::string name = " CA ";  // columns 13-16 as written
  char altLoc = ' ';
  std::string resName = "ALA";
  char chain = 'A';
  int resNum = 1;
  char iCode = ' ';
  double x = 0.0, y = 0.0, z = 0.0;
  std::string element = " C";
};

inline std::string pdbAtom(const AtomRecord& a) {
  char line[96];
  std::snprintf(line, sizeof line, "ATOM  %5d %-4.4s%c%3.3s %c%4d%c   %8.3f%8.3f%8.3f  1.00 20.00          %2.2s  ",
                a.serial, a.name.c_str(), a.altLoc, a.resName.c_str(), a.chain, a.resNum, a.iCode,
                a.x, a.y, a.z, a.element.c_str());
  return std::string(line) + "\n";
}

// An ATOM record with the usual fields; the rest as in AtomRecord.
inline std::string pdbAtom(const std::string& name, const std::string& resName, int resNum,
                           double x = 0.0, double y = 0.0, double z = 0.0, char altLoc = ' ',
                           char chain = 'A') {
  AtomRecord a;
  a.name = name;
  a.resName = resName;
  a.resNum = resNum;
  a.x = x, a.y = y, a.z = z;
  a.altLoc = altLoc;
  a.chain = chain;
  return pdbAtom(a);
}

// Runs f and returns what it printed on standard output.
template <class F>
std::string stdoutOf(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}
