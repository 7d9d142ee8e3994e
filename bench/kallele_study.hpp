// Simulated studies for the K-allele benchmarks: pedigrees of a given shape
// with a major gene and a K-allele marker dropped through them together
// (recombination fraction theta), a normal trait, and part of the members
// typed.  Deterministic for a seed.
#pragma once

#include <cstdint>

#include "pedigree_likelihood/study.hpp"

namespace mglink::bench {

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
