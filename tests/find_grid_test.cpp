// The grids the finder works on: smoothing against the plain sum, a crop
// read on a coarser working grid and the segments found there carried back
// to the crop's voxels, and a case cut down to the slab around its backbone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "find/find_parts.h"
#include "support/program.h"
#include "velmorantique/find.h"

using namespace vel::find;

namespace {

DensityBox boxOf(std::array<int, 3> n, std::array<double, 3> voxel) {
  DensityBox box;
  box.n = n;
  box.voxel = voxel;
  box.origin = {-3, 2, 5};
  box.values.assign(static_cast<size_t>(n[0]) * n[1] * n[2], 0.0f);
  return box;
}

}  // namespace

TEST(FindGrid, SmoothingIsThePlainSumWithTheFacesCarriedOn) {
  // Unequal sides and voxels, so that an axis or stride mixed up shows.
  DensityBox box = boxOf({7, 5, 6}, {1.0, 1.5, 0.8});
  std::mt19937 random(5);
  for (float& v : box.values) v = std::uniform_real_distribution<float>(-1, 2)(random);
  std::vector<double> want(box.values.begin(), box.values.end());
  const double sigma = 1.3;
  for (int axis = 0; axis < 3; ++axis) {
    const int reach = static_cast<int>(std::ceil(3 * sigma / box.voxel[axis]));
    std::vector<double> next(want.size());
    for (size_t at = 0; at < want.size(); ++at) {
      const std::array<int, 3> g = gridIndex(box, at);
      double sum = 0, weights = 0;
      for (int t = -reach; t <= reach; ++t) {
        std::array<int, 3> h = g;
        h[axis] = std::clamp(g[axis] + t, 0, box.n[axis] - 1);
        const double w = std::exp(-std::pow(t * box.voxel[axis], 2) / (2 * sigma * sigma));
        sum += w * want[box.index(h[0], h[1], h[2])];
        weights += w;
      }
      next[at] = sum / weights;
    }
    want.swap(next);
  }
  gaussianSmooth(box.values, box.n, box.voxel, sigma);
  for (size_t at = 0; at < want.size(); ++at) ASSERT_NEAR(box.values[at], want[at], 1e-5) << at;
}

TEST(FindGrid, AWorkingGridSamplesTheCropAndItsSegmentsComeBackToTheCropsVoxels) {
  DensityBox crop = boxOf({21, 17, 13}, {1, 1, 1});
  std::vector<char> in(crop.values.size());
  for (size_t at = 0; at < crop.values.size(); ++at) {
    const Point p = voxelPoint(crop, at);
    crop.values[at] = static_cast<float>(1 + 0.5 * p[0] - 0.25 * p[1] + 0.125 * p[2]);  // linear: sampled exactly
    in[at] = p[2] < 11;
  }
  // At 8 Å the map is blurred far more than the 2 Å spacing needs: no blur
  // is added. A finer spacing interpolates the crop, a spacing of 0 keeps it.
  for (const double spacing : {0.5, 2.0}) {
    const WorkingGrid up = workingGrid(crop, in, 8, spacing);
    ASSERT_TRUE(up.resampled);
    EXPECT_EQ(up.box.n, spacing == 2 ? (std::array<int, 3>{11, 9, 7}) : (std::array<int, 3>{41, 33, 25}));
    for (size_t at = 0; at < up.box.values.size(); ++at) {
      const Point p = voxelPoint(up.box, at);
      ASSERT_NEAR(up.box.values[at], 1 + 0.5 * p[0] - 0.25 * p[1] + 0.125 * p[2], 1e-4) << spacing << " " << at;
      ASSERT_EQ(up.inDensity[at], p[2] < 10.5 + (spacing == 2 ? 0.5 : 0)) << spacing << " " << at;
    }
  }
  EXPECT_FALSE(workingGrid(crop, in, 8, 0).resampled);
  const WorkingGrid work = workingGrid(crop, in, 8, 2);

  // A kept segment over x < 3 Å with its core on one plane, and one dropped.
  std::vector<Segment> segments(2);
  segments[0].kept = true;
  for (size_t at = 0; at < work.box.values.size(); ++at) {
    const Point p = voxelPoint(work.box, at);
    if (p[0] < 3) segments[0].voxels.push_back(at);
    if (p[0] < 3 && p[2] == 9) segments[0].core.push_back(at);
    if (p[0] > 11) segments[1].core.push_back(at);
  }
  segments[1].voxels = segments[1].core;
  toCropGrid(segments, work, crop);
  // Each crop voxel belongs where its nearest working voxel does (ties round up).
  const auto nearestX = [](double x) { return 2 * std::floor((x + 3) / 2 + 0.5) - 3; };
  size_t wanted = 0, wantedCore = 0;
  for (size_t at = 0; at < crop.values.size(); ++at) {
    const Point p = voxelPoint(crop, at);
    wanted += nearestX(p[0]) < 3;
    wantedCore += nearestX(p[0]) < 3 && (p[2] == 8 || p[2] == 9);  // nearest the working plane z = 9
  }
  EXPECT_EQ(segments[0].voxels.size(), wanted);
  EXPECT_EQ(segments[0].shape.voxels, wanted);
  EXPECT_EQ(segments[0].core.size(), wantedCore);
  for (size_t at : segments[0].voxels) EXPECT_LT(nearestX(voxelPoint(crop, at)[0]), 3);
  EXPECT_EQ(segments[1].voxels, segments[1].core);  // a dropped segment keeps only its core
  EXPECT_FALSE(segments[1].core.empty());
}

