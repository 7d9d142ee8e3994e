// The fast evaluation of the total log-likelihood.
//
// FastEngine::evaluate gives bit for bit what the literal GENMMP gives: the same LH,
// the same family values, model tables, XX and IDONE, the same rejection,
// the same console lines and pauses.  It differs only in how it gets there:
// - the update reuses the transmission tables while theta does not move,
//   and rebuilds them from their nonzero products when it does
//   (fast_transmission.hpp);
// - the calling thread rebuilds CTRANS; every other thread of the pool reads
//   a copy of its own, which it brings up to date when it next peels
//   (TransmissionCache::refresh), so that its reads stay in its own cache;
// - each family is peeled over the nonzero terms only (fast_peel.hpp), in a
//   weight buffer of its own, by a fixed pool of threads; the family values
//   are kept per family and added in family order afterwards, so the total
//   does not depend on the number of threads;
// - a family the fast peeling does not take (see fast_peel.hpp) is computed
//   by the literal MASSIX and MMPFAM, after the others, on the calling thread.
// The set-up, with its warnings and pauses, runs on the calling thread before
// any family is visited (the genotype enumeration of a large study's full
// set-up shares its work out over the pool, in parts that give the literal
// lists; fast_genotype.hpp).
//
// Each fast routine and the literal routine it mirrors (and must match bit
// for bit; tests/fast/fast_engine_test.cpp compares them):
//   FastEngine::evaluate          GENMMP               likelihood/genmmp.hpp
//   set_up_parameters_cached      set_up_parameters    likelihood/genmmp.hpp
//   STAPAR_cached                 STAPAR               model/setup.hpp
//   TransmissionCache::update     build_CTRANS         model/transmission.hpp
//   TransmissionCache::refresh    build_CTRANS (a thread's copy of CTRANS)
//   GENOTYPE_parts                GENOTYPE             model/genotype.hpp
//   fast_family: Peeler::densities   MASSIX (FEN)      likelihood/densities.hpp
//   fast_family: Peeler::peel        MMPFAM            likelihood/mmpfam.hpp
//     fold_onto_parent_direct, fold_onto_typed_parent,
//     Peeler::fold_onto_parent    fold_onto_parent     likelihood/mmpfam.hpp
//     Peeler::fold_onto_child     fold_onto_child      likelihood/mmpfam.hpp
//     the rescaling in Peeler::peel   rescale, weight_sum  likelihood/mmpfam.hpp
//   DensityStore                  FEN's values kept from one evaluation to the next
//   exp_portable_n                exp_portable         likelihood/portable_math.hpp
#pragma once

#include <memory>
#include <vector>

#include "core/console.hpp"
#include "core/model_state.hpp"

namespace mglink {

// What the last fast evaluation did: the family values (index f =
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

// The fast evaluation and everything it keeps between calls: the
// transmission tables, the densities, the thread pool and its buffers, each
// family's layout.  One object serves one model state at a time (a call with
// another state starts afresh); objects share nothing, so two of them may run
// at once on different states.
class FastEngine {
 public:
  // `threads` threads (1 runs every family on the calling thread; 0 or less:
  // the machine's hardware threads for a pass of at least 8192 genotype
  // slots, else 1).
  explicit FastEngine(int threads);
  ~FastEngine();
  FastEngine(const FastEngine&) = delete;
  FastEngine& operator=(const FastEngine&) = delete;

  // GENMMP by the fast route.  Reads and writes what GENMMP does.
  void evaluate(ModelState& st, Console& con, double& LH);
  // What the last evaluate() did; `values` points into this object.
  FastReport report() const;

  // The threads the evaluations use (with the automatic choice: those of the
  // last pass prepared).
  int threads() const;
  // The next evaluation uses `threads` threads (0 or less: the automatic
  // choice); the kept tables and densities stay.
  void set_threads(int threads);

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace mglink
