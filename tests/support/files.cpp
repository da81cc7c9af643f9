#include "support/files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

std::string freshFolder() {
  std::string pattern = (fs::temp_directory_path() / "velmorantique-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  return pattern;
}

// A test may leave folders it made read-only; they are given back first.
void removeFolder(const std::string& path) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(path, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (it->is_directory(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path, ec);
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write test file " + path);
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

std::string trimEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

std::vector<std::string> listFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

void copyFile(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

TempFile::TempFile(const std::string& name)
    : path((fs::temp_directory_path() / ("vel_" + std::to_string(getpid()) + "_" + name)).string()) {}

TempFile::TempFile(const std::string& name, const std::string& text) : TempFile(name) { writeFile(path, text); }

TempFile::~TempFile() {
  std::error_code ec;
  fs::remove(path, ec);
}

TempDir::TempDir() : path(freshFolder()) {}

TempDir::~TempDir() { removeFolder(path); }

std::string makeTempDir() {
  // Folders that last until the test program ends.
  static std::vector<std::unique_ptr<TempDir>> kept;
  kept.push_back(std::make_unique<TempDir>());
  return kept.back()->path;
}
