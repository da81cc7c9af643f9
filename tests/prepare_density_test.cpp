// The simulated box, the threshold rule and the ideal sheet.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <sstream>

#include "support/program.h"
#include "velmorantique/prepare.h"

namespace fs = std::filesystem;
using namespace vel::prepare;

namespace {

// A box of nx x 1 x 1 voxels (a row) with the given values.
DensityBox row(const std::vector<float>& values) {
  DensityBox box;
  box.n = {static_cast<int>(values.size()), 1, 1};
  box.voxel = {1, 1, 1};
  box.values = values;
  return box;
}

Atom carbon(double x, double y, double z) {
  Atom a;
  a.name = "CA";
  a.element = "C";
  a.pos = {x, y, z};
  return a;
}

}  // namespace

TEST(PrepareDensity, BoxSnapsToTheVoxelGrid) {
  // x from -3.2 to 4.1 with 6 Å margin on 1.5 Å voxels: origin floor(-9.2 / 1.5) * 1.5 = -10.5,
  // n = ceil((10.1 + 10.5) / 1.5) + 1 = 15.
  const DensityBox box = boxAroundAtoms({{-3.2, 0, 7}, {4.1, 2, 7}}, {1.5, 1.5, 1.5}, 6);
  EXPECT_DOUBLE_EQ(box.origin[0], -10.5);
  EXPECT_EQ(box.n[0], 15);
  EXPECT_DOUBLE_EQ(box.origin[2], 0);  // floor(1 / 1.5) * 1.5
  EXPECT_EQ(box.n[2], 10);             // ceil(13 / 1.5) + 1
}

// One atom on a voxel: its density must be the same on either side of it.
// Were the periodic cell not padded, an image of the atom would add to one
// side of the box only.
TEST(PrepareDensity, SimulatedAtomIsSymmetricAndUntouchedByItsImages) {
  const DensityBox box = simulateDensity({carbon(3, -2, 11)}, 10, 1.0, 4);
  ASSERT_EQ(box.n[0], 9);
  const int c = 4;  // the atom's voxel
  const float centre = box.values[box.index(c, c, c)];
  EXPECT_GT(centre, 0);
  for (int d = 1; d <= 4; ++d) {
    EXPECT_NEAR(box.values[box.index(c - d, c, c)], box.values[box.index(c + d, c, c)], 1e-7) << d;
    EXPECT_NEAR(box.values[box.index(c, c - d, c)], box.values[box.index(c, c + d, c)], 1e-7) << d;
    EXPECT_NEAR(box.values[box.index(c, c, c - d)], box.values[box.index(c, c, c + d)], 1e-7) << d;
    EXPECT_LT(box.values[box.index(c + d, c, c)], centre);
  }
  // A higher resolution concentrates the same atom.
  EXPECT_GT(simulateDensity({carbon(3, -2, 11)}, 6, 1.0, 4).values[box.index(c, c, c)], centre);
}

TEST(PrepareThreshold, StartsAtTheLevelEnclosingTheVolumeToFourDigits) {
  const ThresholdResult r = findThreshold(row({0, 0.123456f, 0.5f, 0.9f, 0.5f, 0.11f, 0}), 4);
  ASSERT_TRUE(r.found) << r.message;
  EXPECT_EQ(r.stats.text, "0.1235");  // the fourth highest voxel, rounded: it drops below the level
  EXPECT_EQ(r.stats.kept, 3);
  EXPECT_EQ(r.stats.pieces6, 1);
}

TEST(PrepareThreshold, LowersInThreePercentStepsUntilOnePiece) {
  // Two peaks joined by a saddle at 0.8: from 0.95 the level goes 0.9215, 0.8939,
  // 0.8671, 0.8411, 0.8159 and 0.7914, which keeps the saddle.
  const ThresholdResult r = findThreshold(row({0, 1, 0.95f, 0.8f, 0.95f, 1, 0}), 4);
  ASSERT_TRUE(r.found) << r.message;
  EXPECT_EQ(r.stats.text, "0.7914");
  EXPECT_EQ(r.stats.kept, 5);
  EXPECT_EQ(r.stats.pieces6, 1);
}

