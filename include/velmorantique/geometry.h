#pragma once
// Points, vectors and the handful of geometric and statistical helpers every
// subsystem works with. Degenerate input (zero-length vectors, empty lists) is
// not guarded: it yields not-a-number or infinity, which callers print and rank
// as they are.

#include <cmath>
#include <vector>

struct Coordinate {
  double x = 0.0, y = 0.0, z = 0.0;
  Coordinate() = default;
  Coordinate(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};

// Every position the program reads (atom coordinates, a map's origin) is
// finite and within this many ångström of the origin of coordinates: the
// readers refuse others, once, where they read them, and the point searches
// take it as given. Structures and maps lie within a few thousand ångström.
constexpr double kCoordinateReach = 1.0e6;
// False for not-a-number and infinity too.
inline bool withinReach(double v) { return std::fabs(v) <= kCoordinateReach; }
inline bool withinReach(const Coordinate& p) { return withinReach(p.x) && withinReach(p.y) && withinReach(p.z); }

using PointList = std::vector<Coordinate>;  // ordered; a stick is ordered along a strand
using StrandSet = std::vector<PointList>;   // one point list per strand

constexpr double kPi = 3.141592653589793;

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

double getDistance(Coordinate a, Coordinate b);
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
double std_dev(const std::vector<double>& values);  // population: divides by n
