// The family data reader: IWAY.DAT (family structure), the trait file and the
// marker file.
#pragma once

#include <string>

#include "core/model_state.hpp"

namespace mglink {

// Reads dir/IWAY.DAT, dir/TRAITFILE and dir/MARKERFILE into the shared state.
// Writes BUF1, BUF3, BUF14, BUF16, BUF15, BUF2 and IPROB; reads nothing else.
// Filled at the start of each pass; entries beyond the counts keep what they
// held.  A count beyond capacity (tested in the order N, M, K, S, each before
// the values it governs are stored) stops the run with its fixed console
// message, "N_FAM exceed. Correct and recompile" and the like.  Data that
// would index outside the tables or peel in a wrong order (see
// family_check.hpp), a missing file or a malformed value stop it with a
// message naming the file and the entry.  Everything throws RunStop.
void WWDAT(ModelState& st, const std::string& TRAITFILE, const std::string& MARKERFILE,
           const std::string& dir = ".");

}  // namespace mglink
