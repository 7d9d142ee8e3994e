// Checks of a linked pedigree that mglink cannot run without: no loops, and
// marker genotypes that follow Mendel's laws.
#pragma once

#include <vector>

#include "prep/pedigree.hpp"

namespace mglink::prep {

// Marker genotype code (IMRK) of the unordered allele pair (a, b), 0 <= a, b <= 5:
// 1 .. 15 along the rows of the upper triangle; 0 when either allele is 0.
int marker_code(int a, int b);

// Adds a problem for every loop of each family (a marriage or consanguinity
// loop, or someone who is his or her own ancestor), naming the individuals
// on it.  A family is free of loops when its individuals and nuclear
// families, joined by parent and child links, form a forest.
void check_loops(const Pedigree& ped, std::vector<Problem>& problems);

// Adds a problem for every nuclear family whose typed members cannot carry
// the marker genotypes given (a child that cannot come from its parents, or
// children that no pair of parental genotypes explains), naming the nuclear
// family and its members.  A family whose nuclear families each pass is then
// checked as a whole by genotype elimination over all its nuclear families,
// which finds the inconsistencies that span generations (complete for
// pedigrees without loops).
void check_mendel(const Pedigree& ped, std::vector<Problem>& problems);

}  // namespace mglink::prep