// A sheet of 90 Å^3 beside another piece at the same height, on a grid of
// 0.8 x 1.0 x 1.25 Å: one stray voxel does not count, and the level stays
// where it encloses the volume; a piece the size of a residue still does,
// and the level drops to the saddle that joins it (0.5).
TEST(PrepareThreshold, StrayVoxelsBesideTheSheetDoNotSetTheLevel) {
  const struct {
    int other;          // voxels of the other piece
    const char* level;  // expected
  } cases[] = {{1, "1"}, {3, "1"}, {70, "0.4963"}};
  for (const auto& c : cases) {
    std::vector<float> values(90, 1.0f);
    values.push_back(0.5f);
    values.insert(values.end(), static_cast<size_t>(c.other), 1.0f);
    DensityBox box = row(values);
    box.voxel = {0.8, 1.0, 1.25};
    const ThresholdResult r = findThreshold(box, 90 + c.other);
    ASSERT_TRUE(r.found) << c.other << ": " << r.message;
    EXPECT_EQ(r.stats.text, c.level) << c.other;
  }
}

TEST(PrepareThreshold, PiecesJoinedOnlyAtCornersAreTwoPiecesFacewise) {
  DensityBox box;
  box.n = {2, 2, 1};
  box.voxel = {1, 1, 1};
  box.values = {1, 0, 0, 1};
  const LevelStats s = measureLevel(box, "0.5");
  EXPECT_EQ(s.pieces6, 2);
  EXPECT_EQ(s.pieces26, 1);
  EXPECT_TRUE(s.touchesFace);
}

// 0.7 as a float is just below 0.7 as a double: a voxel stored as 0.7f would be
// dropped by the analysis, which compares in double, and kept by a reader
// comparing in float. The level moves below it so that both keep it.
TEST(PrepareThreshold, LevelMovesBelowVoxelsBetweenItsDoubleAndFloatValues) {
  const ThresholdResult r = findThreshold(row({0, 1, 1, 0.7f, 0.7f, 1, 0}), 5);
  ASSERT_TRUE(r.found) << r.message;
  EXPECT_EQ(r.stats.text, "0.69993");
  EXPECT_EQ(r.stats.kept, 5);
}

TEST(PrepareThreshold, SheetWhoseLevelFallsBelowOnePercentOfTheMaximumIsSkipped) {
  const ThresholdResult r = findThreshold(row({1, 0.9f, 0, 0, 0.9f, 1}), 4);
  EXPECT_FALSE(r.found);
  EXPECT_NE(r.message.find("keeps the sheet in one piece above 1% of the map's maximum"), std::string::npos);
  EXPECT_FALSE(findThreshold(row({0, 0, 0}), 1).found);  // nothing but zeros
}

TEST(PrepareSynthetic, BuiltTwistIsTheMeasuredTwistBothWays) {
  for (bool parallel : {false, true})
    for (double twist : {-18.0, 7.5}) {
      SyntheticSheetShape shape;
      shape.strands = 5;
      shape.length = 6;
      shape.twist = twist;
      shape.parallel = parallel;
      const Structure st = buildSyntheticSheet(shape);
      const std::vector<SheetVerdict> v = judgeSheets(st, "");
      ASSERT_TRUE(v[0].eligible) << v[0].reason;
      std::vector<std::vector<Point>> cas;
      for (const auto& range : v[0].strandRanges) {
        cas.emplace_back();
        for (size_t i = range.first; i <= range.second; ++i) cas.back().push_back(st.chains[0].residues[i].find("CA")->pos);
      }
      const std::vector<double> angles = interStrandAngles(cas);
      ASSERT_EQ(angles.size(), 4u);
      for (double a : angles) EXPECT_NEAR(a, twist, 1e-6) << parallel;
      // Neighbouring strands run the same way only in a parallel sheet.
      const double dot = (cas[1].back()[1] - cas[1].front()[1]) * (cas[0].back()[1] - cas[0].front()[1]);
      EXPECT_EQ(dot > 0, parallel);
      EXPECT_EQ(st.sheets[0].strands[1].sense, parallel ? 1 : -1);
    }
}

