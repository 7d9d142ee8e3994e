// The trait densities the fast evaluation keeps from one evaluation to the
// next (see fast_peel.hpp).
#pragma once

#include <cstdint>
#include <vector>

#include "core/model_state.hpp"

namespace mglink {

// The densities FEN of each individual, one per major-locus genotype, kept
// from one evaluation to the next.  The densities of a major-locus genotype
// g change only when its mean GMEAN(g) or SIGMA moves: each such move opens
// a new epoch for g, and a kept value is used only within the epoch it was
// computed in (any value computed again gives the same bits, so keeping is
// exact).  The trait values, marker codes and genotype lists change only
// when the family data are read and the full set-up rebuilds the lists, so
// everything is found afresh at every full set-up.  Shared by the threads:
// each family touches only its own individuals' entries.
struct DensityStore {
  struct Kept {
    double fen[3];          // FEN per major-locus genotype
    std::uint32_t epoch[3];  // the epoch each was computed in (0: none)
    std::uint8_t met;       // major-locus genotypes met among the slots passing the marker test (bit mg-1)
    std::uint8_t rep[3];    // a genotype of each met
  };
  std::vector<Kept> kept;            // per individual, 1-based
  std::vector<std::int8_t> slot_mg;  // per genotype slot (global number): MAJGEN - 1 of its genotype,
                                     // or 3 when it fails its individual's marker test
  std::uint32_t epoch[3] = {0, 0, 0};  // the current epoch of each major-locus genotype
  std::uint64_t mean[3] = {0, 0, 0}, sigma = 0;  // bits of the GMEAN and SIGMA of the current epochs
  std::uint32_t last = 0;            // the last epoch opened

  // The order in which MASSIX sets the members' weights, fixed for a pass:
  // role[role_begin[f] .. role_begin[f+1]-1] are the members of family f,
  // +e for a child (density only), -e for anyone else (density times
  // genotype frequency); idone[k] (k global) is the IDONE flag MASSIX
  // leaves for individual k.
  std::vector<int32> role;
  std::vector<int32> role_begin;  // families 1..NFAM+1
  std::vector<std::uint8_t> idone;

  // Forgets every density and finds met, rep and slot_mg for the genotype
  // lists of the pass, and the order of the weights.  The densities of an
  // individual whose trait value is missing are 1 whatever the parameters:
  // they are found here, once for the pass.  Reads FAMOFF, NFAM, NUCOFF,
  // MEMOFF, MEMBER, IGOFF, LGEN, TRAIT, MARKER, MAJGEN, MRKGEN, GMEAN,
  // SIGMA.
  void clear(const ModelState& st);
  // Before an evaluation: a new epoch for each major-locus genotype whose
  // mean or SIGMA moved.  Reads GMEAN, SIGMA.
  void advance(const ModelState& st);

 private:
  void find_roles(const ModelState& st);
};

}  // namespace mglink
