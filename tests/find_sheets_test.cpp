// The finder on densities whose answer is known: plates are kept as sheets,
// rods are not, a rod packed on a plate does not join it, and two plates
// that cross are told apart. The densities are written by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
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

FindResult findIn(const std::string& path, double resolution = 6, const SegmentRules& rules = SegmentRules()) {
  FindOptions o;
  o.mapPath = path;
  o.resolution = resolution;
  o.rules = rules;
  o.level.contour = "0.3";
  std::ostringstream quiet;
  return findSheets(o, quiet);
}

// The message a call is refused with ("" when it is not).
std::string refusal(const std::function<void()>& call) {
  try {
    call();
  } catch (const FindError& e) {
    return e.what();
  }
  return "";
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
    const char* dropped = nullptr;  // part of the reason a plate-like segment was dropped
    double minArea = SegmentRules().minArea;
  } cases[] = {
      {"flat plate", plate, 1},
      {"twisted plate", twisted, 1},
      {"rod", rod, 0},
      // 18 x 16 Å: a sheet's shape, let past the area rule, but its case
      // holds less than three strands fill.
      {"small plate", [](double x, double y, double z) { return gauss(z, 1.6) * within(x, 9) * within(y, 8); }, 0,
       "less than the smallest sheet of three strands", 50},
  };
  for (const Case& c : cases) {
    SegmentRules rules;
    rules.minArea = c.minArea;
    const FindResult r = findIn(writeDensity(dir, c.rho), 6, rules);
    const std::vector<const Segment*> kept = keptOf(r);
    ASSERT_EQ(kept.size(), c.sheets) << c.name;
    if (c.dropped) {
      EXPECT_TRUE(std::any_of(r.segments.begin(), r.segments.end(), [&](const Segment& s) {
        return s.reason.find(c.dropped) != std::string::npos;
      })) << c.name << ": " << (r.segments.empty() ? std::string("no segment") : r.segments[0].reason);
    }
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

TEST(FindSheets, VoxelsWithoutANumberAreZeroAndCounted) {
  // One infinite voxel in the plate and one NaN beside it: no case holds
  // either, and the result says how many there were.
  const std::string dir = makeTempDir();
  const FindResult r = findIn(writeDensity(dir, [](double x, double y, double z) {
    if (x == 0 && y == 0 && z == 0) return static_cast<double>(INFINITY);
    if (x == 5 && y == 0 && z == 0) return static_cast<double>(NAN);
    return plate(x, y, z);
  }));
  EXPECT_EQ(r.nonFinite, 2u);
  ASSERT_EQ(keptOf(r).size(), 1u);
  for (float v : r.crop.box.values) ASSERT_TRUE(std::isfinite(v));
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

  // A box of 4 Å voxels 520 Å across would take 138 million voxels on the
  // classifier's 1 Å grid: refused with the numbers, before they are taken.
  DensityBox coarse;
  coarse.n = {130, 130, 130};
  coarse.voxel = {4, 4, 4};
  coarse.values.assign(130 * 130 * 130, 1.0f);
  vel::prepare::writeMrc(dir + "/coarse.mrc", coarse);
  const std::string why = refusal([&] { findIn(dir + "/coarse.mrc"); });
  EXPECT_NE(why.find("520 x 520 x 520 A, would take 138 million voxels"), std::string::npos) << why;
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

namespace {

// A filament's stretch along x: 240 atoms blurred to 2 Å in a rod of 8 Å
// radius, on 2 Å voxels; `sharpened` takes off a third of it blurred 4 Å
// further, which leaves negative lobes beside it.
double filament(const vel::prepare::Point& p, bool sharpened) {
  static const std::vector<std::array<double, 3>> atoms = [] {
    std::mt19937 random(3);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<std::array<double, 3>> a;
    while (a.size() < 240) {
      const double y = 8 * u(random), z = 8 * u(random);
      if (y * y + z * z <= 64) a.push_back({30 * u(random), y, z});
    }
    return a;
  }();
  double rho = 0;
  for (const auto& a : atoms) {
    const double d2 = std::pow(p[0] - a[0], 2) + std::pow(p[1] - a[1], 2) + std::pow(p[2] - a[2], 2);
    rho += std::exp(-d2 / 8);
    if (sharpened) rho -= std::pow(2.0 / std::sqrt(20.0), 3) / 3 * std::exp(-d2 / 40);
  }
  return rho;
}

// `n` voxels of 2 Å a side about the origin (the y and z sides `across`):
// the filament, noise of sigma 0.1 where `noisy`, and exactly 0 beyond `mask` Å of the rod's axis.
DensityBox filamentBox(int n, int across, bool noisy, bool sharpened, double mask) {
  DensityBox box;
  box.n = {n, across, across};
  box.voxel = {2, 2, 2};
  for (int d = 0; d < 3; ++d) box.origin[d] = -(box.n[d] - 1);
  box.values.resize(static_cast<size_t>(n) * across * across);
  std::mt19937 random(11);
  std::normal_distribution<double> noise(0, 0.1);
  for (size_t at = 0; at < box.values.size(); ++at) {
    const vel::prepare::Point p = voxelPoint(box, at);
    const double e = noisy ? noise(random) : 0;  // drawn for every voxel: the noise of a voxel is its own
    const bool inside = mask > 1e8 || (std::fabs(p[0]) <= 30 && std::hypot(p[1], p[2]) <= mask);
    box.values[at] = inside ? static_cast<float>(filament(p, sharpened) + e) : 0.0f;
  }
  return box;
}

// The box with `k` voxels of 0 added on each side, the density unchanged in space.
DensityBox padded(const DensityBox& box, int k) {
  DensityBox out = box;
  for (int d = 0; d < 3; ++d) out.n[d] += 2 * k, out.origin[d] -= k * box.voxel[d];
  out.values.assign(static_cast<size_t>(out.n[0]) * out.n[1] * out.n[2], 0.0f);
  for (size_t at = 0; at < box.values.size(); ++at) {
    const std::array<int, 3> g = gridIndex(box, at);
    out.values[out.index(g[0] + k, g[1] + k, g[2] + k)] = box.values[at];
  }
  return out;
}

}  // namespace

TEST(FindSheets, TheLevelReadsTheSolventWhateverTheBoxAndMask) {
  // The reference: a noisy filament in a box of solvent.
  const DensityBox reference = filamentBox(40, 40, true, false, 1e9);
  const MapStatistics want = mapStatistics(reference);
  const double wantLevel = chooseLevel(reference, want, LevelRequest()).value;
  EXPECT_NEAR(want.backgroundSigma, 0.1, 0.005);
  const DensityBox masked = filamentBox(40, 40, true, false, 24);
  struct Case {
    const char* name;
    DensityBox box;
    double tolerance;  // of the noise's sigma and the level, as shares of the reference's
  } cases[] = {
      {"masked to 0 at 24 A", masked, 0.05},
      {"masked and padded", padded(masked, 12), 0.05},
      // A tight box's solvent lies near the molecule and holds its fringes.
      {"mostly molecule", filamentBox(40, 10, true, false, 1e9), 0.2},
      {"sharpened, mostly molecule", filamentBox(40, 10, true, true, 1e9), 0.2},
  };
  for (const Case& c : cases) {
    const MapStatistics stats = mapStatistics(c.box);
    const Level level = chooseLevel(c.box, stats, LevelRequest());
    EXPECT_NEAR(stats.backgroundSigma / want.backgroundSigma, 1, c.tolerance) << c.name;
    EXPECT_NEAR(level.value / wantLevel, 1, c.tolerance) << c.name;
    EXPECT_EQ(level.rule, "background") << c.name;
    EXPECT_GT(level.volume, 0) << c.name;
  }
  // Without noise, the level does not move with the padding around the molecule.
  std::vector<double> levels;
  for (int n : {34, 48, 80}) {
    const DensityBox box = filamentBox(n, n, false, false, 24);
    levels.push_back(chooseLevel(box, mapStatistics(box), LevelRequest()).value);
  }
  EXPECT_EQ(levels[0], levels[1]);
  EXPECT_EQ(levels[0], levels[2]);
  // Noise alone gives no sound level: said, with what to give instead.
  DensityBox noise = filamentBox(24, 24, true, false, 1e9);
  std::mt19937 random(5);
  std::normal_distribution<double> gauss(0, 0.1);
  for (float& v : noise.values) v = static_cast<float>(gauss(random));
  const std::string why = refusal([&] { chooseLevel(noise, mapStatistics(noise), LevelRequest()); });
  EXPECT_NE(why.find("--contour"), std::string::npos) << why;
  EXPECT_NE(why.find("--mass-kda"), std::string::npos) << why;
}

TEST(FindSheets, ScriptsCarryOnlyWhitelistedNames) {
  EXPECT_TRUE(scriptSafe("/data/maps/emd_1234.v2-final+b/NAME_s1.mrc"));
  for (const char* bad : {"", "a;b", "a b", "a\nb", "a,b", "a\"b", "a#b", "caf\xc3\xa9"}) EXPECT_FALSE(scriptSafe(bad)) << bad;
  EXPECT_EQ(scriptPath("/my maps/a b.mrc"), "\"/my maps/a b.mrc\"");
  for (const char* bad : {"a;b c", "a\"b c", ""}) EXPECT_EQ(scriptPath(bad), "") << bad;
  EXPECT_EQ(findName("/x/EMD-1234.map.gz"), "emd-1234");
  EXPECT_EQ(findName("my map;rm.mrc"), "my_map_rm");
}

// A case is kept only as thin as the analysis reads one sheet: its measure
// (the volume over the spread of the plate) gives a slab's own thickness,
// and a slab thicker than 12.5 Å is dropped, saying why.
TEST(FindSheets, ACaseTheAnalysisWouldCallMoreThanOneSheetIsDropped) {
  for (int thickness : {8, 16}) {
    DensityBox box;
    box.n = {40, 40, 24};
    box.voxel = {1, 1, 1};
    box.values.assign(40 * 40 * 24, 0.0f);
    Segment s;
    s.kept = true;
    for (int k = 0; k < thickness; ++k)
      for (int j = 0; j < 40; ++j)
        for (int i = 0; i < 40; ++i) {
          box.values[box.index(i, j, k)] = 1;
          s.voxels.push_back(box.index(i, j, k));
        }
    EXPECT_NEAR(analysisThickness(box, s.voxels, 0.5), thickness, 0.5);
    judgeCase(s, box, 0.5, SegmentRules());
    EXPECT_EQ(s.kept, thickness < 12.5) << thickness;
    if (!s.kept) {
      EXPECT_NE(s.reason.find("as the analysis reads it, above 12.5"), std::string::npos) << s.reason;
    }
  }
}

// A case name must never make a hidden folder, nor one the batch refuses
// as too long for the names of the files it makes.
TEST(FindSheets, NamesStayUsableByEveryLaterTool) {
  const std::pair<std::string, std::string> names[] = {
      {".mrc", "mrc"}, {"...mrc", "map"}, {"/x/..map", "map"}, {"/x/.hidden.mrc.gz", "hidden"},
      {std::string(240, 'a') + ".mrc", std::string(kLongestFindName, 'a')}};
  for (const auto& [path, name] : names) EXPECT_EQ(findName(path), name) << path;
}

// Whether a kept segment is a sheet: below either low limit it is `low`,
// whatever the other signal; a missing figure never reads as a sheet.
TEST(SheetConfidence, LevelsFollowTheSheetProbabilityAndTheBackbonesCurl) {
  struct Row {
    double probability, residual;
    const char* level;
    size_t reasons;
  };
  const Row rows[] = {
      {0.62, 2.0, "high", 1},   {0.59, 1.4, "high", 1}, {0.589, 2.0, "medium", 1}, {0.56, 1.4, "medium", 1},
      {0.559, 2.0, "low", 1},   {0.62, 1.39, "low", 1}, {0.50, 1.0, "low", 2},     {NAN, 2.0, "low", 1},
      {0.62, NAN, "low", 1},
  };
  for (const Row& r : rows) {
    SegmentShape shape;
    shape.sheetProbability = r.probability;
    shape.fitResidual = r.residual;
    const SheetConfidence c = judgeSheetConfidence(shape);
    EXPECT_EQ(c.level, r.level) << r.probability << " " << r.residual;
    EXPECT_EQ(c.reasons.size(), r.reasons) << r.probability << " " << r.residual;
  }
}
