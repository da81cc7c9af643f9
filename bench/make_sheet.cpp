// make_sheet: writes a synthetic twisted beta-sheet (synthetic_sheet.h) as a
// reference PDB file and a density map, and prints the threshold that keeps
// its sheet voxels.
//
//   make_sheet <out-dir> <name> <scale>
//
// Scale 1 samples the sheet at 1 Å (3,750 voxels), scale 8 at 0.5 Å (30,000).

#include <cstdio>
#include <cstdlib>
#include <string>

#include "synthetic_sheet.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: make_sheet <out-dir> <name> <scale>\n");
    return 1;
  }
  const double scale = std::atof(argv[3]);
  if (!(scale > 0)) {
    std::fprintf(stderr, "scale must be positive\n");
    return 1;
  }
  const SyntheticSheet sheet = writeSyntheticSheet(argv[1], argv[2], scale);
  std::printf("%.17g\n", sheet.threshold);
  return 0;
}
