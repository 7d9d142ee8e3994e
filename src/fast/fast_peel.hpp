// The log-likelihood of one family, computed as MASSIX then MMPFAM compute
// it, bit for bit, but without the terms that are zero and without repeated
// work, in a weight buffer of its own (so that families can be computed on
// several threads at once).
//
// What it leaves out, and why the result does not change:
// - a child sum C(h; b, a) of a child with many slots meets only the child
//   genotypes c that parents a and b can have (the transmission cache lists
//   them, at most 16 of 55); the other terms are 0 times a finite weight;
//   in the folds over the possible partner genotypes it also passes over
//   the child genotypes whose weight is 0 (a finite CTRANS entry times 0),
//   so a child whose genotypes are narrowed by an earlier fold rules out
//   more partners;
// - a term of a connector's sum W(u) with a zero weight, or with a product of
//   child sums that is zero, is itself zero: in particular every partner
//   genotype with which some child cannot be born is passed over;
// - with the first child as connector, the product Q(v, x) over the other
//   children does not depend on the connector's slot: it is computed once
//   per pair of parental slots, and each term is added to the sum W(u) of
//   every connector slot it reaches, each W(u) still taking its terms in the
//   order (v, then x) of the literal loops;
// - the product over the children for the parental genotypes (a, b) is the
//   product for (b, a), bit for bit (CTRANS is symmetric in the parents to
//   the bit): in the folds over the possible partner genotypes it is formed
//   once and taken for the other;
// - the density of a member depends on its genotype only through the
//   major-locus genotype: FEN is called once per major-locus genotype, and
//   its value is kept for the next evaluations of the pass (DensityStore).
// Adding a zero (of either sign) to a sum that starts at +0 never changes it,
// and every sum and product that is computed keeps its operands and order
// (independent products may be formed side by side).
// This holds as long as no intermediate value of the literal computation
// overflows: before each nuclear family the weights of its members are
// checked against a bound that rules this out (and rules out weights that
// are not finite).  A family that fails the check, or whose layout the fast
// peeling does not take, is left to the literal routines.
#pragma once

#include <cstdint>
#include <vector>

#include "core/cache_lines.hpp"
#include "core/large_pages.hpp"
#include "core/model_state.hpp"
#include "fast/density_store.hpp"
#include "fast/fast_transmission.hpp"

namespace mglink {

// The genotype slots a typed individual keeps at most: 3 when its marker
// genotype is homozygous (the major-locus genotypes), 4 when heterozygous
// (1/1, 2/2 and the two phases of 1/2).
inline constexpr int32 TYPED_SLOTS = 4;

// Working store of one thread.  Grows to the largest family met and is then
// reused: nothing is allocated per evaluation.  Its buffers share no cache
// line with another thread's (LineVector).
struct alignas(CACHE_LINE_PAIR) PeelScratch {  // a cache line pair apart from the next thread's
  LineVector<double> w;           // weights of the family's slots, w[s - base], s global
  LineVector<int32> mark;         // distinct-entry check of a nuclear family
  struct Kid {                    // a child of the nuclear family being folded
    int32 first, n;               // its first slot (global number), its number of slots
    const double* w;              // the weights of its slots
    const int32* t;               // the genotypes of its slots
    std::uint64_t mask;           // its genotypes, bit g-1 for genotype g
    std::uint8_t rank[N_GEN];     // slot of genotype g: first + rank[g-1], where in mask
  };
  LineVector<Kid> kids;
  Kid spouse, connector;          // the other parent, the connector (a first child)
  LineVector<double> acc;         // sums W(u) of the connector's slots
  LineVector<double> pkept;       // the product of (a, b), 55 x 55, at genotype_pair(a, b)
  LineVector<std::uint64_t> formed;  // per genotype a, the b whose product of (b, a) is kept
  LineVector<double> wgen;        // weights of a parent's slots by genotype
  LineVector<double> logs;        // a family's rescaling sums, then their logarithms
  // The CTRANS the thread reads: null for the state's own; else a copy
  // (ctrans_copy, kept by TransmissionCache::refresh at ctrans_epoch), so
  // that a thread other than the one that rebuilt the state's table after a
  // move of theta does not fetch its rows from that thread's cache.
  const double* ctrans = nullptr;
  LargeDoubles ctrans_copy;
  std::uint64_t ctrans_epoch = 0;
  // Makes room for a family of `slots` slots, `members` members and
  // `nuclear` nuclear families whose largest nuclear family has `entries`
  // entries.
  void reserve(int32 slots, int32 members, int32 entries, int32 nuclear);
};

// The layout of family f as the fast peeling needs it (see fast_peel.cpp):
// the number of entries of its largest nuclear family, or -1 when the family
// must be left to the literal routines.  The layout is fixed for a pass, so
// this is asked once per pass.  Reads FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN;
// uses sc.mark.
int32 fast_layout(const ModelState& st, int32 f, PeelScratch& sc);

// Family f, whose layout fast_layout took (max_entries is its answer):
// FLOGL as MMPFAM returns it after MASSIX, and the weights MASSIX and
// MMPFAM leave, in `sc` (the IDONE flags MASSIX leaves are dens.idone).
// Returns false (FLOGL then undefined) when the family must be computed by
// the literal routines.
// Reads FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN, IGOFF, LGEN, GMEAN, SIGMA,
// CTRANS (or sc.ctrans, a copy of it) and the cache's lists; the trait values, the marker tests and the
// genotype frequencies come from `dens` (DensityStore::clear and advance),
// which serves and keeps the densities.  Only the family's own individuals' entries
// are touched, so families may run on several threads at once.
bool fast_family(const ModelState& st, const TransmissionCache& tc, int32 f, int32 max_entries,
                 PeelScratch& sc, DensityStore& dens, double& FLOGL);

// The instruction sets the peeling is compiled for: fast_family runs the
// AVX2 kernel (AVX2 with BMI1 and BMI2) when the processor has them, else
// the generic one; both give the
// same bits (the tests compare each with the literal routines).
enum class PeelKernel { Generic, AVX2 };
bool peel_kernel_available(PeelKernel k);
PeelKernel peel_kernel();
void set_peel_kernel(PeelKernel k);  // ignored when the processor lacks k

}  // namespace mglink
