#include <cstdio>
#include <fstream>

#include "case_view.h"
#include "report_page.h"
#include "velmorantique/report.h"
#include "viewer_scripts.h"

namespace vel::report {

namespace {

// Written beside and renamed into place, so a reader never sees half a file
// and a failed rewrite keeps the previous one.
void writeWhole(const std::string& path, const std::string& content) {
  const std::string partial = path + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
      std::remove(partial.c_str());
      throw ReportError("cannot write " + path);
    }
  }
  if (std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    throw ReportError("cannot write " + path);
  }
}

}  // namespace

void writeBatchReport(const std::string& outDir) {
  const std::vector<CaseView> cases = loadBatch(outDir);
  for (const CaseView& c : cases) {
    if (!c.finished() || !c.hasSummary) continue;
    writeWhole(c.caseFolder + "/" + c.name + "_view.pml", pymolScript(c));
    writeWhole(c.caseFolder + "/" + c.name + "_view.cxc", chimeraxScript(c));
  }
  writeWhole(outDir + "/report.html", renderReportPage(cases, outDir));
}

}  // namespace vel::report
