// A family study with a marker of any number of alleles: the family structure
// exactly as mglink holds it (families, nuclear families in peeling order,
// connectors, trait values) and, per individual, an unordered pair of marker
// alleles.  Nothing here depends on the shared model state: from_state.hpp
// converts a loaded state into these records.
#pragma once

#include <array>
#include <string>
#include <vector>

namespace mglink::pedlik {

// Trait values at or below this are unknown (density factor 1) ...
inline constexpr double TRAIT_UNKNOWN = -998.0;
// ... and at or below this they are not looked at at all (no density factor).
inline constexpr double TRAIT_IGNORED = -10000000.0;

// One nuclear family: parent 1, parent 2, then the children, as numbers
// 1..size within the family; a list of one entry is a single individual.
// connector: the member its weights are folded onto (a parent, or the first
// child), 0 for a root, which collects into parent 1.
struct NuclearFamily {
  std::vector<int> members;
  int connector = 0;
};

struct Family {
  int size = 0;                        // members, numbered 1..size
  std::vector<NuclearFamily> nuclear;  // in peeling order
};

// The families and the trait value of every individual, family by family
// (member m of family f is individual first(f) + m - 1, 0-based).
struct Pedigree {
  std::vector<Family> families;
  std::vector<double> trait;

  // 0-based index of the first individual of family f (0-based).
  long first(std::size_t f) const;
  long individuals() const { return static_cast<long>(trait.size()); }
};

// A marker of K alleles, numbered 1..K, with their population frequencies,
// and each individual's unordered allele pair (0, 0 = untyped).
struct Marker {
  int K = 0;
  std::vector<double> frequency;           // frequency[a - 1] of allele a
  std::vector<std::array<int, 2>> alleles;  // per individual, as Pedigree::trait
};

// Parameters X(1..6) of the model: frequency of major allele 1, the trait
// means of major-locus genotypes 1 (two copies of allele 1), 2 and 3, the
// recombination fraction theta between major locus and marker, and the
// trait variance within a major-locus genotype.
using Parameters = std::array<double, 6>;

// Problems of a study that make it unusable, as a text naming the family
// and member (empty when the study is sound): member numbers outside the
// family, allele numbers outside 0..K or half-typed pairs, frequencies
// that are negative or do not sum to 1 (within 1e-5), fewer frequencies
// than K, or sizes that disagree.
std::string check_study(const Pedigree& ped, const Marker& marker);

}  // namespace mglink::pedlik
