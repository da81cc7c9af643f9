// A whole map read by the analysis's own reader: the same stored forms are
// read, and the same headers refused, as when the analysis reads a case.
#include <algorithm>
#include <cctype>
#include <ostream>
#include <sstream>
#include <utility>

#include "velmorantique/fatal.h"
#include "velmorantique/find.h"
#include "velmorantique/map.h"

namespace vel {
namespace find {

namespace {

constexpr double kLeastVoxelSize = 0.1;  // Å

}  // namespace

DensityBox readWholeMap(const std::string& path, std::ostream& notes) {
  Map map;
  // The reader says on the run's output how an unusual stored form was read.
  const RunStreams previous = runStreams();
  runStreams() = RunStreams{&notes, &notes};
  try {
    map.read(path);
  } catch (const FatalError& e) {
    runStreams() = previous;
    throw FindError(path + ": " + e.frame.message);
  }
  runStreams() = previous;
  DensityBox box;
  box.n = {map.numRows(), map.numCols(), map.numSlcs()};
  box.voxel = {map.apixX, map.apixY, map.apixZ};
  box.origin = {map.hdr.xorigin, map.hdr.yorigin, map.hdr.zorigin};
  for (double v : box.voxel) {
    if (!(v > 0)) throw FindError(path + ": the map's voxel size is not positive");
    // No map of a protein is sampled this finely; such a voxel comes from
    // cell lengths not given in Å, and the cases' margins of empty space
    // would take millions of voxels a side.
    if (v < kLeastVoxelSize) {
      std::ostringstream why;
      why << path << ": the map's voxel size (" << v << " A) is below " << kLeastVoxelSize
          << " A: are its header's cell lengths in A?";
      throw FindError(why.str());
    }
  }
  box.values = std::move(map.cube);
  return box;
}

std::string findName(const std::string& mapPath) {
  std::string name = mapPath.substr(mapPath.find_last_of('/') + 1);
  auto dropEnding = [&](const std::string& ending) {
    if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      name.resize(name.size() - ending.size());
      return true;
    }
    return false;
  };
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  dropEnding(".gz");
  dropEnding(".mrc") || dropEnding(".map") || dropEnding(".ccp4");
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != '_') c = '_';
  return name.empty() ? std::string("map") : name;
}

bool scriptSafe(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '/' && c != '+' && c != '-')
      return false;
  return true;
}

std::string scriptPath(const std::string& path) {
  std::string bare = path;
  bare.erase(std::remove(bare.begin(), bare.end(), ' '), bare.end());
  return scriptSafe(bare) ? "\"" + path + "\"" : std::string();
}

}  // namespace find
}  // namespace vel
