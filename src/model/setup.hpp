// Parameter set-up: from the parameter vector X to the model tables.
#pragma once

#include <functional>

#include "core/console.hpp"
#include "core/model_state.hpp"

namespace mglink {

// Full set-up, first evaluation of a pass.  Reads X, LINK, IFREE, XLOW, XUPP,
// NPAR; writes X and IFREE (ties), GFREQ, MAJGEN, MRKGEN, HTRANS, CTRANS,
// GMEAN, SIGMA, and (through GENOTYPE) GENOT.  STAT = 1.0 or -1e18.
// On -1e18 (an estimated parameter on or outside its open bounds) only the
// ties have been applied, and `rejection` names the parameter.  Marker allele
// frequencies that do not sum to 1 stop the run after their message and a
// pause; the " Sum_p.ne.1" (tolerance 1e-7) and " Sum_bbb.ne.1" warnings
// pause and go on.
void STAP0(ModelState& st, Console& con, double& STAT);

// Two steps of the full set-up, each either the literal routine or one that
// leaves the state, the console and the run exactly as it does.
struct SetupSteps {
  std::function<void(ModelState&, Console&)> transmission;  // CTRANS from HTRANS (build_CTRANS)
  std::function<void(ModelState&, Console&)> enumerate;     // the genotype lists (GENOTYPE)
};
// STAP0 with these steps.
void STAP0(ModelState& st, Console& con, double& STAT, const SetupSteps& steps);

// Update, every later evaluation of the pass: as STAP0 without the marker
// frequency check, MAJGEN/MRKGEN and the genotype enumeration; the
// " Sum_p.ne.1" tolerance is 1e-5.  Relies on STAP0 having run for the pass.
void STAPAR(ModelState& st, Console& con, double& STAT);

}  // namespace mglink
