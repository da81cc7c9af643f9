#include <algorithm>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "pdb_columns.h"
#include "velmorantique/protein.h"

namespace vel {

namespace {

int atoiColumns(const std::string& line, std::size_t a, std::size_t b) {
  return std::atoi(pdbColumns(line, a, b).c_str());
}

// Recursive quicksort with Hoare partitioning on `start`. The sort is not
// stable, and which of several records with the same start ends up first
// decides the record kept when duplicates are removed, so the steps are fixed.
// Indices are kept signed here so that "one before lo" stays meaningful at 0.
template <class Record>
void hoareSort(std::vector<Record>& v, long long lo, long long hi) {
  if (lo >= hi) return;
  const int pivot = v[lo].start;
  long long i = lo - 1;
  long long j = hi + 1;
  for (;;) {
    do --j;
    while (v[j].start > pivot);
    do ++i;
    while (v[i].start < pivot);
    if (i < j)
      std::swap(v[i], v[j]);
    else
      break;
  }
  hoareSort(v, lo, j);
  hoareSort(v, j + 1, hi);
}

template <class Record>
void sortAndDropDuplicateStarts(std::vector<Record>& v,
                                void (Protein::*sorter)(std::vector<Record>&, unsigned, unsigned),
                                Protein& protein) {
  if (v.empty()) return;
  (protein.*sorter)(v, 0, static_cast<unsigned>(v.size() - 1));
  // The same stretch listed twice (a strand shared by two sheets, as where a
  // barrel closes) is kept once: the record that sorted first. Sorted, the
  // records of one start stand together.
  v.erase(std::unique(v.begin(), v.end(),
                      [](const Record& a, const Record& b) { return a.start == b.start; }),
          v.end());
}

// getAAIndx for every number a record names: the index of the first residue
// of that number, or -1; looked up, not scanned for, since a file may hold
// many records.
class ResidueIndex {
 public:
  explicit ResidueIndex(const std::vector<AminoAcid>& aas) {
    for (std::size_t i = 0; i < aas.size(); ++i) first_.emplace(aas[i].num, static_cast<int>(i));
  }
  int operator()(int num) const {
    auto it = first_.find(num);
    return it == first_.end() ? -1 : it->second;
  }

 private:
  std::unordered_map<int, int> first_;  // emplace keeps the first residue of a number
};

}  // namespace

void Protein::buildSS() {
  if (AAs.empty()) {
    errMsg("Protein", "buildSS",
           "Be sure the portion (" + fileName + ") contains AAs or you have read the pdb file..");
    return;
  }
  hlces.clear();
  strands.clear();
  const std::string chain = AAs[0].chain;
  const ResidueIndex indexOf(AAs);

  for (const std::string& line : header) {
    if (pdbColumns(line, 1, 5) == "HELIX" && pdbColumns(line, 20, 20) == chain) {
      HelicesSecondaryStructure h;
      h.serNum = atoiColumns(line, 8, 10);
      h.helixID = atoiColumns(line, 12, 14);
      h.start = indexOf(atoiColumns(line, 22, 25));
      h.end = indexOf(atoiColumns(line, 34, 37));
      h.helixClass = atoiColumns(line, 39, 40);
      h.comment = pdbColumns(line, 41, 70);
      if (h.start != -1 && h.end != -1 && pdbColumn(line, 32) == pdbColumn(line, 20)) {
        h.length = h.end - h.start + 1;
        h.seqLength = std::abs(AAs[h.end].num - AAs[h.start].num) + 1;
        hlces.push_back(h);
      }
    }
    if (pdbColumns(line, 1, 5) == "SHEET" && pdbColumns(line, 22, 22) == chain) {
      SheetsSecondaryStructure s;
      s.strand = atoiColumns(line, 8, 10);
      s.sheetID = pdbColumns(line, 12, 14);
      s.numStrands = atoiColumns(line, 15, 16);
      s.start = indexOf(atoiColumns(line, 23, 26));
      s.end = indexOf(atoiColumns(line, 34, 37));
      s.sense = atoiColumns(line, 39, 40);
      // Registration with the previous strand of the sheet; the first strand
      // of a sheet has blank fields here.
      if (line.size() > 44) {
        s.curAtom = pdbColumns(line, 42, 45);
        s.curResIndx = indexOf(atoiColumns(line, 51, 54));
        s.prevAtom = pdbColumns(line, 57, 60);
        s.prevResIndx = indexOf(atoiColumns(line, 66, 69));
      }
      if (s.start != -1 && s.end != -1) {
        s.length = s.end - s.start + 1;
        s.seqLength = std::abs(AAs[s.end].num - AAs[s.start].num) + 1;
        strands.push_back(s);
      }
    }
  }

  sortAndDropDuplicateStarts(hlces, &Protein::sortHlces, *this);
  sortAndDropDuplicateStarts(strands, &Protein::sortStrands, *this);
}

int Protein::getAAIndx(int num) const {
  for (int i = 0; i < numOfAA(); ++i)
    if (AAs[i].num == num) return i;
  return -1;
}

void Protein::sortHlces(std::vector<HelicesSecondaryStructure>& h, unsigned lo, unsigned hi) {
  if (lo >= hi || hi >= h.size()) return;
  hoareSort(h, lo, hi);
}

void Protein::sortStrands(std::vector<SheetsSecondaryStructure>& s, unsigned lo, unsigned hi) {
  if (lo >= hi || hi >= s.size()) return;
  hoareSort(s, lo, hi);
}

}  // namespace vel
