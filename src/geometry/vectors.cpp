#include "velmorantique/geometry.h"

#include <cmath>

namespace vel {

Vectors::Vectors(Coordinate a, Coordinate b) { set(a, b); }

void Vectors::set(Coordinate a, Coordinate b) {
  x = b.x - a.x;
  y = b.y - a.y;
  z = b.z - a.z;
}

Vectors& Vectors::operator+=(Vectors v) {
  x += v.x;
  y += v.y;
  z += v.z;
  return *this;
}

Vectors Vectors::mul(double k) const { return Vectors(x * k, y * k, z * k); }

void Vectors::divide(double k) {
  x /= k;
  y /= k;
  z /= k;
}

double Vectors::dot(Vectors v) const { return x * v.x + y * v.y + z * v.z; }

Vectors Vectors::cross(Vectors v) const {
  return Vectors(y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x);
}

double Vectors::length() const { return std::sqrt(x * x + y * y + z * z); }

Vectors Vectors::unit() const {
  double len = length();
  return Vectors(x / len, y / len, z / len);
}

double Vectors::getAngleRadian(Vectors v) const {
  return std::acos(dot(v) / (v.length() * length()));
}

double Vectors::getAngleDegree(Vectors v) const {
  return 180 * std::acos(dot(v) / (v.length() * length())) / kPi;
}

}  // namespace vel
