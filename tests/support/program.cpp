#include "support/program.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string shellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

}  // namespace

std::string sourceDir() { return VEL_SOURCE_DIR; }

std::string examplePath(const std::string& name, const std::string& ending) {
  const std::string file = ending == "threshold" ? ending : name + ending;
  return sourceDir() + "/examples/" + name + "/" + file;
}

std::string testDataPath(const std::string& file) { return sourceDir() + "/tests/data/" + file; }

ProgramRun runProgram(const std::string& workDir, const std::vector<std::string>& args, int timeoutSeconds) {
  return runExecutable(VEL_BINARY, workDir, args, timeoutSeconds);
}

ProgramRun runExecutable(const std::string& binary, const std::string& workDir, const std::vector<std::string>& args,
                         int timeoutSeconds) {
  std::string outFile = workDir + "/.program_stdout", errFile = workDir + "/.program_stderr";
  std::string cmd = "cd " + shellQuote(workDir) + " && timeout -s KILL " + std::to_string(timeoutSeconds) + " " +
                    shellQuote(binary);
  for (const std::string& a : args) cmd += " " + shellQuote(a);
  cmd += " </dev/null >" + shellQuote(outFile) + " 2>" + shellQuote(errFile);
  int raw = std::system(cmd.c_str());
  ProgramRun run;
  run.status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  run.out = readFile(outFile);
  run.err = readFile(errFile);
  fs::remove(outFile);
  fs::remove(errFile);
  return run;
}
