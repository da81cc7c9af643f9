#pragma once
// A small dense linear-algebra kit in the Numerical Recipes style: an owned
// row-major matrix, an owned vector, a value swap and Gauss-Jordan elimination
// with full pivoting. The surface fit solves its 10 x 10 normal equations here.

#include <string>

namespace vel {

template <class T>
class NRVec {
 public:
  explicit NRVec(int n) : nn_(n), v_(n > 0 ? new T[n] : nullptr) {}
  NRVec(const NRVec&) = delete;
  NRVec& operator=(const NRVec&) = delete;
  ~NRVec() { delete[] v_; }
  T& operator[](int i) { return v_[i]; }
  const T& operator[](int i) const { return v_[i]; }
  int size() const { return nn_; }

 private:
  int nn_;
  T* v_;
};

// Elements are one contiguous block, row after row; row i starts m elements
// after row i - 1. Elements are not initialised on construction.
template <class T>
class NRMat {
 public:
  NRMat(int n, int m) : nn_(n), mm_(m), v_(n > 0 ? new T*[n] : nullptr) {
    if (n > 0) {
      v_[0] = (m > 0) ? new T[static_cast<size_t>(n) * static_cast<size_t>(m)] : nullptr;
      for (int i = 1; i < n; ++i) v_[i] = v_[i - 1] + m;
    }
  }
  NRMat(const NRMat& other) : NRMat(other.nn_, other.mm_) {
    for (int i = 0; i < nn_; ++i)
      for (int j = 0; j < mm_; ++j) v_[i][j] = other.v_[i][j];
  }
  NRMat& operator=(const NRMat&) = delete;
  ~NRMat() {
    if (v_ != nullptr) {
      delete[] v_[0];
      delete[] v_;
    }
  }
  T* operator[](int i) { return v_[i]; }
  const T* operator[](int i) const { return v_[i]; }
  int nrows() const { return nn_; }
  int ncols() const { return mm_; }

 private:
  int nn_, mm_;
  T** v_;
};

template <class T>
inline void SWAP(T& a, T& b) {
  T tmp = a;
  a = b;
  b = tmp;
}

namespace NR {
// Stops the run (stopRun): the driver prints the kit's three plain lines on
// standard error and ends with exit status 1.
[[noreturn]] void nrerror(const std::string& message);
// On return a holds the inverse of A and b the solution X of A X = B.
void gaussj(NRMat<double>& a, NRMat<double>& b);
}  // namespace NR

}  // namespace vel
