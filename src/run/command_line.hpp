// mglink's command line: the program takes no arguments and works in the
// current directory; --help and --version only print.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace mglink {

// Handles the arguments of mglink before any file is touched.  Returns -1
// when there are none (the run goes ahead); otherwise prints and returns the
// exit status: --help (usage on `out`) and --version, 0; anything else, the
// argument and the usage on `err`, 1.
int command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The usage text of --help.
const char* usage_text();

}  // namespace mglink
