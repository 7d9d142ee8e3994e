// mglink-scan: every marker of a study, from the pedigree files to a results
// table and a LOD plot.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "scan/scan.hpp"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return mglink::scan::run_scan_command(args, std::cout, std::cerr, ::isatty(2) != 0);
}
