// mglink: linkage test of a quantitative trait's major gene with a marker.
// Takes no arguments (besides --help and --version); works in the current
// directory.
#include <iostream>
#include <string>
#include <vector>

#include "run/command_line.hpp"
#include "run/run_driver.hpp"

int main(int argc, char** argv) {
  const int status =
      mglink::command_line(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  if (status >= 0) return status;
  return mglink::run_program();
}
