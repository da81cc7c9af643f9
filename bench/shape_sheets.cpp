#include "shape_sheets.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <random>

#include <zlib.h>

#include "velmorantique/compare.h"

namespace vel {

namespace {

struct Atom {
  Coordinate p;
  double electrons;
};

// A deterministic uniform and normal source (the standard distributions
// differ between libraries).
struct Rng {
  std::mt19937 engine;
  explicit Rng(uint32_t seed) : engine(seed) {}
  double uniform() { return (engine() + 0.5) / 4294967296.0; }
  double normal() { return std::sqrt(-2 * std::log(uniform())) * std::cos(2 * kPi * uniform()); }
};

// A random rotation: a uniform unit quaternion.
void randomRotation(Rng& rng, double m[3][3]) {
  const double u1 = rng.uniform(), u2 = rng.uniform(), u3 = rng.uniform();
  rotationFromUniforms(u1, u2, u3, m);
}

Coordinate turn(const double m[3][3], Coordinate p) {
  return Coordinate(m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z, m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z,
                    m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z);
}

// In-place 1-D discrete Fourier transform (direct sum; the lines are short).
// The n roots of unity are worked out once per line length.
// Mixed-radix Cooley-Tukey on the smallest prime factor of the length, a
// plain sum once the length is prime: the same transform as the plain sum
// over every term, in a time that real maps' box sizes allow.
void transformInPlace(std::vector<std::complex<double>>& line, double sign) {
  const size_t n = line.size();
  if (n <= 1) return;
  std::vector<std::complex<double>> roots(n);
  for (size_t m = 0; m < n; ++m) {
    const double a = sign * 2 * kPi * static_cast<double>(m) / static_cast<double>(n);
    roots[m] = std::complex<double>(std::cos(a), std::sin(a));
  }
  size_t p = 2;
  while (p * p <= n && n % p != 0) ++p;
  if (n % p != 0) p = n;
  if (p == n) {
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
      std::complex<double> s = 0;
      for (size_t j = 0; j < n; ++j) s += line[j] * roots[(k * j) % n];
      out[k] = s;
    }
    line = out;
    return;
  }
  const size_t m = n / p;
  std::vector<std::vector<std::complex<double>>> parts(p, std::vector<std::complex<double>>(m));
  for (size_t r = 0; r < p; ++r)
    for (size_t j = 0; j < m; ++j) parts[r][j] = line[j * p + r];
  for (auto& part : parts) transformInPlace(part, sign);
  for (size_t k = 0; k < n; ++k) {
    std::complex<double> s = 0;
    for (size_t r = 0; r < p; ++r) s += parts[r][k % m] * roots[(r * k) % n];
    line[k] = s;
  }
}

void dft(std::vector<std::complex<double>>& line, bool inverse) {
  transformInPlace(line, inverse ? 1.0 : -1.0);
  if (inverse)
    for (auto& v : line) v /= static_cast<double>(line.size());
}

}  // namespace

void rotationFromUniforms(double u1, double u2, double u3, double m[3][3]) {
  const double a = std::sqrt(1 - u1) * std::sin(2 * kPi * u2), b = std::sqrt(1 - u1) * std::cos(2 * kPi * u2);
  const double c = std::sqrt(u1) * std::sin(2 * kPi * u3), w = std::sqrt(u1) * std::cos(2 * kPi * u3);
  m[0][0] = 1 - 2 * (b * b + c * c); m[0][1] = 2 * (a * b - c * w);     m[0][2] = 2 * (a * c + b * w);
  m[1][0] = 2 * (a * b + c * w);     m[1][1] = 1 - 2 * (a * a + c * c); m[1][2] = 2 * (b * c - a * w);
  m[2][0] = 2 * (a * c - b * w);     m[2][1] = 2 * (b * c + a * w);     m[2][2] = 1 - 2 * (a * a + b * b);
}

