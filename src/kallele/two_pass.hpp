// Both passes of the linkage test for a marker of K alleles, as mglink's run
// driver runs them: per pass the parameters of par.inp (pass 1 holds theta at
// 0.5), the likelihood at the start values, and, when a parameter is
// estimated, the same pattern search with the settings of maxpar.inp.  No
// file is written: the caller gets the figures of each pass.
#pragma once

#include <functional>

#include "io/message_file.hpp"
#include "kallele/evaluator.hpp"
#include "maximiser/methgi.hpp"
#include "run/console.hpp"
#include "run/control_files.hpp"
#include "run/model_state.hpp"

namespace mglink::kallele {

struct PassResult {
  int estimated = 0;          // parameters estimated in the pass (after the pass rule)
  double initial = 0.0;       // ln L at the start values
  double lh = 0.0;            // ln L reported for the pass (FMAX)
  Parameters x{};             // X(1..6) at the end of the pass
  Parameters step{};          // STEP(1..6) at the end of the pass
  int iterations = 0;         // ITER
  int evaluations = 0;        // NFUN
  SearchEnd end = SearchEnd::NoParameters;  // why the search stopped (NoParameters: no search)
  Rejection rejection;        // why the start values were unusable, if they were
};

struct TwoPassResult {
  PassResult pass[2];
  bool unusable_start = false;  // a pass with estimated parameters could not start: stopped there
  int stopped_pass = 0;         // that pass (1 or 2)
  double statistic = 0.0;       // -2 ln(L1/L2) = 2 (lh of pass 2 - lh of pass 1)
  double lod = 0.0;             // the LOD score
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
TwoPassResult run_two_passes(ModelState& st, Evaluator& ev, const MaxparSettings& settings,
                             const PassParameters& load_pass, Console& con,
                             MessageFile& messages);

}  // namespace mglink::kallele
