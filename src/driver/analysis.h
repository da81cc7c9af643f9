#pragma once
#include <ostream>

namespace vel {

// The whole program behind main: argument check, run set-up, the stages in
// order, the report streams closed; returns the exit status.
int runVelmorantique(int argc, char** argv, std::ostream& out, std::ostream& err);

}  // namespace vel
