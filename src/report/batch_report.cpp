#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "case_view.h"
#include "report_page.h"
#include "velmorantique/report.h"
#include "viewer_scripts.h"

namespace vel::report {

namespace {

// A file that already holds exactly this content is left as it is: on a
// rerun most viewer scripts are unchanged, and rewriting them costs more
// than reading them.
bool holds(const std::string& path, const std::string& content) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<size_t>(size) != content.size()) return false;
  in.seekg(0);
  std::string existing(content.size(), '\0');
  return in.read(existing.data(), size) && existing == content;
}

// Written beside and renamed into place, so a reader never sees half a file
// and a failed rewrite keeps the previous one.
void writeWhole(const std::string& path, const std::string& content) {
  if (holds(path, content)) return;
  const std::string partial = path + ".partial";
  std::remove(partial.c_str());  // a link left there is removed, never written through
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

// A folder itself, not a link to one: the report writes only inside OUT.
bool ownFolder(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void writeBatchReport(const std::string& outDir) {
  std::vector<CaseView> cases = loadBatch(outDir);
  const std::vector<MapView> maps = loadMaps(outDir, cases);
  const bool casesOwn = ownFolder(outDir + "/cases");
  for (const CaseView& c : cases) {
    // A case folder that is a link leads out of OUT: its scripts are not written.
    if (!c.finished() || !c.hasSummary || !casesOwn || !ownFolder(c.caseFolder)) continue;
    writeWhole(c.caseFolder + "/" + c.name + "_view.pml", pymolScript(c));
    writeWhole(c.caseFolder + "/" + c.name + "_view.cxc", chimeraxScript(c));
  }
  writeWhole(outDir + "/report.html", renderReportPage(cases, maps, outDir));
}

}  // namespace vel::report
