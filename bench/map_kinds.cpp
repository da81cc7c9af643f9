#include "map_kinds.h"

#include <gemmi/eig3.hpp>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <stdexcept>

#include "find/fourier.h"
#include "find_maps.h"

using vel::prepare::Atom;
using vel::prepare::DensityBox;
using vel::prepare::Point;

namespace {

constexpr double kPi = 3.14159265358979323846;

Point minus(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

Point centreOf(const std::vector<Point>& points) {
  Point c{};
  for (const Point& p : points)
    for (int d = 0; d < 3; ++d) c[d] += p[d] / static_cast<double>(points.size());
  return c;
}

std::vector<Point> alphaCarbons(const std::vector<Atom>& atoms) {
  std::vector<Point> out;
  for (const Atom& a : atoms)
    if (a.name == "CA") out.push_back(a.pos);
  return out;
}

// The principal axes of the points about their centre, by ascending spread.
void principalAxes(const std::vector<Point>& points, const Point& centre, Point axes[3]) {
  gemmi::SMat33<double> scatter{0, 0, 0, 0, 0, 0};
  for (const Point& p : points) {
    const Point d = minus(p, centre);
    scatter.u11 += d[0] * d[0];
    scatter.u22 += d[1] * d[1];
    scatter.u33 += d[2] * d[2];
    scatter.u12 += d[0] * d[1];
    scatter.u13 += d[0] * d[2];
    scatter.u23 += d[1] * d[2];
  }
  double spread[3];
  const gemmi::Mat33 v = gemmi::eigen_decomposition(scatter, spread);  // ascending
  for (int i = 0; i < 3; ++i) axes[i] = {v[0][i], v[1][i], v[2][i]};
}

// Turn by `degrees` about the unit axis u through `centre`, then move by `shift`.
RigidMotion turnAbout(const Point& u, double degrees, const Point& centre, const Point& shift) {
  const double t = degrees * kPi / 180, c = std::cos(t), s = std::sin(t), k = 1 - c;
  RigidMotion m;
  m.rotation = {c + u[0] * u[0] * k,        u[0] * u[1] * k - u[2] * s, u[0] * u[2] * k + u[1] * s,
                u[1] * u[0] * k + u[2] * s, c + u[1] * u[1] * k,        u[1] * u[2] * k - u[0] * s,
                u[2] * u[0] * k - u[1] * s, u[2] * u[1] * k + u[0] * s, c + u[2] * u[2] * k};
  RigidMotion about = m;
  const Point turned = about.apply(centre);
  for (int d = 0; d < 3; ++d) m.shift[d] = centre[d] - turned[d] + shift[d];
  return m;
}

RigidMotion then(const RigidMotion& first, const RigidMotion& second) {
  RigidMotion out;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += second.rotation[r * 3 + k] * first.rotation[k * 3 + c];
      out.rotation[r * 3 + c] = sum;
    }
  out.shift = second.apply(first.shift);
  return out;
}

double closest(const std::vector<Point>& a, const std::vector<Point>& b) {
  double best = std::numeric_limits<double>::infinity();
  for (const Point& p : a)
    for (const Point& q : b) {
      const Point d = minus(p, q);
      best = std::min(best, dot(d, d));
    }
  return std::sqrt(best);
}

double smoothStep(double x) {
  x = std::clamp(x, 0.0, 1.0);
  return x * x * (3 - 2 * x);
}

double levelFor(const DensityBox& box, double volume) { return vel::thresholdForVolume(toGrid(box), volume); }

}  // namespace

Point RigidMotion::apply(const Point& p) const {
  Point out{};
  for (int r = 0; r < 3; ++r)
    out[r] = rotation[r * 3] * p[0] + rotation[r * 3 + 1] * p[1] + rotation[r * 3 + 2] * p[2] + shift[r];
  return out;
}

RigidMotion RigidMotion::inverse() const {
  RigidMotion out;
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) out.rotation[r * 3 + c] = rotation[c * 3 + r];
  const Point back = out.apply(shift);
  out.shift = {-back[0], -back[1], -back[2]};
  return out;
}

