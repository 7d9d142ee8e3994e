// STAPAR: the parameter update of every later evaluation of a pass.
#include "model/setup.hpp"
#include "model/transmission.hpp"

namespace mglink {

void STAPAR(ModelState& st, Console& con, double& STAT) {
  if (!accept_parameters(st, STAT)) return;
  auto& HFREQ = st.work.HFREQ_STAPAR;
  haplotype_frequencies(st, HFREQ);
  genotype_frequencies(st, HFREQ);
  check_genotype_frequencies(st, con, 1e-5);
  build_HTRANS(st);
  build_CTRANS(st, con);
  trait_distribution(st);
}

}  // namespace mglink
