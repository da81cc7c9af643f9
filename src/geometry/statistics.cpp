#include <cmath>

#include "velmorantique/geometry.h"

namespace vel {

double mean(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values) sum += v;
  return sum / static_cast<double>(values.size());
}

// One pass over the values; rounding can make the difference slightly negative
// for a constant sequence, which then gives not-a-number, as it always has.
double std_dev(const std::vector<double>& values) {
  double sum = 0, sumSq = 0;
  for (double v : values) {
    sum += v;
    sumSq += std::pow(v, 2);
  }
  double n = static_cast<double>(values.size());
  return std::sqrt(sumSq / n - std::pow(sum / n, 2));
}

}  // namespace vel
