#include "model/fast_transmission.hpp"

#include <cstring>

#include "io/fixed_format.hpp"
#include "model/genetics.hpp"
#include "model/setup.hpp"
#include "model/transmission.hpp"

namespace mglink {

namespace {

// Offset of CTRANS(c, b, a) in its storage (c fastest).
inline std::int32_t ctrans_offset(int c, int b, int a) { return (c - 1) + 55 * ((b - 1) + 55 * (a - 1)); }

// theta in [0, 1]: every HTRANS entry is then a probability.  NaN fails.
inline bool theta_is_probability(double theta) { return theta >= 0.0 && theta <= 1.0; }

}  // namespace

TransmissionCache::TransmissionCache() {
  written_.reserve(55 * 55 * 16);
  warned_.reserve(55 * 55);
  child_.resize(55 * 55 * 16);
  value_.resize(55 * 55 * 16);
}

bool TransmissionCache::describes(const ModelState& st) const {
  return std::memcmp(htrans_.data(), st.TRANC.HTRANS.data(), sizeof htrans_) == 0;
}

void TransmissionCache::remember_htrans(const ModelState& st) {
  std::memcpy(htrans_.data(), st.TRANC.HTRANS.data(), sizeof htrans_);
}

void TransmissionCache::collect_haplotypes(const ModelState& st) {
  for (int k = 1; k <= 55; ++k) {
    int n = 0;
    for (int h = 1; h <= 10; ++h) {
      const double p = st.TRANC.HTRANS(k, h);
      if (p == 0.0) continue;
      // A genotype {i, j} transmits i, j and, when it differs at both loci,
      // the two recombinants: never more than four haplotypes.
      nzhap_[static_cast<std::size_t>((k - 1) * 4 + n)] = static_cast<std::uint8_t>(h);
      nzval_[static_cast<std::size_t>((k - 1) * 4 + n)] = p;
      ++n;
    }
    nzcount_[static_cast<std::size_t>(k - 1)] = static_cast<std::uint8_t>(n);
  }
}

void TransmissionCache::derive_lists(const ModelState& st) {
  const double* C = st.TRANC.CTRANS.data();
  int32 pos = 0;
  for (int a = 1; a <= 55; ++a) {
    for (int b = 1; b <= 55; ++b) {
      begin_[static_cast<std::size_t>(pair(a, b))] = pos;
      // The child genotypes the nonzero products reach, increasing; every
      // other child genotype has CTRANS exactly 0.
      int cand[16];
      int n = 0;
      const std::size_t ia = static_cast<std::size_t>((a - 1) * 4);
      const std::size_t ib = static_cast<std::size_t>((b - 1) * 4);
      for (int i = 0; i < nzcount_[static_cast<std::size_t>(a - 1)]; ++i) {
        for (int j = 0; j < nzcount_[static_cast<std::size_t>(b - 1)]; ++j) {
          const int c = genotype_of(nzhap_[ia + static_cast<std::size_t>(i)],
                                    nzhap_[ib + static_cast<std::size_t>(j)]);
          int at = n;
          while (at > 0 && cand[at - 1] > c) --at;
          if (at > 0 && cand[at - 1] == c) continue;
          for (int m = n; m > at; --m) cand[m] = cand[m - 1];
          cand[at] = c;
          ++n;
        }
      }
      for (int m = 0; m < n; ++m) {
        const double v = C[ctrans_offset(cand[m], b, a)];
        if (v == 0.0) continue;
        child_[static_cast<std::size_t>(pos)] = static_cast<std::uint8_t>(cand[m]);
        value_[static_cast<std::size_t>(pos)] = v;
        ++pos;
      }
    }
  }
  begin_[55 * 55] = pos;
}

void TransmissionCache::warn(Console& con) const {
  for (const std::int32_t p : warned_) {
    con.line(FreeLine().text("Sum_bbb.ne.1").integer(p / 55 + 1).integer(p % 55 + 1).str());
    con.pause();
  }
}

void TransmissionCache::adopt(const ModelState& st) {
  ready_ = false;
  if (!theta_is_probability(st.OPTPAR1.X(5))) return;
  collect_haplotypes(st);
  written_.clear();
  warned_.clear();
  for (int a = 1; a <= 55; ++a) {
    const std::size_t ia = static_cast<std::size_t>((a - 1) * 4);
    for (int b = 1; b <= 55; ++b) {
      const std::size_t ib = static_cast<std::size_t>((b - 1) * 4);
      double u = 0.0;
      for (int i = 0; i < nzcount_[static_cast<std::size_t>(a - 1)]; ++i) {
        for (int j = 0; j < nzcount_[static_cast<std::size_t>(b - 1)]; ++j) {
          const int c = genotype_of(nzhap_[ia + static_cast<std::size_t>(i)],
                                    nzhap_[ib + static_cast<std::size_t>(j)]);
          written_.push_back(ctrans_offset(c, b, a));
          u = u + nzval_[ia + static_cast<std::size_t>(i)] * nzval_[ib + static_cast<std::size_t>(j)];
        }
      }
      if (u - 1.0 > 1e-10) warned_.push_back(pair(a, b));
    }
  }
  derive_lists(st);
  remember_htrans(st);
  ready_ = true;
}

void TransmissionCache::update(ModelState& st, Console& con, bool unchanged) {
  if (!theta_is_probability(st.OPTPAR1.X(5))) {
    // Outside [0, 1] (or not a number) the products can be negative or not
    // finite, and 0 times them is not always 0: build literally.
    build_CTRANS(st, con);
    ready_ = false;
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
  collect_haplotypes(st);
  double* C = st.TRANC.CTRANS.data();
  if (unchanged && ready_) {
    // CTRANS holds the products of the HTRANS this cache described: zero
    // exactly the entries they reached.
    for (const std::int32_t off : written_) C[off] = 0.0;
  } else {
    st.TRANC.CTRANS.fill(0.0);
  }
  written_.clear();
  warned_.clear();
  // The products of the full rebuild in its order (h1 outer, h2 inner),
  // leaving out those with a zero factor: each is +0 or -0 times a finite
  // probability, and adding a zero changes no sum.
  for (int a = 1; a <= 55; ++a) {
    const std::size_t ia = static_cast<std::size_t>((a - 1) * 4);
    const int na = nzcount_[static_cast<std::size_t>(a - 1)];
    for (int b = 1; b <= 55; ++b) {
      const std::size_t ib = static_cast<std::size_t>((b - 1) * 4);
      const int nb = nzcount_[static_cast<std::size_t>(b - 1)];
      double u = 0.0;
      for (int i = 0; i < na; ++i) {
        const int h1 = nzhap_[ia + static_cast<std::size_t>(i)];
        const double p1 = nzval_[ia + static_cast<std::size_t>(i)];
        for (int j = 0; j < nb; ++j) {
          const int c = genotype_of(h1, nzhap_[ib + static_cast<std::size_t>(j)]);
          const double p = p1 * nzval_[ib + static_cast<std::size_t>(j)];
          const std::int32_t off = ctrans_offset(c, b, a);
          C[off] = C[off] + p;
          u = u + p;
          written_.push_back(off);
        }
      }
      if (u - 1.0 > 1e-10) {
        warned_.push_back(pair(a, b));
        con.line(FreeLine().text("Sum_bbb.ne.1").integer(a).integer(b).str());
        con.pause();
      }
    }
  }
  derive_lists(st);
  remember_htrans(st);
  ready_ = true;
}

void STAPAR_cached(ModelState& st, Console& con, double& STAT, TransmissionCache& cache) {
  STAT = 1.0;
  apply_ties(st);
  if (const int i = first_out_of_bounds(st); i != 0) {
    STAT = REJECTED;
    st.rejection = Rejection{};
    st.rejection.kind = Rejection::Kind::Bounds;
    st.rejection.param = i;
    return;
  }
  auto& HFREQ = st.work.HFREQ_STAPAR;
  haplotype_frequencies(st, HFREQ);
  genotype_frequencies(st, HFREQ);
  check_genotype_frequencies(st, con, 1e-5);
  const bool unchanged = cache.ready() && cache.describes(st);
  build_HTRANS(st);
  cache.update(st, con, unchanged);
  trait_distribution(st);
}

}  // namespace mglink
