#include "support/program.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

std::vector<std::string> listFiles(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string makeTempDir() {
  std::string pattern = (fs::temp_directory_path() / "velmorantique-test-XXXXXX").string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) == nullptr) throw std::runtime_error("cannot make a temporary directory");
  return std::string(buf.data());
}

void copyFile(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
}

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
