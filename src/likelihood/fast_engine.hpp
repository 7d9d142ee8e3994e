// The fast evaluation of the total log-likelihood, and the switch between it
// and the literal one.
//
// GENMMP_FAST gives bit for bit what the literal GENMMP gives: the same LH,
// the same family values, model tables, XX and IDONE, the same rejection,
// the same console lines and pauses.  It differs only in how it gets there:
// - the update reuses the transmission tables while theta does not move,
//   and rebuilds them from their nonzero products when it does
//   (model/fast_transmission.hpp);
// - each family is peeled over the nonzero terms only (fast_peel.hpp), in a
//   weight buffer of its own, by a fixed pool of threads; the family values
//   are kept per family and added in family order afterwards, so the total
//   does not depend on the number of threads;
// - a family the fast peeling does not take (see fast_peel.hpp) is computed
//   by the literal MASSIX and MMPFAM, after the others, on the calling thread.
// The set-up, with its warnings and pauses, runs on the calling thread before
// any family is visited.
#pragma once

#include <vector>

#include "run/console.hpp"
#include "run/model_state.hpp"

namespace mglink {

enum class Engine { Literal, Fast };

// The evaluation GENMMP runs: Fast, unless the environment variable
// MGLINK_LITERAL is 1 when it is first asked (then Literal).  Both give the
// same results bit for bit; the literal one is kept as the reference.
Engine selected_engine();
void select_engine(Engine engine);

// Threads of the fast evaluation: the environment variable MGLINK_THREADS
// when it is a positive integer, else the machine's hardware threads.
int engine_threads();
void set_engine_threads(int threads);

// GENMMP by the fast route.  Reads and writes what GENMMP does.
void GENMMP_FAST(ModelState& st, Console& con, double& LH);

// What the last GENMMP_FAST call did: the family values (index f =
// 1..NFAM, for the families evaluated), and how many families went to the
// literal routines.
struct FastReport {
  const std::vector<double>* values = nullptr;
  int evaluated = 0;      // families evaluated (all of them unless rejected)
  int literal = 0;        // of which computed by the literal routines
  int threads = 0;        // threads used
  long table_reuses = 0;  // updates that kept the transmission tables
  long table_rebuilds = 0;
};
FastReport fast_report();

}  // namespace mglink
