#pragma once
// Running the built program as users do, and the bundled examples it runs on.

#include <string>
#include <vector>

#include "support/files.h"

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
// Root of the source tree, for bundled data.
std::string sourceDir();
// examples/<name>/<name><ending>, one of the bundled examples: ".pdb",
// ".mrc", "" for the base path the program takes, or "threshold" for the
// threshold its run is made with.
std::string examplePath(const std::string& name, const std::string& ending);
// tests/data/<file>: data of the tests' own, not found among the examples.
std::string testDataPath(const std::string& file);
