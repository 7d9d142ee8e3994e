// The family data reader: IWAY.DAT (family structure), the trait file and the
// marker file.
#pragma once

#include <string>

#include "run/model_state.hpp"

namespace mglink {

// Reads dir/IWAY.DAT, dir/TRAITFILE and dir/MARKERFILE into the shared state.
// Writes BUF1, BUF3, BUF14, BUF16, BUF15, BUF2 and IPROB; reads nothing else.
// A count beyond capacity stops the run with its fixed message; malformed or
// inconsistent data stop it with a message naming the file and the entry.
void WWDAT(ModelState& st, const std::string& TRAITFILE, const std::string& MARKERFILE,
           const std::string& dir = ".");

}  // namespace mglink