DensityBox filtered(const DensityBox& box, const std::function<double(double)>& gain) {
  const size_t nx = box.n[0], ny = box.n[1], nz = box.n[2], hx = nx / 2 + 1;
  const pocketfft::shape_t shape{nz, ny, nx};
  const pocketfft::stride_t realStride{static_cast<ptrdiff_t>(ny * nx * sizeof(double)),
                                       static_cast<ptrdiff_t>(nx * sizeof(double)), sizeof(double)};
  const pocketfft::stride_t complexStride{static_cast<ptrdiff_t>(ny * hx * sizeof(std::complex<double>)),
                                          static_cast<ptrdiff_t>(hx * sizeof(std::complex<double>)),
                                          sizeof(std::complex<double>)};
  const pocketfft::shape_t axes{0, 1, 2};
  std::vector<double> real(box.values.begin(), box.values.end());
  std::vector<std::complex<double>> f(nz * ny * hx);
  pocketfft::r2c(shape, realStride, complexStride, axes, pocketfft::FORWARD, real.data(), f.data(), 1.0);
  const auto frequency = [](size_t i, size_t n, double voxel) {
    const double h = i <= n / 2 ? static_cast<double>(i) : static_cast<double>(i) - static_cast<double>(n);
    return h / (static_cast<double>(n) * voxel);
  };
  for (size_t k = 0; k < nz; ++k) {
    const double sz = frequency(k, nz, box.voxel[2]);
    for (size_t j = 0; j < ny; ++j) {
      const double sy = frequency(j, ny, box.voxel[1]);
      for (size_t i = 0; i < hx; ++i) {
        const double sx = static_cast<double>(i) / (static_cast<double>(nx) * box.voxel[0]);
        f[(k * ny + j) * hx + i] *= gain(std::sqrt(sx * sx + sy * sy + sz * sz));
      }
    }
  }
  pocketfft::c2r(shape, complexStride, realStride, axes, pocketfft::BACKWARD, f.data(), real.data(),
                 1.0 / static_cast<double>(real.size()));
  DensityBox out = box;
  for (size_t i = 0; i < real.size(); ++i) out.values[i] = static_cast<float>(real[i]);
  return out;
}

double lowPassGain(double s, double resolution, double edge) {
  const double cutoff = 1 / resolution;
  if (s <= cutoff) return 1;
  if (edge <= 0 || s >= cutoff * (1 + edge)) return 0;
  return 0.5 * (1 + std::cos(kPi * (s - cutoff) / (cutoff * edge)));
}

DensityBox sharpened(const DensityBox& box, double resolution, const Sharpening& p) {
  return filtered(box, [&](double s) { return std::exp(-p.b * s * s / 4) * lowPassGain(s, resolution, p.edge); });
}

DensityBox colouredNoise(const DensityBox& box, double resolution, double sd, const ColouredNoise& p, uint32_t seed) {
  vel::DensityGrid zero = toGrid(box);
  std::fill(zero.values.begin(), zero.values.end(), 0.0f);
  DensityBox noise = filtered(withValues(box, vel::withNoise(zero, 1.0, seed)), [&](double s) {
    return std::exp(p.rise * s * s * resolution * resolution) * lowPassGain(s, resolution, p.edge);
  });
  double sum = 0, sumSq = 0;
  for (float v : noise.values) {
    sum += v;
    sumSq += static_cast<double>(v) * v;
  }
  const double n = static_cast<double>(noise.values.size()), mean = sum / n;
  const double scale = sd / std::sqrt(std::max(sumSq / n - mean * mean, 1e-30));
  for (float& v : noise.values) v = static_cast<float>((v - mean) * scale);
  return noise;
}

DensityBox masked(const DensityBox& box, const std::vector<Atom>& atoms, double level, const SoftMask& p) {
  std::vector<float> nearest(box.values.size(), std::numeric_limits<float>::infinity());
  const double reach = p.reach + p.edge;
  for (const Atom& a : atoms)
    vel::prepare::visitVoxelsAround(box, a.pos, reach, [&](size_t at, double squared) {
      nearest[at] = std::min(nearest[at], static_cast<float>(squared));
    });
  DensityBox out = box;
  const float solvent = static_cast<float>(p.solvent * level);
  for (size_t i = 0; i < out.values.size(); ++i) {
    const double d = std::sqrt(static_cast<double>(nearest[i]));
    double m = 0;
    if (d <= p.reach) m = 1;
    else if (d < reach) m = 0.5 * (1 + std::cos(kPi * (d - p.reach) / p.edge));
    out.values[i] = static_cast<float>(m * out.values[i] + (1 - m) * solvent);
  }
  return out;
}

std::vector<RigidMotion> packedCopies(const std::vector<Atom>& chain, const Crowding& p) {
  const std::vector<Point> cas = alphaCarbons(chain);
  if (cas.empty() || p.copies <= 0) return {};
  const Point centre = centreOf(cas);
  Point axes[3];
  principalAxes(cas, centre, axes);
  const double climb = p.climb * kPi / 180;
  Point travel{};
  for (int d = 0; d < 3; ++d) travel[d] = std::cos(climb) * axes[0][d] + std::sin(climb) * axes[2][d];
  // Move out in 0.25 Å steps from the chain's own place until the copy
  // touches without a clash.
  RigidMotion step;
  for (double t = 0;; t += 0.25) {
    step = turnAbout(axes[2], p.turn, centre, {t * travel[0], t * travel[1], t * travel[2]});
    std::vector<Point> moved;
    for (const Point& c : cas) moved.push_back(step.apply(c));
    if (closest(cas, moved) >= p.contact) break;
  }
  std::vector<RigidMotion> out;
  RigidMotion forward = step, backward = step.inverse();
  for (int i = 0; i < p.copies; ++i) {
    out.push_back(i % 2 == 0 ? forward : backward);
    if (i % 2 == 1) {
      forward = then(forward, step);
      backward = then(backward, step.inverse());
    }
  }
  return out;
}

