// The total log-likelihood of all families at the current parameter vector,
// by the literal routines (the reference every faster evaluation must match;
// programs evaluate through an Evaluator, evaluator/evaluator.hpp).
#pragma once

#include "run/console.hpp"
#include "run/model_state.hpp"

namespace mglink {

// Reads ISETUP (-1: full set-up, else update) and everything the set-up, the
// densities and the peeling read; writes LH and `rejection` (cleared at each
// call), and through the set-up the model tables and, at ISETUP = -1, GENOT.
// LH = -1e18 when the vector is unusable, and st.rejection says why: Bounds
// (the set-up rejected the vector, no family evaluated) or Family (the first
// family whose likelihood is zero or whose log-likelihood is not finite;
// later families are not evaluated).  Otherwise LH is the sum of the family
// log-likelihoods, added in family order.
void GENMMP(ModelState& st, Console& con, double& LH);

class TransmissionCache;

// The set-up that opens every evaluation: `rejection` cleared, then STAP0
// (ISETUP = -1) or STAPAR.  With `tables`, the update takes CTRANS from the
// transmission cache, and a full set-up hands the cache its new tables.
// Returns false when the set-up rejected the vector (STAT = -1e18).  Reads
// and writes what STAP0 and STAPAR do, and rejection.
bool set_up_parameters(ModelState& st, Console& con, TransmissionCache* tables);

// The test each evaluation applies to a family's value: a family of
// likelihood zero, or one whose log-likelihood is not a number, makes the
// whole vector unusable.  When FLOGL is not finite: LH = -1e18, st.rejection
// names family f and its value, and the answer is true.  Writes rejection.
bool reject_unusable_family(ModelState& st, int32 f, double FLOGL, double& LH);

}  // namespace mglink
