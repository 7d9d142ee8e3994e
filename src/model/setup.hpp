// Parameter set-up: from the parameter vector X to the model tables.
#pragma once

#include "run/console.hpp"
#include "run/model_state.hpp"

namespace mglink {

// Full set-up, first evaluation of a pass.  Reads X, LINK, IFREE, XLOW, XUPP,
// NPAR; writes X and IFREE (ties), GFREQ, MAJGEN, MRKGEN, HTRANS, CTRANS,
// GMEAN, SIGMA, and (through GENOTYPE) GENOT.  STAT = 1.0 or -1e18.
void STAP0(ModelState& st, Console& con, double& STAT);

// Update, every later evaluation of the pass: as STAP0 without the marker
// frequency check, MAJGEN/MRKGEN and the genotype enumeration.
void STAPAR(ModelState& st, Console& con, double& STAT);

}  // namespace mglink
