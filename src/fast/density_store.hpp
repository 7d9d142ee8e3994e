// The trait densities the fast evaluation keeps from one evaluation to the
// next (see fast_peel.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "core/model_state.hpp"

namespace mglink {

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
  // fen[4 k + g - 1] = FEN of individual k (global) for the major-locus
  // genotype g = 1..3, and fen[4 k + 3] = 0, the density of a genotype that
  // fails the individual's marker test (none does after the enumeration,
  // but FEN would say 0).  When the trait is skipped, all four are 1.
  std::vector<double> fen;
  // Per genotype slot s (global number): where its density is, 4 k +
  // MAJGEN - 1 for its individual k (4 k + 3 when it fails the marker
  // test); and its genotype when its individual's weight is density times
  // genotype frequency, 0 for a child's (density only, MASSIX's order).
  std::vector<int32> slot_fen;
  std::vector<std::uint8_t> slot_freq;
  // The individuals of family f whose densities depend on the parameters
  // (trait value known): trait_k[trait_begin[f] .. trait_begin[f+1]-1],
  // with their trait values in trait_y.
  std::vector<int32> trait_begin;  // families 1..NFAM+1
  std::vector<int32> trait_k;
  std::vector<double> trait_y;
  // Per family and major-locus genotype g: the epoch its densities of g
  // were computed in (0: none), at 3 f + g - 1.
  std::vector<std::uint32_t> family_epoch;

  std::uint32_t epoch[3] = {0, 0, 0};  // the current epoch of each major-locus genotype
  std::uint64_t mean[3] = {0, 0, 0}, sigma = 0;  // bits of the GMEAN and SIGMA of the current epochs
  std::uint32_t last = 0;            // the last epoch opened
  // The genotype frequencies of the evaluation, freq[g] = GFREQ(g), and
  // freq[0] = 1 (not used as a factor: a child's weight is its density).
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
  void find_roles(const ModelState& st, std::vector<std::uint8_t>& child);
};

}  // namespace mglink
