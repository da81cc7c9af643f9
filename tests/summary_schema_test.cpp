// The run summary's one definition: the stored summaries of the bundled
// examples read and written back byte for byte, every key documented, and
// damaged documents read as missing values, never as an error.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>

#include "support/program.h"
#include "velmorantique/summary.h"

using namespace vel;
using nlohmann::json;

namespace {

std::string written(const RunSummary& s) { return summaryToJson(s).dump(1, ' ', false) + "\n"; }

std::string goldenSummary(const std::string& name) {
  return readFile(sourceDir() + "/tests/golden/" + name + "/summary.json");
}

// Calls f on every object of the document, with its path.
void eachObject(const json& j, const std::string& path, const std::function<void(const json&, const std::string&)>& f) {
  if (j.is_object()) {
    f(j, path);
    for (const auto& [key, value] : j.items()) eachObject(value, path + "/" + key, f);
  } else if (j.is_array() && !j.empty()) {
    eachObject(j[0], path + "/0", f);
  }
}

// Values of every other kind than the key holds.
std::vector<json> wrongKinds(const json& value) {
  std::vector<json> all = {"text", true, json::array(), json::object(), 7, 2.5};
  std::vector<json> wrong;
  for (const json& w : all) {
    const bool sameKind = w.type() == value.type() || (value.is_number_float() && w.is_number()) ||
                          (value.is_number_integer() && w.is_number_integer());
    if (!sameKind && !(value.is_null() || w.is_null())) wrong.push_back(w);
  }
  return wrong;
}

}  // namespace

TEST(RunSummarySchema, StoredSummariesReadAndWriteBackByteForByte) {
  for (const std::string name : {"1hpv_b_8a", "synth_4x7_t18_8a"}) {
    const std::string text = goldenSummary(name);
    const RunSummary s = summaryFromJson(json::parse(text));
    EXPECT_EQ(written(s), text) << name;
    EXPECT_EQ(s.schema(), kSummarySchemaVersion);
    ASSERT_TRUE(s.chosen.has_value());
    ASSERT_NE(s.topEntry(s.chosen->bestTwoWay), nullptr);
    EXPECT_TRUE(s.topEntry(s.chosen->bestTwoWay)->detectedResidues.has_value());

    // A file from before schema_version is version 1, with the same keys.
    json old = json::parse(text);
    old.erase("schema_version");
    EXPECT_EQ(summaryFromJson(old).schema(), 1);
  }
}

// Scripts rely on the documented schema: every key the program writes is
// there (the verdict's signals, an open set of figures, excepted).
TEST(RunSummarySchema, EveryKeyWrittenIsDocumented) {
  const std::string doc = readFile(sourceDir() + "/docs/run_summary.md");
  std::set<std::string> keys;
  for (const std::string name : {"1hpv_b_8a", "synth_4x7_t18_8a"})
    eachObject(json::parse(goldenSummary(name)), "", [&](const json& object, const std::string& path) {
      if (path == "/confidence/signals") return;
      for (const auto& item : object.items()) keys.insert(item.key());
    });
  for (const std::string& key : keys) EXPECT_NE(doc.find("`" + key + "`"), std::string::npos) << key;
  for (const char* w : {warning::kNoCentrePlane, warning::kNoReferenceStrands, warning::kNoCandidate,
                        warning::kNotOneSheet, warning::kUnwrittenOutput, "file", "reason"})
    EXPECT_NE(doc.find("`" + std::string(w) + "`"), std::string::npos) << w;
}

// At every key of every object (the first of each list), a value of the
// wrong kind reads exactly as if the key were missing; nothing throws.
TEST(RunSummarySchema, WrongKindsReadAsMissingKeys) {
  const json stored = json::parse(goldenSummary("1hpv_b_8a"));
  int checked = 0;
  eachObject(stored, "", [&](const json& object, const std::string& path) {
    for (const auto& item : object.items()) {
      const json::json_pointer at(path + "/" + item.key());
      json missing = stored;
      missing[at.parent_pointer()].erase(item.key());
      const std::string expected = written(summaryFromJson(missing));
      for (const json& w : wrongKinds(item.value())) {
        json damaged = stored;
        damaged[at] = w;
        EXPECT_EQ(written(summaryFromJson(damaged)), expected) << at.to_string() << " = " << w.dump();
        ++checked;
      }
    }
  });
  EXPECT_GT(checked, 200);
}

TEST(RunSummarySchema, DamagedListsAndDocumentsGiveMissingValues) {
  json j = json::parse(goldenSummary("synth_4x7_t18_8a"));
  j["warnings"] = {"no_candidate", 3, nullptr};      // a word that is no word is left out
  j["candidates"][0]["twists"][1] = "x";             // positions kept, the value missing
  j["top"][0] = "not an entry";                       // positions kept, every value missing
  j["inputs"]["voxel_size"] = json::array({1.5});  // too short: the rest missing
  j["reference"]["residues"] = 18446744073709551615u;  // no count an int64 holds
  const RunSummary s = summaryFromJson(j);
  EXPECT_EQ(s.warnings, std::vector<std::string>{"no_candidate"});
  EXPECT_TRUE(s.hasWarning(warning::kNoCandidate));
  EXPECT_TRUE(std::isnan(s.candidates[0].twists[1]));
  EXPECT_FALSE(std::isnan(s.candidates[0].twists[0]));
  EXPECT_EQ(s.top[0].set, "");
  EXPECT_FALSE(s.top[0].rank.has_value());
  EXPECT_EQ(s.inputs.voxelSize->at(0), 1.5);
  EXPECT_TRUE(std::isnan(s.inputs.voxelSize->at(2)));
  EXPECT_FALSE(s.reference->residues.has_value());

  for (const json& document : {json(), json::array(), json("text"), json(3), json::object()}) {
    const RunSummary empty = summaryFromJson(document);
    EXPECT_TRUE(empty.caseName.empty() && empty.top.empty() && !empty.sheet && !empty.exitStatus);
    EXPECT_EQ(empty.schema(), 1);
  }
}
