// GENMMP: the total log-likelihood, the plain sum of the family values in
// family order.
#include "likelihood/genmmp.hpp"

#include <cmath>

#include "likelihood/densities.hpp"
#include "likelihood/mmpfam.hpp"
#include "model/fast_transmission.hpp"
#include "model/setup.hpp"

namespace mglink {

void GENMMP(ModelState& st, Console& con, double& LH) {
  if (!set_up_parameters(st, con, nullptr)) {
    LH = REJECTED;
    return;
  }
  LH = 0.0;
  for (int32 IFAM = 1; IFAM <= st.BUF1.NFAM; ++IFAM) {
    MASSIX(st, IFAM);
    double FLOGL = 0.0;
    MMPFAM(st, IFAM, FLOGL);
    if (reject_unusable_family(st, IFAM, FLOGL, LH)) return;
    LH = LH + FLOGL;
  }
}

bool set_up_parameters(ModelState& st, Console& con, TransmissionCache* tables) {
  st.rejection = Rejection{};
  double STAT = 0.0;
  if (st.IMAX.ISETUP == -1) {
    if (tables != nullptr) tables->invalidate();
    STAP0(st, con, STAT);
    if (tables != nullptr && STAT + 1e18 > 0.0) tables->adopt(st);
  } else if (tables != nullptr) {
    STAPAR_cached(st, con, STAT, *tables);
  } else {
    STAPAR(st, con, STAT);
  }
  return STAT + 1e18 > 0.0;
}

bool reject_unusable_family(ModelState& st, int32 f, double FLOGL, double& LH) {
  if (std::isfinite(FLOGL)) return false;
  st.rejection.kind = Rejection::Kind::Family;
  st.rejection.family = f;
  st.rejection.value = FLOGL;
  LH = REJECTED;
  return true;
}

}  // namespace mglink
