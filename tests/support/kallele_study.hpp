// Test support for the K-allele likelihood: a marker of K alleles dropped
// through random families, and the likelihood of a family by brute force.
//
// The brute force sums over every joint two-locus genotype of the members
// that appear in some nuclear family (members in none contribute nothing),
// built from the genetic definitions alone: haplotypes (major allele 1 or 2,
// marker allele 1..K), unordered haplotype pairs, Hardy-Weinberg
// frequencies for a member who is nobody's child, for a child the
// probability of its genotype from each parent's haplotype transmission
// (own haplotypes (1-theta)/2 each, recombinants theta/2 each), the trait
// density exp(-z*z/2)/sigma of every member (1 for a trait at or below
// -998), and 0 for a genotype whose marker alleles differ from a typed
// member's.  Nothing of the evaluator (classes, elimination, slots) is used.
#pragma once

#include <vector>

#include "pedigree_likelihood/study.hpp"
#include "support/pedigree.hpp"
#include "support/random_pedigree.hpp"

namespace mglink::test {

// K allele frequencies, each at least 0.02, summing to 1 within rounding.
std::vector<double> random_allele_frequencies(Random& rng, int K);

// A marker of K alleles for `families` (in load order): founders draw
// alleles from the frequencies, children one allele from each parent;
// a member is untyped with probability `untyped`, then more members are
// typed until the brute force's assignments stay below `max_assignments`;
// with probability `wrong` one typed member gets a random genotype.
pedlik::Marker random_marker(Random& rng, const std::vector<Family>& families, int K,
                              double untyped, long max_assignments, double wrong = 0.03);

// Likelihood (not its log) of family f (0-based) at X(1..6).
double kallele_brute_force(const pedlik::Pedigree& ped, const pedlik::Marker& marker,
                           std::size_t f, const pedlik::Parameters& x);

// The same sum for family f with the members' parents given (index m-1,
// {0, 0} for a founder) and only the members with counted[m-1] set taking
// part; a counted member's parents must be counted too, and nobody may be
// his or her own ancestor.
double pedigree_brute_force(const pedlik::Pedigree& ped, const pedlik::Marker& marker,
                            std::size_t f, const pedlik::Parameters& x,
                            const std::vector<std::array<int, 2>>& parents,
                            const std::vector<char>& counted);

}  // namespace mglink::test
