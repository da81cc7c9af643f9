// Cutting a sheet's box out of an experimental map: the map's own grid, or a
// finer or coarser one by trilinear interpolation, with the density away
// from the sheet's atoms set to zero so that the threshold sees this sheet only.
#include <gemmi/ccp4.hpp>
#include <gemmi/gz.hpp>

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "velmorantique/prepare.h"

namespace vel {
namespace prepare {

namespace {

constexpr double kMaxMapBytes = 4.0e9;

struct ExperimentalMap {
  gemmi::Ccp4<float> ccp4;
  std::array<double, 3> voxel{};
  Point origin{};  // position of grid point (0, 0, 0)
  std::array<int, 3> n{};
};

// Refuses, before any memory is set aside for it, a header that promises more
// voxels than the file can hold (or, compressed, than a sheet's map needs).
void refuseOversizedMap(const std::string& path, double fileBytes) {
  gzFile gz = gzopen(path.c_str(), "rb");
  if (gz == nullptr) throw PrepareError(path + ": cannot be opened");
  int32_t header[4] = {0, 0, 0, 0};
  const int got = gzread(gz, header, sizeof header);
  const bool compressed = gzdirect(gz) == 0;
  gzclose(gz);
  if (got != static_cast<int>(sizeof header)) throw PrepareError(path + ": too short for an MRC/CCP4 map");
  if (header[3] < 0 || header[3] > 12)  // a mode this large is a big-endian file
    for (int32_t& word : header) word = static_cast<int32_t>(__builtin_bswap32(static_cast<uint32_t>(word)));
  const double points = static_cast<double>(header[0]) * header[1] * header[2];
  const double bytes = points * (header[3] == 0 ? 1 : header[3] == 1 || header[3] == 6 ? 2 : 4);
  const double limit = compressed ? kMaxMapBytes : fileBytes;
  if (header[0] <= 0 || header[1] <= 0 || header[2] <= 0 || bytes > limit)
    throw PrepareError(path + ": the map header promises more voxels than the file holds");
}

ExperimentalMap readMap(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) throw PrepareError(path + ": no such map file");
  ExperimentalMap m;
  refuseOversizedMap(path, static_cast<double>(info.st_size));
  try {
    gemmi::MaybeGzipped input(path);
    m.ccp4.read_ccp4(input);
  } catch (const PrepareError&) {
    throw;
  } catch (const std::exception& e) {
    throw PrepareError(path + ": not a readable MRC/CCP4 map (" + e.what() + ")");
  }
  const gemmi::UnitCell& cell = m.ccp4.grid.unit_cell;
  if (cell.alpha != 90 || cell.beta != 90 || cell.gamma != 90) {
    std::ostringstream msg;
    msg << path << ": the map's cell is not orthogonal (angles " << cell.alpha << ", " << cell.beta << ", "
        << cell.gamma << "); only orthogonal maps can be cut";
    throw PrepareError(msg.str());
  }
  try {
    m.ccp4.setup(NAN, gemmi::MapSetup::ReorderOnly);
  } catch (const std::exception& e) {
    throw PrepareError(path + ": " + e.what());
  }
  const std::array<int, 3> sampling = m.ccp4.header_3i32(8);
  const std::array<int, 3> start = m.ccp4.header_3i32(5);
  const double lengths[3] = {cell.a, cell.b, cell.c};
  m.n = {m.ccp4.grid.nu, m.ccp4.grid.nv, m.ccp4.grid.nw};
  const Point origin = {m.ccp4.header_float(50), m.ccp4.header_float(51), m.ccp4.header_float(52)};
  // Many writers leave ORIGIN at zero and place the grid by its start instead.
  const bool byStart = origin[0] == 0 && origin[1] == 0 && origin[2] == 0;
  for (int d = 0; d < 3; ++d) {
    if (!(sampling[d] > 0 && lengths[d] > 0 && std::isfinite(lengths[d])))
      throw PrepareError(path + ": the map header has no usable cell or sampling");
    m.voxel[d] = lengths[d] / sampling[d];
    m.origin[d] = byStart ? start[d] * m.voxel[d] : origin[d];
  }
  // Interpolation below works in fractions of the map's own box.
  m.ccp4.grid.set_unit_cell(m.n[0] * m.voxel[0], m.n[1] * m.voxel[1], m.n[2] * m.voxel[2], 90, 90, 90);
  return m;
}

// Voxels this near an atom of the model count as the molecule's when the
// noise is estimated: at medium resolution an atom's density reaches a few Å.
constexpr double kMoleculeReach = 6.0;
// Fewer voxels than this outside the molecule give no estimate of the noise.
constexpr size_t kMinNoiseVoxels = 1000;
// At most this many of them are used, evenly spread.
constexpr size_t kMaxNoiseSamples = size_t(4) << 20;

// The spread of the map away from the molecule, by the median absolute
// deviation (scaled to a normal σ), which unmodelled density does not sway.
MapNoise estimateNoise(const ExperimentalMap& m, const std::vector<Atom>& model) {
  MapNoise noise;
  const size_t total = static_cast<size_t>(m.n[0]) * m.n[1] * m.n[2];
  std::vector<char> molecule(total, 0);
  for (const Atom& a : model) {
    int lo[3], hi[3];
    for (int d = 0; d < 3; ++d) {
      const double at = (a.pos[d] - m.origin[d]) / m.voxel[d], reach = kMoleculeReach / m.voxel[d];
      lo[d] = std::max(0, static_cast<int>(std::floor(at - reach)));
      hi[d] = std::min(m.n[d] - 1, static_cast<int>(std::ceil(at + reach)));
    }
    for (int k = lo[2]; k <= hi[2]; ++k)
      for (int j = lo[1]; j <= hi[1]; ++j)
        for (int i = lo[0]; i <= hi[0]; ++i) {
          const double dx = (i * m.voxel[0] + m.origin[0]) - a.pos[0], dy = (j * m.voxel[1] + m.origin[1]) - a.pos[1],
                       dz = (k * m.voxel[2] + m.origin[2]) - a.pos[2];
          if (dx * dx + dy * dy + dz * dz <= kMoleculeReach * kMoleculeReach)
            molecule[(static_cast<size_t>(k) * m.n[1] + j) * m.n[0] + i] = 1;
        }
  }
  size_t outside = 0;
  for (char c : molecule) outside += c == 0;
  if (outside < kMinNoiseVoxels) return noise;
  const size_t stride = outside / kMaxNoiseSamples + 1;
  std::vector<float> values;
  values.reserve(outside / stride + 1);
  size_t seen = 0;
  // A voxel of exactly zero is a mask's or the box's padding, not a reading
  // of the solvent: a noisy map masked round the molecule would otherwise
  // seem to have no noise at all.
  for (size_t at = 0; at < total; ++at) {
    const float v = m.ccp4.grid.data[at];
    if (!molecule[at] && seen++ % stride == 0 && std::isfinite(v) && v != 0) values.push_back(v);
  }
  if (values.size() < kMinNoiseVoxels) {
    // No solvent left to read: a map without noise, or one masked tightly.
    if (seen >= kMinNoiseVoxels) {
      noise.sigma = 0;
      noise.outsideVoxels = outside;
    }
    return noise;
  }
  auto median = [](std::vector<float>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    return static_cast<double>(v[v.size() / 2]);
  };
  noise.median = median(values);
  for (float& v : values) v = static_cast<float>(std::fabs(v - noise.median));
  noise.sigma = 1.4826 * median(values);
  noise.outsideVoxels = outside;
  return noise;
}

}  // namespace

CutMap cutExperimentalMap(const std::string& mapPath, const std::vector<Atom>& atoms, const MapCut& cut) {
  ExperimentalMap m = readMap(mapPath);
  // The sheet's atoms must lie inside the map with their zone, as far as a
  // zone of the default width reaches; a wider zone is cut at the map's edge.
  const double cover = std::min(cut.zone, MapCut().zone);
  std::vector<Point> shifted;
  for (const Atom& a : atoms) {
    Point p;
    for (int d = 0; d < 3; ++d) {
      const double index = (a.pos[d] - m.origin[d]) / m.voxel[d];
      const double reach = cover / m.voxel[d];
      if (index - reach < 0 || index + reach > m.n[d] - 1) {
        std::ostringstream msg;
        msg << mapPath << ": the map does not cover the sheet (atom " << a.name << " at " << a.pos[0] << ", "
            << a.pos[1] << ", " << a.pos[2] << " lies within " << cover << " Å of the map's edge or outside it)";
        throw PrepareError(msg.str());
      }
      p[d] = a.pos[d] - m.origin[d];
    }
    shifted.push_back(p);
  }
  // On the map's own voxels the box keeps to the map's grid; resampled, it
  // keeps to multiples of the voxel size like a simulated box.
  CutMap result;
  DensityBox& box = result.box;
  if (cut.voxel > 0) {
    std::vector<Point> positions;
    for (const Atom& a : atoms) positions.push_back(a.pos);
    box = boxAroundAtoms(positions, {cut.voxel, cut.voxel, cut.voxel}, cut.margin);
  } else {
    box = boxAroundAtoms(shifted, m.voxel, cut.margin);
    for (int d = 0; d < 3; ++d) box.origin[d] += m.origin[d];
  }

  std::vector<char> near(box.size(), 0);
  result.inZone.assign(box.size(), 0);
  for (const Atom& a : atoms)
    visitVoxelsAround(box, a.pos, cut.zone, [&](size_t at, double squared) {
      if (squared <= cut.zone * cut.zone) near[at] = 1;
    });
  for (int k = 0; k < box.n[2]; ++k)
    for (int j = 0; j < box.n[1]; ++j)
      for (int i = 0; i < box.n[0]; ++i) {
        const size_t at = box.index(i, j, k);
        if (!near[at]) continue;
        const double idx[3] = {(box.origin[0] + i * box.voxel[0] - m.origin[0]) / m.voxel[0],
                               (box.origin[1] + j * box.voxel[1] - m.origin[1]) / m.voxel[1],
                               (box.origin[2] + k * box.voxel[2] - m.origin[2]) / m.voxel[2]};
        // Beyond the map's edge there is no density (the grid would wrap round).
        bool inside = true;
        for (int d = 0; d < 3; ++d) {
          const double at = cut.voxel > 0 ? idx[d] : static_cast<double>(std::lround(idx[d]));
          inside = inside && at >= 0 && at <= m.n[d] - 1;
        }
        if (!inside) continue;
        result.inZone[at] = 1;
        float v;
        if (cut.voxel > 0)
          v = m.ccp4.grid.interpolate_value(gemmi::Fractional(idx[0] / m.n[0], idx[1] / m.n[1], idx[2] / m.n[2]));
        else
          v = m.ccp4.grid.get_value(static_cast<int>(std::lround(idx[0])), static_cast<int>(std::lround(idx[1])),
                                    static_cast<int>(std::lround(idx[2])));
        box.values[at] = std::isfinite(v) ? v : 0.0f;
      }
  result.noise = estimateNoise(m, cut.model.empty() ? atoms : cut.model);
  result.mapMax = *std::max_element(m.ccp4.grid.data.begin(), m.ccp4.grid.data.end());
  return result;
}

}  // namespace prepare
}  // namespace vel
