// Which sheets can become a case. The analysis reads one chain, stops at the
// first insertion code and finds strand ends by residue number, so a case
// needs a sheet of three or more distinct, non-overlapping strands whose ends
// are ATOM residues of one chain with unique numbers and whose residues all
// have a C-alpha.
#include <algorithm>
#include <set>
#include <sstream>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

int findResidue(const Chain& chain, const ResidueId& id) {
  for (size_t i = 0; i < chain.residues.size(); ++i)
    if (chain.residues[i].number == id.number && chain.residues[i].icode == id.icode) return static_cast<int>(i);
  return -1;
}

std::string residueText(const ResidueId& id) {
  std::string s = id.name + " " + std::to_string(id.number);
  if (id.icode != ' ') s += id.icode;
  return s;
}

// Insertion codes or a residue number used twice leave the analysis with a
// chain it reads only in part or strand ends it cannot tell apart.
std::string chainNumberingProblem(const Chain& chain) {
  if (!chain.repeatedNumbers.empty())
    return "chain " + chain.name + " repeats residue number " + std::to_string(chain.repeatedNumbers.front());
  std::set<int> seen;
  for (const Residue& r : chain.residues) {
    if (r.icode != ' ') return "chain " + chain.name + " has insertion codes (residue " + std::to_string(r.number) + r.icode + ")";
    if (r.number < -999 || r.number > 9999)
      return "chain " + chain.name + " has residue number " + std::to_string(r.number) +
             ", wider than the PDB format's four columns";
    if (!seen.insert(r.number).second)
      return "chain " + chain.name + " repeats residue number " + std::to_string(r.number);
  }
  return "";
}

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += (text.empty() ? "" : ", ") + n;
  return text;
}

std::string judge(const Structure& st, const std::vector<std::string>& wanted, SheetVerdict& v) {
  const Sheet& sheet = *v.sheet;
  std::set<std::string> chains;
  for (const Strand& s : sheet.strands) {
    chains.insert(s.start.chain);
    chains.insert(s.end.chain);
  }
  if (chains.size() != 1)
    return "strands in more than one chain (" + joined({chains.begin(), chains.end()}) +
           "): the analysis reads one chain";
  v.chain = *chains.begin();
  if (std::find(wanted.begin(), wanted.end(), v.chain) == wanted.end())
    return "in chain " + v.chain + (wanted.size() == 1 ? ", not the chain prepared (" : ", not a chain prepared (") +
           joined(wanted) + "; choose it with --chain)";
  for (size_t i = 0; i < st.chains.size(); ++i)
    if (st.chains[i].name == v.chain) v.chainIndex = static_cast<int>(i);
  for (size_t a = 0; a < sheet.strands.size(); ++a)
    for (size_t b = a + 1; b < sheet.strands.size(); ++b)
      if (sheet.strands[a].start.number == sheet.strands[b].start.number &&
          sheet.strands[a].start.icode == sheet.strands[b].start.icode)
        return "strand " + residueText(sheet.strands[a].start) + " listed twice (closed barrel)";
  if (sheet.strands.size() < 3) return "fewer than three strands";
  if (v.chainIndex < 0) return "chain " + v.chain + " has no ATOM records";
  const Chain& chain = st.chains[v.chainIndex];
  std::string numbering = chainNumberingProblem(chain);
  if (!numbering.empty()) return numbering;
  for (const Strand& s : sheet.strands) {
    const int first = findResidue(chain, s.start), last = findResidue(chain, s.end);
    if (first < 0) return "strand start " + residueText(s.start) + " is not an ATOM residue of the chain";
    if (last < 0) return "strand end " + residueText(s.end) + " is not an ATOM residue of the chain";
    if (last < first) return "strand " + residueText(s.start) + " - " + residueText(s.end) + " ends before it starts";
    for (int i = first; i <= last; ++i)
      if (!chain.residues[i].find("CA"))
        return "strand residue " + chain.residues[i].name + " " + std::to_string(chain.residues[i].number) +
               " has no CA";
    v.strandRanges.push_back({static_cast<size_t>(first), static_cast<size_t>(last)});
    v.residueCount += static_cast<size_t>(last - first + 1);
  }
  for (size_t a = 0; a < v.strandRanges.size(); ++a)
    for (size_t b = a + 1; b < v.strandRanges.size(); ++b)
      if (v.strandRanges[a].first <= v.strandRanges[b].second && v.strandRanges[b].first <= v.strandRanges[a].second)
        return "strands " + residueText(sheet.strands[a].start) + " and " + residueText(sheet.strands[b].start) +
               " overlap";
  return "";
}

}  // namespace

std::vector<std::string> chainsPrepared(const Structure& st, const std::string& chains) {
  std::vector<std::string> names;
  if (chains.empty() || chains == "all") {
    for (const Chain& c : st.chains)
      if (c.aminoAcids && (names.empty() || chains == "all")) names.push_back(c.name);
    if (names.empty()) throw PrepareError(st.source + ": no chain with ATOM records holds amino acids");
    return names;
  }
  std::stringstream list(chains);
  std::string name;
  while (std::getline(list, name, ',')) {
    if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) continue;
    auto chain = std::find_if(st.chains.begin(), st.chains.end(), [&](const Chain& c) { return c.name == name; });
    if (chain == st.chains.end()) throw PrepareError(st.source + ": no chain " + name);
    if (!chain->aminoAcids) throw PrepareError(st.source + ": chain " + name + " holds no amino acids");
    names.push_back(name);
  }
  if (names.empty()) throw PrepareError("--chain names no chain");
  return names;
}

std::vector<SheetVerdict> judgeSheets(const Structure& st, const std::string& chains) {
  const std::vector<std::string> wanted = chainsPrepared(st, chains);
  std::vector<SheetVerdict> verdicts;
  for (const Sheet& sheet : st.sheets) {
    SheetVerdict v;
    v.sheet = &sheet;
    v.reason = judge(st, wanted, v);
    v.eligible = v.reason.empty();
    if (!v.eligible) {
      v.strandRanges.clear();
      v.residueCount = 0;
    }
    verdicts.push_back(v);
  }
  return verdicts;
}

std::string describeChains(const Structure& st) {
  std::ostringstream line;
  line << "chains";
  for (const Chain& c : st.chains)
    line << (&c == &st.chains.front() ? " " : ", ") << c.name << " (" << c.residues.size() << " residues"
         << (c.aminoAcids ? "" : ", no amino acids") << ")";
  return line.str();
}

std::string describeVerdict(const SheetVerdict& v) {
  std::ostringstream line;
  line << "sheet " << v.sheet->id << "  chain " << (v.chain.empty() ? std::string("several") : v.chain) << "  "
       << v.sheet->strands.size() << " strands:";
  for (const Strand& s : v.sheet->strands) {
    line << ' ' << s.start.chain << ':' << s.start.number;
    if (s.start.icode != ' ') line << s.start.icode;
    line << '-' << s.end.number;
    if (s.end.icode != ' ') line << s.end.icode;
  }
  if (v.eligible)
    line << "  " << v.residueCount << " residues  eligible";
  else
    line << "  not eligible: " << v.reason;
  return line.str();
}

}  // namespace prepare
}  // namespace vel
