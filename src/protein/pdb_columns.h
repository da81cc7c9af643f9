#pragma once
// Fixed-column access to PDB lines. Columns are 1-based and inclusive, as the
// format documents them. Lines are often cut short after their last non-blank
// field (or written by hand), so a line is read as if it were padded with
// blanks to any column asked for.

#include <cstddef>
#include <string>

namespace vel {

// Columns a..b of line; the part past the end of the line reads as blanks.
inline std::string pdbColumns(const std::string& line, std::size_t a, std::size_t b) {
  std::string text(b - a + 1, ' ');
  for (std::size_t c = a; c <= b && c <= line.size(); ++c) text[c - a] = line[c - 1];
  return text;
}

// Column a of line, a blank past its end.
inline char pdbColumn(const std::string& line, std::size_t a) {
  return a <= line.size() ? line[a - 1] : ' ';
}

}  // namespace vel
