#include "run/run_driver.hpp"

#include <iostream>

#include "run/errors.hpp"

namespace mglink {

int run_program(std::ostream& out, std::istream& in, std::ostream& err) {
  (void)out;
  (void)in;
  err << "mglink: the run driver is not built yet\n";
  return EXIT_INPUT_ERROR;
}

int run_program() { return run_program(std::cout, std::cin, std::cerr); }

}  // namespace mglink
