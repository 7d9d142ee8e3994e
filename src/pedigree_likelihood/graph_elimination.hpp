// The likelihood of a family given as a pedigree graph (study.hpp: each
// member's parents), loops and all, by variable elimination over the
// members' two-locus genotypes.
//
// The likelihood is the sum, over every joint genotype of the members, of a
// product of factors:
// - one per member over its own genotype (its slots in the family table):
//   the trait density, times the Hardy-Weinberg genotype frequency for a
//   founder;
// - one per child over (father, mother, child): the probability of the
//   child's unordered pair of haplotypes {a, b} given its parents' genotypes,
//   T_f(a) T_m(b) + T_f(b) T_m(a) (one term when a = b), T_p(h) being the
//   probability that parent p transmits haplotype h (slot.hap / slot.prob).
// The members are summed out one at a time.  Summing out member v multiplies
// every factor that holds v into one table over the other members those
// factors hold (their union) and sums it over v's slots; each new table is
// rescaled to sum 1 and the logarithms of the scale factors summed, as the
// peeling of nuclear families does.  In a pedigree without loops an order
// that starts at the leaves keeps every table to two members, as peeling
// does; a loop forces a table over the members that cut it (a cutset).
//
// A child whose only other factors do not hold its parents (a leaf of what
// is left) is summed out through its haplotypes, without a table over
// (father, mother, child): K(x, y) = the child's factors at genotype {x, y},
// then A(f, y) = sum_x T_f(x) K(x, y), then the message sum_y T_m(y) A(f, y).
//
// Leaf sibs (children whose only factors are their own and their trio) are
// summed out in one step, as a nuclear family is folded onto a parent: the
// table over the parents is the product of the sibs' messages, rescaled
// once; when one parent has no other tie (a spouse from outside), it is
// summed out in the same step, and the table is over the other parent.
//
// A couple whose factors are only their own (over one or both of them) and
// their children's transmissions from them is summed out together, again
// through haplotypes: with G(f, m) the product of the couple's own factors
// and x, y the tuples of haplotypes the k children get from father and
// mother, B(f, y) = sum_m G(f, m) prod_i T_m(y_i), D(x, y) = sum_f prod_i
// T_f(x_i) B(f, y), and the children's table adds D over the orders of
// each child's two haplotypes (or, when the children have few genotypes,
// sums prod_i T_f(x_i) B(f, y) over f for each of their genotypes and
// orders, without D; or, most often, keeps D only over the ordered pairs of
// haplotypes the children's genotypes allow: for each tuple x the father's
// slot transmits, only the y that some genotype of each child pairs with
// x_i are visited).  This is the top of most loops (the common
// ancestors of cousins who mate, the parents of two sisters married to one
// man), where summing out one parent at a time would make a table over both
// parents and every child.
//
// The order is chosen once per marker and family (plan_elimination), from
// the numbers of slots the genotype elimination leaves: greedily, the member
// whose step costs the fewest terms next (ties to the lower member number).
// Its cost, the number of terms all steps visit, is the estimate by which
// the scan leaves out families too costly to analyse.  Any order gives the
// same value up to rounding (a test compares the greedy order with random
// ones); the greedy one keeps the tables small.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "pedigree_likelihood/family_table.hpp"
#include "pedigree_likelihood/study.hpp"

