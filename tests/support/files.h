#pragma once
// Files for the tests: whole files read and written, and temporary files and
// folders that are removed when the test is done with them, whatever way it
// ends (an assertion that fails returns early).

#include <string>
#include <vector>

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);
// The text without the blanks and line ends that close it.
std::string trimEnd(std::string text);
// Names of the regular files directly inside a directory, sorted.
std::vector<std::string> listFiles(const std::string& dir);
void copyFile(const std::string& from, const std::string& to);

// A path in the temporary folder, unique to this process, removed at the end
// of the test. The second form writes the text into it first.
class TempFile {
 public:
  explicit TempFile(const std::string& name);
  TempFile(const std::string& name, const std::string& text);
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile();

  const std::string path;
};

// A fresh empty folder in the temporary folder, removed with everything in
// it at the end of the test.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::string path;
};

// A fresh empty folder like TempDir's, removed with everything in it when the
// test program ends, for a folder that must outlive the scope that makes it.
std::string makeTempDir();
