// The building blocks shared by the full set-up (STAP0) and the update
// (STAPAR): ties and bounds, haplotype and genotype frequencies, haplotype
// and child-genotype transmission, trait distribution.
//
// Each block rebuilds its tables from zero, so a result depends only on the
// current parameter vector.  Sums and products run in the written order.
#pragma once

#include "core/console.hpp"
#include "core/farray.hpp"
#include "core/model_state.hpp"

namespace mglink {

using HaplotypeFrequencies = FArray<double, 1, N_HAP>;

// Ties, one ascending pass over 1..NPAR: a parameter with LINK(i) != i takes
// X(LINK(i)) and is no longer estimated (IFREE(i) = 0).
// Reads NPAR, LINK; writes X, IFREE.  A LINK outside 1..11 stops the run
// (par.inp error).
void apply_ties(ModelState& st);

// The first estimated parameter (IFREE != 0) on or outside its open bounds
// XLOW < X < XUPP, or 0 when all are inside.  Reads NPAR, IFREE, X, XLOW, XUPP.
int first_out_of_bounds(const ModelState& st);

// The first three steps of every set-up: STAT = 1.0, the ties, the bounds.
// Returns false, with STAT = -1e18 and st.rejection naming the parameter,
// when an estimated parameter is on or outside its bounds; the model tables
// are then left as they were.  Reads and writes as apply_ties and
// first_out_of_bounds, and writes rejection.
bool accept_parameters(ModelState& st, double& STAT);

// Linkage equilibrium: HFREQ(h) = X(1) * X(6+h) for h = 1..5,
// (1 - X(1)) * X(1+h) for h = 6..10.  Reads X.
void haplotype_frequencies(const ModelState& st, HaplotypeFrequencies& HFREQ);

// Hardy-Weinberg: GFREQ cleared, then HFREQ(i) * HFREQ(j) added to the
// genotype {i, j} for i = 1..10 (outer), j = 1..10.  Writes GFREQ.
void genotype_frequencies(ModelState& st, const HaplotypeFrequencies& HFREQ);

// MAJGEN and MRKGEN of every genotype.  Writes MAJGEN, MRKGEN.
void classify_genotypes(ModelState& st);

// Warns " Sum_p.ne.1" with the sum of GFREQ(1..55), and pauses, when the sum
// exceeds 1 by more than `tolerance` (a shortfall passes).  Reads GFREQ.
void check_genotype_frequencies(const ModelState& st, Console& con, double tolerance);

// HTRANS(k, h): probability that a parent of genotype k transmits haplotype
// h, at recombination fraction theta = X(5).  Reads X; writes HTRANS.
void build_HTRANS(ModelState& st);

// CTRANS(c, b, a): probability that a child of parents a and b has genotype
// c, from HTRANS.  Warns " Sum_bbb.ne.1" a b, and pauses, for each parental
// pair whose child probabilities exceed 1 by more than 1e-10.
// Reads HTRANS; writes CTRANS.
void build_CTRANS(ModelState& st, Console& con);

// The warning of a parental pair (a, b) whose child genotype probabilities
// sum to more than 1 + 1e-10: " Sum_bbb.ne.1" with a and b, then a pause.
void warn_child_sum(Console& con, int a, int b);

// GMEAN(1..3) = X(2..4), SIGMA = sqrt(X(6)).  Reads X; writes GMEAN, SIGMA.
void trait_distribution(ModelState& st);

}  // namespace mglink