// When the kept density reaches a face of the box, the margin grows until it
// does not.
TEST(PrepareCases, MarginGrowsWhileTheKeptDensityTouchesTheBox) {
  PrepareOptions o;
  o.outDir = makeTempDir();
  o.margin = 0;
  o.volumeFactor = 1;  // the residues' whole volume reaches past the atoms, to the faces of a box without margin
  o.synthetic = true;
  std::ostringstream progress;
  const std::vector<CaseOutcome> out = prepareCases(buildSyntheticSheet(o.syntheticSheet), o, progress);
  ASSERT_EQ(out.size(), 1u);
  ASSERT_TRUE(out[0].written) << out[0].message;
  const nlohmann::json meta = nlohmann::json::parse(readFile(o.outDir + "/" + out[0].name + "/meta.json"));
  EXPECT_GE(meta["margin_A"].get<double>(), 2.0);
  EXPECT_EQ(meta["true_inter_strand_angle_deg"].get<double>(), -18.0);
  EXPECT_EQ(meta["inter_strand_angles_deg"][0].get<double>(), -18.0);
  EXPECT_EQ(meta["components_6_connected"], 1);
  fs::remove_all(o.outDir);
}

namespace {

Point strandCentre(const Structure& st) {
  const SheetVerdict v = judgeSheets(st, "").at(0);
  Point sum{0, 0, 0};
  int n = 0;
  for (const auto& range : v.strandRanges)
    for (size_t i = range.first; i <= range.second; ++i, ++n)
      for (int d = 0; d < 3; ++d) sum[d] += st.chains[static_cast<size_t>(v.chainIndex)].residues[i].find("CA")->pos[d];
  for (double& s : sum) s /= n;
  return sum;
}

// The strand atoms of a structure's first sheet and their residues' volume.
std::vector<Atom> sheetAtoms(const Structure& st, double& volume) {
  const SheetVerdict v = judgeSheets(st, "").at(0);
  std::vector<Atom> atoms;
  volume = 0;
  for (const auto& range : v.strandRanges)
    for (size_t i = range.first; i <= range.second; ++i) {
      const Residue& r = st.chains[static_cast<size_t>(v.chainIndex)].residues[i];
      atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
      volume += residueVolume(r.name);
    }
  return atoms;
}

nlohmann::json preparedMeta(const Structure& st, const std::string& map) {
  PrepareOptions o;
  o.outDir = makeTempDir();
  o.mapPath = map;
  std::ostringstream progress;
  const std::vector<CaseOutcome> out = prepareCases(st, o, progress);
  if (out.empty() || !out[0].written) return {{"failed", out.empty() ? progress.str() : out[0].message}};
  return nlohmann::json::parse(readFile(o.outDir + "/" + out[0].name + "/meta.json"));
}

}  // namespace

