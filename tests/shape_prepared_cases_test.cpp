// The prepared cases the shape estimator is measured on: ideal sheets must
// keep the twist they were built with when turned off the voxel grid and be
// followed by the estimator in the preparation library's own density, and
// every chain's sheets must be found.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "../bench/prepared_cases.h"
#include "../bench/shape_sheets.h"
#include "driver/reference_structure.h"
#include "support/files.h"
#include "velmorantique/map.h"

using namespace vel;

namespace {

std::string baseOf(const std::string& dir) { return dir + "/" + dir.substr(dir.rfind('/') + 1); }

double metaNumber(const std::string& dir, const std::string& key) {
  const std::string text = readFile(dir + "/meta.json");
  const size_t at = text.find("\"" + key + "\"");
  return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + text.find(':', at) + 1);
}

TEST(PreparedSheets, KeepTheirTwistOffTheGridAndAreFollowedByTheEstimator) {
  TempDir dir;
  const std::vector<PreparedFolder> folders = prepareSyntheticSheets(dir.path, 3);
  ASSERT_EQ(folders.size(), 3u);
  for (const PreparedFolder& f : folders) {
    SCOPED_TRACE(f.dir);
    // The twist built, from the entry name ("..._tm18_..."), is what the case records.
    EXPECT_NEAR(metaNumber(f.dir, "mean_inter_strand_angle_deg"), -std::atof(f.dir.c_str() + f.dir.find("_tm") + 3),
                0.01);
    const Vectors axis = centralStrandAxis(FindTrueCAs(baseOf(f.dir)));
    EXPECT_LT(std::max({std::fabs(axis.x), std::fabs(axis.y), std::fabs(axis.z)}), 0.98);
    Map map;
    map.read(baseOf(f.dir) + ".mrc");
    const ShapeDirection d =
        estimateShapeDirection(densityGridFromMap(map), std::atof(readFile(f.dir + "/threshold").c_str()));
    ASSERT_TRUE(d.found);
    EXPECT_LT(axisAngleDegrees(d.direction, axis), 3.0);
  }
}

TEST(PreparedSheets, TakeEveryEligibleSheetOfEveryChain) {
  TempDir dir;
  std::set<std::string> names;
  for (const PreparedFolder& f :
       prepareStructureSheets(dir.path, {std::string(VEL_SOURCE_DIR) + "/tests/fixtures/1hpv.pdb.gz"}, {8}))
    names.insert(f.dir.substr(f.dir.rfind('/') + 1));
  EXPECT_EQ(names, (std::set<std::string>{"1hpv_a_b_8a", "1hpv_a_c_8a", "1hpv_b_d_8a", "1hpv_b_e_8a"}));
}

// Strands along y, each turned about x by `turn` degrees more than the last.
StrandSet fan(int count, double turn) {
  StrandSet strands(count);
  for (int k = 0; k < count; ++k) {
    const double a = (k - (count - 1) / 2.0) * turn * 3.141592653589793 / 180;
    for (int i = -3; i <= 3; ++i) strands[k].push_back(Coordinate(4.8 * k, i * std::cos(a), i * std::sin(a)));
  }
  return strands;
}

// Seven strands 30 degrees apart fan over 180 degrees: their mean line lies
// across the middle strand, the central axis along it.
TEST(PreparedSheets, CentralAxisFollowsTheMiddleStrands) {
  const Vectors y(0, 1, 0);
  EXPECT_NEAR(axisAngleDegrees(meanStrandAxis(fan(7, 30)), y), 90, 1e-6);
  EXPECT_NEAR(axisAngleDegrees(centralStrandAxis(fan(7, 30)), y), 0, 1e-6);
  EXPECT_NEAR(axisAngleDegrees(centralStrandAxis(fan(4, 20)), y), 0, 1e-6);  // between the middle two
}

}  // namespace
