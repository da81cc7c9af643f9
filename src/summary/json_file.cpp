// JSON files read back with bounds on their size and their nesting, whoever
// wrote them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "velmorantique/summary.h"

namespace vel {

namespace {

using nlohmann::json;

struct TooDeep {};

}  // namespace

json parseJson(const std::string& text, const std::string& name, std::string& problem) {
  problem.clear();
  // The parser keeps its own stack, but a document nested deeper than any
  // the tools write would overflow the program's when copied or printed:
  // stop at the first value past the bound.
  const json::parser_callback_t depthBound = [](int depth, json::parse_event_t, json&) {
    if (depth > kJsonDepth) throw TooDeep{};
    return true;
  };
  try {
    return json::parse(text, depthBound);
  } catch (const TooDeep&) {
    problem = name + ": nested more than " + std::to_string(kJsonDepth) + " levels deep, not a file the tools write";
  } catch (const json::exception& e) {
    problem = name + ": not JSON (" + std::string(e.what()) + ")";
  }
  return nullptr;
}

std::string readBoundedFile(const std::string& path, size_t maxBytes, std::string& problem) {
  problem.clear();
  // Non-blocking, so that opening a FIFO returns at once; fstat then tells
  // what was opened.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    problem = "cannot read " + path + ": " + std::strerror(errno);
    return "";
  }
  struct stat st;
  std::string text;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    problem = path + " is not a regular file";
  } else if (static_cast<uint64_t>(st.st_size) > maxBytes) {
    problem = path + " holds " + std::to_string(st.st_size) + " bytes, more than the " + std::to_string(maxBytes) +
              " it may";
  } else {
    // One byte more than the file held: a file that grows while it is read
    // is caught too.
    text.resize(static_cast<size_t>(st.st_size) + 1);
    size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = ::read(fd, &text[got], text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) problem = "cannot read " + path + ": " + std::strerror(errno);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (got > static_cast<size_t>(st.st_size)) problem = path + " grew while it was read";
    text.resize(problem.empty() ? got : 0);
  }
  ::close(fd);
  return text;
}

json readJsonFile(const std::string& path, std::string& problem) {
  const std::string text = readBoundedFile(path, kJsonFileBytes, problem);
  if (!problem.empty()) return nullptr;
  return parseJson(text, path, problem);
}

}  // namespace vel
