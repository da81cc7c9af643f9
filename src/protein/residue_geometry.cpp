#include <cmath>
#include <string>

#include "velmorantique/protein.h"

namespace vel {

namespace {

std::string indexOutOfRange(int i, int count) {
  return "The given index (" + toString(i) + ") is out of range..or the portion is empty (No.AAs= " +
         toString(count) + ")";
}

// The side-chain atoms a method measures: 'H' the heavy ones, 'A' all of them.
bool selectedBy(const Atom& atom, char method) {
  if (method == 'H') return atom.isSideChain && isHeavyAtom(atom.type);
  if (method == 'A') return atom.isSideChain;
  return false;
}

}  // namespace

int Protein::getAtomIndx(int i, const std::string& atomName) const {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "getAtomIndx", indexOutOfRange(i, numOfAA()));
    return -1;
  }
  const std::vector<Atom>& atoms = AAs[i].atoms;
  for (std::size_t k = 0; k < atoms.size(); ++k)
    if (atoms[k].name.find(atomName) != std::string::npos) return static_cast<int>(k);
  return -1;
}

Coordinate Protein::getAtomCoordinate(int i, const std::string& atomName) const {
  int k = getAtomIndx(i, atomName);
  if (k == -1) {
    std::string where = (i >= 0 && i < numOfAA())
                            ? "in AA (" + AAs[i].chr3 + "-" + toString(AAs[i].num) + " )"
                            : "...pad AA indx (" + toString(i) + ").";
    errMsg("Protein", "getAtomCoordinate", "No such atom ( " + atomName + ") found " + where);
    return Coordinate(-999.0, -999.0, -999.0);
  }
  return AAs[i].atoms[k].coord;
}

void Protein::setSCCenter(int i, char method) {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "setSCCenter", indexOutOfRange(i, numOfAA()));
    return;
  }
  AminoAcid& aa = AAs[i];
  if (aa.centerType == 'S' && aa.centerMethod == method) return;

  double x = 0.0, y = 0.0, z = 0.0;
  int n = 0;
  for (const Atom& atom : aa.atoms) {
    if (!selectedBy(atom, method)) continue;
    x += atom.coord.x;
    y += atom.coord.y;
    z += atom.coord.z;
    ++n;
  }
  // Glycine, or a residue whose side chain was not modelled, is centred on its CA.
  if (n > 0)
    aa.center = Coordinate(x / n, y / n, z / n);
  else
    aa.center = getAtomCoordinate(i, " CA ");
  aa.centerType = 'S';
  aa.centerMethod = method;
}

void Protein::setRgyration(int i, char method) {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "setRgyration", indexOutOfRange(i, numOfAA()));
    return;
  }
  if (AAs[i].rg != 0.0) return;

  const int n = numOfSCAtoms(i, method);
  if (n == 0) {
    // No side chain: the radius of a single carbon stands in for it.
    double r = std::sqrt(getRadius('C', 'C'));
    AAs[i].rg = r;
    AAs[i].rgXYZ = Coordinate(r, r, r);
    return;
  }
  if (AAs[i].centerType != 'S' || AAs[i].centerMethod != method) setSCCenter(i, 'H');

  AminoAcid& aa = AAs[i];
  const Coordinate c = aa.center;
  double sum = 0.0;
  Coordinate xyz(0.0, 0.0, 0.0);
  for (const Atom& atom : aa.atoms) {
    if (!selectedBy(atom, method)) continue;
    const double r = getRadius(atom.type, 'C');
    const Vectors d(c, atom.coord);
    const double dist = d.length() + r;
    sum += dist * dist;
    // Each atom counts with its radius added along every axis.
    const double dx = d.x + r, dy = d.y + r, dz = d.z + r;
    xyz.x += dx * dx;
    xyz.y += dy * dy;
    xyz.z += dz * dz;
  }
  aa.rgXYZ = Coordinate(std::sqrt(xyz.x / n), std::sqrt(xyz.y / n), std::sqrt(xyz.z / n));
  aa.rg = std::sqrt(sum / n);
}

void Protein::setScEndPoint(int i, char method) {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "setScEndPoint", indexOutOfRange(i, numOfAA()));
    return;
  }
  if (AAs[i].centerType == 'S' && AAs[i].centerMethod == method) return;

  const int k = getAtomIndx(i, "CA");
  if (k == -1) {
    errMsg("Protein", "setScEndPoint",
           "Ca atom is not found (" + AAs[i].chr3 + "-" + toString(AAs[i].num) +
               ") ....no EndPoint has been computed");
    return;
  }
  setSCCenter(i, method);
  setRgyration(i, method);

  // The end point lies beyond CA on the line from the side-chain centre
  // through CA, one radius of gyration past CA plus the centre-CA distance.
  AminoAcid& aa = AAs[i];
  const Coordinate a = aa.atoms[k].coord;
  Vectors v(aa.center, a);
  const double f = v.length() / aa.rg;
  Vectors w = v;
  w.divide(f);
  aa.scEndPoint = Coordinate(a.x + v.x + w.x, a.y + v.y + w.y, a.z + v.z + w.z);
}

int Protein::numOfSCAtoms(int i, char method) const {
  if (i < 0 || i >= numOfAA()) {
    errMsg("Protein", "numOfSCAtoms", "AAindx given (" + toString(i) + "is out of range..");
    return 0;
  }
  int n = 0;
  for (const Atom& atom : AAs[i].atoms)
    if (selectedBy(atom, method)) ++n;
  return n;
}

bool isHeavyAtom(char element) {
  return element == 'C' || element == 'N' || element == 'O' || element == 'S';
}

double getRadius(char element, char scale) {
  // Van der Waals ('V'), covalent ('C') and a second covalent set ('O').
  struct Radii {
    char element;
    double v, c, o;
  };
  static const Radii kRadii[] = {{'C', 1.6, 0.77, 0.76}, {'H', 1.0, 0.32, 0.31},
                                 {'N', 1.3, 0.70, 0.71}, {'O', 1.3, 0.66, 0.66},
                                 {'P', 1.8, 1.10, 1.07}, {'S', 1.7, 1.04, 1.03}};
  for (const Radii& r : kRadii) {
    if (r.element != element) continue;
    if (scale == 'V') return r.v;
    if (scale == 'C') return r.c;
    if (scale == 'O') return r.o;
    break;
  }
  stopRun(FrameStyle::Short, "getRadius(char, char)", "The atomtype or method class sent are incorrect");
}

}  // namespace vel
