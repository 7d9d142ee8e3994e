// What a run says on standard error when pass 2's search ends below pass 1.
#pragma once

#include <string>

namespace mglink {

// The warning when pass 2's maximised log-likelihood FALT lies below pass 1's
// FNULL (the search from par.inp stopped at a worse point than the null
// hypothesis reached, so the statistic and the LOD score are negative); ""
// otherwise, also when either value is not a number.  One line, without the
// program's prefix.
std::string below_null_warning(double FNULL, double FALT);

}  // namespace mglink
