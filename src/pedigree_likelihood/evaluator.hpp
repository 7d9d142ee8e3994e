// The log-likelihood of a study with a marker of K alleles: the model of
// mglink (a major gene of two alleles acting on a normal trait, Hardy-Weinberg
// founders, recombination fraction theta to the marker) with the marker's
// alleles numbered 1..K instead of five.
//
// A family with a peeling plan (study.hpp) is peeled exactly as mglink peels
// it: nuclear family after
// nuclear family in the listed order, each folded onto its connector (a
// parent, or the first child; parent 1 of a root), the connector's weights
// rescaled after every fold and the logarithms of the scale factors summed;
// members in no nuclear family contribute nothing.  The starting weights are
// mglink's too: a member who is a child in some nuclear family gets the trait
// density of its genotype, every other member genotype frequency times
// density; a trait at or below -998 has density factor 1.
//
// A child's probability given its parents is never tabulated per triple of
// genotypes: each parent transmits one of at most four haplotypes (its own
// two with (1 - theta)/2 each and the two recombinants with theta/2 each when
// it is heterozygous at both loci, else its haplotypes with 1/2 each or its
// one haplotype), and the child's weights are looked up by the ordered pair
// of transmitted haplotypes.  The sums run over the slots the family table
// lists (family_table.hpp: recoded classes, eliminated genotypes), skipping
// terms whose weight is zero.
//
// A family given as a graph (any pedigree, loops included) is summed out by
// variable elimination over its members' genotypes (graph_elimination.hpp),
// from the same starting weights (genotype frequency times density for a
// member without parents, density for everyone else) and transmissions.
//
// The tables are built once, at construction, for the given marker; an
// evaluation allocates nothing once the scratch has grown to the largest
// family.  One evaluator serves one thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "pedigree_likelihood/family_table.hpp"
#include "pedigree_likelihood/graph_elimination.hpp"
#include "pedigree_likelihood/study.hpp"

namespace mglink::pedlik {

struct EvaluatorOptions {
  bool recode = true;  // false keeps one class per allele (for the tests of the recoding)
  // A family given as a graph whose elimination costs more terms than this
  // (EliminationPlan::cost) is left out: it contributes nothing, and
  // left_out() names it; so is one whose plan was abandoned (cost infinity).
  double max_family_cost = std::numeric_limits<double>::infinity();
  std::uint64_t order_seed = 0;  // the elimination order (graph_elimination.hpp)
  int couple_way = -1;           // for tests: every couple step taken, made this way (graph_elimination.hpp)
};

class Evaluator {
 public:
  // Throws std::invalid_argument when check_study finds a fault.
  Evaluator(const Pedigree& ped, const Marker& marker, bool recode = true);
  Evaluator(const Pedigree& ped, const Marker& marker, const EvaluatorOptions& options);

  // The natural logarithm of the likelihood of family f (0-based) at x;
  // minus infinity when the family has likelihood zero; 0 for a family left
  // out.  A family with a plan is peeled by it, one given as a graph summed
  // out by elimination (graph_elimination.hpp).
  double family_log_likelihood(std::size_t f, const Parameters& x);

  struct Total {
    double lh = 0.0;        // sum of the family values, in family order
    int bad_family = 0;     // 1-based: the first family whose value is not finite; 0 = none
    double bad_value = 0.0; // and its value (lh is then not meaningful)
  };
  // All families in order; stops at the first family whose log-likelihood
  // is not finite.
  Total log_likelihood(const Parameters& x);

  std::size_t families() const { return tables_.size(); }
  // The estimated cost of family f (terms of one evaluation by elimination;
  // 0 for a family peeled by its plan).
  double family_cost(std::size_t f) const { return plans_[f].cost; }
  // Family f is beyond the cost limit and left out.
  bool left_out(std::size_t f) const { return left_out_[f] != 0; }
  const FamilyTable& table(std::size_t f) const { return tables_[f]; }
  // Slots over all families (the size of one evaluation's work).
  long slots() const;

 private:
  struct Scratch {
    std::vector<double> w;      // slot weights of the family being peeled
    std::vector<double> kid;    // child weight matrices, H x H each, zero between folds
    std::vector<double> va;     // per child, a parent slot's transmissions against it
    std::vector<double> acc;    // H x H sums of a fold onto the first child
    std::vector<double> hf;     // haplotype frequencies
    std::vector<std::uint8_t> ys;    // haplotypes the other parent can transmit
    std::vector<std::uint8_t> seen;  // which are listed there
  };
  void starting_weights(std::size_t f, const Parameters& x);
  void fold_onto_parent(const FamilyTable& t, const NuclearFamily& nf, int c, int o);
  void fold_onto_child(const FamilyTable& t, const NuclearFamily& nf);
  std::size_t transmitted(const FamilyTable& t, int m);
  void load_children(const FamilyTable& t, const NuclearFamily& nf, std::size_t from);
  void clear_children(const FamilyTable& t, const NuclearFamily& nf, std::size_t from);

  std::vector<Family> families_;
  std::vector<FamilyTable> tables_;
  std::vector<EliminationPlan> plans_;   // families given as graphs (empty plan otherwise)
  std::vector<char> left_out_;
  // Every member's three trait densities, family after family (from
  // dens_first_[f]), valid for family f at the means and variance dens_at_[f].
  std::vector<double> dens_;
  std::vector<long> dens_first_;
  std::vector<std::array<double, 4>> dens_at_;
  std::vector<char> dens_valid_;
  EliminationScratch elim_;
  double tp_[4] = {1.0, 0.5, 0.5, 0.0};  // probability of each transmission kind
  Scratch sc_;
};

}  // namespace mglink::pedlik
