// Test support: the likelihood of a family by brute force, as an oracle for
// the peeling.
//
// The sum runs over every joint two-locus genotype of the members that appear
// in some nuclear family (members in none contribute nothing), each
// assignment weighted by
//   - for a member who is nobody's child: the Hardy-Weinberg frequency of
//     its genotype from the haplotype frequencies X(1) x X(7..11);
//   - for a child: the probability of its genotype given its parents', from
//     each parent's haplotype transmission at recombination fraction X(5);
//   - for everyone: the trait density exp(-z*z/2)/sigma with sigma =
//     sqrt(X(6)) and the mean X(2..4) of its major-locus genotype, or 1 for a
//     trait value at or below -998; and 0 for a genotype whose marker
//     genotype differs from a typed member's code.
// Every table is built here from the genetic definitions; nothing of the
// program's own set-up (GFREQ, HTRANS, CTRANS, the genotype lists) is used.
// Only genotypes with a nonzero factor are visited, which is exact.
#pragma once

#include "core/model_state.hpp"

namespace mglink::test {

// Likelihood (not its log) of family f.  Reads FAMOFF, NUCOFF, MEMOFF,
// MEMBER, TRAIT, MARKER and X(1..11) of `st`.
double brute_force_likelihood(const ModelState& st, int f);

}  // namespace mglink::test
