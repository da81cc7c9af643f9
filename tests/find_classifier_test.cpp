// The units behind the sheet classifier, on inputs whose answer is known:
// the depth inside the density against brute force, the network learning a
// rule it can represent, and the segments cut from classifier maps written
// by hand (two sheets face to face, two sheets meeting edge to edge at an
// angle).
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "velmorantique/find.h"

using namespace vel::find;

namespace {

DensityBox cube(int n, double voxel) {
  DensityBox box;
  box.n = {n, n, n};
  box.voxel = {voxel, voxel, voxel};
  box.origin = {0, 0, 0};
  box.values.assign(static_cast<size_t>(n) * n * n, 0.0f);
  return box;
}

}  // namespace

TEST(FindClassifier, DepthInDensityIsTheDistanceToTheNearestOutsideVoxel) {
  const DensityBox box = cube(14, 1.5);
  std::vector<char> in(box.values.size(), 0);
  std::mt19937 random(3);
  for (int k = 2; k < 12; ++k)
    for (int j = 1; j < 13; ++j)
      for (int i = 3; i < 11; ++i) in[box.index(i, j, k)] = random() % 9 != 0;  // a slab with holes
  const std::vector<float> depth = depthInDensity(box, in);
  for (int k = 0; k < 14; ++k)
    for (int j = 0; j < 14; ++j)
      for (int i = 0; i < 14; ++i) {
        double best = INFINITY;
        for (int c = -1; c <= 14; ++c)  // beyond the box counts as outside
          for (int b = -1; b <= 14; ++b)
            for (int a = -1; a <= 14; ++a) {
              const bool inside = a >= 0 && b >= 0 && c >= 0 && a < 14 && b < 14 && c < 14 && in[box.index(a, b, c)];
              if (!inside) best = std::min(best, 1.5 * std::sqrt(double((a - i) * (a - i) + (b - j) * (b - j) + (c - k) * (c - k))));
            }
        ASSERT_NEAR(depth[box.index(i, j, k)], std::min(best, 8.0), 1e-4) << i << " " << j << " " << k;
      }
}

TEST(FindClassifier, NetworkLearnsAndItsWeightsReadBack) {
  // Two outputs: inside a ring (not linearly separable) and x > y.
  TrainingSet set;
  set.inputs = 2;
  set.outputs = 2;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> u(-2, 2);
  for (int r = 0; r < 4000; ++r) {
    const double x = u(random), y = u(random), d = std::hypot(x, y);
    set.x.insert(set.x.end(), {static_cast<float>(x * 10 + 5), static_cast<float>(y)});  // unequal scales
    set.y.insert(set.y.end(), {d > 0.8 && d < 1.6 ? 1.0f : 0.0f, x * 10 + 5 > y ? 1.0f : 0.0f});
  }
  TrainingPlan plan;
  plan.hidden = 12;
  plan.epochs = 80;
  plan.rate = 0.01;
  plan.batch = 32;
  const VoxelNet net = trainVoxelNet(set, plan, nullptr);
  int right[2] = {0, 0};
  for (int r = 0; r < 4000; ++r) {
    float p[2];
    net.predict(&set.x[2 * r], p);
    for (int o = 0; o < 2; ++o) right[o] += (p[o] > 0.5f) == (set.y[2 * r + o] > 0.5f);
  }
  EXPECT_GT(right[0], 3500);
  EXPECT_GT(right[1], 3900);
  std::ostringstream source;
  writeNetSource(net, source);
  EXPECT_NE(source.str().find("kNetHidden = 12"), std::string::npos);
  // The compiled-in network matches the features it is given.
  EXPECT_EQ(sheetNet().inputs, kVoxelFeatureCount);
  EXPECT_EQ(sheetNet().outputs, 2);
}

