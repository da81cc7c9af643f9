// The calibration set's split into a tuning half and a held-out half
// (bench/calibration/entries.tsv): a homologue on both sides, or a chain
// counted once per identical copy, makes the held-out figures look better
// and surer than they are.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Row = std::map<std::string, std::string>;

std::vector<std::string> cells(const std::string& line, char sep) {
  std::vector<std::string> out;
  std::stringstream in(line);
  for (std::string c; std::getline(in, c, sep);) out.push_back(c);
  return out;
}

std::vector<Row> readRows(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  const std::vector<std::string> header = cells(line, '\t');
  std::vector<Row> rows;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const std::vector<std::string> c = cells(line, '\t');
    Row row;
    for (size_t i = 0; i < header.size(); ++i) row[header[i]] = i < c.size() ? c[i] : "";
    rows.push_back(row);
  }
  return rows;
}

TEST(CalibrationSplit, EveryHomologyGroupAndEveryIdenticalCopyStaysOnOneSide) {
  const std::vector<Row> rows = readRows(std::string(VEL_SOURCE_DIR) + "/bench/calibration/entries.tsv");
  ASSERT_GT(rows.size(), 10u);
  std::map<std::string, std::set<std::string>> sides;  // group -> splits
  std::map<std::string, std::string> groupOfEntry;
  std::set<std::string> prepared;                      // ENTRY:CHAIN, or ENTRY:all
  for (const Row& r : rows) {
    const std::string& entry = r.at("entry");
    ASSERT_FALSE(r.at("group").empty()) << entry << ": no homology group";
    sides[r.at("group")].insert(r.at("split"));
    groupOfEntry[entry] = r.at("group");
    for (const std::string& chain : cells(r.at("chains"), ','))
      EXPECT_TRUE(prepared.insert(entry + ":" + chain).second) << entry << " chain " << chain << " listed twice";
  }
  for (const auto& [group, splits] : sides) EXPECT_EQ(splits.size(), 1u) << group << " lies on both sides";

  // Identical copies: none prepared again, and each of the same group as the
  // chain kept (so on its side), where its entry is in the list at all.
  for (const Row& r : rows) {
    if (r.at("copies") == "-") continue;
    for (const std::string& copy : cells(r.at("copies"), ',')) {
      const std::string entry = copy.substr(0, copy.find(':'));
      EXPECT_FALSE(prepared.count(copy) || prepared.count(entry + ":all"))
          << copy << " is prepared beside the copy kept in " << r.at("entry");
      if (groupOfEntry.count(entry)) {
        EXPECT_EQ(groupOfEntry[entry], r.at("group")) << copy;
      }
    }
  }
}

}  // namespace
