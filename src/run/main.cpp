// mglink: linkage test of a quantitative trait's major gene with a marker.
// Takes no arguments (besides --help and --version); works in the current
// directory.
//
// The evaluation is chosen here, once, from the environment:
//   MGLINK_LITERAL=1   the literal evaluation (the reference) instead of the
//                      fast one; both give the same results bit for bit;
//   MGLINK_THREADS=n   n threads for the fast evaluation (a positive
//                      integer, at most 256), else the automatic choice:
//                      the machine's hardware threads for a study large
//                      enough to gain from them, one thread otherwise.
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "evaluator/evaluator.hpp"
#include "run/command_line.hpp"
#include "run/run_driver.hpp"

namespace {

mglink::EvaluatorOptions options_from_environment() {
  mglink::EvaluatorOptions opt;
  const char* literal = std::getenv("MGLINK_LITERAL");
  opt.literal = literal != nullptr && std::strcmp(literal, "1") == 0;
  opt.threads = 0;  // the automatic choice
  if (const char* v = std::getenv("MGLINK_THREADS"); v != nullptr && *v != '\0') {
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (*end == '\0' && n >= 1) opt.threads = n > 256 ? 256 : static_cast<int>(n);
  }
  return opt;
}

}  // namespace

int main(int argc, char** argv) {
  const int status =
      mglink::command_line(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  if (status >= 0) return status;
  return mglink::run_program(options_from_environment());
}
