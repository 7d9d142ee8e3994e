// Individual densities: the starting weight of every slot of one family.
#pragma once

#include "core/model_state.hpp"

namespace mglink {

// Trait values at or below this are unknown (density factor 1).
inline constexpr double TRAIT_MISSING = -998.0;
// Trait values at or below this are not passed to FEN at all.
inline constexpr double TRAIT_SKIPPED = -10000000.0;

// Trait density factor of individual I (global number) under genotype J:
// 0 when I is typed with another marker genotype than J's, 1 when the trait
// is unknown, else exp(-z*z/2)/SIGMA with z = (GMEAN(MAJGEN(J)) - y)/SIGMA
// (no 1/sqrt(2 pi)).  Reads TRAIT, MARKER, MAJGEN, MRKGEN, GMEAN, SIGMA.
double FEN(const ModelState& st, int32 I, int32 J);

// Starting weights of family IFAM in XX(1..n), n = its number of slots:
// the trait density alone for a member who is a child in some nuclear family
// of the family, genotype frequency times density for every other member.
// Reads FAMOFF, NUCOFF, MEMOFF, MEMBER, TRAIT, IGOFF, LGEN, GFREQ and what FEN
// reads; works in IDONE; writes XX.
void MASSIX(ModelState& st, int32 IFAM);

}  // namespace mglink
