// STAPAR: the parameter update of every later evaluation of a pass.
#include "fast/fast_transmission.hpp"
#include "model/setup.hpp"
#include "model/transmission.hpp"

namespace mglink {

namespace {

// The update; with `tables`, CTRANS comes from the transmission cache (the
// same table, warnings and pauses as the full rebuild).
void update_parameters(ModelState& st, Console& con, double& STAT, TransmissionCache* tables) {
  if (!accept_parameters(st, STAT)) return;
  auto& HFREQ = st.work.HFREQ_STAPAR;
  haplotype_frequencies(st, HFREQ);
  genotype_frequencies(st, HFREQ);
  check_genotype_frequencies(st, con, 1e-5);
  // Whether HTRANS is, before this update rebuilds it, the one the cache
  // describes.
  const bool unchanged = tables != nullptr && tables->ready() && tables->describes(st);
  build_HTRANS(st);
  if (tables != nullptr) {
    tables->update(st, con, unchanged);
  } else {
    build_CTRANS(st, con);
  }
  trait_distribution(st);
}

}  // namespace

void STAPAR(ModelState& st, Console& con, double& STAT) { update_parameters(st, con, STAT, nullptr); }

void STAPAR_cached(ModelState& st, Console& con, double& STAT, TransmissionCache& cache) {
  update_parameters(st, con, STAT, &cache);
}

}  // namespace mglink
