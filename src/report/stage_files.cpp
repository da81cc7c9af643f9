#include "stage_files.h"

#include <sys/stat.h>
#include <zlib.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "velmorantique/report.h"

namespace vel::report {

namespace {

bool isFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The whole file, decompressed when it is gzip data (zlib passes plain files through).
std::string readMaybeCompressed(const std::string& path) {
  gzFile in = gzopen(path.c_str(), "rb");
  if (in == nullptr) throw ReportError("cannot open " + path);
  std::string text;
  char buffer[1 << 16];
  int got = 0;
  while ((got = gzread(in, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(got));
  int code = Z_OK;
  const char* reason = got < 0 ? gzerror(in, &code) : nullptr;
  const std::string why = reason ? reason : "";
  if (gzclose(in) != Z_OK || got < 0) throw ReportError("cannot read " + path + (why.empty() ? "" : ": " + why));
  return text;
}

bool parseField(const std::string& line, size_t from, size_t width, double& value) {
  const std::string field = line.substr(from, width);
  char* end = nullptr;
  errno = 0;
  value = std::strtod(field.c_str(), &end);
  if (end == field.c_str() || errno == ERANGE || !std::isfinite(value)) return false;
  while (*end == ' ') ++end;
  return *end == '\0';
}

}  // namespace

std::string findStageFile(const std::string& path) {
  if (isFile(path)) return path;
  if (isFile(path + ".gz")) return path + ".gz";
  return "";
}

PointList readStagePoints(const std::string& path) {
  const std::string text = readMaybeCompressed(path);
  PointList points;
  size_t start = 0;
  int lineNumber = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (line.compare(0, 6, "ATOM  ") != 0 && line.compare(0, 6, "HETATM") != 0) continue;
    Coordinate c;
    if (line.size() < 54 || !parseField(line, 30, 8, c.x) || !parseField(line, 38, 8, c.y) ||
        !parseField(line, 46, 8, c.z))
      throw ReportError(path + ":" + std::to_string(lineNumber) + ": coordinates are not numbers");
    points.push_back(c);
  }
  return points;
}

StrandSet splitStrandLines(const PointList& points, double maxStep) {
  StrandSet lines;
  for (size_t i = 0; i < points.size(); ++i) {
    if (i == 0 || getDistance(points[i - 1], points[i]) > maxStep) lines.emplace_back();
    lines.back().push_back(points[i]);
  }
  return lines;
}

}  // namespace vel::report
