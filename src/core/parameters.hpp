// The parameter vector of the model and the maximiser's block of it.
//
// X(1..6) are the model's parameters, X(7..11) the marker allele
// frequencies; the maximiser sees the arrays of Optpar1 and nothing else of
// the model state.
#pragma once

#include <cstdint>

#include "core/farray.hpp"

namespace mglink {

using int32 = std::int32_t;

inline constexpr long N_PARAM = 15;  // room of the parameter arrays

// The index of each parameter in X (and in STEP, IFREE, XLOW, XUPP, LINK).
namespace par {
inline constexpr int FREQ = 1;        // frequency of major allele 1
inline constexpr int MEAN_11 = 2;     // trait mean of major-locus genotype 1/1
inline constexpr int MEAN_12 = 3;     // trait mean of major-locus genotype 1/2
inline constexpr int MEAN_22 = 4;     // trait mean of major-locus genotype 2/2
inline constexpr int THETA = 5;       // recombination fraction
inline constexpr int VARIANCE = 6;    // trait variance
inline constexpr int MARKER_1 = 7;    // frequency of marker allele 1; alleles 2..5 follow
inline constexpr int MODEL = 6;       // parameters with tie, flag, step and bounds (NPAR)
inline constexpr int ALL = 11;        // entries of X in use
}  // namespace par

// The rejection value: a set-up that rejects X returns it, and the
// log-likelihood is then this value.
inline constexpr double REJECTED = -1e18;
// Any function value at or below this is an unusable point.
inline constexpr double UNUSABLE = -1e17;

// Parameters and maximiser results.
struct Optpar1 {
  FArray<double, 1, N_PARAM> X;     // parameter vector, entries 1..11 used
  FArray<double, 1, N_PARAM> STEP;  // signed step per parameter
  FArray<int32, 1, N_PARAM> IFREE;  // 1 = estimated, 0 = held; cleared for tied parameters
  FArray<double, 1, N_PARAM> XUPP;  // upper bound (open)
  FArray<double, 1, N_PARAM> XLOW;  // lower bound (open)
  double FMAX = 0.0;                // log-likelihood reported for the maximiser's result
  int32 ITER = 0;                   // iterations of the maximiser
  int32 NFUN = 0;                   // function evaluations of the maximiser
};

}  // namespace mglink
