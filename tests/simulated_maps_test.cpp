// The simulated map kinds the finder is trained and tuned on: each effect
// does what its name promises on a small made-up chain.
#include <gtest/gtest.h>

#include <cmath>

#include "find_maps.h"
#include "map_kinds.h"

using vel::prepare::Atom;
using vel::prepare::DensityBox;

namespace {

// A compact coil of 40 residues (backbone atoms only), about 25 Å across.
std::vector<Atom> coil() {
  std::vector<Atom> out;
  for (int i = 0; i < 40; ++i) {
    const double t = 0.55 * i, r = 9 + 2 * std::sin(0.3 * i);
    const vel::prepare::Point ca{r * std::cos(t), r * std::sin(t), 0.9 * i - 18};
    out.push_back({"N", "N", {ca[0] - 1.0, ca[1], ca[2] - 0.8}});
    out.push_back({"CA", "C", ca});
    out.push_back({"C", "C", {ca[0] + 1.0, ca[1] + 0.5, ca[2] + 0.6}});
    out.push_back({"O", "O", {ca[0] + 1.2, ca[1] + 1.6, ca[2] + 0.9}});
  }
  return out;
}

// Summed power between two spatial frequencies (1/Å), by Parseval.
double bandPower(const DensityBox& box, double lo, double hi) {
  const DensityBox band = filtered(box, [&](double s) { return s >= lo && s < hi ? 1.0 : 0.0; });
  double sum = 0;
  for (float v : band.values) sum += static_cast<double>(v) * v;
  return sum;
}

const double kResolution = 6;

}  // namespace

TEST(SimulatedMaps, EveryKindGivesAFiniteMapAroundTheChain) {
  const std::vector<Atom> chain = coil();
  for (const std::string& name : mapKindNames()) {
    SCOPED_TRACE(name);
    const MapKind kind = mapKind(name);
    const SimulatedMap map = simulatedMap(chain, {}, 40 * 140.0, kind, kResolution, 11);
    ASSERT_FALSE(map.box.values.empty());
    EXPECT_DOUBLE_EQ(map.box.voxel[0], kind.voxel);
    double maximum = 0;
    for (float v : map.box.values) {
      ASSERT_TRUE(std::isfinite(v));
      maximum = std::max(maximum, static_cast<double>(v));
    }
    EXPECT_GT(map.level, 0);
    EXPECT_GT(maximum, map.level);
    EXPECT_EQ(map.copies.size(), kind.crowd ? 2u : 0u);
  }
  EXPECT_THROW(mapKind("blurry"), std::invalid_argument);
}

TEST(SimulatedMaps, UnitGainKeepsTheMapAndTheLowPassEmptiesFinerComponents) {
  const DensityBox box = vel::prepare::simulateDensity(coil(), kResolution, 1.0, 8.0);
  const DensityBox same = filtered(box, [](double) { return 1.0; });
  for (size_t i = 0; i < box.values.size(); ++i) ASSERT_NEAR(same.values[i], box.values[i], 1e-5);
  const DensityBox low = sharpened(box, kResolution, Sharpening{0, 0.1});
  EXPECT_LT(bandPower(low, 1.1 / kResolution, 1.0), 1e-9 * bandPower(low, 0, 1.0));
}

TEST(SimulatedMaps, SharpeningRaisesThePowerNearTheCutoff) {
  const DensityBox box = vel::prepare::simulateDensity(coil(), kResolution, 1.0, 8.0);
  const auto nearCutoffShare = [&](double b) {
    const DensityBox m = sharpened(box, kResolution, Sharpening{b, 0.1});
    return bandPower(m, 0.7 / kResolution, 1.0 / kResolution) / bandPower(m, 0, 0.3 / kResolution);
  };
  // exp(100 s^2 / 2) at s about 0.14/Å: about 2.5 times the power.
  EXPECT_GT(nearCutoffShare(-100), 2 * nearCutoffShare(0));
  EXPECT_LT(nearCutoffShare(100), nearCutoffShare(0));
}

