// make_sheet: writes a synthetic twisted beta-sheet (synthetic_sheet.h) as a
// reference PDB file and a density map, and prints the threshold that keeps
// its sheet voxels.
//
//   make_sheet <out-dir> <name> <scale> [wide]
//   make_sheet <out-dir> <name> slab <nx> <ny> <nz>
//
// Scale 1 samples the sheet at 1 Å (3,750 voxels), scale 8 at 0.5 Å (30,000).
// "wide" makes the 11-strand sheet of 17 residues (34,000 voxels at scale 1).
// "slab" writes a slab of noise on 1 Å voxels instead, no sheet at all,
// whose every voxel is a point at the threshold it prints (0).

#include <cstdio>
#include <cstdlib>
#include <string>

#include "synthetic_sheet.h"

using namespace vel;

int main(int argc, char** argv) {
  if (argc == 7 && std::string(argv[3]) == "slab") {
    writeNoiseSlab(argv[1], argv[2], std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
    std::printf("0\n");
    return 0;
  }
  const bool wide = argc == 5 && std::string(argv[4]) == "wide";
  if (argc != 4 && !wide) {
    std::fprintf(stderr, "usage: make_sheet <out-dir> <name> <scale> [wide] | slab <nx> <ny> <nz>\n");
    return 1;
  }
  const double scale = std::atof(argv[3]);
  if (!(scale > 0)) {
    std::fprintf(stderr, "scale must be positive\n");
    return 1;
  }
  const SyntheticSheet sheet = writeSyntheticSheet(argv[1], argv[2], scale, wide ? kWideSheet : SheetShape());
  std::printf("%.17g\n", sheet.threshold);
  return 0;
}
