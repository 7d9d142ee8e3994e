// The evaluation as an object: a program builds one from explicit options
// and evaluates the log-likelihood through it.  Nothing here reads the
// environment; nothing is shared between two evaluators.
#pragma once

#include <memory>

#include "core/console.hpp"
#include "core/model_state.hpp"
#include "fast/fast_engine.hpp"
#include "fast/family_pool.hpp"  // hardware_threads

namespace mglink {

struct EvaluatorOptions {
  bool literal = false;  // true: the literal GENMMP (the reference); false: the fast engine
  // Threads of the fast engine: 1 starts no thread, all on the calling
  // thread; 0: the machine's hardware threads for a study large enough to
  // gain from them (at least 8192 genotype slots), else 1.
  int threads = 1;
};

class Evaluator {
 public:
  explicit Evaluator(EvaluatorOptions opt);

  // GENMMP through the chosen engine: reads and writes the model state
  // exactly as the literal GENMMP does (likelihood/genmmp.hpp), bit for bit either way.
  // The fast engine keeps tables between calls for the state it was last
  // given; one evaluator serves one state at a time.
  void evaluate(ModelState& st, Console& con, double& LH);

  const EvaluatorOptions& options() const { return opt_; }
  // What the last fast evaluation did (tests, benchmarks); empty for the
  // literal engine.
  FastReport report() const;
  // The next evaluations use `threads` threads (0: the automatic choice);
  // what the fast engine keeps stays.
  void set_threads(int threads);

 private:
  EvaluatorOptions opt_;
  std::unique_ptr<FastEngine> fast_;  // null for the literal engine
};


}  // namespace mglink
