// Test support: small random pedigrees of every shape the family layout
// allows, with genotypes simulated under the two-locus model and then partly
// hidden (untyped markers, unknown or skipped trait values).
//
// Everything is drawn from a Random (a fixed 64-bit generator with its own
// uniform and normal draws), so a seed gives the same families with any
// standard library.
#pragma once

#include <cstdint>
#include <random>

#include "support/pedigree.hpp"

namespace mglink::test {

class Random {
 public:
  explicit Random(std::uint64_t seed) : gen_(seed) {}
  double uniform();                      // [0, 1)
  double uniform(double lo, double hi);  // [lo, hi)
  int below(int n);                      // 0 .. n-1
  bool chance(double p) { return uniform() < p; }
  double normal();                       // standard normal

 private:
  std::mt19937_64 gen_;
};

// The shapes of a family:
enum class Shape {
  Nuclear,              // two parents, 0..3 children, root
  Single,               // one individual as a one-entry nuclear family
  ConnectorParent1,     // three generations: the lower family peeled onto its parent 1
  ConnectorParent2,     // the same, the shared individual listed as parent 2
  ConnectorFirstChild,  // the grandparents peeled onto their first child
  SeveralSpouses,       // one individual with two spouses
  SingleEntryInside,    // a one-entry nuclear family peeled onto a member of the root
  ChildlessInside,      // a childless couple peeled onto a child of the root
  TwoRoots,             // two separate parts (and maybe a lone individual) in one family
  FourGenerations,      // two first-child connectors in a row
};
inline constexpr Shape kAllShapes[] = {
    Shape::Nuclear,          Shape::Single,         Shape::ConnectorParent1,
    Shape::ConnectorParent2, Shape::ConnectorFirstChild, Shape::SeveralSpouses,
    Shape::SingleEntryInside, Shape::ChildlessInside, Shape::TwoRoots,
    Shape::FourGenerations};
const char* shape_name(Shape s);

struct HidingRates {
  double untyped = 0.35;       // marker code 0
  double unknown = 0.15;       // trait -999 or exactly -998
  double skipped = 0.05;       // trait -1e7 or below
  double wrong_marker = 0.03;  // one typed member gets a random code (often inconsistent)
  long max_assignments = 30000;  // product of the members' marker-compatible genotype counts
};

// A family of the given shape, members numbered in random order, with
// genotypes and traits simulated under `truth` (X(1..11)).
Family random_family(Random& rng, Shape shape, const ParameterVector& truth,
                     const HidingRates& rates = {});

// A parameter vector with the given theta: allele frequency in (0.05, 0.95)
// (1.0 now and then), means in (-3, 3), variance in (0.5, 4), marker allele
// frequencies that sum to 1 within rounding.
ParameterVector random_parameters(Random& rng, double theta);

}  // namespace mglink::test
