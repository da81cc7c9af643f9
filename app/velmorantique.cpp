// velmorantique: checks the command line, then runs the analysis.
#include <iostream>

#include "driver/analysis.h"

int main(int argc, char** argv) { return vel::runVelmorantique(argc, argv, std::cout, std::cerr); }
