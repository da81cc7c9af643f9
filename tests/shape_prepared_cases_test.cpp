// The prepared cases the shape estimator is measured on: ideal sheets must
// keep the twist they were built with when turned off the voxel grid, every
// chain's sheets must be found, and the estimator must follow an ideal sheet
// in the preparation library's own density.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "../bench/prepared_cases.h"
#include "../bench/shape_sheets.h"
#include "driver/reference_structure.h"
#include "support/files.h"
#include "velmorantique/map.h"
#include "velmorantique/shape.h"

namespace {

std::string baseOf(const std::string& dir) { return dir + "/" + dir.substr(dir.rfind('/') + 1); }

double metaNumber(const std::string& dir, const std::string& key) {
  const std::string text = readFile(dir + "/meta.json");
  const size_t at = text.find("\"" + key + "\"");
  EXPECT_NE(at, std::string::npos) << key;
  return at == std::string::npos ? std::nan("") : std::atof(text.c_str() + text.find(':', at) + 1);
}

// The twist the sheet was built with, from its entry name ("..._tm18_...").
double builtTwist(const std::string& dir) {
  const size_t at = dir.find("_tm");
  return at == std::string::npos ? 0 : -std::atof(dir.c_str() + at + 3);
}

// The mean line of the strands, each from its first C-alpha to its last
// (an ideal sheet's strands are straight).
Vectors strandLine(const std::string& dir) {
  std::vector<Vectors> axes;
  for (const PointList& cas : FindTrueCAs(baseOf(dir)))
    if (cas.size() >= 2) axes.push_back(Vectors(cas.front(), cas.back()).unit());
  return meanLineDirection(axes);
}

// Strands along y, each turned about x by `turn` degrees more than the last.
StrandSet fan(int count, double turn) {
  StrandSet strands;
  for (int k = 0; k < count; ++k) {
    const double a = (k - (count - 1) / 2.0) * turn * 3.141592653589793 / 180;
    PointList cas;
    for (int i = -3; i <= 3; ++i) cas.push_back(Coordinate(4.8 * k, i * 3.35 * std::cos(a), i * 3.35 * std::sin(a)));
    strands.push_back(cas);
  }
  return strands;
}

// Seven strands 30 degrees apart fan over 180 degrees: their mean line lies
// across the middle strand, the central axis along it.
TEST(PreparedSheets, CentralAxisFollowsTheMiddleStrands) {
  const Vectors y(0, 1, 0);
  EXPECT_NEAR(axisAngleDegrees(centralStrandAxis(fan(7, 30)), y), 0, 1e-6);
  EXPECT_NEAR(axisAngleDegrees(meanStrandAxis(fan(7, 30)), y), 90, 1e-6);
  EXPECT_NEAR(axisAngleDegrees(centralStrandAxis(fan(4, 20)), y), 0, 1e-6);  // between the middle two
  EXPECT_NEAR(axisAngleDegrees(centralStrandAxis(fan(1, 0)), y), 0, 1e-6);
  EXPECT_EQ(centralStrandAxis(StrandSet()).length(), 0);
}

TEST(PreparedSheets, KeepTheirBuiltTwistTurnedOffTheGrid) {
  TempDir dir;
  const std::vector<PreparedFolder> folders = prepareSyntheticSheets(dir.path, 3);
  ASSERT_EQ(folders.size(), 3u);
  for (size_t i = 0; i < folders.size(); ++i) {
    SCOPED_TRACE(folders[i].dir);
    EXPECT_TRUE(folders[i].synthetic);
    EXPECT_EQ(folders[i].index, static_cast<int>(i));
    EXPECT_NEAR(metaNumber(folders[i].dir, "mean_inter_strand_angle_deg"), builtTwist(folders[i].dir), 0.01);
    const Vectors axis = strandLine(folders[i].dir);
    EXPECT_LT(std::max({std::fabs(axis.x), std::fabs(axis.y), std::fabs(axis.z)}), 0.98);
  }
  // The same number draws the same sheet, so tuning and held-out sets stay fixed.
  TempDir again;
  EXPECT_EQ(readFile(baseOf(prepareSyntheticSheets(again.path, 1)[0].dir) + ".mrc"),
            readFile(baseOf(folders[0].dir) + ".mrc"));
}

TEST(PreparedSheets, TakeEveryEligibleSheetOfEveryChain) {
  TempDir dir;
  std::set<std::string> names;
  for (const PreparedFolder& f :
       prepareStructureSheets(dir.path, {std::string(VEL_SOURCE_DIR) + "/tests/fixtures/1hpv.pdb.gz"}, {8})) {
    EXPECT_FALSE(f.synthetic);
    names.insert(f.dir.substr(f.dir.rfind('/') + 1));
  }
  EXPECT_EQ(names, (std::set<std::string>{"1hpv_a_b_8a", "1hpv_a_c_8a", "1hpv_b_d_8a", "1hpv_b_e_8a"}));
}

TEST(PreparedSheets, ShapeDirectionFollowsAnIdealSheet) {
  TempDir dir;
  const std::vector<PreparedFolder> folders = prepareSyntheticSheets(dir.path, 3);
  for (const PreparedFolder& f : folders) {
    SCOPED_TRACE(f.dir);
    Map map;
    map.read(baseOf(f.dir) + ".mrc");
    const ShapeDirection d =
        estimateShapeDirection(densityGridFromMap(map), std::atof(readFile(f.dir + "/threshold").c_str()));
    ASSERT_TRUE(d.found);
    EXPECT_LT(axisAngleDegrees(d.direction, strandLine(f.dir)), 3.0);
  }
}

}  // namespace