TEST(FindClassifier, SegmentsSeparateSheetsFaceToFaceAndEdgeToEdge) {
  // Classifier maps by hand: backbone plates 1 voxel thick, sheet residues
  // 2 voxels either side; their normals as the density's would be.
  struct Case {
    const char* name;
    std::vector<std::array<int, 3>> plates;  // {axis of the normal, position, 0}
    size_t sheets;
  } cases[] = {
      {"one plate", {{2, 20, 0}}, 1},
      {"face to face, 10 A apart", {{2, 15, 0}, {2, 25, 0}}, 2},
      {"edge to edge across", {{2, 20, 0}, {0, 20, 0}}, 2},
  };
  for (const Case& c : cases) {
    DensityBox box = cube(40, 1.0);
    SheetMaps maps;
    maps.sheet.assign(box.values.size(), 0.0f);
    maps.backbone.assign(box.values.size(), 0.0f);
    maps.plate.assign(box.values.size(), 0.0f);
    maps.normal.assign(box.values.size(), {0, 0, 0});
    maps.inDensity.assign(box.values.size(), 0);
    for (int k = 0; k < 40; ++k)
      for (int j = 0; j < 40; ++j)
        for (int i = 0; i < 40; ++i) {
          const int g[3] = {i, j, k};
          for (const auto& p : c.plates) {
            const int across = g[p[0]] - p[1];
            // Each plate 24 voxels square; the crossing pair meet along a line.
            bool inPlate = true;
            for (int a = 0; a < 3; ++a)
              if (a != p[0]) inPlate = inPlate && g[a] >= 8 && g[a] < 32;
            if (c.plates.size() == 2 && c.plates[1][0] == 0)
              inPlate = inPlate && (p[0] == 2 ? i <= 20 : k >= 20);
            if (!inPlate || std::abs(across) > 2) continue;
            const size_t at = box.index(i, j, k);
            maps.sheet[at] = 0.9f;
            maps.inDensity[at] = 1;
            if (across == 0) {
              maps.backbone[at] = 0.9f;
              maps.normal[at] = {p[0] == 0 ? 1.0f : 0.0f, 0.0f, p[0] == 2 ? 1.0f : 0.0f};
            }
          }
        }
    SegmentRules rules;
    rules.normalStepDeg = 30;
    rules.averaging = 0;
    size_t tiny = 0;
    const std::vector<Segment> segments = sheetSegments(box, maps, rules, tiny);
    size_t kept = 0;
    for (const Segment& s : segments) {
      kept += s.kept;
      if (s.kept) {
        EXPECT_GT(s.voxels.size(), 4 * s.core.size()) << c.name << ": widened into its side chains";
      }
    }
    EXPECT_EQ(kept, c.sheets) << c.name;
  }
}

TEST(FindClassifier, FeaturesTellAPlateFromARodAndCasesGetTheirOwnLevel) {
  // A plate across z and a rod along x, each alone in a 1 Å box.
  struct Shape {
    const char* name;
    double (*rho)(double, double, double);
  } shapes[] = {
      {"plate", [](double x, double y, double z) {
         return std::exp(-z * z / 5.0) * (std::fabs(x) <= 11 && std::fabs(y) <= 9 ? 1.0 : 0.0);
       }},
      {"rod", [](double x, double y, double z) {
         return std::exp(-(y * y + z * z) / 11.0) * (std::fabs(x) <= 11 ? 1.0 : 0.0);
       }},
  };
  double platelike[2] = {0, 0};
  for (int s = 0; s < 2; ++s) {
    DensityBox box = cube(36, 1.0);
    box.origin = {-18, -18, -18};
    std::vector<char> in(box.values.size(), 0);
    std::vector<size_t> voxels;
    for (int k = 0; k < 36; ++k)
      for (int j = 0; j < 36; ++j)
        for (int i = 0; i < 36; ++i) {
          const size_t at = box.index(i, j, k);
          box.values[at] = static_cast<float>(shapes[s].rho(i - 18.0, j - 18.0, k - 18.0));
          if (box.values[at] >= 0.3f) in[at] = 1, voxels.push_back(at);
        }
    const VoxelFeatures f = voxelFeatures(box, in, 6, 0.3);
    ASSERT_EQ(f.voxels.size(), voxels.size()) << shapes[s].name;
    double sum = 0;
    for (size_t row = 0; row < f.voxels.size(); ++row) {
      for (int c = 0; c < kVoxelFeatureCount; ++c) ASSERT_TRUE(std::isfinite(f.values[row * kVoxelFeatureCount + c]));
      sum += f.values[row * kVoxelFeatureCount + kPlateFeature];
    }
    platelike[s] = sum / static_cast<double>(f.voxels.size());
    // A case's level is never below the map's, and encloses no more than asked.
    Level map;
    map.value = 0.3;
    map.text = "0.3";
    const Level own = caseLevel(box, voxels, map, 6, 0.4);
    EXPECT_GE(own.value, 0.3) << shapes[s].name;
    size_t above = 0;
    for (size_t at : voxels) above += box.values[at] >= own.value;
    EXPECT_LE(above, voxels.size() * 6 / 10) << shapes[s].name;
  }
  EXPECT_GT(platelike[0], platelike[1] + 0.3);
}
