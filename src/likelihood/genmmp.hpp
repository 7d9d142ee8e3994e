// The total log-likelihood of all families at the current parameter vector.
#pragma once

#include "run/console.hpp"
#include "run/model_state.hpp"

namespace mglink {

// Reads ISETUP (-1: full set-up, else update) and everything the set-up, the
// densities and the peeling read; writes LH.  LH = -1e18 when the vector is
// unusable; st.rejection then says why.
void GENMMP(ModelState& st, Console& con, double& LH);

}  // namespace mglink
