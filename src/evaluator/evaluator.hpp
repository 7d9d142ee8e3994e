// The evaluation as an object: a program builds one from explicit options
// and evaluates the log-likelihood through it.  Nothing here reads the
// environment; nothing is shared between two evaluators.
#pragma once

#include <memory>

#include "likelihood/fast_engine.hpp"
#include "run/console.hpp"
#include "run/model_state.hpp"

namespace mglink {

struct EvaluatorOptions {
  bool literal = false;  // true: the literal GENMMP (the reference); false: the fast engine
  int threads = 1;       // threads of the fast engine (1: no pool threads, all on the calling thread)
};

class Evaluator {
 public:
  explicit Evaluator(EvaluatorOptions opt);

  // GENMMP through the chosen engine: reads and writes the model state
  // exactly as the literal GENMMP does (genmmp.hpp), bit for bit either way.
  // The fast engine keeps tables between calls for the state it was last
  // given; one evaluator serves one state at a time.
  void evaluate(ModelState& st, Console& con, double& LH);

  const EvaluatorOptions& options() const { return opt_; }
  // What the last fast evaluation did (tests, benchmarks); empty for the
  // literal engine.
  FastReport report() const;
  // The next evaluations use `threads` threads (at least 1); what the fast
  // engine keeps stays.
  void set_threads(int threads);

 private:
  EvaluatorOptions opt_;
  std::unique_ptr<FastEngine> fast_;  // null for the literal engine
};

// The machine's hardware threads (at least 1, at most 256).
int hardware_threads();

}  // namespace mglink
