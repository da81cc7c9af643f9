#include <cmath>

#include "shape/shape_parts.h"

namespace vel {

bool solveLinear(double* a, double* b, int n) {
  double scale = 0;
  for (int i = 0; i < n * n; ++i) scale = std::fmax(scale, std::fabs(a[i]));
  if (!(scale > 0) || !std::isfinite(scale)) return false;
  for (int col = 0; col < n; ++col) {
    int pivot = col;
    for (int row = col + 1; row < n; ++row)
      if (std::fabs(a[row * n + col]) > std::fabs(a[pivot * n + col])) pivot = row;
    if (!(std::fabs(a[pivot * n + col]) > 1e-13 * scale)) return false;
    if (pivot != col) {
      for (int k = 0; k < n; ++k) std::swap(a[col * n + k], a[pivot * n + k]);
      std::swap(b[col], b[pivot]);
    }
    for (int row = col + 1; row < n; ++row) {
      const double f = a[row * n + col] / a[col * n + col];
      for (int k = col; k < n; ++k) a[row * n + k] -= f * a[col * n + k];
      b[row] -= f * b[col];
    }
  }
  for (int row = n - 1; row >= 0; --row) {
    double sum = b[row];
    for (int k = row + 1; k < n; ++k) sum -= a[row * n + k] * b[k];
    b[row] = sum / a[row * n + row];
  }
  for (int i = 0; i < n; ++i)
    if (!std::isfinite(b[i])) return false;
  return true;
}

}  // namespace vel
