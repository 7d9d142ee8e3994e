#include "run/command_line.hpp"

#include <ostream>

#ifndef MGLINK_VERSION
#define MGLINK_VERSION "unknown"
#endif

namespace mglink {

const char* usage_text() {
  return "usage: mglink              run the linkage test in the current directory\n"
         "       mglink --help       show this text\n"
         "       mglink --version    show the version\n"
         "Reads maxpar.inp, task.inp, par.inp, IWAY.DAT and the trait and marker files\n"
         "named in task.inp; writes sigma.DAT, the result file named in task.inp and,\n"
         "when the maximiser has something to report, fort.25.\n"
         "Environment: MGLINK_THREADS=N (threads), MGLINK_LITERAL=1 (literal evaluation).\n"
         "Exit status: 0 complete run, 1 input error or unknown argument, 2 start values\n"
         "without a usable likelihood, 3 an output file cannot be written.\n";
}

int command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) return -1;
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << usage_text();
    return 0;
  }
  if (args.size() == 1 && args[0] == "--version") {
    out << "mglink " << MGLINK_VERSION << "\n";
    return 0;
  }
  const std::string& bad = args[0] == "--help" || args[0] == "-h" || args[0] == "--version"
                               ? args[1]
                               : args[0];
  err << "mglink: unknown argument \"" << bad
      << "\": mglink takes no arguments and works in the current directory (no file was "
         "touched)\n"
      << usage_text();
  return 1;
}

}  // namespace mglink
