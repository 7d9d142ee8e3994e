// Pattern-search maximiser.  Knows nothing of the model: it sees the
// parameter arrays of OPTPAR1 and the function it is given.
#pragma once

#include <functional>

#include "io/message_file.hpp"
#include "run/console.hpp"
#include "run/model_state.hpp"

namespace mglink {

// Why the search stopped.
enum class SearchEnd {
  NoParameters,       // N <= 0: nothing done
  TooManyParameters,  // N > 15: message written, nothing else done
  UnusableStart,      // first value at or below -1e17
  ConvergedGain,      // an improving pattern move gained less than EPSF
  ConvergedStep,      // every varied parameter's step is small
  IterationLimit,     // ITER > MAXIT: " MAXIMUM NOT FOUND"
};

// The settings of a search, in the order maxpar.inp gives them.
struct SearchSettings {
  int32 IPRINT = 0;  // >= 1: progress lines after each iteration
  double EPSX = 0;   // relative step tolerance
  int32 MAXIT = 0;   // iteration limit
  double RHO = 0;    // pull-back factor of a failed pattern move
  double EPSF = 0;   // minimal gain of an iteration
};

// FCN(F) evaluates the function at the current X and stores it in F.
using Objective = std::function<void(double&)>;

// Reads and writes X, STEP; reads IFREE, XUPP, XLOW; writes FMAX, ITER, NFUN.
// Messages go to `messages` (fort.25), progress lines to `con`.
// Returns why the search stopped.
SearchEnd METHGI(Optpar1& P, Console& con, MessageFile& messages, int N,
                 const SearchSettings& settings, const Objective& FCN);

}  // namespace mglink
