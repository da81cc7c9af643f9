#include <cmath>

#include "velmorantique/fatal.h"
#include "velmorantique/nr.h"

namespace vel::NR {

void nrerror(const std::string& message) { stopRun(FrameStyle::Solver, "NR", message); }

void gaussj(NRMat<double>& a, NRMat<double>& b) {
  const int n = a.nrows(), m = b.ncols();
  NRVec<int> indxc(n), indxr(n), ipiv(n);
  int irow = 0, icol = 0;
  for (int j = 0; j < n; ++j) ipiv[j] = 0;
  for (int i = 0; i < n; ++i) {
    double big = 0.0;
    for (int j = 0; j < n; ++j) {
      if (ipiv[j] == 1) continue;
      for (int k = 0; k < n; ++k) {
        // Equality admits the later element: on ties the last in row-major
        // order becomes the pivot.
        if (ipiv[k] == 0 && std::fabs(a[j][k]) >= big) {
          big = std::fabs(a[j][k]);
          irow = j;
          icol = k;
        }
      }
    }
    ++(ipiv[icol]);
    if (irow != icol) {
      for (int l = 0; l < n; ++l) SWAP(a[irow][l], a[icol][l]);
      for (int l = 0; l < m; ++l) SWAP(b[irow][l], b[icol][l]);
    }
    indxr[i] = irow;
    indxc[i] = icol;
    if (a[icol][icol] == 0.0) nrerror("gaussj: Singular Matrix");
    double pivinv = 1.0 / a[icol][icol];
    a[icol][icol] = 1.0;
    for (int l = 0; l < n; ++l) a[icol][l] *= pivinv;
    for (int l = 0; l < m; ++l) b[icol][l] *= pivinv;
    for (int ll = 0; ll < n; ++ll) {
      if (ll == icol) continue;
      double dum = a[ll][icol];
      a[ll][icol] = 0.0;
      for (int l = 0; l < n; ++l) a[ll][l] -= a[icol][l] * dum;
      for (int l = 0; l < m; ++l) b[ll][l] -= b[icol][l] * dum;
    }
  }
  for (int l = n - 1; l >= 0; --l) {
    if (indxr[l] != indxc[l])
      for (int k = 0; k < n; ++k) SWAP(a[k][indxr[l]], a[k][indxc[l]]);
  }
}

}  // namespace vel::NR
