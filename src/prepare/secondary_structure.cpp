// Which sheets a case is made from: the entry's own sheet records, or the
// sheets DSSP assigns from the hydrogen bonds of the backbone, with their
// strands put in the order of their ladders as sheet records list them.
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

// Beyond this many strands in one sheet the longest chain of ladders is not
// searched exhaustively but walked greedily.
constexpr size_t kExhaustiveStrands = 20;

using Partners = std::vector<std::map<size_t, int>>;  // per strand: partner -> sense

void longestFrom(const Partners& partners, std::vector<size_t>& path, std::vector<char>& onPath,
                 std::vector<size_t>& best, size_t& budget) {
  if (path.size() > best.size()) best = path;
  if (budget == 0) return;
  --budget;
  for (const auto& next : partners[path.back()]) {
    if (onPath[next.first]) continue;
    onPath[next.first] = 1;
    path.push_back(next.first);
    longestFrom(partners, path, onPath, best, budget);
    path.pop_back();
    onPath[next.first] = 0;
  }
}

// The longest run of strands joined by ladders not yet used, starting from
// the earliest strand that can start the longest one.
std::vector<size_t> longestPath(const Partners& partners) {
  std::vector<size_t> best;
  const size_t strands = partners.size();
  size_t budget = strands <= kExhaustiveStrands ? size_t(1) << 22 : strands * strands;
  for (size_t start = 0; start < strands; ++start) {
    if (partners[start].empty()) continue;
    std::vector<size_t> path{start};
    std::vector<char> onPath(strands, 0);
    onPath[start] = 1;
    longestFrom(partners, path, onPath, best, budget);
  }
  return best;
}

std::string residueKey(const ResidueId& id) { return id.chain + ":" + std::to_string(id.number) + id.icode; }

}  // namespace

std::vector<Sheet> sheetsFromLadders(const std::string& id, const std::vector<Strand>& strands,
                                     const std::vector<Ladder>& ladders) {
  Partners partners(strands.size());
  for (const Ladder& l : ladders)
    if (l.first != l.second && l.first < strands.size() && l.second < strands.size()) {
      partners[l.first].emplace(l.second, l.sense);
      partners[l.second].emplace(l.first, l.sense);
    }
  std::vector<Sheet> sheets;
  for (;;) {
    const std::vector<size_t> path = longestPath(partners);
    if (path.size() < 2) break;
    Sheet sheet;
    sheet.id = sheets.empty() ? id : id + std::to_string(sheets.size() + 1);
    for (size_t i = 0; i < path.size(); ++i) {
      Strand s = strands[path[i]];
      s.sense = i == 0 ? 0 : partners[path[i - 1]].at(path[i]);
      s.registered = false;
      sheet.strands.push_back(s);
    }
    for (size_t i = 0; i + 1 < path.size(); ++i) {
      partners[path[i]].erase(path[i + 1]);
      partners[path[i + 1]].erase(path[i]);
    }
    // A ring of strands: the records list the first again to close it.
    const auto closing = partners[path.back()].find(path.front());
    if (path.size() >= 3 && closing != partners[path.back()].end()) {
      Strand s = strands[path.front()];
      s.sense = closing->second;
      s.registered = false;
      sheet.strands.push_back(s);
      partners[path.front()].erase(path.back());
      partners[path.back()].erase(path.front());
    }
    sheets.push_back(sheet);
  }
  return sheets;
}

void assignSecondaryStructure(Structure& st, SheetSource source, const std::string& chains, const DsspRun& run) {
  st.sheetSource = "records";
  st.recordSheets.clear();
  if (source == SheetSource::Records || (source == SheetSource::Auto && !st.sheets.empty())) return;
  st.recordSheets = st.sheets;
  st.sheets = assignSheetsByDssp(st, chains, run);
  st.sheetSource = "dssp";
}

std::vector<std::string> compareAssignments(const Structure& st, const std::string& chains) {
  std::vector<std::string> lines;
  if (st.sheetSource != "dssp" || st.recordSheets.empty()) return lines;
  // The strand residues of a sheet, by chain and residue, within the chain's ATOM residues.
  auto residuesOf = [&](const Sheet& sheet) {
    std::set<std::string> keys;
    for (const Strand& s : sheet.strands)
      for (const Chain& c : st.chains) {
        if (c.name != s.start.chain || s.start.chain != s.end.chain) continue;
        bool inside = false;
        for (const Residue& r : c.residues) {
          const ResidueId id{c.name, r.name, r.number, r.icode};
          inside = inside || residueKey(id) == residueKey(s.start);
          if (inside) keys.insert(residueKey(id));
          if (residueKey(id) == residueKey(s.end)) break;
        }
      }
    return keys;
  };
  auto describe = [](const char* source, const Sheet& sheet, size_t residues) {
    std::ostringstream text;
    text << source << " sheet " << sheet.id << " (" << sheet.strands.size() << " strands, " << residues << " residues)";
    return text.str();
  };
  const std::vector<std::string> wanted = chainsPrepared(st, chains);
  auto inWanted = [&](const Sheet& sheet) {
    for (const Strand& s : sheet.strands)
      if (std::find(wanted.begin(), wanted.end(), s.start.chain) != wanted.end()) return true;
    return false;
  };
  struct Side {
    const char* name;
    const std::vector<Sheet>* sheets;
  };
  const Side sides[2] = {{"records", &st.recordSheets}, {"dssp", &st.sheets}};
  for (int side = 0; side < 2; ++side) {
    const Side& mine = sides[side];
    const Side& other = sides[1 - side];
    for (const Sheet& sheet : *mine.sheets) {
      if (!inWanted(sheet)) continue;
      const std::set<std::string> keys = residuesOf(sheet);
      const Sheet* match = nullptr;
      size_t shared = 0, matchSize = 0;
      for (const Sheet& candidate : *other.sheets) {
        const std::set<std::string> theirs = residuesOf(candidate);
        size_t common = 0;
        for (const std::string& k : keys) common += theirs.count(k);
        if (common > shared) {
          shared = common;
          match = &candidate;
          matchSize = theirs.size();
        }
      }
      std::string line = "  " + describe(mine.name, sheet, keys.size());
      if (match)
        line += ": shares " + std::to_string(shared) + " residues with " + describe(other.name, *match, matchSize);
      else
        line += ": no " + std::string(other.name) + " sheet shares a residue";
      lines.push_back(line);
    }
  }
  return lines;
}

}  // namespace prepare
}  // namespace vel
