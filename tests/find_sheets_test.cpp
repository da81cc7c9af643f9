// The finder on densities whose answer is known: plates are kept as sheets,
// rods are not, a rod packed on a plate does not join it, and two plates
// that cross are told apart. The densities are written by the test.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "find/find_parts.h"
#include "support/files.h"
#include "velmorantique/find.h"

using namespace vel::find;

namespace {

// A cube of about 48 Å centred on the origin, the density given per point.
std::string writeDensity(const std::string& dir, const std::function<double(double, double, double)>& rho,
                         double voxel = 1) {
  DensityBox box;
  const int n = static_cast<int>(std::lround(48 / voxel));
  box.n = {n, n, n};
  box.voxel = {voxel, voxel, voxel};
  box.origin = {-n / 2 * voxel, -n / 2 * voxel, -n / 2 * voxel};
  box.values.resize(static_cast<size_t>(n) * n * n);
  for (size_t at = 0; at < box.values.size(); ++at) {
    const vel::prepare::Point p = voxelPoint(box, at);
    box.values[at] = static_cast<float>(rho(p[0], p[1], p[2]));
  }
  const std::string path = dir + "/analytic.mrc";
  vel::prepare::writeMrc(path, box);
  return path;
}

double gauss(double d, double sigma) { return std::exp(-d * d / (2 * sigma * sigma)); }
// 1 inside [-h, h], falling off smoothly beyond.
double within(double x, double h) { return std::fabs(x) <= h ? 1.0 : gauss(std::fabs(x) - h, 1.2); }

double plate(double x, double y, double z) { return gauss(z, 1.6) * within(x, 13) * within(y, 11); }
// The plate turned about x by 1.5 degrees per Å: a helicoid, as a twisted sheet.
double twisted(double x, double y, double z) {
  const double a = x * 1.5 * 3.14159265358979 / 180;
  return plate(x, std::cos(a) * y + std::sin(a) * z, -std::sin(a) * y + std::cos(a) * z);
}
double rod(double x, double y, double z) { return gauss(std::hypot(y, z), 2.4) * within(x, 14); }

FindResult findIn(const std::string& path, double resolution = 6) {
  FindOptions o;
  o.mapPath = path;
  o.resolution = resolution;
  o.level.contour = "0.3";
  std::ostringstream quiet;
  return findSheets(o, quiet);
}

std::vector<const Segment*> keptOf(const FindResult& r) {
  std::vector<const Segment*> out;
  for (const Segment& s : r.segments)
    if (s.kept) out.push_back(&s);
  return out;
}

}  // namespace

TEST(FindSheets, KeepsPlatesAndDropsRods) {
  const std::string dir = makeTempDir();
  struct Case {
    const char* name;
    std::function<double(double, double, double)> rho;
    size_t sheets;
  } cases[] = {
      {"flat plate", plate, 1},
      {"twisted plate", twisted, 1},
      {"rod", rod, 0},
  };
  for (const Case& c : cases) {
    const FindResult r = findIn(writeDensity(dir, c.rho));
    const std::vector<const Segment*> kept = keptOf(r);
    ASSERT_EQ(kept.size(), c.sheets) << c.name;
    for (const Segment* s : kept) {
      EXPECT_GT(std::fabs(s->shape.normal[2]), 0.9) << c.name;  // the plate's normal, along z
      EXPECT_EQ(s->caseName, "analytic_s1");
    }
    for (const Segment& s : r.segments) EXPECT_FALSE(s.reason.empty()) << c.name;
  }
}

TEST(FindSheets, ARodPackedOnAPlateStaysOutOfIt) {
  const std::string dir = makeTempDir();
  const FindResult r = findIn(writeDensity(dir, [](double x, double y, double z) {
    return std::max(plate(x, y, z), rod(x, y, z - 9));
  }));
  const std::vector<const Segment*> kept = keptOf(r);
  ASSERT_EQ(kept.size(), 1u);
  // Nearly all of the case lies in the plate, below the rod's side.
  size_t inRod = 0;
  for (size_t at : kept[0]->voxels) {
    const double z = r.crop.box.origin[2] + static_cast<double>(at / (r.crop.box.n[0] * r.crop.box.n[1]));
    inRod += z > 5;
  }
  EXPECT_LT(inRod, kept[0]->voxels.size() / 10);
}

