#include "run/search_warning.hpp"

#include <cstdio>

namespace mglink {

std::string below_null_warning(double FNULL, double FALT) {
  if (!(FALT < FNULL)) return "";
  char buf[600];
  std::snprintf(buf, sizeof buf,
                "warning: pass 2 (theta estimated) ended at ln L = %.15g, below pass 1 (theta "
                "held at 0.5) at ln L = %.15g, so the statistic and the LOD score are negative: "
                "the search of pass 2 stopped at a worse point than pass 1 reached. Start pass 2 "
                "nearer to pass 1's estimates (the first block of sigma.DAT) in par.inp, or give "
                "smaller steps (STEP); when fort.25 says MAXIMUM NOT FOUND, allow more "
                "iterations (MAXIT in maxpar.inp)",
                FALT, FNULL);
  return buf;
}

}  // namespace mglink