SimulatedSheet simulateSheet(const SheetRecipe& recipe) {
  Rng rng(recipe.seed);
  // Strand k runs along y at x = (k - mid) * 4.8 Å (give or take 0.4 Å), turned about x by
  // -(k - mid) * twist (the natural sense) and bent along its length.
  std::vector<Atom> atoms;
  StrandSet cas(recipe.strands);
  const double mid = (recipe.strands - 1) / 2.0;
  for (int k = 0; k < recipe.strands; ++k) {
    const double jitter = 1 + 0.2 * (rng.uniform() - 0.5);
    const double angle = -(k - mid) * recipe.twistDeg * jitter * kPi / 180;
    const double c = std::cos(angle), s = std::sin(angle);
    const double shift = (rng.uniform() - 0.5) * 3.35;  // register
    const double spacing = (k - mid) * 4.8 + 0.8 * (rng.uniform() - 0.5);
    const bool backwards = !recipe.parallel && k % 2 == 1;
    const int residues = recipe.residues - static_cast<int>(rng.uniform() * (recipe.lengthJitter + 1));
    const double dir = backwards ? -1.0 : 1.0;
    for (int i = 0; i < residues; ++i) {
      const int along = backwards ? residues - 1 - i : i;
      const double y0 = (along - (residues - 1) / 2.0) * 3.35 + shift;
      const double pleat = (i % 2 == 0) ? 0.9 : -0.9;
      auto put = [&](double dx, double dy, double dz, double electrons, bool ca) {
        const double y = y0 + dy;
        const double x = spacing + dx;
        const double z = pleat + dz + 0.5 * recipe.bendPerAngstrom * y * y + 0.5 * recipe.curlPerAngstrom * x * x;
        const Coordinate p(x, c * y - s * z, s * y + c * z);
        atoms.push_back({p, electrons});
        if (ca) cas[k].push_back(p);
      };
      put(0.3, -1.2 * dir, 0.0, 7, false);
      put(0.0, 0.0, 0.0, 6, true);
      put(-0.3, 1.2 * dir, 0.0, 6, false);
      put((i % 2 == 0 ? 1.2 : -1.2), 1.6 * dir, 0.0, 8, false);
      put(0.0, 0.0, pleat > 0 ? 1.5 : -1.5, 6, false);
    }
  }

  double m[3][3];
  randomRotation(rng, m);
  for (Atom& a : atoms) a.p = turn(m, a.p);
  for (PointList& strand : cas)
    for (Coordinate& p : strand) p = turn(m, p);

  SimulatedSheet out;
  out.recipe = recipe;
  out.strandAxis = meanStrandAxis(cas);
  const double sigma = 0.225 * recipe.resolution, reach = 4 * sigma, margin = std::max(6.0, reach);
  double lo[3] = {1e9, 1e9, 1e9}, hi[3] = {-1e9, -1e9, -1e9};
  for (const Atom& a : atoms) {
    const double p[3] = {a.p.x, a.p.y, a.p.z};
    for (int d = 0; d < 3; ++d) {
      lo[d] = std::min(lo[d], p[d] - margin);
      hi[d] = std::max(hi[d], p[d] + margin);
    }
  }
  DensityGrid& g = out.grid;
  int n[3];
  for (int d = 0; d < 3; ++d) {
    g.voxel[d] = recipe.voxel;
    g.origin[d] = lo[d] - recipe.voxel * rng.uniform();
    n[d] = static_cast<int>(std::ceil((hi[d] - g.origin[d]) / recipe.voxel)) + 1;
  }
  g.nx = n[0];
  g.ny = n[1];
  g.nz = n[2];
  std::vector<double> rho(static_cast<size_t>(n[0]) * n[1] * n[2], 0.0);
  const double norm = 1.0 / std::pow(2 * kPi * sigma * sigma, 1.5);
  for (const Atom& a : atoms) {
    const double p[3] = {a.p.x, a.p.y, a.p.z};
    int first[3], last[3];
    for (int d = 0; d < 3; ++d) {
      first[d] = std::max(0, static_cast<int>(std::ceil((p[d] - reach - g.origin[d]) / recipe.voxel)));
      last[d] = std::min(n[d] - 1, static_cast<int>(std::floor((p[d] + reach - g.origin[d]) / recipe.voxel)));
    }
    for (int k = first[2]; k <= last[2]; ++k)
      for (int j = first[1]; j <= last[1]; ++j)
        for (int i = first[0]; i <= last[0]; ++i) {
          const double dx = g.origin[0] + i * recipe.voxel - p[0], dy = g.origin[1] + j * recipe.voxel - p[1],
                       dz = g.origin[2] + k * recipe.voxel - p[2];
          const double d2 = dx * dx + dy * dy + dz * dz;
          if (d2 <= reach * reach)
            rho[(static_cast<size_t>(k) * n[1] + j) * n[0] + i] += a.electrons * norm * std::exp(-d2 / (2 * sigma * sigma));
        }
  }
  g.values.assign(rho.begin(), rho.end());
  // Contoured by mass: about 140 Å^3 per residue.
  out.threshold = thresholdForVolume(g, 140.0 * static_cast<double>(atoms.size() / 5));
  return out;
}

