#pragma once
// Analysis cases made by the project's own preparation library, for measuring
// the shape estimator on maps it did not make itself: ideal sheets of known
// twist (turned to a random orientation and shifted off the voxel grid) and
// every eligible sheet of real structures, each simulated with the prepare
// density model and contoured by its threshold rule. Each case is an ordinary
// case folder (NAME.pdb, NAME.mrc, threshold, meta.json).

#include <string>
#include <vector>

namespace vel {

struct PreparedFolder {
  std::string dir;   // the case folder
  bool synthetic = false;
  int index = 0;     // synthetic sheets: their number, which decides tuning (even) or held-out (odd)
};

// `count` ideal sheets: 3-8 strands of 5-12 residues, 5-30 degrees of
// natural twist, parallel or antiparallel, at 5-12 Å, numbered 0..count-1.
std::vector<PreparedFolder> prepareSyntheticSheets(const std::string& outDir, int count);

// Every eligible sheet of every chain of each structure file, at each
// resolution; sheets that cannot be prepared are named on stderr and left out.
std::vector<PreparedFolder> prepareStructureSheets(const std::string& outDir, const std::vector<std::string>& files,
                                                   const std::vector<double>& resolutions);

}  // namespace vel