// A map's own model fits it; another protein's sheet moved into the map's
// box does not, though the threshold rule contours whatever lies near it.
TEST(PrepareCases, ModelMapFitTellsTheModelFromAnotherProtein) {
  const Structure own = readStructure(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb");
  std::vector<Atom> chain;
  for (const Residue& r : own.chains[0].residues) chain.insert(chain.end(), r.atoms.begin(), r.atoms.end());
  const std::string map = makeTempDir() + "/chain.mrc";
  writeMrc(map, simulateDensity(chain, 8, 1.0, 12));
  Structure other = readStructure(sourceDir() + "/tests/data/1a7g_a_6a.pdb");
  const Point to = strandCentre(own), from = strandCentre(other);
  for (Chain& chain : other.chains)
    for (Residue& r : chain.residues)
      for (Atom& a : r.atoms)
        for (int d = 0; d < 3; ++d) a.pos[d] += to[d] - from[d];
  const nlohmann::json fits = preparedMeta(own, map), misfits = preparedMeta(other, map);
  ASSERT_TRUE(fits.contains("model_map_fit")) << fits;
  ASSERT_TRUE(misfits.contains("model_map_fit")) << misfits;
  EXPECT_GT(fits["model_map_fit"]["correlation"].get<double>(), 0.95);
  EXPECT_GE(fits["model_map_fit"]["strand_ca_in_density"].get<double>(), 0.9);
  // Without noise, what lies beyond the molecule is its density's faint tail.
  EXPECT_LT(fits["noise_sigma"].get<double>(), 1e-3 * fits["map_max"].get<double>());
  EXPECT_LT(misfits["model_map_fit"]["correlation"].get<double>(), 0.5) << misfits["model_map_fit"];
}

// Whole-chain maps with white noise: the level stays 3 sigma above the noise
// measured away from the molecule, the sheet is cut while noise leaves it
// nearly whole, and a map it drowns is refused with its figures.
TEST(PrepareCases, NoisyMapsAreContouredAboveTheirNoise) {
  const Structure own = readStructure(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb");
  std::vector<Atom> chain;
  for (const Residue& r : own.chains[0].residues) chain.insert(chain.end(), r.atoms.begin(), r.atoms.end());
  const DensityBox clean = simulateDensity(chain, 8, 1.0, 15);
  const float top = *std::max_element(clean.values.begin(), clean.values.end());
  for (const double share : {0.1, 0.2, 0.6}) {
    DensityBox noisy = clean;
    std::mt19937 engine(7);
    std::normal_distribution<float> gauss(0.0f, static_cast<float>(share * top));
    for (float& v : noisy.values) v += gauss(engine);
    const std::string map = makeTempDir() + "/noisy.mrc";
    writeMrc(map, noisy);
    const nlohmann::json meta = preparedMeta(own, map);
    if (share < 0.5) {
      ASSERT_TRUE(meta.contains("noise_sigma")) << share << ": " << meta;
      EXPECT_NEAR(meta["noise_sigma"].get<double>(), share * top, 0.05 * share * top);
      EXPECT_GE(meta["threshold"].get<double>(), 3 * share * top * 0.95) << share;
      EXPECT_GE(meta["model_map_fit"]["strand_ca_in_density"].get<double>(), 0.8) << share;
    } else {
      const std::string failed = meta.value("failed", "");
      EXPECT_NE(failed.find("no sound level: at or above 3 sigma of the map's noise (sigma 0."), std::string::npos) << meta;
      EXPECT_NE(failed.find("the map's maximum in the box is"), std::string::npos) << meta;
    }
  }
}

// Read from the map alone, a sheet's residues' volume and so its level come
// close to those of the rule that reads the model, at each resolution, on
// the map's own voxels or finer or coarser ones.
TEST(PrepareThreshold, MapOnlyLevelComesCloseToTheResidueVolumeRule) {
  const Structure st = readStructure(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb");
  double volume = 0;
  const std::vector<Atom> atoms = sheetAtoms(st, volume);
  for (const double resolution : {6.0, 8.0, 10.0})
    for (const double voxel : {0.7, 1.0, 1.4}) {
      const DensityBox box = simulateDensity(atoms, resolution, voxel, 6);
      const double read = mapOnlyVolume(box, resolution);
      EXPECT_NEAR(read, volume, 0.15 * volume) << resolution << " A, voxel " << voxel;
      const ThresholdResult byModel = findThreshold(box, kVolumeFactor * volume),
                            byMap = findThreshold(box, kVolumeFactor * read);
      ASSERT_TRUE(byModel.found && byMap.found) << resolution << " A, voxel " << voxel;
      EXPECT_NEAR(byMap.stats.level, byModel.stats.level, 0.1 * byModel.stats.level) << resolution << " A, voxel " << voxel;
    }
  // A map without density reads no volume.
  EXPECT_EQ(mapOnlyVolume(row({0, 0, -1}), 8), 0);
}

// Solvent masked to exact zeros and the box padded with them, the density
// unchanged where it is kept: the noise is read from the solvent left, so the
// level and the noise stay as on the whole map.
TEST(PrepareCases, MaskedAndPaddedMapKeepsItsNoiseAndLevel) {
  const Structure own = readStructure(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb");
  std::vector<Atom> chain;
  for (const Residue& r : own.chains[0].residues) chain.insert(chain.end(), r.atoms.begin(), r.atoms.end());
  DensityBox noisy = simulateDensity(chain, 8, 1.0, 15);
  const float top = *std::max_element(noisy.values.begin(), noisy.values.end());
  std::mt19937 engine(7);
  std::normal_distribution<float> gauss(0.0f, 0.2f * top);
  for (float& v : noisy.values) v += gauss(engine);
  const std::string whole = makeTempDir() + "/whole.mrc";
  writeMrc(whole, noisy);

  constexpr int kPad = 6;
  constexpr double kMaskReach = 10.0;
  std::vector<char> kept(noisy.size(), 0);
  for (const Atom& a : chain)
    visitVoxelsAround(noisy, a.pos, kMaskReach, [&](size_t at, double squared) {
      if (squared <= kMaskReach * kMaskReach) kept[at] = 1;
    });
  DensityBox masked;
  for (int d = 0; d < 3; ++d) {
    masked.n[d] = noisy.n[d] + 2 * kPad;
    masked.voxel[d] = noisy.voxel[d];
    masked.origin[d] = noisy.origin[d] - kPad * noisy.voxel[d];
  }
  masked.values.assign(static_cast<size_t>(masked.n[0]) * masked.n[1] * masked.n[2], 0.0f);
  for (int k = 0; k < noisy.n[2]; ++k)
    for (int j = 0; j < noisy.n[1]; ++j)
      for (int i = 0; i < noisy.n[0]; ++i)
        if (kept[noisy.index(i, j, k)])
          masked.values[masked.index(i + kPad, j + kPad, k + kPad)] = noisy.values[noisy.index(i, j, k)];
  const std::string maskedPath = makeTempDir() + "/masked.mrc";
  writeMrc(maskedPath, masked);

  const nlohmann::json a = preparedMeta(own, whole), b = preparedMeta(own, maskedPath);
  ASSERT_TRUE(a.contains("noise_sigma") && b.contains("noise_sigma")) << a << b;
  EXPECT_NEAR(b["noise_sigma"].get<double>(), a["noise_sigma"].get<double>(), 0.05 * a["noise_sigma"].get<double>());
  EXPECT_NEAR(b["threshold"].get<double>(), a["threshold"].get<double>(), 0.05 * a["threshold"].get<double>());
}

// Chains "A" and "a" of one entry would share a lower-case folder name: the
// later sheet is refused, in the same run or a later one, even under --force,
// and the earlier one's folder is left as it was written.
TEST(PrepareCases, SheetsWhoseIdsDifferOnlyInCaseNeverShareAFolder) {
  Structure st = buildSyntheticSheet(SyntheticSheetShape{});
  Chain twin = st.chains.at(0);
  twin.name = "a";
  Sheet copy = st.sheets.at(0);
  for (Strand& s : copy.strands)
    for (ResidueId* id : {&s.start, &s.end, &s.cur, &s.prev}) id->chain = "a";
  st.chains.push_back(twin);
  st.sheets.push_back(copy);
  for (const bool force : {false, true}) {
    PrepareOptions o;
    o.outDir = makeTempDir();
    o.force = force;
    o.chain = "all";
    std::ostringstream progress;
    const std::vector<CaseOutcome> out = prepareCases(st, o, progress);
    ASSERT_EQ(out.size(), 2u) << progress.str();
    EXPECT_TRUE(out[0].written) << out[0].message;
    EXPECT_EQ(out[1].name, out[0].name);
    EXPECT_FALSE(out[1].written || out[1].kept);
    EXPECT_NE(out[1].message.find("the same folder name as " + st.entry + " chain A sheet A"), std::string::npos)
        << out[1].message;
    // A later run of chain "a" alone finds the folder holding chain "A".
    o.chain = "a";
    const std::vector<CaseOutcome> later = prepareCases(st, o, progress);
    ASSERT_EQ(later.size(), 1u) << progress.str();
    EXPECT_FALSE(later[0].written || later[0].kept);
    EXPECT_NE(later[0].message.find("exists already and holds " + st.entry + " chain A sheet A"), std::string::npos)
        << later[0].message;
    const nlohmann::json meta = nlohmann::json::parse(readFile(o.outDir + "/" + out[0].name + "/meta.json"));
    EXPECT_EQ(meta["chain"], "A") << force;
    fs::remove_all(o.outDir);
  }
}
