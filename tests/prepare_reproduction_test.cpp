// The bundled real cases, remade from their own PDB files at their own
// resolution and volume factor, must come out as they were made: the same
// threshold to four significant digits, the same voxels kept (within 1%),
// the same box, and voxel values within 1e-4 of the map maximum.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "support/gzip_file.h"
#include "support/program.h"
#include "velmorantique/prepare.h"

namespace fs = std::filesystem;
using namespace vel::prepare;

namespace {

struct StoredMap {
  int n[3] = {0, 0, 0};
  float origin[3] = {0, 0, 0};
  float cell[3] = {0, 0, 0};
  std::vector<float> values;
};

int32_t word(const std::string& bytes, int w) {
  int32_t v;
  std::memcpy(&v, bytes.data() + 4 * (w - 1), 4);
  return v;
}

float floatWord(const std::string& bytes, int w) {
  float v;
  std::memcpy(&v, bytes.data() + 4 * (w - 1), 4);
  return v;
}

StoredMap readStoredMap(const std::string& path) {
  const std::string bytes = readGzipFile(path);
  StoredMap m;
  EXPECT_GE(bytes.size(), 1024u) << path;
  if (bytes.size() < 1024) return m;
  EXPECT_EQ(word(bytes, 4), 2) << path << ": mode";
  for (int d = 0; d < 3; ++d) {
    m.n[d] = word(bytes, 1 + d);
    m.cell[d] = floatWord(bytes, 11 + d);
    m.origin[d] = floatWord(bytes, 50 + d);
  }
  const size_t count = static_cast<size_t>(m.n[0]) * m.n[1] * m.n[2];
  const size_t start = 1024 + static_cast<size_t>(word(bytes, 24));
  EXPECT_EQ(bytes.size(), start + 4 * count) << path;
  m.values.resize(count);
  if (bytes.size() == start + 4 * count) std::memcpy(m.values.data(), bytes.data() + start, 4 * count);
  return m;
}

struct Example {
  std::string pdb, meta, threshold, map;
};

void reproduces(const Example& ex) {
  const nlohmann::json meta = nlohmann::json::parse(readFile(ex.meta));
  const std::string rule = meta["threshold_rule"];
  const double factor = std::stod(rule.substr(rule.find("enclose ") + 8));

  PrepareOptions o;
  o.outDir = makeTempDir();
  o.resolutions = {meta["resolution_A"].get<double>()};
  o.volumeFactor = factor;
  const Structure st = readStructure(ex.pdb);
  std::ostringstream progress;
  std::vector<CaseOutcome> outcomes = prepareCases(st, o, progress);
  ASSERT_EQ(outcomes.size(), 1u) << progress.str();
  ASSERT_TRUE(outcomes[0].written) << outcomes[0].message;
  const fs::path dir = fs::path(o.outDir) / outcomes[0].name;

  const std::string expected = readFile(ex.threshold);
  const std::string got = readFile((dir / "threshold").string());
  EXPECT_EQ(fourDigits(std::stod(got)), fourDigits(std::stod(expected)));

  const nlohmann::json mine = nlohmann::json::parse(readFile((dir / "meta.json").string()));
  const double kept = mine["voxels_above_threshold"], keptThen = meta["voxels_above_threshold"];
  EXPECT_LE(std::fabs(kept - keptThen), 0.01 * keptThen);
  EXPECT_EQ(mine["box_voxels"], meta["box_voxels"]);
  EXPECT_EQ(mine["origin_A"], meta["origin_A"]);
  EXPECT_EQ(mine["sheet_atom_count"], meta["sheet_atom_count"]);
  EXPECT_EQ(mine["molecular_volume_A3"], meta["molecular_volume_A3"]);
  EXPECT_EQ(mine["inter_strand_angles_deg"], meta["inter_strand_angles_deg"]);

  const StoredMap made = readStoredMap((dir / (outcomes[0].name + ".mrc")).string());
  const StoredMap then = readStoredMap(ex.map);
  for (int d = 0; d < 3; ++d) {
    EXPECT_EQ(made.n[d], then.n[d]);
    EXPECT_EQ(made.origin[d], then.origin[d]);
    EXPECT_EQ(made.cell[d], then.cell[d]);
  }
  ASSERT_EQ(made.values.size(), then.values.size());
  const double max = meta["map_max"];
  double worst = 0;
  for (size_t i = 0; i < made.values.size(); ++i)
    worst = std::max(worst, std::fabs(static_cast<double>(made.values[i]) - then.values[i]));
  EXPECT_LE(worst, 1e-4 * max);
  fs::remove_all(o.outDir);
}

}  // namespace

TEST(PrepareReproduction, RemakesTheBundledCasesFromTheirOwnPdbFiles) {
  const std::string src = sourceDir();
  reproduces({src + "/examples/1hpv_b_8a/1hpv_b_8a.pdb", src + "/examples/1hpv_b_8a/meta.json",
              src + "/examples/1hpv_b_8a/threshold", src + "/examples/1hpv_b_8a/1hpv_b_8a.mrc"});
  reproduces({src + "/tests/data/1a7g_a_6a.pdb", src + "/tests/fixtures/1a7g_a_6a/meta.json",
              src + "/tests/fixtures/1a7g_a_6a/threshold", src + "/tests/fixtures/1a7g_a_6a/1a7g_a_6a.mrc.gz"});
}

// The recorded twist of a real sheet: strand axes from their C-alphas, N to C,
// signed angles between neighbours in record order.
TEST(PrepareReproduction, ReferenceTwistOfARealSheet) {
  const Structure st = readStructure(sourceDir() + "/examples/1hpv_b_8a/1hpv_b_8a.pdb");
  const std::vector<SheetVerdict> verdicts = judgeSheets(st, "");
  ASSERT_EQ(verdicts.size(), 1u);
  std::vector<std::vector<Point>> cas;
  for (const auto& range : verdicts[0].strandRanges) {
    cas.emplace_back();
    for (size_t i = range.first; i <= range.second; ++i) cas.back().push_back(st.chains[0].residues[i].find("CA")->pos);
  }
  const std::vector<double> angles = interStrandAngles(cas);
  ASSERT_EQ(angles.size(), 3u);
  EXPECT_NEAR(angles[0], -33.2, 0.05);
  EXPECT_NEAR(angles[1], -32.5, 0.05);
  EXPECT_NEAR(angles[2], -28.7, 0.05);
  // Reading a strand backwards turns its axis, not the angle's sign.
  std::reverse(cas[1].begin(), cas[1].end());
  EXPECT_NEAR(interStrandAngles(cas)[0], -33.2, 0.05);
}
