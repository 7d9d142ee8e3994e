// The parameter update without needless work on the transmission tables.
//
// HTRANS and CTRANS depend on theta alone.  While the maximiser moves the
// other parameters, theta stays bit for bit the same, and so do both tables;
// when theta moves, only the few nonzero products of a parental pair need
// computing, since a genotype transmits at most four haplotypes.  Either way
// the tables, the warnings and the pauses are exactly those of a full
// rebuild (build_CTRANS), and everything else is built by the same routines
// as STAPAR.
//
// The cache also lists, for every parental pair (a, b), the child genotypes c
// that can have CTRANS(c, b, a) != 0: the sparse form the fast peeling walks
// instead of the 55 genotypes.  The lists depend only on which HTRANS
// entries are zero, which is the same for every theta strictly between 0
// and 1.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <vector>

#include "core/console.hpp"
#include "core/large_pages.hpp"
#include "core/model_state.hpp"

namespace mglink {

// A parental pair (a, b) of two-locus genotypes as one number,
// (a - 1) * 55 + (b - 1): the index of the pair's entries in the cache's
// tables and in the fast peeling's.
inline int genotype_pair(int a, int b) { return (a - 1) * static_cast<int>(N_GEN) + (b - 1); }

// The set of every genotype, bit g-1 for genotype g.
inline constexpr std::uint64_t EVERY_GENOTYPE = (std::uint64_t{1} << N_GEN) - 1;

// The child probabilities of parents a and b as a row: row[c] = CTRANS(c, b,
// a), c = 1..55 (CTRANS is stored c fastest, then b, then a), in a table of
// CTRANS's layout from its first entry (the state's, or a thread's copy).
inline const double* ctrans_row(const double* ctrans, int b, int a) {
  return ctrans + N_GEN * genotype_pair(a, b) - 1;
}
inline double* ctrans_row(double* ctrans, int b, int a) { return ctrans + N_GEN * genotype_pair(a, b) - 1; }
inline const double* ctrans_row(const ModelState& st, int b, int a) {
  return ctrans_row(st.TRANC.CTRANS.data(), b, a);
}
inline double* ctrans_row(ModelState& st, int b, int a) { return ctrans_row(st.TRANC.CTRANS.data(), b, a); }

class TransmissionCache {
 public:
  TransmissionCache();

  // True when the sparse lists describe CTRANS as it stands, and theta lies
  // in [0, 1] (every HTRANS entry in [0, 1], every CTRANS entry in [0, 2]).
  bool ready() const { return ready_; }
  // Forgets everything: the next update rebuilds in full.
  void invalidate() {
    ready_ = false;
    ++epoch_;
  }

  // The child genotypes c that parents a and b can have, bit c-1 for each:
  // every other child genotype has CTRANS(c, b, a) exactly 0.  (A listed one
  // may still be 0 when a product underflows.)
  std::uint64_t mask(int a, int b) const { return mask_[static_cast<std::size_t>(genotype_pair(a, b))]; }
  // The genotypes b (bit b-1) for which c is in the list of (a, b): the
  // partners with whom a parent of genotype a can have a child of genotype c.
  std::uint64_t partners(int a, int c) const {
    return partners_[static_cast<std::size_t>(genotype_pair(a, c))];
  }
  // The genotypes b (bit b-1) with which a parent of genotype a can have
  // a child at all: the union of partners(a, c) over every c.
  std::uint64_t any_partner(int a) const { return any_partner_[static_cast<std::size_t>(a - 1)]; }
  // The genotypes b (bit b-1) with which a parent of genotype a can have a
  // child of some genotype in `children` (bit c-1 for genotype c): the union
  // of partners(a, c) over those c, any_partner(a) when they are all 55.
  std::uint64_t partners_of_any(int a, std::uint64_t children) const {
    if (children == EVERY_GENOTYPE) return any_partner(a);
    std::uint64_t cover = 0;
    for (std::uint64_t m = children; m != 0; m &= m - 1) cover |= partners(a, std::countr_zero(m) + 1);
    return cover;
  }

  // partners_of_any(a, children) through the haplotypes: a child genotype
  // {h, k} can come from a and b when a transmits h and b transmits k, so
  // the partners are those that transmit some k for which {h, k} is in
  // `children` with h one of a's haplotypes.
  // - carrying(h): the genotypes {h, 1} .. {h, 10} (bit c-1 for genotype c;
  //   k increases with c), so that picking the bits of `children` at these
  //   places gives the set of k (bit k-1) for that h;
  // - carrying_transmitted(a)[i]: carrying(h) for the i-th haplotype a
  //   transmits, 0 past the last (four entries);
  // - partners_of_haplotypes(set): the genotypes (bit b-1) that transmit
  //   some haplotype of the set (bit k-1 for haplotype k).
  static std::uint64_t carrying(int h) { return carrying_[static_cast<std::size_t>(h - 1)]; }
  const std::uint64_t* carrying_transmitted(int a) const {
    return carrying_transmitted_.data() + static_cast<std::size_t>(a - 1) * 4;
  }
  std::uint64_t partners_of_haplotypes(unsigned set) const { return transmitters_[set]; }

