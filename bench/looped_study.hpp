// Simulated studies of four-generation pedigrees, each in three forms on the
// same members and the same data, for comparing the cost of loops:
//
// - peeled: the pedigree without loops, with a peeling plan (nuclear
//   families, each folded onto the member that joins it to the rest: the
//   children's families before their parents', as kallele_study builds them);
// - graph:  the same pedigree given by its members' parents only (summed out
//   by variable elimination);
// - looped: the same members, `loops` of the spouses who married into the
//   third generation made instead children of another couple of the second
//   generation, so that each such marriage is one between first cousins and
//   closes one loop.  The number of people and who is typed do not change;
//   in the loop-free forms the rewired spouses are founders.
//
// A pedigree: a founder couple; 2-4 children, most married to a spouse from
// outside, each couple with 2-4 children; about half of these married (again
// to a spouse from outside), each couple with 1-3 children.  15 to 40 people,
// at least two couples in the second generation and at least four marriages
// in the third (so that up to four loops can be closed on the same
// pedigree).  The oldest two generations are untyped, the younger two
// typed; the trait is known for most.
//
// The major gene and the K-allele marker are dropped through the looped
// form (parents before children: generation by generation, as a rewired
// spouse may have a lower number than its new parents), so the genotypes are
// Mendelian in all three forms.  The pedigree shapes and the choice of
// rewired spouses depend on the seed and the family only: studies with the
// same seed and different K or `loops` have the same pedigrees, and the loops
// of a smaller `loops` are among those of a larger one.
#pragma once

#include <cstdint>

#include "pedigree_likelihood/study.hpp"

namespace mglink::bench {

inline constexpr int kMaxLoops = 4;

struct LoopedDesign {
  int families = 40;
  int K = 4;              // marker alleles, frequencies falling off gently
  int loops = 1;          // first-cousin marriages per looped pedigree, 0..kMaxLoops
  double missing = 0.1;   // fraction of trait values unknown
  double theta = 0.05;
  std::uint64_t seed = 1;
};

struct LoopedStudy {
  pedlik::Pedigree peeled;  // loop-free, with peeling plans
  pedlik::Pedigree graph;   // loop-free, as graphs
  pedlik::Pedigree looped;  // with the loops, as graphs
  pedlik::Marker marker;    // for all three: the same members in the same order
};

LoopedStudy simulate_looped_study(const LoopedDesign& design);

}  // namespace mglink::bench
