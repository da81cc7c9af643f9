#include "synthetic_sheet.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "velmorantique/prepare.h"

namespace vel {

namespace {

constexpr double kSigma = 0.225 * 8.0;  // Gaussian width of an 8 Å map
constexpr double kMargin = 6.0;

struct Atom {
  std::string name;  // four columns, as in the ATOM record
  int residue;
  double x, y, z;
};

// Residue numbers leave a gap between strands, as the library's sheet numbers them.
int numberStride(const SheetShape& shape) { return shape.residues + 4; }

// The library's ideal sheet: strand k runs along y, turned about the x axis
// by (k - middle) * twist; odd strands run backwards (antiparallel).
std::vector<Atom> buildSheet(const SheetShape& shape) {
  vel::prepare::SyntheticSheetShape ideal;
  ideal.strands = shape.strands;
  ideal.length = shape.residues;
  ideal.twist = shape.twistDegrees;
  const vel::prepare::Structure sheet = vel::prepare::buildSyntheticSheet(ideal);
  std::vector<Atom> atoms;
  for (const vel::prepare::Residue& r : sheet.chains.front().residues)
    for (const vel::prepare::Atom& a : r.atoms)
      atoms.push_back({(" " + a.name + "   ").substr(0, 4), r.number, a.pos[0], a.pos[1], a.pos[2]});
  return atoms;
}

void writePdb(const std::string& path, const std::vector<Atom>& atoms, const SheetShape& shape) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::perror(path.c_str());
    std::exit(1);
  }
  std::fprintf(f, "HEADER    BETA-SHEET TIMING CASE%-48s\n", "");
  for (int k = 0; k < shape.strands; ++k) {
    const int first = k * numberStride(shape) + 1, last = first + shape.residues - 1;
    std::fprintf(f, "SHEET  %3d %3s%2d %3s %c%4d  %3s %c%4d %2d%-40s\n", k + 1, "A", shape.strands, "VAL", 'A', first,
                 "VAL", 'A', last, k == 0 ? 0 : -1, "");
  }
  int serial = 1;
  for (const Atom& a : atoms) {
    std::fprintf(f, "ATOM  %5d %-4s %3s %c%4d    %8.3f%8.3f%8.3f%6.2f%6.2f          %2c  \n", serial++,
                 a.name.c_str(), "VAL", 'A', a.residue, a.x, a.y, a.z, 1.0, 20.0, a.name[1]);
  }
  std::fprintf(f, "TER     %3d      VAL A  %2d%-54s\n", serial, atoms.back().residue, "");
  std::fprintf(f, "END%-77s\n", "");
  std::fclose(f);
}

void put32(std::vector<unsigned char>& b, size_t at, const void* v) { std::memcpy(&b[at], v, 4); }

void writeMrc(const std::string& path, int nx, int ny, int nz, float origin[3], float voxel,
              const std::vector<float>& data) {
  std::vector<unsigned char> bytes(1024 + 4 * data.size(), 0);
  const int32_t ints[] = {nx, ny, nz, 2};
  for (int i = 0; i < 4; ++i) put32(bytes, 4 * i, &ints[i]);
  const int32_t cells[] = {nx, ny, nz};
  for (int i = 0; i < 3; ++i) put32(bytes, 28 + 4 * i, &cells[i]);
  const float lengths[] = {voxel * nx, voxel * ny, voxel * nz, 90.0f, 90.0f, 90.0f};
  for (int i = 0; i < 6; ++i) put32(bytes, 40 + 4 * i, &lengths[i]);
  const int32_t axes[] = {1, 2, 3};
  for (int i = 0; i < 3; ++i) put32(bytes, 64 + 4 * i, &axes[i]);
  for (int i = 0; i < 3; ++i) put32(bytes, 196 + 4 * i, &origin[i]);
  std::memcpy(&bytes[208], "MAP ", 4);
  bytes[212] = 0x44;
  bytes[213] = 0x44;
  for (size_t i = 0; i < data.size(); ++i) put32(bytes, 1024 + 4 * i, &data[i]);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

SyntheticSheet writeSyntheticSheet(const std::string& dir, const std::string& name, double scale,
                                   const SheetShape& shape) {
  const std::vector<Atom> atoms = buildSheet(shape);
  writePdb(dir + "/" + name + ".pdb", atoms, shape);

  const float voxel = static_cast<float>(1.0 / std::cbrt(scale));
  double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
  for (const Atom& a : atoms) {
    const double p[3] = {a.x, a.y, a.z};
    for (int d = 0; d < 3; ++d) {
      lo[d] = std::min(lo[d], p[d] - kMargin);
      hi[d] = std::max(hi[d], p[d] + kMargin);
    }
  }
  int n[3];
  float origin[3];
  for (int d = 0; d < 3; ++d) {
    origin[d] = static_cast<float>(std::floor(lo[d]));
    n[d] = static_cast<int>(std::ceil((hi[d] - origin[d]) / voxel)) + 1;
  }

  // Voxel (i, j, k) sits at origin + voxel * index, x fastest in the file.
  std::vector<float> data(static_cast<size_t>(n[0]) * n[1] * n[2]);
  const double twoSigmaSq = 2 * kSigma * kSigma;
  for (int k = 0; k < n[2]; ++k)
    for (int j = 0; j < n[1]; ++j)
      for (int i = 0; i < n[0]; ++i) {
        const double x = origin[0] + static_cast<double>(voxel) * i;
        const double y = origin[1] + static_cast<double>(voxel) * j;
        const double z = origin[2] + static_cast<double>(voxel) * k;
        double rho = 0;
        for (const Atom& a : atoms) {
          const double dx = x - a.x, dy = y - a.y, dz = z - a.z;
          rho += std::exp(-(dx * dx + dy * dy + dz * dz) / twoSigmaSq);
        }
        data[(static_cast<size_t>(k) * n[1] + j) * n[0] + i] = static_cast<float>(rho);
      }
  writeMrc(dir + "/" + name + ".mrc", n[0], n[1], n[2], origin, voxel, data);

  // The threshold is the value of the last voxel kept.
  std::vector<float> sorted = data;
  const size_t keep = std::min(sorted.size(), static_cast<size_t>(std::llround(shape.voxelsAtScaleOne * scale)));
  std::nth_element(sorted.begin(), sorted.begin() + (keep - 1), sorted.end(), std::greater<float>());
  SyntheticSheet sheet;
  sheet.base = dir + "/" + name;
  sheet.threshold = static_cast<double>(sorted[keep - 1]);
  sheet.voxels = 0;
  for (float v : data)
    if (static_cast<double>(v) >= sheet.threshold) ++sheet.voxels;
  return sheet;
}

void writeNoiseSlab(const std::string& dir, const std::string& name, int nx, int ny, int nz) {
  writePdb(dir + "/" + name + ".pdb", buildSheet(SheetShape()), SheetShape());
  std::vector<float> data(static_cast<size_t>(nx) * ny * nz);
  uint64_t state = 12345;
  for (float& v : data) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    v = static_cast<float>((state >> 40) + 1) / static_cast<float>(1 << 24);
  }
  float origin[3] = {0, 0, 0};
  writeMrc(dir + "/" + name + ".mrc", nx, ny, nz, origin, 1.0f, data);
}

}  // namespace vel
