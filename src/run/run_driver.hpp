// The run driver: both passes of the linkage test, from the control files to
// the result file.
#pragma once

#include <array>
#include <filesystem>
#include <iosfwd>
#include <string>

#include "evaluator/evaluator.hpp"
#include "maximiser/methgi.hpp"

namespace mglink {

// One pass of a run, as the driver saw it (full precision, before any
// formatting).
struct PassResult {
  int NEST = 0;                 // parameters estimated in the pass
  double FINIT = 0.0;           // ln L at the start values
  double FMAX = 0.0;            // ln L reported for the pass (= FINIT when nothing is estimated)
  std::array<double, 7> X{};    // X(1..6) at the end of the pass (index 0 unused)
  int ITER = 0, NFUN = 0;       // iterations and function evaluations of the search
  SearchEnd end = SearchEnd::NoParameters;  // why the search stopped (IterationLimit: " MAXIMUM NOT FOUND")
};

// A whole run.
struct RunResult {
  int status = 0;       // the exit status mglink returns (ExitStatus, run/errors.hpp)
  std::string console;  // the fixed console line of a stop, when any
  std::string detail;   // our explanation of a stop, when any
  std::string warning;  // what a complete run says on standard error (pass 2 below pass 1), or ""
  int passes = 0;       // passes completed (0, 1 or 2)
  std::array<PassResult, 2> pass{};
};

// The whole program run in directory `dir`: every input is read from, and
// every output written to, dir (the working directory is neither used nor
// changed; "." is the working directory).  Console lines go to `out`, pauses
// read `in`.  Writes exactly the files and console lines mglink writes in that
// directory, except the console line of a stop, which is returned in
// `console` for the caller to print.  Messages name the files as dir/name
// (only the name when dir is ".").  Several calls may run at once on
// different threads with different directories and evaluators.
RunResult run_directory(const std::filesystem::path& dir, Evaluator& eval, std::ostream& out,
                        std::istream& in);

// The program: run_directory(".") with a new evaluator built from `options`,
// then the stop's console line to `out` and our explanation (or the warning of
// a complete run), after "mglink: ", to `err`; returns the exit status.
int run_program(std::ostream& out, std::istream& in, std::ostream& err,
                const EvaluatorOptions& options = {});
// The same on standard output, input and error.
int run_program(const EvaluatorOptions& options);

}  // namespace mglink
