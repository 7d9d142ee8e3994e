// Random pedigree tables without loops, for the tests of mglink-prep.
//
// Each family grows from a founder couple (or a single individual): again
// and again someone of the family gets a new spouse from outside (a founder)
// and one to three children with that spouse.  This gives every shape of a
// pedigree without loops: nuclear families, three and more generations,
// several spouses, half-sibs; some families also get individuals with no
// relative in the family.  Marker alleles are dropped from the founders to
// the children, so the table follows Mendel's laws; then some individuals
// are left untyped and some traits missing.
#pragma once

#include <cstdint>
#include <string>

namespace mglink::prep::gen {

struct RandomTableOptions {
  int families = 3;
  int max_spouse_steps = 4;   // matings added after the first
  int marker_alleles = 5;     // alleles used by the founders (1..5)
  double untyped = 0.3;       // share of individuals left untyped
  double trait_missing = 0.2; // share of traits missing
  double loner = 0.2;         // chance that a family gets an unrelated individual
};

// The table text (LINKAGE pre-pedigree layout, one line per individual, in
// an order where parents do not always come before their children).
std::string random_table(std::uint64_t seed, const RandomTableOptions& opt = {});

}  // namespace mglink::prep::gen