DensityBox withLocalResolution(const DensityBox& box, const std::vector<Atom>& atoms, double resolution,
                               const LocalResolution& p) {
  const double rim = resolution + p.rim;
  const double extraB = 4 * (rim * rim - resolution * resolution);
  const DensityBox sharp = filtered(box, [&](double s) { return lowPassGain(s, resolution, p.edge); });
  const DensityBox blurred =
      filtered(box, [&](double s) { return std::exp(-extraB * s * s / 4) * lowPassGain(s, rim, p.edge); });
  std::vector<Point> positions;
  for (const Atom& a : atoms) positions.push_back(a.pos);
  const Point centre = centreOf(positions);
  double radius = 0;
  for (const Point& q : positions) radius = std::max(radius, std::sqrt(dot(minus(q, centre), minus(q, centre))));
  DensityBox out = box;
  for (int k = 0; k < box.n[2]; ++k)
    for (int j = 0; j < box.n[1]; ++j)
      for (int i = 0; i < box.n[0]; ++i) {
        const Point at{box.origin[0] + i * box.voxel[0], box.origin[1] + j * box.voxel[1],
                       box.origin[2] + k * box.voxel[2]};
        const double r = std::sqrt(dot(minus(at, centre), minus(at, centre)));
        const double w = smoothStep((r / std::max(radius, 1e-9) - p.core) / std::max(1 - p.core, 1e-9));
        const size_t at1 = box.index(i, j, k);
        out.values[at1] = static_cast<float>((1 - w) * sharp.values[at1] + w * blurred.values[at1]);
      }
  return out;
}

const std::vector<std::string>& mapKindNames() {
  static const std::vector<std::string> names{"clean",   "sharpened", "noisy",     "masked",   "masked-flat",
                                              "crowded", "coarse",    "local-res", "deposited"};
  return names;
}

MapKind mapKind(const std::string& name) {
  MapKind k;
  k.name = name;
  if (name == "clean") k.lowPass = false;
  else if (name == "sharpened") k.sharpen = true;
  else if (name == "noisy") k.noise = true;
  else if (name == "masked") k.noise = k.mask = true;
  else if (name == "masked-flat") {
    k.noise = k.mask = true;
    k.softMask.solvent = -0.2;
  }
  else if (name == "crowded") k.crowd = true;
  else if (name == "coarse") k.voxel = 3.5;
  else if (name == "local-res") k.localResolution = true;
  else if (name == "deposited") k.crowd = k.sharpen = k.noise = k.mask = k.localResolution = true;
  else throw std::invalid_argument("unknown map kind " + name);
  return k;
}

SimulatedMap simulatedMap(const std::vector<Atom>& chain, const std::vector<Atom>& others, double volume,
                          const MapKind& kind, double resolution, uint32_t seed) {
  SimulatedMap out;
  out.box = vel::prepare::simulateDensity(chain, resolution, kind.voxel, 8.0);
  std::vector<Atom> present = chain;
  if (kind.crowd) {
    if (kind.crowding.otherChains) present.insert(present.end(), others.begin(), others.end());
    out.copies = packedCopies(chain, kind.crowding);
    for (const RigidMotion& m : out.copies)
      for (Atom a : chain) {
        a.pos = m.apply(a.pos);
        present.push_back(a);
      }
    out.box = vel::prepare::simulateDensityOn(present, resolution, out.box);
  }
  if (kind.localResolution) out.box = withLocalResolution(out.box, chain, resolution, kind.local);
  if (kind.lowPass) {
    Sharpening s = kind.sharpening;
    if (!kind.sharpen) s.b = 0;
    out.box = sharpened(out.box, resolution, s);
  }
  // The level encloses the molecule in the box: the chain and the part of
  // its neighbours there, in proportion to their atoms.
  size_t inBox = 0;
  for (const Atom& a : present) {
    bool inside = true;
    for (int d = 0; d < 3; ++d) {
      const double x = (a.pos[d] - out.box.origin[d]) / out.box.voxel[d];
      inside = inside && x >= 0 && x <= out.box.n[d] - 1;
    }
    inBox += inside;
  }
  out.volume = volume * static_cast<double>(std::max(inBox, chain.size())) / static_cast<double>(chain.size());
  out.level = levelFor(out.box, out.volume);
  if (kind.noise) {
    const DensityBox noise = colouredNoise(out.box, resolution, kind.noisy.rms * out.level, kind.noisy, seed);
    for (size_t i = 0; i < out.box.values.size(); ++i) out.box.values[i] += noise.values[i];
  }
  if (kind.mask) out.box = masked(out.box, present, out.level, kind.softMask);
  return out;
}
