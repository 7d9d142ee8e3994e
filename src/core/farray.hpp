// Fixed-capacity arrays with the program's own index ranges.
//
// The model tables are indexed from 1 (a few from 0), by family, individual,
// nuclear family, slot, genotype or parameter number.  These small types keep
// that indexing in the code, so that a formula reads like its definition, and
// check every index when MGLINK_CHECKED is defined (debug and sanitizer
// builds).  The storage is a plain std::array with no initialiser of its
// own: an array is zero when its owner is value-initialised (`T x{}`), or,
// for the model state, because it is built in memory that is zero already
// (make_model_state), and otherwise holds whatever was there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace mglink {

#ifdef MGLINK_CHECKED
[[noreturn]] inline void index_fault(const char* what, long i, long lo, long hi) {
  std::fprintf(stderr, "mglink: internal error: index %ld outside %ld..%ld of %s\n", i, lo,
               hi, what);
  std::abort();
}
#define MGLINK_INDEX(i, lo, hi, what) \
  ((static_cast<long>(i) < (lo) || static_cast<long>(i) > (hi)) ? index_fault(what, i, lo, hi) : (void)0)
#else
#define MGLINK_INDEX(i, lo, hi, what) ((void)0)
#endif

// One-dimensional array A(Lo..Hi).
template <class T, long Lo, long Hi>
class FArray {
  static_assert(Hi >= Lo, "empty array");

 public:
  static constexpr long lo = Lo;
  static constexpr long hi = Hi;
  static constexpr std::size_t size = static_cast<std::size_t>(Hi - Lo + 1);

  T& operator()(long i) {
    MGLINK_INDEX(i, Lo, Hi, "FArray");
    return a_[static_cast<std::size_t>(i - Lo)];
  }
  const T& operator()(long i) const {
    MGLINK_INDEX(i, Lo, Hi, "FArray");
    return a_[static_cast<std::size_t>(i - Lo)];
  }
  // Address of element Lo (for loops that walk the storage directly).
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  void fill(const T& v) { a_.fill(v); }

 private:
  std::array<T, size> a_;
};

// Two-dimensional array A(1..N1, 1..N2), first index fastest.
template <class T, long N1, long N2>
class FArray2 {
 public:
  static constexpr std::size_t size = static_cast<std::size_t>(N1 * N2);

  T& operator()(long i, long j) {
    MGLINK_INDEX(i, 1, N1, "FArray2 (first index)");
    MGLINK_INDEX(j, 1, N2, "FArray2 (second index)");
    return a_[static_cast<std::size_t>((i - 1) + N1 * (j - 1))];
  }
  const T& operator()(long i, long j) const {
    MGLINK_INDEX(i, 1, N1, "FArray2 (first index)");
    MGLINK_INDEX(j, 1, N2, "FArray2 (second index)");
    return a_[static_cast<std::size_t>((i - 1) + N1 * (j - 1))];
  }
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  void fill(const T& v) { a_.fill(v); }

 private:
  std::array<T, size> a_;
};

// Three-dimensional array A(1..N1, 1..N2, 1..N3), first index fastest.
template <class T, long N1, long N2, long N3>
class FArray3 {
 public:
  static constexpr std::size_t size = static_cast<std::size_t>(N1 * N2 * N3);

  T& operator()(long i, long j, long k) {
    MGLINK_INDEX(i, 1, N1, "FArray3 (first index)");
    MGLINK_INDEX(j, 1, N2, "FArray3 (second index)");
    MGLINK_INDEX(k, 1, N3, "FArray3 (third index)");
    return a_[static_cast<std::size_t>((i - 1) + N1 * ((j - 1) + N2 * (k - 1)))];
  }
  const T& operator()(long i, long j, long k) const {
    MGLINK_INDEX(i, 1, N1, "FArray3 (first index)");
    MGLINK_INDEX(j, 1, N2, "FArray3 (second index)");
    MGLINK_INDEX(k, 1, N3, "FArray3 (third index)");
    return a_[static_cast<std::size_t>((i - 1) + N1 * ((j - 1) + N2 * (k - 1)))];
  }
  T* data() { return a_.data(); }
  const T* data() const { return a_.data(); }
  void fill(const T& v) { a_.fill(v); }

 private:
  std::array<T, size> a_;
};

}  // namespace mglink