namespace mglink::pedlik {

// One step: sum member `var` out of the factors `inputs` into factor
// `output`.
struct EliminationStep {
  enum class Kind : std::uint8_t { Generic, Child, Couple };
  Kind kind = Kind::Generic;
  int var = 0;                  // member summed out (1-based)
  int partner = 0;              // Couple: the other parent, summed out with var
  // Child with no other members in its table: the leaf sibs summed out with
  // var, each with its own factors; group[i] is where child i's inputs (its
  // trio, then its own factors) start in `inputs` (var is child 0).
  std::vector<int> siblings;
  std::vector<std::size_t> group;
  // Child, no other members: a parent summed out in the same step (its own
  // factors from inputs[spouse_from] on), the table then over the other.
  int spouse = 0;
  std::size_t spouse_from = 0;
  // Couple: how the children's table is made from B: through D over every
  // tuple (0), straight from B genotype by genotype (1), or through D over
  // the ordered genotypes the children have (2).
  int couple_way = 0;
  std::vector<int> inputs;      // factors consumed (dense ones; for Child, the trio first)
  int output = 0;               // table produced
  std::vector<int> scope;       // the output's members, increasing (row-major, last fastest)
  std::vector<int> all;         // Generic: scope with var inserted, increasing
  double terms = 0.0;           // its share of the cost
  // Fixed for the plan, so that an evaluation only multiplies and adds:
  // Generic: the slots of each member of `all` (dim), var's place (pv), the
  // dense inputs (Child with a spouse: the spouse's own factors; Couple: the
  // couple's) and their strides along `all` (dim.size() each), the trios'
  // places in `all` with their members' first slots; Child: dim and strides
  // along Z then var, Z's output strides, the parents' output strides; Child
  // and sibs: the haplotypes the mother can transmit.
  std::vector<long> dim;
  std::size_t pv = 0;
  std::vector<int> dense;
  std::vector<long> stride;
  std::vector<std::array<int, 6>> trio_at;
  std::vector<long> zstride;
  long father_stride = 0, mother_stride = 0;
  std::vector<std::uint8_t> ys;
  // Couple, through D over ordered genotypes: for child i (in the order of
  // the trios) and haplotype x, entries partner_at[i*H + x] ..
  // partner_at[i*H + x + 1] - 1 of partner_y (the haplotypes its genotypes
  // pair with x) and partner_ordered (the ordered genotype, 2 slot + order);
  // the strides of the ordered genotypes (ostride) and their product.
  std::vector<long> partner_at, partner_ordered, ostride;
  std::vector<int> kids;               // Couple: the children, in the order of the trios
  std::vector<std::size_t> kid_at;     // and their places in scope
  std::vector<std::uint8_t> partner_y;
  long ordered = 0;
};

// A factor of the plan: a member's own (ids 0..n-1, member id+1), a child's
// transmission (ids n.., `trio` set), or a table a step produced.
struct PlanFactor {
  std::vector<int> scope;       // members, increasing
  bool trio = false;
  int father = 0, mother = 0, child = 0;
  long offset = 0;              // a table's place in the working store
  long size = 0;                // its entries
};

struct EliminationPlan {
  int members = 0;
  std::vector<PlanFactor> factors;
  std::vector<EliminationStep> steps;
  long store = 0;               // entries of the working store (all tables)
  std::vector<int> parents;     // the members who are a parent (their transmissions are tabulated)
  double cost = 0.0;            // terms visited by one evaluation
  double largest = 0.0;         // entries of the largest table
};

// A plan is abandoned, at cost infinity (no steps), once a table would hold
// more entries than MAX_TABLE or the terms pass MAX_COST.
inline constexpr double MAX_TABLE = 1e12;
inline constexpr double MAX_COST = 1e15;

// The order and the tables for family `fam` with table `t`.  order_seed = 0:
// the greedy order; another value: a random order drawn from it (for tests;
// it may be far costlier).
// couple_way >= 0 (for tests) takes every couple step that can be taken,
// its children's table made that way (EliminationStep::couple_way).
EliminationPlan plan_elimination(const Family& fam, const FamilyTable& t,
                                 std::uint64_t order_seed = 0, int couple_way = -1);

// Working memory of eliminate(), reused between calls.
struct EliminationScratch {
  std::vector<double> store;
  std::vector<double> k, a;          // a Child step's haplotype tables
  std::vector<double> b, d;          // a Couple step's
  std::vector<long> tuple_at, tuple_y;
  std::vector<double> tuple_p;
  std::vector<double> trans;         // per parent's slot, the probability of each haplotype it transmits
  std::vector<long> digit, off;
  std::vector<const double*> data;
};

// The natural logarithm of the family's likelihood: `w` holds every slot's
// own factor (starting weights, indexed as t.slots), `tp` the probability of
// each transmission kind (PROB_ONE .. PROB_RECOMBINANT).  Minus infinity when
// the likelihood is zero.
double eliminate(const EliminationPlan& plan, const FamilyTable& t, const double* w,
                 const double* tp, EliminationScratch& scratch);

}  // namespace mglink::pedlik
