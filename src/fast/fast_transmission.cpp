#include "fast/fast_transmission.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

#include "model/genetics.hpp"
#include "model/transmission.hpp"

namespace mglink {

namespace {

// theta in [0, 1]: every HTRANS entry is then a probability.  NaN fails.
inline bool theta_is_probability(double theta) { return theta >= 0.0 && theta <= 1.0; }

std::array<std::uint64_t, 10> genotypes_carrying() {
  std::array<std::uint64_t, 10> c{};
  for (int h = 1; h <= 10; ++h)
    for (int k = 1; k <= 10; ++k) c[static_cast<std::size_t>(h - 1)] |= std::uint64_t{1} << (genotype_of(h, k) - 1);
  return c;
}

}  // namespace

const std::array<std::uint64_t, 10> TransmissionCache::carrying_ = genotypes_carrying();

TransmissionCache::TransmissionCache() {
  warned_.reserve(55 * 55);
  products_.resize(55 * 55 * 16);
  mask_.resize(55 * 55);
  partners_.resize(55 * 55);
  over_.resize(55 * 55);
}

bool TransmissionCache::describes(const ModelState& st) const {
  return std::memcmp(htrans_.data(), st.TRANC.HTRANS.data(), sizeof htrans_) == 0;
}

void TransmissionCache::remember_htrans(const ModelState& st) {
  std::memcpy(htrans_.data(), st.TRANC.HTRANS.data(), sizeof htrans_);
}

bool TransmissionCache::collect_haplotypes(const ModelState& st) {
  bool same = true;
  for (int k = 1; k <= 55; ++k) {
    int n = 0;
    bool moved = false;
    const std::size_t at = static_cast<std::size_t>((k - 1) * 4);
    for (int h = 1; h <= 10; ++h) {
      const double p = st.TRANC.HTRANS(k, h);
      if (p == 0.0) continue;
      // A genotype {i, j} transmits i, j and, when it differs at both loci,
      // the two recombinants: never more than four haplotypes.
      if (n >= nzcount_[static_cast<std::size_t>(k - 1)] || nzhap_[at + static_cast<std::size_t>(n)] != h)
        same = false;
      if (std::bit_cast<std::uint64_t>(nzval_[at + static_cast<std::size_t>(n)]) != std::bit_cast<std::uint64_t>(p))
        moved = true;
      nzhap_[at + static_cast<std::size_t>(n)] = static_cast<std::uint8_t>(h);
      nzval_[at + static_cast<std::size_t>(n)] = p;
      ++n;
    }
    if (n != nzcount_[static_cast<std::size_t>(k - 1)]) same = false;
    nzcount_[static_cast<std::size_t>(k - 1)] = static_cast<std::uint8_t>(n);
    moved_[static_cast<std::size_t>(k - 1)] = moved ? 1 : 0;
  }
  return same;
}

void TransmissionCache::derive_lists() {
  int32 ppos = 0;
  for (auto& p : partners_) p = 0;
  for (int a = 1; a <= 55; ++a) {
    const std::size_t ia = static_cast<std::size_t>((a - 1) * 4);
    for (int b = 1; b <= 55; ++b) {
      const std::size_t ib = static_cast<std::size_t>((b - 1) * 4);
      pbegin_[static_cast<std::size_t>(genotype_pair(a, b))] = ppos;
      std::uint64_t m = 0;
      for (int i = 0; i < nzcount_[static_cast<std::size_t>(a - 1)]; ++i)
        for (int j = 0; j < nzcount_[static_cast<std::size_t>(b - 1)]; ++j) {
          const int c = genotype_of(nzhap_[ia + static_cast<std::size_t>(i)],
                                    nzhap_[ib + static_cast<std::size_t>(j)]);
          const std::uint64_t bit = std::uint64_t{1} << (c - 1);
          products_[static_cast<std::size_t>(ppos++)] =
              Product{static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(j),
                      static_cast<std::uint8_t>((m & bit) == 0 ? 1 : 0)};
          m |= bit;
        }
      mask_[static_cast<std::size_t>(genotype_pair(a, b))] = m;
      for (std::uint64_t mc = m; mc != 0; mc &= mc - 1)
        partners_[static_cast<std::size_t>(genotype_pair(a, std::countr_zero(mc) + 1))] |= std::uint64_t{1} << (b - 1);
    }
  }
  pbegin_[55 * 55] = ppos;
  for (int a = 1; a <= 55; ++a) {
    std::uint64_t any = 0;
    for (int c = 1; c <= 55; ++c) any |= partners(a, c);
    any_partner_[static_cast<std::size_t>(a - 1)] = any;
  }
  // The genotypes transmitting each haplotype, then each set of them.
  std::array<std::uint64_t, 10> by_haplotype{};
  for (int b = 1; b <= 55; ++b)
    for (int j = 0; j < 4; ++j) {
      const std::size_t at = static_cast<std::size_t>((b - 1) * 4 + j);
      if (j >= nzcount_[static_cast<std::size_t>(b - 1)]) {
        carrying_transmitted_[at] = 0;
        continue;
      }
      by_haplotype[static_cast<std::size_t>(nzhap_[at] - 1)] |= std::uint64_t{1} << (b - 1);
      carrying_transmitted_[at] = carrying(nzhap_[at]);
    }
  transmitters_[0] = 0;
  for (unsigned set = 1; set < 1024; ++set)
    transmitters_[set] = transmitters_[set & (set - 1)] | by_haplotype[static_cast<std::size_t>(std::countr_zero(set))];
  lists_ = true;
}

void TransmissionCache::warn(Console& con) const {
  for (const std::int32_t p : warned_) warn_child_sum(con, p / 55 + 1, p % 55 + 1);
}

void TransmissionCache::update(ModelState& st, Console& con, bool unchanged) {
  if (!theta_is_probability(st.OPTPAR1.X(par::THETA))) {
    // Outside [0, 1] (or not a number) the products can be negative or not
    // finite, and 0 times them is not always 0: build literally.
    build_CTRANS(st, con);
    ready_ = false;
    ++epoch_;
    ++rebuilds_;
    return;
  }
  if (unchanged && ready_ && describes(st)) {
    // Same HTRANS, so the same CTRANS: only the warnings are repeated.
    warn(con);
    ++reuses_;
    return;
  }
  ++rebuilds_;
  // Whether CTRANS and over_ hold the products of the genotypes whose
  // probabilities did not move.
  bool kept = false;
  if (unchanged && ready_ && lists_) {
    // CTRANS holds the products of the HTRANS this cache described, which
    // reach only the listed entries.  When the new nonzero products reach
    // the same entries, each listed entry is written afresh by its first
    // product below (0 + p, as the rebuild adds it to a cleared entry) and
    // every other entry is 0 already; otherwise the listed entries are
    // zeroed first.
    kept = collect_haplotypes(st);
    if (!kept) {
      for (int a = 1; a <= 55; ++a)
        for (int b = 1; b <= 55; ++b) {
          double* Cab = ctrans_row(st, b, a) + 1;  // Cab[c - 1] = CTRANS(c, b, a)
          for (std::uint64_t m = mask(a, b); m != 0; m &= m - 1) Cab[std::countr_zero(m)] = 0.0;
        }
      derive_lists();
    }
  } else {
    st.TRANC.CTRANS.fill(0.0);
    if (!collect_haplotypes(st) || !lists_) derive_lists();
  }
  form_products(st.TRANC.CTRANS.data(), kept, over_.data());
  ++epoch_;
  last_kept_ = kept;
  warned_.clear();
  for (int p = 0; p < 55 * 55; ++p) {
    if (over_[static_cast<std::size_t>(p)] == 0) continue;
    warned_.push_back(p);
    warn_child_sum(con, p / 55 + 1, p % 55 + 1);
  }
  remember_htrans(st);
  ready_ = true;
}

void TransmissionCache::form_products(double* ctrans, bool moved_only, std::uint8_t* over) const {
  // The products of the full rebuild in its order (h1 outer, h2 inner),
  // leaving out those with a zero factor: each is +0 or -0 times a finite
  // probability, and adding a zero changes no sum.  A pair whose factors
  // are the same bits as when its products were last formed would give the
  // same entries: when theta moves, only the pairs with a parent that
  // differs at both loci change.
  for (int a = 1; a <= 55; ++a) {
    const std::size_t ia = static_cast<std::size_t>((a - 1) * 4);
    for (int b = 1; b <= 55; ++b) {
      if (moved_only && moved_[static_cast<std::size_t>(a - 1)] == 0 && moved_[static_cast<std::size_t>(b - 1)] == 0)
        continue;
      const std::size_t ib = static_cast<std::size_t>((b - 1) * 4);
      const std::size_t pair = static_cast<std::size_t>(genotype_pair(a, b));
      double* Cab = ctrans_row(ctrans, b, a);  // Cab[c] = CTRANS(c, b, a)
      const double* va = nzval_.data() + ia;
      const double* vb = nzval_.data() + ib;
      double u = 0.0;
      const Product* q = products_.data() + pbegin_[pair];
      const Product* qend = products_.data() + pbegin_[pair + 1];
      for (; q != qend; ++q) {
        const double p = va[q->i] * vb[q->j];
        Cab[q->c] = (q->first != 0 ? 0.0 : Cab[q->c]) + p;
        u = u + p;
      }
      if (over != nullptr) over[pair] = u - 1.0 > 1e-10 ? 1 : 0;
    }
  }
}

void TransmissionCache::refresh(LargeDoubles& copy, std::uint64_t& copy_epoch) const {
  if (copy_epoch == epoch_) return;
  constexpr std::size_t size = static_cast<std::size_t>(N_GEN) * N_GEN * N_GEN;
  // One change behind, and that change formed only the pairs with a parent
  // whose probabilities moved (at unchanged places): those pairs; else
  // every entry, from zero.
  const bool step = copy.size() == size && copy_epoch + 1 == epoch_ && last_kept_;
  if (copy.size() != size) {
    copy = LargeDoubles(size);
  } else if (!step) {
    std::fill(copy.data(), copy.data() + size, 0.0);
  }
  form_products(copy.data(), step, nullptr);
  copy_epoch = epoch_;
}

void STAPAR_cached(ModelState& st, Console& con, double& STAT, TransmissionCache& cache) {
  if (!accept_parameters(st, STAT)) return;
  auto& HFREQ = st.work.HFREQ_STAPAR;
  haplotype_frequencies(st, HFREQ);
  genotype_frequencies(st, HFREQ);
  check_genotype_frequencies(st, con, 1e-5);
  // Whether HTRANS is, before this update rebuilds it, the one the cache
  // describes.
  const bool unchanged = cache.ready() && cache.describes(st);
  build_HTRANS(st);
  cache.update(st, con, unchanged);  // build_CTRANS in STAPAR
  trait_distribution(st);
}

}  // namespace mglink
