// STAP0: the full parameter set-up of the first evaluation of a pass.
#include <cmath>
#include <cstdio>
#include <string>

#include "core/errors.hpp"
#include "io/fixed_format.hpp"
#include "model/genotype.hpp"
#include "model/setup.hpp"
#include "model/transmission.hpp"

namespace mglink {

namespace {

// The marker allele frequencies X(7..11) must sum to 1; the tolerance is the
// single-precision constant 1e-5.
void check_marker_frequencies(const ModelState& st, Console& con) {
  const auto& X = st.OPTPAR1.X;
  const int m = par::MARKER_1;
  const double s = X(m) + X(m + 1) + X(m + 2) + X(m + 3) + X(m + 4);
  if (std::abs(s - 1.0) > static_cast<double>(1e-5f)) {
    con.line(FreeLine().text("ERROR: sum of marker allele frequencies is not 1").str());
    con.line(FreeLine().text("Check of PAR.INP").str());
    con.pause();
    char detail[160];
    std::snprintf(detail, sizeof detail,
                  "par.inp: the marker allele frequencies sum to %.17g, not 1 "
                  "(tolerance 1e-5)",
                  s);
    throw RunStop("", detail, EXIT_INPUT_ERROR);
  }
}

}  // namespace

void STAP0(ModelState& st, Console& con, double& STAT) { STAP0(st, con, STAT, SetupSteps{build_CTRANS, GENOTYPE}); }

void STAP0(ModelState& st, Console& con, double& STAT, const SetupSteps& steps) {
  if (!accept_parameters(st, STAT)) return;
  check_marker_frequencies(st, con);
  auto& HFREQ = st.work.HFREQ_STAP0;
  haplotype_frequencies(st, HFREQ);
  genotype_frequencies(st, HFREQ);
  classify_genotypes(st);
  check_genotype_frequencies(st, con, 1e-7);
  build_HTRANS(st);
  steps.transmission(st, con);
  trait_distribution(st);
  steps.enumerate(st, con);
}

}  // namespace mglink