  // CTRANS from HTRANS (just built), with the " Sum_bbb.ne.1" warnings and
  // pauses of build_CTRANS: step 9 of the update, and, with `unchanged`
  // false, the full set-up's build (from the nonzero products, or by
  // build_CTRANS itself when theta is not in [0, 1]).  `unchanged` says
  // whether HTRANS was, before this update rebuilt it, the HTRANS this cache
  // last described.  Reads X, HTRANS; writes CTRANS.
  void update(ModelState& st, Console& con, bool unchanged);

  // The changes of CTRANS counted (each rebuild or literal build):
  // a copy taken at one count is CTRANS until the next.
  std::uint64_t epoch() const { return epoch_; }
  // Brings a private copy of CTRANS (N_GEN^3 entries, CTRANS's layout),
  // taken at `copy_epoch` (0: none yet), to what CTRANS holds now, bit for
  // bit, and copy_epoch to epoch(): when it is one change behind and that
  // change formed only the pairs with a parent whose probabilities moved,
  // those pairs; else every entry.  Requires ready().  Reads only the
  // cache, so threads may each refresh a copy of their own at once.
  void refresh(LargeDoubles& copy, std::uint64_t& copy_epoch) const;

  // Whether st's HTRANS (columns 1..10) is the one this cache describes.
  bool describes(const ModelState& st) const;

  // Counts of what the updates did (for the benchmarks).
  long reuses() const { return reuses_; }
  long rebuilds() const { return rebuilds_; }

 private:
  void remember_htrans(const ModelState& st);
  // Nonzero HTRANS entries of each genotype, haplotypes increasing; true when
  // they sit where they sat at the last call.  Sets moved_.
  bool collect_haplotypes(const ModelState& st);
  // The products and masks, from the positions the nonzero products reach.
  void derive_lists();
  void warn(Console& con) const;
  // The products of every parental pair into `ctrans` (CTRANS's layout
  // from its first entry), and into over (when given) whether the pair's
  // child probabilities sum above 1; with `moved_only`, only the pairs with
  // a parent whose probabilities moved (the others hold theirs).
  void form_products(double* ctrans, bool moved_only, std::uint8_t* over) const;

  bool ready_ = false;
  bool lists_ = false;                              // lists describe nzhap_/nzcount_
  std::array<double, 55 * 10> htrans_{};           // HTRANS(k, h) described, k fastest
  std::array<std::uint8_t, 55 * 4> nzhap_{};       // nonzero haplotypes per genotype
  std::array<double, 55 * 4> nzval_{};             // and their probabilities
  std::array<std::uint8_t, 55> nzcount_{};
  std::array<std::uint8_t, 55> moved_{};           // per genotype: nzval_ changed at the last collection
  std::vector<std::int32_t> warned_;               // pairs warned, (a-1)*55 + (b-1), in order
  std::vector<std::uint8_t> over_;                 // per pair: its child probabilities sum above 1
  std::uint64_t epoch_ = 1;                        // changes of CTRANS counted
  bool last_kept_ = false;                         // the last change formed the moved pairs only
  std::vector<std::uint64_t> mask_;
  std::vector<std::uint64_t> partners_;
  std::array<std::uint64_t, 55> any_partner_{};
  std::array<std::uint64_t, 1024> transmitters_{};  // by set of haplotypes
  std::array<std::uint64_t, 55 * 4> carrying_transmitted_{};
  static const std::array<std::uint64_t, 10> carrying_;
  // The nonzero products of each pair in the order of the full rebuild: per
  // product the child genotype, the haplotype positions i (of a) and j (of
  // b) in nzhap_, and whether it is the first product reaching its entry.
  struct Product {
    std::uint8_t c, i, j, first;
  };
  std::vector<Product> products_;
  std::array<int32, 55 * 55 + 1> pbegin_{};
  long reuses_ = 0, rebuilds_ = 0;
};

// STAPAR with the transmission cache: the same tables, warnings, pauses and
// STAT.  Reads and writes what STAPAR does.
void STAPAR_cached(ModelState& st, Console& con, double& STAT, TransmissionCache& cache);

}  // namespace mglink
