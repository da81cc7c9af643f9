#pragma once
// Whole batches of the built programs, for the batch tests: case folders made
// from a bundled example, velmorantique-batch run as a user runs it, and its
// tables read back.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/program.h"

inline const std::string kBatchExample = "synth_4x7_t18_8a";

// A case folder NAME holding the bundled example under the case's name.
inline void makeCase(const std::string& parent, const std::string& name, const std::string& threshold,
                     bool withMap = true) {
  const std::string dir = parent + "/" + name;
  std::filesystem::create_directories(dir);
  const std::string example = sourceDir() + "/examples/" + kBatchExample + "/" + kBatchExample;
  copyFile(example + ".pdb", dir + "/" + name + ".pdb");
  if (withMap) copyFile(example + ".mrc", dir + "/" + name + ".mrc");
  writeFile(dir + "/threshold", threshold + "\n");
}

inline std::string shellWord(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct BatchRun {
  int status = -1;
  std::string out, err;
};

// The batch with these arguments, and NAME=value settings added to its
// environment; the built one, or a copy placed beside its own analysis program.
inline BatchRun runBatch(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                         const std::string& binary = VEL_BATCH_BINARY) {
  const std::string work = makeTempDir();
  std::string cmd = "env";
  for (const std::string& e : env) cmd += " " + shellWord(e);
  cmd += " " + shellWord(binary);
  for (const std::string& a : args) cmd += " " + shellWord(a);
  cmd += " </dev/null >" + work + "/out 2>" + work + "/err";
  const int raw = std::system(cmd.c_str());
  BatchRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readFile(work + "/out");
  r.err = readFile(work + "/err");
  std::filesystem::remove_all(work);
  return r;
}

// The batch started in the background, its output discarded.
inline pid_t startBatch(const std::vector<std::string>& args) {
  std::vector<std::string> all{VEL_BATCH_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

// Waits until path's text holds what, or a minute has passed.
inline bool waitForText(const std::string& path, const std::string& what) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec) && readFile(path).find(what) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

using TableRow = std::map<std::string, std::string>;

// results.tsv as rows of named cells.
inline std::vector<TableRow> readTable(const std::string& path) {
  std::vector<std::string> rows = lines(readFile(path));
  std::vector<TableRow> table;
  if (rows.empty()) return table;
  auto cells = [](const std::string& row) {
    std::vector<std::string> c;
    std::istringstream in(row);
    for (std::string s; std::getline(in, s, '\t');) c.push_back(s);
    if (!row.empty() && row.back() == '\t') c.push_back("");
    return c;
  };
  const std::vector<std::string> header = cells(rows[0]);
  for (size_t i = 1; i < rows.size(); ++i) {
    const std::vector<std::string> c = cells(rows[i]);
    EXPECT_EQ(c.size(), header.size()) << rows[i];
    TableRow row;
    for (size_t k = 0; k < header.size() && k < c.size(); ++k) row[header[k]] = c[k];
    table.push_back(row);
  }
  return table;
}

inline std::map<std::string, TableRow> byCase(const std::vector<TableRow>& table) {
  std::map<std::string, TableRow> rows;
  for (const TableRow& row : table) rows[row.at("case")] = row;
  return rows;
}

// The three tables without what differs from run to run (times) or with
// where the cases lie.
inline std::string comparableTables(const std::string& out) {
  std::string text;
  for (auto row : readTable(out + "/results.tsv")) {
    row.erase("seconds");
    row.erase("case_dir");
    for (const auto& [k, v] : row) text += k + "=" + v + "\t";
    text += "\n";
  }
  return text + readFile(out + "/bestResult.txt") + readFile(out + "/rms.txt");
}

// Every entry below dir with its kind, size and modification time: equal
// snapshots mean nothing there was written, removed or replaced.
inline std::map<std::string, std::string> snapshot(const std::string& dir) {
  std::map<std::string, std::string> seen;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    seen[e.path().string()] = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                              std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
  }
  return seen;
}
