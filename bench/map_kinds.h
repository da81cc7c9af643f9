#pragma once
// Whole-chain maps made to look like experimental reconstructions rather
// than clean sums of Gaussians: sharpened or blurred, with the coloured noise
// of a reconstruction, masked, crowded by neighbours, sampled on coarse
// voxels, or of a resolution that worsens towards the rim. Each effect is a
// free function with its parameters in a struct; a "kind" names a set of
// them (docs/simulated_maps.md shows each). Everything is deterministic for
// a given seed.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "velmorantique/prepare.h"

// x -> rotation * x + shift (rotation row-major).
struct RigidMotion {
  std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1};
  vel::prepare::Point shift{};
  vel::prepare::Point apply(const vel::prepare::Point& p) const;
  RigidMotion inverse() const;
};

// The box's values with each Fourier component of spatial frequency s (1/Å)
// multiplied by gain(s); the box is taken as periodic.
vel::prepare::DensityBox filtered(const vel::prepare::DensityBox& box, const std::function<double(double)>& gain);

// 1 up to 1/resolution, then a cosine fall to 0 at (1 + edge)/resolution.
double lowPassGain(double s, double resolution, double edge);

// A B-factor applied to amplitudes, exp(-B s^2 / 4), then the low-pass at
// the resolution. Deposited maps are often sharpened (negative B), which
// brings out detail up to the cutoff and rings into negative lobes beside
// the molecule.
struct Sharpening {
  double b = -100;    // Å^2; negative sharpens, positive blurs
  double edge = 0.1;  // of the low-pass, as a fraction of the cutoff frequency
};
vel::prepare::DensityBox sharpened(const vel::prepare::DensityBox& box, double resolution, const Sharpening& p);

// Noise whose power rises with spatial frequency up to the resolution's
// cutoff and is low-passed beyond it, as in a sharpened reconstruction:
// white Gaussian noise with amplitudes multiplied by exp(rise (s R)^2), R the
// resolution, then scaled to the rms asked.
struct ColouredNoise {
  double rms = 0.3;   // the noise's standard deviation, as a fraction of the level enclosing the chain
  double rise = 1.0;  // amplitude at the cutoff e^rise times that at s = 0 (power e^(2 rise))
  double edge = 0.1;  // of the low-pass, as a fraction of the cutoff frequency
};
// The noise alone (mean about 0, the given standard deviation).
vel::prepare::DensityBox colouredNoise(const vel::prepare::DensityBox& box, double resolution, double sd,
                                       const ColouredNoise& p, uint32_t seed);

// A soft mask around the atoms, as deposited maps are masked: 1 within
// `reach` of an atom, a cosine fall to 0 over `edge` beyond it; the solvent
// is then exactly `solvent` times the level (0: zero solvent; otherwise flat).
struct SoftMask {
  double reach = 3;    // Å
  double edge = 6;     // Å
  double solvent = 0;  // as a fraction of the level enclosing the chain
};
vel::prepare::DensityBox masked(const vel::prepare::DensityBox& box, const std::vector<vel::prepare::Atom>& atoms,
                                double level, const SoftMask& p);

// Neighbouring density: the entry's other chains where they fall in the box,
// and copies of the chain packed against it as in an oligomer or filament.
// A copy is the chain turned by `turn` about its longest principal axis
// (through its centre) and moved out across its broad face, along its
// thinnest principal axis tilted `climb` degrees towards the longest, until
// no two C-alphas of chain and copy are closer than `contact`: it touches. That
// motion repeated is a screw; the copies are it and its inverse (the two
// neighbours of a subunit in a filament), then its square and so on.
struct Crowding {
  bool otherChains = true;
  int copies = 2;
  double turn = 30;     // degrees
  double climb = 30;    // degrees
  double contact = 5;   // Å between C-alphas
};
// The motions placing the copies of `chain` (empty without a C-alpha).
std::vector<RigidMotion> packedCopies(const std::vector<vel::prepare::Atom>& chain, const Crowding& p);

// The resolution worsening from the centre of the molecule to its rim: the
// map at the resolution and one blurred further (B raised by 4(R_rim^2 - R^2),
// low-passed at R_rim = R + rim) mixed with a weight rising smoothly from 0
// at `core` times the molecule's radius to 1 at its radius.
struct LocalResolution {
  double rim = 3;     // Å added to the resolution at the rim
  double core = 0.3;  // fraction of the radius kept at the resolution
  double edge = 0.1;
};
vel::prepare::DensityBox withLocalResolution(const vel::prepare::DensityBox& box,
                                             const std::vector<vel::prepare::Atom>& atoms, double resolution,
                                             const LocalResolution& p);

// What a kind does, in this order: the density of the chain (and its
// neighbours when crowded) on voxels of `voxel` Å; the local resolution; the
// sharpening B (0 when not sharpened) with the low-pass; the noise; the mask.
// "clean" is the simulated density alone.
struct MapKind {
  std::string name;
  double voxel = 1.0;
  bool lowPass = true, crowd = false, sharpen = false, noise = false, mask = false, localResolution = false;
  Crowding crowding;
  Sharpening sharpening;
  ColouredNoise noisy;
  SoftMask softMask;
  LocalResolution local;
};

// "clean", "sharpened", "noisy", "masked" (zero solvent), "masked-flat"
// (solvent -0.2 times the level, as a masked map normalised to mean 0
// afterwards), "crowded", "coarse" (3.5 Å voxels), "local-res", and
// "deposited" (all of them at once, on 1 Å voxels, zero solvent).
const std::vector<std::string>& mapKindNames();
// Throws std::invalid_argument for an unknown name.
MapKind mapKind(const std::string& name);

struct SimulatedMap {
  vel::prepare::DensityBox box;
  double volume = 0;  // Å^3 of the molecule in the box: the chain's, and its neighbours' part there
  double level = 0;   // enclosing that volume, before noise and mask
  std::vector<RigidMotion> copies;  // where the packed copies of the chain lie
};

// The chain's map of one kind. `others`: the entry's other chains; `volume`:
// the chain's, Å^3. The box is the chain's with an 8 Å margin.
SimulatedMap simulatedMap(const std::vector<vel::prepare::Atom>& chain, const std::vector<vel::prepare::Atom>& others,
                          double volume, const MapKind& kind, double resolution, uint32_t seed);
