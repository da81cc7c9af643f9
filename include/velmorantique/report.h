#pragma once
// The batch report: one offline HTML page over every case of a batch folder,
// with a picture of each sheet, batch plots, and viewer scripts per case.

#include <stdexcept>
#include <string>

namespace vel::report {

// A report that could not be written: no cases folder, an unwritable file.
// One case with a broken record or summary does not stop the report; it is
// shown with what went wrong.
struct ReportError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads outDir/cases/*/record.json, each case's summary, meta.json and stage
// PDB files (plain or gzip-compressed), and writes outDir/report.html and,
// for every finished case, cases/NAME/NAME_view.pml and NAME_view.cxc.
// Nothing is analysed again: the pictures come from what the runs wrote.
void writeBatchReport(const std::string& outDir);

}  // namespace vel::report
