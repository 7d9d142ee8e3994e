// What the likelihood of one family needs that depends only on the marker:
// the family's allele classes (the recoding), and every member's possible
// two-locus genotypes after the elimination.  Built once per marker and
// family, then read by every evaluation.
//
// Numbering, within one family:
// - allele classes 0..R-1: with recoding, the alleles that some typed member
//   of the family carries, in increasing allele number, one class each, then
//   (when any allele is left) one class for all the alleles that no typed
//   member carries, with their summed frequency; without recoding, class
//   a-1 is allele a and R = K;
// - haplotypes 0..2R-1: h = (major allele - 1) * R + class, so h and h + R
//   carry the same marker class;
// - a two-locus genotype is an unordered pair of haplotypes {a, b}, a <= b
//   (the phase is part of the genotype); its major-locus genotype is 0, 1 or
//   2 copies of major allele 2.
//
// Merging the alleles nobody in the family is typed for changes no
// likelihood: the members' observations cannot tell them apart, each enters
// the sum through its frequency only, and a double heterozygote for two of
// them transmits the merged class with probability 1/2 per major allele,
// whatever theta, exactly as the sum of its four haplotypes does.
//
// The elimination works on marker genotypes (unordered class pairs), sibship
// by sibship (sibships_of: the nuclear families with children), until nothing
// changes, on any pedigree graph: a parental pair of
// genotypes is kept when every child can get from it some genotype of its
// own list; a genotype of a parent or child that belongs to no kept pair is
// removed.  Marker alleles pass from parent to child by Mendel's law whatever
// theta is, so what it removes has probability zero at every parameter
// vector.  Each remaining marker genotype {m, n} gives the two-locus
// genotypes with every choice of major alleles: 3 when m = n, 4 otherwise.
#pragma once

#include <cstdint>
#include <vector>

#include "pedigree_likelihood/study.hpp"

namespace mglink::pedlik {

// Largest number of allele classes of a family (haplotype numbers fit a byte).
inline constexpr int MAX_CLASSES = 120;

// One possible two-locus genotype of a member.
struct Slot {
  std::uint8_t a = 0, b = 0;  // haplotypes, a <= b
  std::uint8_t major = 0;     // copies of major allele 2: 0, 1, 2
  std::uint8_t nt = 0;        // haplotypes it transmits: 1, 2 or 4
  std::uint8_t hap[4] = {};   // those haplotypes
  std::uint8_t prob[4] = {};  // and their probabilities: index into Transmission::p
};

// Probability of a transmitted haplotype, by kind: PROB_ONE a homozygote's
// haplotype, PROB_HALF one of the two of a genotype with the same major allele
// or the same marker class on both, PROB_PARENTAL and PROB_RECOMBINANT the
// two own and the two recombinant haplotypes of a double heterozygote.
enum : std::uint8_t { PROB_ONE = 0, PROB_HALF = 1, PROB_PARENTAL = 2, PROB_RECOMBINANT = 3 };

// out[y] = the sum over the haplotypes x that slot s transmits of their
// probability (tp, indexed by the transmission kinds above) times
// M[x * H + y], for the ny haplotypes y listed in ys: the child's weights
// summed over what a parent's slot transmits.
inline void transmitted_against(const Slot& s, const double* tp, const double* M, std::size_t H,
                                const std::uint8_t* ys, std::size_t ny, double* out) {
  const double p0 = tp[s.prob[0]];
  const double* m0 = M + s.hap[0] * H;
  for (std::size_t i = 0; i < ny; ++i) out[ys[i]] = p0 * m0[ys[i]];
  for (int j = 1; j < s.nt; ++j) {
    const double p = tp[s.prob[j]];
    const double* mj = M + s.hap[j] * H;
    for (std::size_t i = 0; i < ny; ++i) out[ys[i]] = out[ys[i]] + p * mj[ys[i]];
  }
}

// The sum over the haplotypes x that slot s transmits of their probability
// times row[x].
inline double transmitted_sum(const Slot& s, const double* tp, const double* row) {
  double C = 0.0;
  for (int j = 0; j < s.nt; ++j) C = C + tp[s.prob[j]] * row[s.hap[j]];
  return C;
}

struct FamilyTable {
  int R = 0;                            // allele classes
  std::vector<int> class_of;            // class of allele a at class_of[a - 1]
  std::vector<double> class_frequency;  // summed population frequency of each class
  std::vector<int> slot_begin;          // member m (1-based) owns slots slot_begin[m-1] .. slot_begin[m]-1
  std::vector<Slot> slots;
  std::vector<char> founder;            // per member (index m-1): without parents (with a plan: a child in no nuclear family of 3+ entries)
  std::vector<double> trait;            // per member (index m-1)

  int haplotypes() const { return 2 * R; }
  int first(int m) const { return slot_begin[static_cast<std::size_t>(m - 1)]; }
  int last(int m) const { return slot_begin[static_cast<std::size_t>(m)]; }  // one past
};

// The table of a family whose first individual is `first` (0-based index
// into the marker's per-individual lists); recode = false keeps one class
// per allele.
FamilyTable build_family_table(const Family& fam, long first, const Marker& marker, bool recode);

// The allele classes alone (class_of, class_frequency, R).
void recode_alleles(const Family& fam, long first, const Marker& marker, bool recode,
                    FamilyTable& t);

}  // namespace mglink::pedlik
