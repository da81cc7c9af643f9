#include <string>

#include "velmorantique/protein.h"

namespace vel {

void reportFrame(const Frame& frame) { printFrame(frame, *runStreams().out, *runStreams().err); }

void errMsg(const std::string& className, const std::string& funcName, const std::string& message,
            bool wait) {
  reportFrame(Frame{FrameStyle::Report, className + "." + funcName, message, wait});
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

}  // namespace vel
