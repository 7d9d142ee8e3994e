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

// A family is given in one of two forms.
// - With a peeling plan (`nuclear` not empty): the nuclear families in
//   mglink's peeling order with their connectors, as a run directory's
//   IWAY.DAT lays out a pedigree without loops.  It is peeled in that order,
//   and members in no nuclear family contribute nothing, as in mglink.
// - As a graph (`nuclear` empty): each member's parents.  Any pedigree graph
//   is allowed (marriage and consanguinity loops, several marriages, a child
//   of relatives); the likelihood is summed out by variable elimination over
//   the members' genotypes (graph_elimination.hpp), and every member
//   contributes, a member without parents or children through the trait
//   alone.
// `parents` may also be given with a plan; it is then not used for the
// likelihood.
struct Family {
  int size = 0;                        // members, numbered 1..size
  std::vector<NuclearFamily> nuclear;  // the peeling plan, in peeling order
  // Per member (index m-1): father and mother as member numbers, {0, 0} for
  // a founder.  For a family with a plan it may be left empty.
  std::vector<std::array<int, 2>> parents;

  bool has_plan() const { return !nuclear.empty(); }
};

// The parents of every member of `fam` (index m-1): `parents` when given,
// else the parents of the nuclear families of the plan (a member who is a
// child in none is a founder).
std::vector<std::array<int, 2>> parents_of(const Family& fam);

// The sibships of `fam`: parent 1, parent 2, then their children, one entry
// per pair of parents with children (in order of the first child), as the
// genotype elimination sweeps them.  With a plan these are the nuclear
// families of the plan that have children.
std::vector<NuclearFamily> sibships_of(const Family& fam);

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