TEST(FindGrid, ACaseKeepsOnlyTheSlabAroundItsBackbone) {
  const DensityBox box = boxOf({12, 12, 21}, {1, 1, 1});
  Segment s;
  for (size_t at = 0; at < box.values.size(); ++at) {
    const int z = gridIndex(box, at)[2] - 10;
    if (z == 0) s.core.push_back(at);
    s.voxels.push_back(at);  // 10 Å each side of the core
  }
  trimToSheet(box, s, 5);
  EXPECT_EQ(s.voxels.size(), 12u * 12 * 11);  // |z| <= 5
  for (size_t at : s.voxels) EXPECT_LE(std::abs(gridIndex(box, at)[2] - 10), 5);
  Segment untouched = s;
  trimToSheet(box, untouched, 0);  // a reach of 0 keeps everything
  EXPECT_EQ(untouched.voxels, s.voxels);
}

// The map's own resolution, read from its power spectrum: a whole chain
// simulated at 10 Å given as 3 Å or 20 Å is doubted, given as 8 to 12 Å it
// is not; and the estimate follows the resolution the map was made at.
TEST(FindResolution, DoubtsAResolutionFarFromTheMapsOwn) {
  const vel::prepare::Structure s = vel::prepare::readStructure(sourceDir() + "/tests/fixtures/1hpv.pdb.gz");
  std::vector<vel::prepare::Atom> atoms;
  for (const vel::prepare::Residue& r : s.chains.at(0).residues) atoms.insert(atoms.end(), r.atoms.begin(), r.atoms.end());
  const DensityBox tenA = vel::prepare::simulateDensity(atoms, 10.0, 1.0, 8.0);
  for (double given : {3.0, 20.0, 8.0, 10.0, 12.0}) {
    const ResolutionCheck c = checkResolution(tenA, given);
    EXPECT_EQ(c.disagrees, given < 8 || given > 12) << given << ": " << c.estimate;
    EXPECT_EQ(c.warning.empty(), !c.disagrees);
  }
  for (double made : {6.0, 8.0, 15.0}) {
    const double estimate = estimateResolution(vel::prepare::simulateDensity(atoms, made, 1.0, 8.0));
    EXPECT_NEAR(estimate, made, 0.2 * made) << made;
  }
}
