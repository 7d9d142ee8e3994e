// Both passes of the linkage test for a marker of K alleles, as mglink's run
// driver runs them: per pass the parameters of par.inp (pass 1 holds theta at
// 0.5), the likelihood at the start values, and, when a parameter is
// estimated, the same pattern search with the settings of maxpar.inp.  No
// file is written: the caller gets the figures of each pass.
#pragma once

#include <array>
#include <functional>

#include "io/message_file.hpp"
#include "pedigree_likelihood/evaluator.hpp"
#include "maximiser/methgi.hpp"
#include "core/console.hpp"
#include "core/model_state.hpp"
#include "run/run_driver.hpp"

namespace mglink::kallele {

using pedlik::Evaluator;

// Each pass as mglink's run driver reports it (PassResult: NEST, FINIT,
// FMAX, X(1..6), ITER, NFUN, why the search stopped), and the test.
struct TwoPassResult {
  int passes = 0;                   // passes completed (0, 1 or 2)
  std::array<PassResult, 2> pass{};
  bool unusable_start = false;      // a pass with estimated parameters could not start: stopped there
  Rejection rejection;              // and why its start values were unusable
  double statistic = 0.0;           // -2 ln(L1/L2) = 2 (FMAX of pass 2 - FMAX of pass 1), after 2 passes
  double lod = 0.0;                 // the LOD score
  // The parameter arrays at the end of each pass's search (for sigma.DAT).
  std::array<Optpar1, 2> searched{};
};

// Reads par.inp for a pass into the state (read_par's contract): returns the
// number of estimated parameters.
using PassParameters = std::function<int(ModelState& st, int pass)>;

// Runs pass 1 and pass 2 with `ev` as the likelihood.  `st` supplies and
// keeps the parameter arrays (X, STEP, IFREE, XLOW, XUPP, LINK, NPAR and the
// maximiser's FMAX, ITER, NFUN); its family data are not read.  The
// maximiser's progress lines go to `con`, its messages to `messages`.
// A pass whose parameters are estimated and whose start values give no usable
// likelihood ends the run there (unusable_start), as it ends mglink's.
TwoPassResult run_two_passes(ModelState& st, Evaluator& ev, const SearchSettings& settings,
                             const PassParameters& load_pass, Console& con,
                             MessageFile& messages);

}  // namespace mglink::kallele