TEST(FindSheets, TwoCrossingPlatesAreNeverOneCase) {
  // The classifier, trained on proteins, finds little of such idealised
  // plates where they cross; what it keeps must lie in one plate or the
  // other, never across both.
  const std::string dir = makeTempDir();
  const FindResult r = findIn(writeDensity(dir, [](double x, double y, double z) {
    return std::max(plate(x, y, z), plate(z, y, x));
  }));
  const DensityBox& box = r.crop.box;
  for (const Segment* s : keptOf(r)) {
    size_t inFirst = 0, inSecond = 0;
    for (size_t at : s->core) {
      const double x = box.origin[0] + static_cast<double>(at % box.n[0]);
      const double z = box.origin[2] + static_cast<double>(at / (box.n[0] * box.n[1]));
      inFirst += std::fabs(z) <= 2.5;
      inSecond += std::fabs(x) <= 2.5;
    }
    EXPECT_GE(std::max(inFirst, inSecond), s->core.size() * 9 / 10) << s->caseName;
  }
}

TEST(FindSheets, TheSheetFoundDoesNotDependOnTheVoxelSize) {
  // One density, a twisted plate with a rod packed on it, on voxels of
  // 0.7, 1 and 1.4 Å: the volume of its cases stays within 10%.
  const std::string dir = makeTempDir();
  const auto rho = [](double x, double y, double z) { return std::max(twisted(x, y, z), rod(x, y, z - 9)); };
  double volume[3] = {0, 0, 0};
  const double voxels[3] = {0.7, 1.0, 1.4};
  for (int v = 0; v < 3; ++v) {
    const FindResult r = findIn(writeDensity(dir, rho, voxels[v]));
    for (const Segment* s : keptOf(r))
      volume[v] += static_cast<double>(s->voxels.size()) * std::pow(voxels[v], 3);
  }
  ASSERT_GT(volume[1], 1000);
  for (int v : {0, 2}) EXPECT_NEAR(volume[v] / volume[1], 1.0, 0.1) << voxels[v] << " A voxels";
}

TEST(FindSheets, LevelRulesAndTheirRefusal) {
  // Masked maps hold voxels without a number (NaN): they are no density, and
  // change none of the figures nor the level.
  for (const bool masked : {false, true}) {
    DensityBox box;
    box.n = {10, 10, 10};
    box.voxel = {2, 2, 2};
    box.values.assign(1000, 0.0f);
    for (size_t i = 0; i < 1000; ++i) box.values[i] = static_cast<float>(0.01 * ((i * 7919) % 13) - 0.06);
    for (size_t i = 0; i < 100; ++i) box.values[i * 10 + 1] = 5;  // the protein: 100 voxels of 8 Å^3
    double sum = 0;
    for (size_t i = 0; i < 1000; ++i) {
      if (masked && i % 10 == 0) box.values[i] = std::nanf("");
      if (!std::isnan(box.values[i])) sum += box.values[i];
    }
    const MapStatistics stats = mapStatistics(box);
    EXPECT_EQ(stats.max, 5) << masked;
    EXPECT_NEAR(stats.min, -0.06, 1e-6) << masked;
    EXPECT_NEAR(stats.mean, sum / (masked ? 900 : 1000), 1e-9) << masked;
    LevelRequest request;
    EXPECT_EQ(chooseLevel(box, stats, request).rule, "background");
    EXPECT_LT(chooseLevel(box, stats, request).value, 1.0);
    request.massKda = 100 * 8 / 1.21 / 1000;  // encloses the 100 voxels
    const Level mass = chooseLevel(box, stats, request);
    EXPECT_EQ(mass.rule, "mass");
    EXPECT_EQ(mass.value, 5) << masked;
    request.contour = "6";
    EXPECT_THROW(chooseLevel(box, stats, request), FindError);  // nothing at or above it
  }
  DensityBox unset;
  unset.n = {2, 2, 2};
  unset.values.assign(8, std::nanf(""));
  const MapStatistics none = mapStatistics(unset);
  EXPECT_TRUE(std::isnan(none.max));  // written as null, never as a value the map does not hold
  EXPECT_THROW(chooseLevel(unset, none, LevelRequest()), FindError);
}

TEST(FindSheets, ScriptsCarryOnlyWhitelistedNames) {
  EXPECT_TRUE(scriptSafe("/data/maps/emd_1234.v2-final+b/NAME_s1.mrc"));
  for (const char* bad : {"", "a;b", "a b", "a\nb", "a,b", "a\"b", "a#b", "caf\xc3\xa9"}) EXPECT_FALSE(scriptSafe(bad)) << bad;
  EXPECT_EQ(findName("/x/EMD-1234.map.gz"), "emd-1234");
  EXPECT_EQ(findName("my map;rm.mrc"), "my_map_rm");
}
