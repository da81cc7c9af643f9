#include "stage_files.h"

#include <sys/stat.h>
#include <zlib.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

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

// Digits with at most one point, as PDB writers print coordinates: the
// digits taken as a whole number and divided once by a power of ten. Both
// are exact doubles, and one division rounds correctly, so the value is the
// one a full decimal parser gives. False for anything else.
bool plainDecimal(std::string_view field, double& value) {
  static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const bool negative = !field.empty() && field.front() == '-';
  if (negative) field.remove_prefix(1);
  if (field.empty() || field.size() > 15) return false;
  std::int64_t digits = 0;
  int decimals = -1, count = 0;
  for (const char ch : field) {
    if (ch == '.' && decimals < 0) {
      decimals = 0;
    } else if (ch >= '0' && ch <= '9') {
      digits = digits * 10 + (ch - '0');
      ++count;
      if (decimals >= 0) ++decimals;
    } else {
      return false;
    }
  }
  if (count == 0) return false;
  value = static_cast<double>(digits) / kPowers[decimals < 0 ? 0 : decimals];
  if (negative) value = -value;
  return true;
}

// A fixed-width PDB field holding one number, blank-padded on either side.
bool parseField(std::string_view line, size_t from, size_t width, double& value) {
  std::string_view field = line.substr(from, width);
  while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
  while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
  if (field.size() > 1 && field.front() == '+' && field[1] != '-') field.remove_prefix(1);
  if (plainDecimal(field, value)) return true;
  const char* const last = field.data() + field.size();
  const std::from_chars_result got = std::from_chars(field.data(), last, value);
  return got.ec == std::errc() && got.ptr == last && std::isfinite(value);
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
    const std::string_view line = std::string_view(text).substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    const std::string_view record = line.substr(0, 6);
    if (record != "ATOM  " && record != "HETATM") continue;
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
