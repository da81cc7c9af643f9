// A whole map read by the analysis's own reader: the same stored forms are
// read, and the same headers refused, as when the analysis reads a case.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>

#include "velmorantique/batch.h"
#include "velmorantique/fatal.h"
#include "velmorantique/find.h"
#include "velmorantique/map.h"

namespace vel {
namespace find {

namespace {

constexpr double kLeastVoxelSize = 0.1;  // Å

// The batch refuses a case whose files' names would pass 255 bytes: NAME_sK
// with up to six digits of K, then the analysis's longest file ending.
static_assert(kLongestFindName + 2 + 6 + std::char_traits<char>::length(batch::kLongestStageSuffix) <= 255,
              "case names made from the map's name must stay usable by the batch");

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
  // A leading dot would hide the case folders (".mrc") or name the parent
  // folder ("...mrc"); the name is cut to what every later tool can carry.
  name.erase(0, name.find_first_not_of('.'));
  if (name.size() > kLongestFindName) name.resize(kLongestFindName);
  return name.empty() ? std::string("map") : name;
}

void refuseOverBudget(const FindOptions& o, const std::array<int, 3>& n, double bytesPerVoxel, const char* stage) {
  const uint64_t limit = o.maxMemory != 0 ? o.maxMemory : cubeMemoryLimit(), mb = 1024 * 1024;
  const double voxels = static_cast<double>(n[0]) * n[1] * n[2];
  const double needed = voxels * bytesPerVoxel;
  if (limit == 0 || needed <= static_cast<double>(limit)) return;
  std::ostringstream why;
  why << stage << " " << n[0] << " x " << n[1] << " x " << n[2] << " voxels may need up to "
      << static_cast<uint64_t>(std::ceil(needed / mb)) << " MB, more than "
      << (o.maxMemory != 0 ? std::string("--max-memory") : memoryLimitName()) << " ( " << limit / mb
      << " MB ): allow more with --max-memory GB, or cut the map down around the molecule (or one region of it "
         "with --box, which reads no local shape)";
  throw FindError(why.str());
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
