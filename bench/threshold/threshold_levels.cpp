// threshold_levels: the level read from each prepared case's map alone, as
// the finder contours its cases, beside the level of the residue-volume rule.
//
//   threshold_levels [--share S] CASE_DIR...   (S: the volume factor [prepare's default])
//
// Prints per case: its folder, the map-only level (to four digits, lowered
// until one piece like prepare's), its threshold file's level, and the
// volumes behind both (the map-only volume; the case's residues' volume
// times its factor, from meta.json), in Å^3. bench/threshold/measure.sh
// runs the analysis at the first level.
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "velmorantique/find.h"
#include "velmorantique/prepare.h"

using namespace vel;

int main(int argc, char** argv) {
  double share = prepare::kVolumeFactor;
  int first = 1;
  if (argc > 2 && std::string(argv[1]) == "--share") {
    share = std::stod(argv[2]);
    first = 3;
  }
  if (first >= argc) {
    std::cerr << "usage: threshold_levels [--share S] CASE_DIR...\n";
    return 1;
  }
  int status = 0;
  for (int a = first; a < argc; ++a) {
    std::string dir = argv[a];
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const std::string name = std::filesystem::path(dir).filename().string();
    try {
      std::ifstream in(dir + "/meta.json");
      const nlohmann::json meta = nlohmann::json::parse(in);
      std::ostringstream notes;
      const find::DensityBox box = find::readWholeMap(dir + "/" + name + ".mrc", notes);
      const double volume = share * prepare::mapOnlyVolume(box, meta.at("resolution_A").get<double>());
      const prepare::ThresholdResult t = prepare::findThreshold(box, volume);
      std::ifstream level(dir + "/threshold");
      std::string own;
      level >> own;
      std::cout << dir << '\t' << (t.found ? t.stats.text : "NA") << '\t' << own << '\t' << volume << '\t'
                << meta.value("molecular_volume_A3", 0.0) << '\n';
    } catch (const std::exception& e) {
      std::cerr << dir << ": " << e.what() << '\n';
      status = 1;
    }
  }
  return status;
}