double thresholdForVolume(const DensityGrid& grid, double volume) {
  std::vector<float> sorted = grid.values;
  const double cell = grid.voxel[0] * grid.voxel[1] * grid.voxel[2];
  size_t keep = static_cast<size_t>(std::llround(volume / cell));
  keep = std::max<size_t>(1, std::min(keep, sorted.size()));
  std::nth_element(sorted.begin(), sorted.begin() + (keep - 1), sorted.end(), std::greater<float>());
  return static_cast<double>(sorted[keep - 1]);
}

DensityGrid lowPassed(const DensityGrid& grid, double resolution) {
  const int n[3] = {grid.nx, grid.ny, grid.nz};
  std::vector<std::complex<double>> f(grid.values.begin(), grid.values.end());
  auto index = [&](int i, int j, int k) { return (static_cast<size_t>(k) * n[1] + j) * n[0] + i; };
  auto transform = [&](bool inverse) {
    for (int axis = 0; axis < 3; ++axis) {
      const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
      std::vector<std::complex<double>> line(n[axis]);
      for (int s = 0; s < n[a2]; ++s)
        for (int r = 0; r < n[a1]; ++r) {
          int idx[3];
          idx[a1] = r;
          idx[a2] = s;
          for (idx[axis] = 0; idx[axis] < n[axis]; ++idx[axis]) line[idx[axis]] = f[index(idx[0], idx[1], idx[2])];
          dft(line, inverse);
          for (idx[axis] = 0; idx[axis] < n[axis]; ++idx[axis]) f[index(idx[0], idx[1], idx[2])] = line[idx[axis]];
        }
    }
  };
  transform(false);
  const double cutoff = 1.0 / resolution;
  for (int k = 0; k < n[2]; ++k)
    for (int j = 0; j < n[1]; ++j)
      for (int i = 0; i < n[0]; ++i) {
        const int ii[3] = {i, j, k};
        double s2 = 0;
        for (int a = 0; a < 3; ++a) {
          const int h = ii[a] <= n[a] / 2 ? ii[a] : ii[a] - n[a];
          const double freq = h / (n[a] * grid.voxel[a]);
          s2 += freq * freq;
        }
        if (s2 > cutoff * cutoff) f[index(i, j, k)] = 0;
      }
  transform(true);
  DensityGrid out = grid;
  for (size_t i = 0; i < f.size(); ++i) out.values[i] = static_cast<float>(f[i].real());
  return out;
}

uint32_t noiseSeed(const std::string& name) {
  const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(name.data()), static_cast<uInt>(name.size()));
  return static_cast<uint32_t>(crc);
}

DensityGrid withNoise(const DensityGrid& grid, double sigma, uint32_t seed) {
  Rng rng(seed);
  DensityGrid out = grid;
  for (float& v : out.values) v = static_cast<float>(v + sigma * rng.normal());
  return out;
}

Vectors meanStrandAxis(const StrandSet& caTraces) {
  std::vector<Vectors> axes;
  for (const PointList& cas : caTraces)
    if (cas.size() >= 2) axes.push_back(strandAxis(cas).direction);
  return meanLineDirection(axes);
}

Vectors centralStrandAxis(const StrandSet& caTraces) {
  const size_t n = caTraces.size();
  if (n == 0) return Vectors();
  const size_t first = n % 2 ? n / 2 : n / 2 - 1;
  return meanStrandAxis(StrandSet(caTraces.begin() + first, caTraces.begin() + n / 2 + 1));
}

DensityGrid withBandLimitedNoise(const DensityGrid& grid, double contour, double resolution, uint32_t seed) {
  DensityGrid noise = grid;
  std::fill(noise.values.begin(), noise.values.end(), 0.0f);
  noise = lowPassed(withNoise(noise, 1.0, seed), resolution);
  double sumSq = 0;
  for (float v : noise.values) sumSq += static_cast<double>(v) * v;
  const double scale = 0.3 * contour / std::sqrt(sumSq / noise.values.size());
  DensityGrid out = grid;
  for (size_t i = 0; i < noise.values.size(); ++i)
    out.values[i] = static_cast<float>(out.values[i] + scale * noise.values[i]);
  return out;
}

}  // namespace vel