TEST(SimulatedMaps, ColouredNoisePowerRisesWithFrequencyUpToTheCutoff) {
  const DensityBox box = vel::prepare::simulateDensity(coil(), kResolution, 1.0, 8.0);
  const DensityBox noise = colouredNoise(box, kResolution, 2.0, ColouredNoise{}, 5);
  double sumSq = 0;
  for (float v : noise.values) sumSq += static_cast<double>(v) * v;
  EXPECT_NEAR(std::sqrt(sumSq / noise.values.size()), 2.0, 0.01);
  // Mean power per Fourier component in shells of equal width: rising.
  const auto perComponent = [&](double lo, double hi) {
    return bandPower(noise, lo / kResolution, hi / kResolution) / (hi * hi * hi - lo * lo * lo);
  };
  const double low = perComponent(0.2, 0.4), middle = perComponent(0.5, 0.7), high = perComponent(0.8, 1.0);
  EXPECT_GT(middle, 1.3 * low);
  EXPECT_GT(high, 1.3 * middle);
  EXPECT_LT(bandPower(noise, 1.1 / kResolution, 1.0), 1e-9 * sumSq);
}

TEST(SimulatedMaps, MaskLeavesTheSolventExactlyZeroOrFlat) {
  const std::vector<Atom> chain = coil();
  const DensityBox box = vel::prepare::simulateDensity(chain, kResolution, 1.0, 12.0);
  for (double solvent : {0.0, -0.2}) {
    SCOPED_TRACE(solvent);
    const SoftMask p{3, 6, solvent};
    const DensityBox m = masked(box, chain, 0.5, p);
    size_t far = 0;
    for (int k = 0; k < box.n[2]; ++k)
      for (int j = 0; j < box.n[1]; ++j)
        for (int i = 0; i < box.n[0]; ++i) {
          const vel::prepare::Point at{box.origin[0] + i, box.origin[1] + j, box.origin[2] + k};
          double nearest = 1e9;
          for (const Atom& a : chain)
            nearest = std::min(nearest, std::hypot(at[0] - a.pos[0], at[1] - a.pos[1], at[2] - a.pos[2]));
          const size_t v = box.index(i, j, k);
          if (nearest > p.reach + p.edge) {
            ++far;
            ASSERT_EQ(m.values[v], static_cast<float>(solvent * 0.5));
          } else if (nearest <= p.reach) {
            ASSERT_EQ(m.values[v], box.values[v]);
          }
        }
    EXPECT_GT(far, box.values.size() / 10);
  }
}

TEST(SimulatedMaps, PackedCopiesTouchTheChainWithoutClashing) {
  const std::vector<Atom> chain = coil();
  Crowding p;
  p.copies = 3;
  const std::vector<RigidMotion> copies = packedCopies(chain, p);
  ASSERT_EQ(copies.size(), 3u);
  for (const RigidMotion& m : copies) {
    double closest = 1e9;
    for (const Atom& a : chain)
      for (const Atom& b : chain)
        if (a.name == "CA" && b.name == "CA") {
          const vel::prepare::Point q = m.apply(b.pos);
          closest = std::min(closest, std::hypot(a.pos[0] - q[0], a.pos[1] - q[1], a.pos[2] - q[2]));
        }
    // The first two are the screw's neighbours on either side; the third
    // lies one step further out.
    EXPECT_GE(closest, p.contact);
    if (&m != &copies[2]) {
      EXPECT_LT(closest, p.contact + 1.0);
    }
  }
}

