// Every JSON file the tools read back is read with bounds: a document nested
// past the bound or a file past the size bound, a FIFO or a folder gives a
// message naming the file, never a crash, a hang or gigabytes read.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>

#include "support/files.h"
#include "velmorantique/summary.h"

namespace {

struct HostileFile {
  const char* what;
  std::function<void(const std::string& path)> make;
  const char* problem;  // part of the message; "" for a file read as it is
};

TEST(JsonFile, HostileFilesGiveAMessageNamingTheFile) {
  const std::string dir = makeTempDir();
  const auto text = [](std::string t) { return [t](const std::string& path) { writeFile(path, t); }; };
  const std::vector<HostileFile> files{
      {"a document the tools write", text("{\"resolution_A\": [[[4.5]]]}"), ""},
      {"nested at the bound", text(std::string(vel::kJsonDepth, '[') + std::string(vel::kJsonDepth, ']')), ""},
      {"arrays nested past the bound", text(std::string(100000, '[') + std::string(100000, ']')), "nested more than 64"},
      {"objects nested past the bound", text([] {
         std::string t;
         for (int i = 0; i < 100000; ++i) t += "{\"a\":";
         return t + "1" + std::string(100000, '}');
       }()), "nested more than 64"},
      {"past the size bound",
       [](const std::string& path) {
         writeFile(path, "[]");
         ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(vel::kJsonFileBytes) + 1), 0);  // sparse: no disk used
       },
       "more than the 16777216"},
      {"a FIFO", [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "not a regular file"},
      {"a folder", [](const std::string& path) { std::filesystem::create_directory(path); }, "not a regular file"},
      {"no JSON", text("{\"a\": "), "not JSON"},
      {"missing", [](const std::string&) {}, "cannot read"},
  };
  int n = 0;
  for (const HostileFile& f : files) {
    const std::string path = dir + "/" + std::to_string(++n) + ".json";
    f.make(path);
    std::string problem = "stale";
    const nlohmann::json j = vel::readJsonFile(path, problem);
    if (std::string(f.problem).empty()) {
      EXPECT_EQ(problem, "") << f.what;
      EXPECT_FALSE(j.is_null()) << f.what;
    } else {
      EXPECT_TRUE(j.is_null()) << f.what;
      EXPECT_NE(problem.find(f.problem), std::string::npos) << f.what << ": " << problem;
      EXPECT_NE(problem.find(path), std::string::npos) << f.what << ": " << problem;
    }
  }
}

}  // namespace
