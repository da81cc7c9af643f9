#pragma once
// What one case is made of, gathered while it is built and written out as
// meta.json.
#include <limits>
#include <string>
#include <vector>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

struct StrandSummary {
  int start = 0, end = 0, sense = 0, residues = 0;
};

struct CaseRecord {
  std::string name, entry, chain, sheetId, kind, source, mapSource;
  std::string sheetSource;  // "records" or "dssp"
  std::vector<StrandSummary> strands;
  size_t sheetResidues = 0, sheetAtoms = 0, chainResidues = 0;
  double resolution = 0, margin = 0, zone = 0;
  DensityBox box;
  std::string densityModel, thresholdRule;
  std::string levelRule;    // the rule's name: "residue_volume x0.4", or "given"
  double volumeFactor = 0;  // of the residue-volume rule; 0 when the level was given
  LevelStats level;
  double molecularVolume = 0;
  double caInsideFraction = 0;
  double mapMin = 0, mapMax = 0;
  // Experimental maps: the noise away from the molecule, and how well the
  // model's own simulated density matches the map in the zone.
  double noiseSigma = std::numeric_limits<double>::quiet_NaN();
  double fitCaInDensity = std::numeric_limits<double>::quiet_NaN();
  double fitCorrelation = std::numeric_limits<double>::quiet_NaN();
  long long mapBytes = 0;
  std::vector<double> angles;
  SyntheticSheetShape synthetic;
};

std::string caseMeta(const CaseRecord& c);

// A sheet in words ("1abc chain A sheet B"), and the sheet a case's
// meta.json describes (its chain by the first character, as the file keeps
// it; empty when the file cannot be read).
std::string metaSheet(const std::string& entry, const std::string& chain, const std::string& sheetId);
std::string metaSheet(const std::string& metaPath);

}  // namespace prepare
}  // namespace vel
