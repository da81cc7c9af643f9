// The simulated density of a sheet and the MRC file it is written to.
#include <gemmi/c4322.hpp>
#include <gemmi/ccp4.hpp>
#include <gemmi/dencalc.hpp>

#include <algorithm>
#include <cmath>
#include <set>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

using Calculator = gemmi::DensityCalculator<gemmi::C4322<double>, float>;

// A sheet a hundred residues long fits in a few million voxels at 1 Å; the
// bound stops a tiny voxel size or a stray atom from exhausting memory.
constexpr double kMaxBoxVoxels = 64.0e6;

}  // namespace

DensityBox boxAroundAtoms(const std::vector<Point>& atoms, const std::array<double, 3>& voxel, double margin) {
  if (atoms.empty()) throw PrepareError("no atoms to place a box around");
  DensityBox box;
  box.voxel = voxel;
  for (int d = 0; d < 3; ++d) {
    double lo = atoms[0][d], hi = atoms[0][d];
    for (const Point& p : atoms) {
      lo = std::min(lo, p[d]);
      hi = std::max(hi, p[d]);
    }
    const double s = voxel[d];
    box.origin[d] = std::floor((lo - margin) / s) * s;
    const double n = std::ceil((hi + margin - box.origin[d]) / s) + 1;
    if (!(n > 0 && n < 4096)) throw PrepareError("the box around the sheet would have " + std::to_string(n) + " voxels along an axis");
    box.n[d] = static_cast<int>(n);
  }
  if (static_cast<double>(box.n[0]) * box.n[1] * box.n[2] > kMaxBoxVoxels)
    throw PrepareError("the box around the sheet would hold " + std::to_string(box.n[0]) + " x " +
                       std::to_string(box.n[1]) + " x " + std::to_string(box.n[2]) +
                       " voxels; choose a larger voxel size");
  box.values.assign(static_cast<size_t>(box.n[0]) * box.n[1] * box.n[2], 0.0f);
  return box;
}

namespace {

// The density of the atoms on the box's voxels, each atom moved by -offset
// (so that grid point u of the periodic cell sits at offset + u * voxel).
void fillDensity(const std::vector<Atom>& atoms, double resolution, const Point& offset, DensityBox& box) {
  Calculator dc;
  // A Gaussian blur of B = 4 R^2 gives each atom a width of about 0.225 R.
  dc.blur = 4 * resolution * resolution;
  std::vector<gemmi::Atom> model;
  double radius = 0;
  std::set<int> seen;
  for (const Atom& a : atoms) {
    gemmi::Atom g;
    g.element = gemmi::Element(a.element);
    if (!gemmi::C4322<double>::has(g.element.elem))
      throw PrepareError("atom " + a.name + " has an element (" + a.element + ") without electron scattering factors");
    g.pos = gemmi::Position(a.pos[0] - offset[0], a.pos[1] - offset[1], a.pos[2] - offset[2]);
    g.occ = 1;
    g.b_iso = 0;
    if (seen.insert(static_cast<int>(g.element.elem)).second) {
      auto precal = gemmi::C4322<double>::get(g.element.elem).precalculate_density_iso(dc.blur, 0.0);
      radius = std::max(radius, dc.estimate_radius(precal, dc.blur));
    }
    model.push_back(g);
  }
  // The calculation is periodic: pad the cell beyond the box by more than the
  // reach of an atom on either side, so that no image of an atom reaches the box.
  int cell[3];
  for (int d = 0; d < 3; ++d) cell[d] = box.n[d] + 2 * static_cast<int>(std::ceil(radius / box.voxel[d])) + 2;
  dc.grid.set_unit_cell(cell[0] * box.voxel[0], cell[1] * box.voxel[1], cell[2] * box.voxel[2], 90, 90, 90);
  dc.grid.set_size_without_checking(cell[0], cell[1], cell[2]);
  dc.grid.axis_order = gemmi::AxisOrder::XYZ;
  dc.grid.fill(0.0f);
  for (const gemmi::Atom& g : model) dc.add_atom_density_to_grid(g);

  // Grid point u of the cell sits at offset + u * voxel, so box voxel i is
  // grid point (origin - offset) / voxel + i, taken modulo the cell.
  int start[3];
  for (int d = 0; d < 3; ++d) start[d] = static_cast<int>(std::lround((box.origin[d] - offset[d]) / box.voxel[d]));
  for (int k = 0; k < box.n[2]; ++k)
    for (int j = 0; j < box.n[1]; ++j)
      for (int i = 0; i < box.n[0]; ++i)
        box.values[box.index(i, j, k)] = dc.grid.get_value(start[0] + i, start[1] + j, start[2] + k);
}

}  // namespace

DensityBox simulateDensity(const std::vector<Atom>& atoms, double resolution, double voxel, double margin) {
  std::vector<Point> positions;
  for (const Atom& a : atoms) positions.push_back(a.pos);
  DensityBox box = boxAroundAtoms(positions, {voxel, voxel, voxel}, margin);
  fillDensity(atoms, resolution, {0, 0, 0}, box);
  return box;
}

DensityBox simulateDensityOn(const std::vector<Atom>& atoms, double resolution, const DensityBox& grid) {
  DensityBox box = grid;
  std::fill(box.values.begin(), box.values.end(), 0.0f);
  fillDensity(atoms, resolution, grid.origin, box);
  return box;
}

void writeMrc(const std::string& path, const DensityBox& box) {
  gemmi::Ccp4<float> map;
  map.grid.set_unit_cell(box.n[0] * box.voxel[0], box.n[1] * box.voxel[1], box.n[2] * box.voxel[2], 90, 90, 90);
  map.grid.set_size_without_checking(box.n[0], box.n[1], box.n[2]);
  map.grid.axis_order = gemmi::AxisOrder::XYZ;
  map.grid.data = box.values;
  map.update_ccp4_header(2, true);
  for (int d = 0; d < 3; ++d) map.set_header_float(50 + d, static_cast<float>(box.origin[d]));
  try {
    map.write_ccp4_map(path);
  } catch (const std::exception& e) {
    throw PrepareError(path + ": cannot be written (" + e.what() + ")");
  }
}

}  // namespace prepare
}  // namespace vel
