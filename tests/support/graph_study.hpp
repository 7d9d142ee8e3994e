// Test support for families given as pedigree graphs (each member's
// parents, loops allowed): a table of named pedigree shapes, most of them
// with marriage or consanguinity loops, random numberings of them, a marker
// and trait values dropped through any family, and the likelihood of a graph
// family by brute force.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "pedigree_likelihood/study.hpp"
#include "support/random_pedigree.hpp"

namespace mglink::test {

// A pedigree shape: per member (index k-1 for member k of the shape) its
// father and mother, {0, 0} for a founder.
struct GraphShape {
  const char* name;
  bool looped;
  std::vector<std::array<int, 2>> parents;
};

// The named shapes: first-cousin mating, double first cousins, two loops
// sharing a person, a half-sib mating, a child of a parent and its
// offspring, a man with children by two sisters (all with loops), and a
// loop-free extended family with a member who has neither parents nor
// children.
const std::vector<GraphShape>& graph_shapes();

// The shape as a graph family: members numbered in random order (a child
// may come before its parents) and, couple by couple, the two parents
// listed in a random but fixed order.
pedlik::Family graph_family(Random& rng, const GraphShape& shape);

// The same family without its peeling plan: the parents of the plan's
// nuclear families as each member's parents (a member who is a child in
// none is a founder), `nuclear` cleared.
pedlik::Family as_graph(const pedlik::Family& planned);

struct GraphHiding {
  double untyped = 0.4;         // a member's marker is 0/0
  double no_trait = 0.2;        // trait -999, -998 or -1e7 (no density factor)
  double wrong = 0.05;          // per family: one typed member gets a random genotype
  long max_assignments = 20000; // bound on the brute force's joint genotypes (roughly)
};

// Trait values (ped.trait, replaced) and a marker of K alleles for the
// families of `ped` in either form: marker alleles dropped from founders
// (random frequencies) to children by Mendel's law, major genotypes the
// same way, a trait drawn around the major genotype's mean; then hidden as
// `hiding` says, and more members typed until the brute force stays small.
pedlik::Marker drop_graph_marker(Random& rng, pedlik::Pedigree& ped, int K,
                                 const GraphHiding& hiding = {});

// Likelihood (not its log) of graph family f (0-based) at X(1..6): the sum
// over every joint two-locus genotype of all its members, every member
// counted (a founder with Hardy-Weinberg frequency times density, anyone
// else with the transmission from its parents times density).
double graph_brute_force(const pedlik::Pedigree& ped, const pedlik::Marker& marker,
                         std::size_t f, const pedlik::Parameters& x);

}  // namespace mglink::test
