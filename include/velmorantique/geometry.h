#pragma once
// Points, vectors and the handful of geometric and statistical helpers every
// subsystem works with. Degenerate input (zero-length vectors, empty lists) is
// not guarded: it yields not-a-number or infinity, which callers print and rank
// as they are.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace vel {

struct Coordinate {
  double x = 0.0, y = 0.0, z = 0.0;
  Coordinate() = default;
  Coordinate(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};

// The coordinate along an axis: 0 is x, 1 is y, 2 is z.
inline double axisValue(const Coordinate& p, int axis) { return axis == 0 ? p.x : (axis == 1 ? p.y : p.z); }

// The bits of a double: equal bits are the same value written the same way
// (unlike ==, which makes 0 and -0 equal and not-a-number unequal to itself).
inline uint64_t bitsOf(double v) {
  uint64_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Every position the program reads (atom coordinates, a map's origin) is
// finite and within this many ångström of the origin of coordinates: the
// readers refuse others, once, where they read them. Structures and maps lie
// within a few thousand ångström. There the rounding of a distance, a box
// bound or a cell index stays far below the margins the point kernels allow
// themselves.
constexpr double kCoordinateReach = 1.0e6;
// False for not-a-number and infinity too.
inline bool withinReach(double v) { return std::fabs(v) <= kCoordinateReach; }
inline bool withinReach(const Coordinate& p) { return withinReach(p.x) && withinReach(p.y) && withinReach(p.z); }

// Nearest-point and nearest-strand searches start from this distance; a
// search that ends at it found no neighbour.
constexpr double kNoNeighbour = 999;

using PointList = std::vector<Coordinate>;  // ordered; a stick is ordered along a strand
using StrandSet = std::vector<PointList>;   // one point list per strand

// The points of every strand, strand after strand.
PointList flatten(const StrandSet& strands);

constexpr double kPi = 3.141592653589793;

// One 3-D vector (a direction or a displacement), not a list of vectors.
class Vectors {
 public:
  double x = 0.0, y = 0.0, z = 0.0;

  Vectors() = default;
  Vectors(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  explicit Vectors(Coordinate c) : x(c.x), y(c.y), z(c.z) {}
  Vectors(Coordinate a, Coordinate b);  // b - a: the vector from a to b

  void set(Coordinate a, Coordinate b);  // this = b - a
  Vectors& operator+=(Vectors v);
  Vectors mul(double k) const;
  void divide(double k);
  double dot(Vectors v) const;
  Vectors cross(Vectors v) const;  // this x v, right-handed
  double length() const;
  Vectors unit() const;
  double getAngleRadian(Vectors v) const;  // cosine is not clamped to [-1, 1]
  double getAngleDegree(Vectors v) const;
  Coordinate getCoordinates() const { return Coordinate(x, y, z); }
  double getX() const { return x; }
  double getY() const { return y; }
  double getZ() const { return z; }
};

using RotationMatrix = double[4][4];  // row-vector convention: row 3 holds the translation

// Inline: the point kernels measure millions of pairs per run.
inline double getDistance(Coordinate a, Coordinate b) {
  const double dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}
Coordinate triangleCenter(Coordinate p1, Coordinate p2, Coordinate p3);
// The point at signed distance d from a on the line a->b.
Coordinate pointOnLine(Coordinate a, Coordinate b, double d);
// Angle at p2 between p1 and p3, in degrees.
double getAngleDegree(Coordinate p1, Coordinate p2, Coordinate p3);
// Distance of q from the plane through p1, p2, p3; never negative.
double getDistPlanePoint(Coordinate p1, Coordinate p2, Coordinate p3, Coordinate q);
// Right-handed rotation by theta (radians) about the directed axis p1 -> p2.
void buildRotationMatrix(RotationMatrix m, Coordinate p1, Coordinate p2, double theta);
void rotatePoint(const RotationMatrix m, Coordinate& p);
double mean(const std::vector<double>& values);
double std_dev(const std::vector<double>& values);  // the population standard deviation: divides by n

}  // namespace vel