TEST(SimulatedMaps, LocalResolutionKeepsTheCoreAndBlursTheRim) {
  const std::vector<Atom> chain = coil();
  const DensityBox box = vel::prepare::simulateDensity(chain, kResolution, 1.0, 8.0);
  const LocalResolution p;
  const DensityBox local = withLocalResolution(box, chain, kResolution, p);
  const DensityBox core = sharpened(box, kResolution, Sharpening{0, p.edge});
  const double rim = kResolution + p.rim, extraB = 4 * (rim * rim - kResolution * kResolution);
  const DensityBox blurred =
      filtered(box, [&](double s) { return std::exp(-extraB * s * s / 4) * lowPassGain(s, rim, p.edge); });
  vel::prepare::Point centre{};
  for (const Atom& a : chain)
    for (int d = 0; d < 3; ++d) centre[d] += a.pos[d] / chain.size();
  double radius = 0;
  for (const Atom& a : chain)
    radius = std::max(radius, std::hypot(a.pos[0] - centre[0], a.pos[1] - centre[1], a.pos[2] - centre[2]));
  size_t inner = 0, outer = 0;
  for (int k = 0; k < box.n[2]; ++k)
    for (int j = 0; j < box.n[1]; ++j)
      for (int i = 0; i < box.n[0]; ++i) {
        const double r = std::hypot(box.origin[0] + i - centre[0], box.origin[1] + j - centre[1],
                                    box.origin[2] + k - centre[2]);
        const size_t v = box.index(i, j, k);
        if (r < 0.9 * p.core * radius) {
          ++inner;
          ASSERT_NEAR(local.values[v], core.values[v], 1e-6);
        } else if (r > 1.05 * radius) {
          ++outer;
          ASSERT_NEAR(local.values[v], blurred.values[v], 1e-6);
        }
      }
  EXPECT_GT(inner, 100u);
  EXPECT_GT(outer, 100u);
}

TEST(SimulatedMaps, CrowdedMapsLabelTheCopiesStrandsAndListTheirSheets) {
  vel::find::ModelSheets model;
  vel::prepare::Chain chain;
  chain.name = "A";
  chain.aminoAcids = true;
  const std::vector<Atom> atoms = coil();
  for (int r = 0; r < 40; ++r)
    chain.residues.push_back({"VAL", r + 1, ' ', std::vector<Atom>(atoms.begin() + 4 * r, atoms.begin() + 4 * r + 4)});
  model.structure.chains.push_back(chain);
  vel::prepare::Sheet sheet;
  sheet.id = "S";
  for (int first : {5, 15, 25}) {
    vel::prepare::Strand s;
    s.start = {"A", "VAL", first};
    s.end = {"A", "VAL", first + 4};
    sheet.strands.push_back(s);
  }
  model.structure.sheets.push_back(sheet);
  vel::find::ModelSheet ms;
  ms.verdict.chain = "A";
  for (const Atom& a : atoms)
    if (a.name == "CA") ms.strandCAs.push_back(a.pos);
  model.sheets.push_back(ms);
  const Truth truth = truthOf(model, "all");
  ASSERT_TRUE(truth.residues);

  const KindMap made = kindMapOf(model, truth, mapKind("crowded"), kResolution, 3);
  ASSERT_EQ(made.map.copies.size(), 2u);
  ASSERT_EQ(made.atoms.size(), 3 * atoms.size());
  ASSERT_EQ(made.neighbourSheets.size(), 2u);
  for (size_t copy = 0; copy < 3; ++copy)
    for (size_t i = 0; i < atoms.size(); ++i) {
      const LabelledAtom& a = made.atoms[copy * atoms.size() + i];
      const int residue = static_cast<int>(i / 4) + 1;
      const bool strand = (residue >= 5 && residue <= 9) || (residue >= 15 && residue <= 19) ||
                          (residue >= 25 && residue <= 29);
      ASSERT_EQ(a.strand, strand) << "copy " << copy << " atom " << i;
      const vel::prepare::Point at = copy == 0 ? atoms[i].pos : made.map.copies[copy - 1].apply(atoms[i].pos);
      ASSERT_NEAR(a.atom.pos[0], at[0], 1e-9);
    }
  EXPECT_NEAR(made.neighbourSheets[0].strandCAs[0][2], made.map.copies[0].apply(ms.strandCAs[0])[2], 1e-9);
  EXPECT_GT(made.map.volume, truth.volume);
}
