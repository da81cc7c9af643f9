#pragma once
// The two fixed-width report tables: their column titles and widths, each
// fixed in exactly one place, and the one function that writes a field. The
// analysis writes one row per run; the batch gathers the rows of many runs
// under one header.

#include <iomanip>
#include <ostream>
#include <string>

namespace vel {

struct ReportColumn {
  const char* title;
  int width;
};

// Best candidate by two-way distance, and the top-twist candidate, per protein.
constexpr ReportColumn kBestResultColumns[] = {
    {"pdbID", 15},    {"fitting Err", 15}, {"best-set", 20},         {"best #strds", 15},
    {"#strds", 15},   {"2-way", 15},       {"best #AA", 15},         {"#AA", 15},
    {"top-twist #strds", 25}, {"2-way", 15}, {"top #AA", 15},
};

// Best candidate by RMS mean distance, per protein.
constexpr ReportColumn kRmsColumns[] = {
    {"pdbID", 15},   {"Avg_Dist", 15},           {"best #strds", 15},
    {"#strds", 15},  {"RMSD", 15},               {"#CA_in_calculation", 30},
    {"total_#CA", 15}, {"total_#pseudo", 25},    {"set_index", 21},
};

// In the RMS data row only the literal "trans_" of the set index is padded.
constexpr int kRmsSetIndexPrefixWidth = 18;

// A value right-aligned in its width with the stream's default number format.
template <class T>
void writeField(std::ostream& os, int width, const T& value) {
  os << std::setw(width) << value;
}

template <size_t N>
void writeHeaderRow(std::ostream& os, const ReportColumn (&columns)[N]) {
  for (const ReportColumn& c : columns) writeField(os, c.width, c.title);
  os << '\n';
}

}  // namespace vel
