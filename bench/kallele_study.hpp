// Simulated studies for the K-allele benchmarks: pedigrees of a given shape
// with a major gene and a K-allele marker dropped through them together
// (recombination fraction theta), a normal trait, and part of the members
// typed.  Deterministic for a seed.
#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "pedigree_likelihood/evaluator.hpp"
#include "pedigree_likelihood/study.hpp"

namespace mglink::bench {

// The random numbers of the simulated studies (not portable across
// standard libraries' distributions, so drawn by hand from the engine).
class Draw {
 public:
  explicit Draw(std::uint64_t seed) : gen_(seed) {}
  double uniform() { return static_cast<double>(gen_() >> 11) * 0x1.0p-53; }
  int between(int lo, int hi) { return lo + static_cast<int>(gen_() % static_cast<std::uint64_t>(hi - lo + 1)); }
  bool chance(double p) { return uniform() < p; }
  double normal() {
    const double u = 1.0 - uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }

 private:
  std::mt19937_64 gen_;
};

// One evaluation of `ev` per iteration of `state`, from `x` with theta and
// the first mean moved a little each time, as a search moves them.
inline void time_evaluations(benchmark::State& state, pedlik::Evaluator& ev, pedlik::Parameters x) {
  int i = 0;
  for (auto _ : state) {
    x[4] = 0.01 + 0.05 * (i % 9);
    x[1] = 85.0 + 0.1 * (i % 7);
    ++i;
    benchmark::DoNotOptimize(ev.log_likelihood(x).lh);
  }
}

struct StudyDesign {
  enum class Shape {
    Nuclear,   // two parents and 2..5 children
    Extended,  // a founder couple, their children (most married to a spouse from
               // outside) and grandchildren: three generations
    Large,     // four generations, about 65 members
  };
  Shape shape = Shape::Extended;
  int families = 100;
  int K = 5;                  // marker alleles, frequencies falling off gently
  double typed = 0.5;         // fraction of members typed (Typing::Fraction)
  enum class Typing {
    Fraction,  // each member typed with probability `typed`
    All,       // everyone typed
    Living,    // only the youngest two generations typed
  };
  Typing typing = Typing::Fraction;
  double missing = 0.1;       // fraction of trait values unknown
  double theta = 0.05;
  std::uint64_t seed = 1;
};

struct Study {
  pedlik::Pedigree ped;
  pedlik::Marker marker;
};

Study simulate_study(const StudyDesign& design);

// The model the studies are drawn from: X(1..6).
inline constexpr pedlik::Parameters kTruth = {0.4, 85.0, 100.0, 115.0, 0.05, 25.0};

}  // namespace mglink::bench
