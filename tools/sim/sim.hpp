// mglink-sim: a deterministic simulator of family studies for mglink.
//
// It draws pedigrees of several shapes, drops the genes of a two-allele major
// locus and a five-allele marker through them, draws a normal trait from the
// major-locus genotype, and writes a complete run directory.  Every random
// number comes from the generator below and every real computation is plain
// IEEE arithmetic (the logarithm is computed here, not by the C library), so
// the same options give the same bytes on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/family_layout.hpp"

namespace mglink::sim {

// xoshiro256** seeded through splitmix64.
class Rng {
 public:
  explicit Rng(std::uint64_t seed);
  std::uint64_t next();
  double uniform();              // in [0, 1), a multiple of 2^-53
  int below(int n);              // uniform in 0 .. n-1, n >= 1, without bias
  int between(int lo, int hi);   // uniform in lo .. hi
  bool chance(double p) { return uniform() < p; }
  double normal();               // standard normal deviate (polar Box-Muller)

 private:
  std::uint64_t s_[4];
};

// Natural logarithm of a positive finite double from a fixed series in
// basic arithmetic only; about 1e-16 relative accuracy, identical everywhere.
double portable_log(double x);

// One haplotype: major-locus allele (1, 2) and marker allele (1 .. 5).
struct Haplotype {
  int major = 1;
  int marker = 1;
};

struct Person {
  int father = 0;  // number within the family, 0 for a founder
  int mother = 0;
  int sex = 1;     // 1 male, 2 female
  bool grandparent = false;  // founder of the oldest generation: never typed
  Haplotype hap[2];          // from the father, from the mother
  bool typed = true;
  bool trait_known = true;
  long trait_hundredths = 0;  // trait value in units of 0.01
};

// A nuclear family: parent 1, parent 2, then the children, as numbers within
// the family; connector 0 or one of the parents or the first child.
struct Nuclear {
  std::vector<int> members;
  int connector = 0;
};

struct Family {
  std::vector<Person> people;  // people[m - 1] is member m
  std::vector<Nuclear> nucs;   // in peeling order
  Person& member(int m) { return people[static_cast<std::size_t>(m - 1)]; }
  const Person& member(int m) const { return people[static_cast<std::size_t>(m - 1)]; }
};

enum class Shape {
  nuclear,    // two parents and 2-5 children
  three_gen,  // untyped grandparents, their children, one of them married with children
  spouses,    // one parent with two or three spouses, children with each
  deep,       // three generations with a child of the grandparents married several times
  large,      // big three-generation pedigrees (about 40 members) for the capacity data
  mix,        // nuclear, three-gen, spouses and deep families mixed
};

struct Model {
  double p = 0.4;                    // frequency of major allele 1
  double mean[3] = {85, 100, 115};   // trait means of major genotypes 1 (1/1), 2 (1/2), 3 (2/2)
  double variance = 25;              // trait variance within a major genotype
  double theta = 0.05;               // recombination fraction
  double marker_freq[5] = {0.3, 0.25, 0.2, 0.15, 0.1};
};

struct Settings {
  std::uint64_t seed = 1;
  int families = 40;
  Shape shape = Shape::mix;
  double typed = 0.85;    // fraction of members (grandparents aside) typed at the marker
  double missing = 0.1;   // fraction of trait values missing
  bool untyped_grandparents = true;  // founders of the oldest generation left untyped
  long slot_target = 0;   // > 0: trim and untype leaves so the genotype slots come near this
  Model model;
};

// Builds the members and nuclear families of one family of the given shape
// (not mix), genes not yet dropped.
Family build_family(Shape shape, Rng& rng);

// Pedigrees with a loop, for the study of many markers.
enum class Loop {
  first_cousins,         // two sibs each marry in; a child of each marries the other, with children
  double_first_cousins,  // two brothers married to two sisters; a child of each couple mate, with children
  multiple_marriages,    // a man with children by two sisters (a marriage loop)
};

// Builds the members of one family with a loop of the given kind, genes not
// yet dropped: parents come before their children, and the founders of the
// oldest generation are marked as grandparents (never typed).  A loop cannot
// be peeled as a chain of nuclear families onto connectors, so nucs stays
// empty: such a family goes to the pedigree files only, not to IWAY.DAT.
Family build_looped_family(Loop kind, Rng& rng);

// The families' nuclear families as IWAY.DAT lays them out.
FamilyLayout layout_of(const std::vector<Family>& fams);

// The layout rules the family likelihood relies on (a complete layout,
// data/family_layout.hpp, whose children are children of their parents); ""
// when all hold, else a description of the first broken rule.
std::string check_layout(const Family& fam);

// Draws founders' haplotypes and drops genes to the children.
void drop_genes(Family& fam, const Model& model, Rng& rng);

// Marker typing, missing traits and trait values.
void observe(Family& fam, const Settings& s, Rng& rng);

// The marker genotype code 0 .. 15 of a person (0 untyped).
int marker_code(const Person& p);
// Genotype slots the person can keep at most: 55 untyped, 3 homozygous, 4 heterozygous.
int slot_bound(const Person& p);
// The sum of slot_bound over a family's people.
long family_slots(const Family& f);
// Whether member m (1-based) is someone's parent in the family.
bool is_parent(const Family& f, int m);

// A whole study.
std::vector<Family> simulate(const Settings& s);

// Writes IWAY.DAT, trait.dat, marker.dat, task.inp, maxpar.inp, par.inp and
// pedigree.pre into dir (created if missing).  Returns "" or an error text.
std::string write_run(const std::vector<Family>& fams, const Settings& s, const std::string& dir);

}  // namespace mglink::sim
