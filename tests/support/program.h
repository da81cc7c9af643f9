#pragma once
// Running the built program as users do, and reading what it left behind.

#include <string>
#include <vector>

struct ProgramRun {
  int status = -1;  // exit status, or -1 when the process did not exit normally
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the velmorantique executable in workDir with the given arguments,
// standard input from /dev/null; stopped after timeoutSeconds.
ProgramRun runProgram(const std::string& workDir, const std::vector<std::string>& args,
                      int timeoutSeconds = 120);

// The same for another executable of the project.
ProgramRun runExecutable(const std::string& binary, const std::string& workDir, const std::vector<std::string>& args,
                         int timeoutSeconds = 120);

std::string readFile(const std::string& path);
// The lines of a text, without their line ends.
std::vector<std::string> lines(const std::string& text);
void writeFile(const std::string& path, const std::string& content);
// Names of the regular files directly inside a directory, sorted.
std::vector<std::string> listFiles(const std::string& dir);
// A fresh empty directory under the system's temporary directory.
std::string makeTempDir();
void copyFile(const std::string& from, const std::string& to);
// Root of the source tree, for bundled data.
std::string sourceDir();
