// The genotype enumeration of the full set-up with its work shared out.
#pragma once

#include "core/console.hpp"
#include "core/model_state.hpp"
#include "core/parts.hpp"

namespace mglink {

// GENOTYPE in parts of a few families, by `parts` (on the calling thread,
// and the literal GENOTYPE itself, without): the marker filter and the count
// of what is still possible, each sweep and its count, and the slot lists
// each family by family; the counts and the console lines between them on
// the calling thread.  Families share no individual and an elimination sweep
// prunes a family from its own members' genotypes only, so the parts give
// exactly what GENOTYPE gives: the same IPOSS, N0, N1, NTOT, IGOFF, NGEN,
// LGEN, console lines, pause and stop.  Reads and writes what GENOTYPE does.
void GENOTYPE_parts(ModelState& st, Console& con, const ForEachPart* parts);

}  // namespace mglink
