// The trait densities the fast evaluation keeps from one evaluation to the
// next (see fast_peel.hpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/large_pages.hpp"
#include "core/model_state.hpp"

namespace mglink {

// A table of n values of T in memory the store owns (see DensityStore).
template <class T>
struct StoreTable {
  T* p = nullptr;
  std::size_t n = 0;
  T* data() { return p; }
  const T* data() const { return p; }
  std::size_t size() const { return n; }
  T& operator[](std::size_t i) { return p[i]; }
  const T& operator[](std::size_t i) const { return p[i]; }
};

// The densities FEN of each individual, one per major-locus genotype, kept
// from one evaluation to the next, and what sets the weights of the genotype
// slots from them.  The densities of a major-locus genotype g change only
// when its mean GMEAN(g) or SIGMA moves: each such move opens a new epoch
// for g.  A family's densities of g are all computed together, so a family
// records the epoch it last computed them in, and a kept value is used only
// within that epoch (any value computed again gives the same bits, so
// keeping is exact).  The trait values, marker codes and genotype lists
// change only when the family data are read and the full set-up rebuilds
// the lists, so everything is found afresh at every full set-up.  Shared by
// the threads: each family touches only its own entries.
struct DensityStore {
  // The densities, where the weights of the slots find them: first, for
  // each family f, the block of its members whose trait value is known,
  // trait_begin[f] .. trait_begin[f+1]-1 (n of them, in member order), at
  // 3 trait_begin[f]: the densities of major-locus genotype g at
  // (g - 1) n .. (g - 1) n + n - 1 of the block, so that the densities of
  // one genotype are formed and stored in a straight run; then 0 (at zero_at:
  // a genotype that fails its individual's marker test, none after the
  // enumeration, but FEN would say 0), 1 (at one_at: every genotype of an
  // individual whose trait is skipped), and three per individual whose
  // trait value is missing (FEN, which is 1 whatever the parameters).
  StoreTable<double> fen;
  int32 zero_at = 0, one_at = 0;
  // Per genotype slot s (global number): where its density is in fen; and
  // its genotype when its individual's weight is density times genotype
  // frequency, 0 for a child's (density only, MASSIX's order).
  StoreTable<int32> slot_fen;
  StoreTable<std::uint8_t> slot_freq;
  // The trait values of each family's block.
  std::vector<int32> trait_begin;  // families 1..NFAM+1
  StoreTable<double> trait_y;
  // Per family and major-locus genotype g: the epoch its densities of g
  // were computed in (0: none), at 3 f + g - 1.
  std::vector<std::uint32_t> family_epoch;

  std::uint32_t epoch[3] = {0, 0, 0};  // the current epoch of each major-locus genotype
  std::uint64_t mean[3] = {0, 0, 0}, sigma = 0;  // bits of the GMEAN and SIGMA of the current epochs
  std::uint32_t last = 0;            // the last epoch opened
  // The genotype frequencies of the evaluation, freq[g] = GFREQ(g), and
  // freq[0] = 1: a child's weight is its density, d * 1 = d.
  double freq[N_GEN + 1] = {};

  // The IDONE flag MASSIX leaves for individual k (global), fixed for a
  // pass.
  std::vector<std::uint8_t> idone;

  // Forgets every density and finds the slots' places and factors and the
  // individuals whose densities move.  The densities of an individual whose
  // trait value is missing are 1 whatever the parameters: they are found
  // here, once for the pass.  Reads FAMOFF, NFAM, NUCOFF, MEMOFF, MEMBER,
  // IGOFF, LGEN, TRAIT, MARKER, MAJGEN, MRKGEN, GMEAN, SIGMA.
  void clear(const ModelState& st);
  // Before an evaluation: a new epoch for each major-locus genotype whose
  // mean or SIGMA moved, and the genotype frequencies.  Reads GMEAN, SIGMA,
  // GFREQ.
  void advance(const ModelState& st);

 private:
  // MASSIX's roles: child[k] = 1 for an individual whose weight is its
  // density alone; sets idone.
  void find_roles(const ModelState& st, std::uint8_t* child);
  // Places the tables of a pass, for nind individuals and nslots slots, in
  // tables_ (mapped anew only when it is too small).
  void place_tables(int32 nind, int32 nslots);
  // The tables' places from address `base` (0: only their size is wanted);
  // returns the bytes they take.
  std::size_t carve_tables(std::uintptr_t base, int32 nind, int32 nslots);

  // The tables above, and the work tables of clear (block, child), in one
  // stretch of memory, with 2 MiB pages asked for when it is large: on a study of some 24,000
  // individuals they are about 1.3 MB, whose first writes page by page (some
  // 9 us each on a virtual machine) took most of the time of clear.
  LargeDoubles tables_;
  StoreTable<int32> block_;
  StoreTable<std::uint8_t> child_;
};

}  // namespace mglink
