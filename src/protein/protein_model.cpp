#include <cstdio>
#include <iostream>
#include <string>

#include "velmorantique/protein.h"

void errMsg(const std::string& className, const std::string& funcName, const std::string& message,
            bool wait) {
  std::cout << "\n"
            << "================================ in " << className << "." << funcName
            << "() ====================\n"
            << message << "\n"
            << std::string(79, '=') << "\n";
  if (wait) {
    std::cout << '\a' << "Press any key...\n";
    std::cout.flush();
    // A closed or exhausted input gives EOF at once, so an unattended run
    // goes on instead of waiting forever.
    std::getchar();
  }
  std::cout.flush();
}

void Protein::initialize() {
  fileName = "Unknown";
  name = "Unknown";
  AAs.clear();
  missingAAs.clear();
  header.clear();
  hlces.clear();
  strands.clear();
  AAsCollide.clear();
  atomsCollide.clear();
}

int Protein::numOfAtoms(int i) const {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "numOfAtoms",
           "The given index (" + toString(i) + ") is out of range..or the portion is empty (no.AAs= " +
               toString(numOfAA()) + ")");
    return 0;
  }
  return static_cast<int>(AAs[i].atoms.size());
}
