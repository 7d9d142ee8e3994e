// The run driver: both passes of the linkage test, from the control files to
// the result file.
#pragma once

#include <iosfwd>

namespace mglink {

// Runs the whole program in the current directory with the given console
// streams; returns the exit status.  Error texts go to `err`.
int run_program(std::ostream& out, std::istream& in, std::ostream& err);
// The same on standard output, input and error.
int run_program();

}  // namespace mglink
