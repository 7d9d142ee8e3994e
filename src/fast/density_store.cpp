#include "fast/density_store.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "core/cache_lines.hpp"
#include "likelihood/densities.hpp"

namespace mglink {

// MASSIX sets the weights of the children of each nuclear family (entries
// after the parents) to their densities, and those of everyone else (the
// parents who are nobody's child in the family, and members of no nuclear
// family, whose IDONE stays 0) to density times genotype frequency.
void DensityStore::find_roles(const ModelState& st, std::uint8_t* child) {
  const auto& MEMOFF = st.BUF14.MEMOFF;
  const auto& MEMBER = st.BUF16.MEMBER;
  const int32 nfam = st.BUF1.NFAM;
  const int32 nind = st.BUF1.FAMOFF(nfam + 1);
  idone.assign(static_cast<std::size_t>(nind) + 1, 0);
  std::fill_n(child, static_cast<std::size_t>(nind) + 1, std::uint8_t{0});
  for (int32 f = 1; f <= nfam; ++f) {
    const int32 famoff = st.BUF1.FAMOFF(f);
    std::uint8_t* done = idone.data() + famoff;  // done[e] for member e
    std::uint8_t* kid = child + famoff;
    const int32 jfirst = st.BUF3.NUCOFF(f) + 1;
    const int32 jlast = st.BUF3.NUCOFF(f + 1);
    for (int32 j = jfirst; j <= jlast; ++j) {
      if (MEMOFF(j + 1) - MEMOFF(j) <= 2) continue;
      for (int32 i = MEMOFF(j) + 3; i <= MEMOFF(j + 1); ++i) {
        done[MEMBER(i)] = 1;
        kid[MEMBER(i)] = 1;
      }
    }
    for (int32 j = jfirst; j <= jlast; ++j) {
      const int32 entries = MEMOFF(j + 1) - MEMOFF(j);
      const int32 nparents = entries >= 2 ? 2 : entries;
      for (int32 i = MEMOFF(j) + 1; i <= MEMOFF(j) + nparents; ++i) done[MEMBER(i)] = 1;
    }
  }
}

namespace {

// Room for n values of T at address base + at (on a cache line when base
// is), moving `at` past it.
template <class T>
StoreTable<T> carve(std::uintptr_t base, std::size_t& at, std::size_t n) {
  StoreTable<T> t;
  t.p = reinterpret_cast<T*>(base + at);
  t.n = n;
  at += whole_lines(n * sizeof(T));
  return t;
}

}  // namespace

std::size_t DensityStore::carve_tables(std::uintptr_t base, int32 nind, int32 nslots) {
  const std::size_t ni = static_cast<std::size_t>(nind) + 1;
  const std::size_t ns = static_cast<std::size_t>(nslots) + 1;
  std::size_t at = 0;
  trait_y = carve<double>(base, at, ni);
  fen = carve<double>(base, at, 3 * ni + 2);  // 3 per individual at most, the 0 and the 1
  slot_fen = carve<int32>(base, at, ns);
  block_ = carve<int32>(base, at, ni);
  slot_freq = carve<std::uint8_t>(base, at, ns);
  child_ = carve<std::uint8_t>(base, at, ni);
  return at;
}

void DensityStore::place_tables(int32 nind, int32 nslots) {
  const std::size_t bytes = carve_tables(0, nind, nslots);  // only counts
  const std::size_t doubles = (bytes + sizeof(double) - 1) / sizeof(double);
  // Below 256 KiB (about 45 bytes per individual and 5 per genotype slot)
  // the first writes are few, and a 2 MiB page would only take more memory.
  if (tables_.size() < doubles) tables_ = LargeDoubles(doubles, bytes >= (std::size_t{256} << 10));
  // The mapping starts on a page boundary, so every table starts on a cache line.
  carve_tables(reinterpret_cast<std::uintptr_t>(tables_.data()), nind, nslots);
}

void DensityStore::clear(const ModelState& st) {
  const int32 nfam = st.BUF1.NFAM;
  const int32 nind = st.BUF1.FAMOFF(nfam + 1);
  const int32 nslots = st.GENOT.IGOFF(nind);
  place_tables(nind, nslots);
  std::uint8_t* child = child_.data();
  find_roles(st, child);
  // The blocks of the members whose trait value is known, and where each
  // member's densities are: block[k] its place in its family's block, or -1
  // when the trait is skipped, or -2 - m for the m-th member whose trait
  // value is missing.
  int32* block = block_.data();
  std::fill_n(block, static_cast<std::size_t>(nind) + 1, -1);
  trait_begin.assign(static_cast<std::size_t>(nfam) + 2, 0);
  int32 known = 0;
  int32 missing = 0;
  for (int32 f = 1; f <= nfam; ++f) {
    trait_begin[static_cast<std::size_t>(f)] = known;
    for (int32 k = st.BUF1.FAMOFF(f) + 1; k <= st.BUF1.FAMOFF(f + 1); ++k) {
      const double y = st.BUF2.TRAIT(k);
      if (!(y > TRAIT_SKIPPED)) continue;
      if (y <= TRAIT_MISSING) {
        block[static_cast<std::size_t>(k)] = -2 - missing++;
      } else {
        block[static_cast<std::size_t>(k)] = known - trait_begin[static_cast<std::size_t>(f)];
        trait_y[static_cast<std::size_t>(known++)] = y;
      }
    }
  }
  trait_begin[static_cast<std::size_t>(nfam) + 1] = known;
  trait_y.n = static_cast<std::size_t>(known);
  zero_at = 3 * known;
  one_at = zero_at + 1;
  const int32 missing_at = one_at + 1;
  fen.n = static_cast<std::size_t>(missing_at) + 3 * static_cast<std::size_t>(missing);
  std::fill_n(fen.data(), fen.size(), 0.0);
  fen[static_cast<std::size_t>(one_at)] = 1.0;
  std::fill_n(slot_fen.data(), slot_fen.size(), 0);
  std::fill_n(slot_freq.data(), slot_freq.size(), std::uint8_t{0});
  family_epoch.assign(3 * (static_cast<std::size_t>(nfam) + 1), 0);
  for (int32 f = 1; f <= nfam; ++f) {
    const int32 begin = trait_begin[static_cast<std::size_t>(f)];
    const int32 n = trait_begin[static_cast<std::size_t>(f) + 1] - begin;
    for (int32 k = st.BUF1.FAMOFF(f) + 1; k <= st.BUF1.FAMOFF(f + 1); ++k) {
      const int32 b = block[static_cast<std::size_t>(k)];
      const int32 c = st.BUF2.MARKER(k);
      std::uint8_t met = 0;
      for (int32 s = st.GENOT.IGOFF(k - 1) + 1; s <= st.GENOT.IGOFF(k); ++s) {
        const int32 g = st.GENOT.LGEN(s);
        const int mg = st.PRPAR.MAJGEN(g) - 1;
        const bool passes = c == 0 || c == st.PRPAR.MRKGEN(g);
        int32 at = one_at;  // a skipped trait: 1 for every genotype
        if (b >= 0) {
          at = passes ? 3 * begin + mg * n + b : zero_at;
        } else if (b <= -2) {
          at = passes ? missing_at + 3 * (-2 - b) + mg : zero_at;
          // A missing trait value: FEN is 1 for every genotype that passes
          // the marker test, whatever the parameters, so it is found once
          // for the pass.
          if (passes && (met & (1 << mg)) == 0) fen[static_cast<std::size_t>(at)] = FEN(st, k, g);
        }
        if (passes) met = static_cast<std::uint8_t>(met | (1 << mg));
        slot_fen[static_cast<std::size_t>(s)] = at;
        slot_freq[static_cast<std::size_t>(s)] = child[static_cast<std::size_t>(k)] != 0 ? 0 : static_cast<std::uint8_t>(g);
      }
    }
  }
  last = 0;
  for (int mg = 0; mg < 3; ++mg) {
    epoch[mg] = ++last;
    mean[mg] = std::bit_cast<std::uint64_t>(st.IMAX.GMEAN(mg + 1));
  }
  sigma = std::bit_cast<std::uint64_t>(st.IMAX.SIGMA);
}

void DensityStore::advance(const ModelState& st) {
  if (last > UINT32_MAX - 3) {  // epochs used up (after some billion evaluations): start again
    for (std::uint32_t& e : family_epoch) e = 0;
    last = 0;
    for (int mg = 0; mg < 3; ++mg) epoch[mg] = ++last;
  }
  const std::uint64_t s = std::bit_cast<std::uint64_t>(st.IMAX.SIGMA);
  for (int mg = 0; mg < 3; ++mg) {
    const std::uint64_t m = std::bit_cast<std::uint64_t>(st.IMAX.GMEAN(mg + 1));
    if (m != mean[mg] || s != sigma) {
      epoch[mg] = ++last;
      mean[mg] = m;
    }
  }
  sigma = s;
  freq[0] = 1.0;
  for (int g = 1; g <= N_GEN; ++g) freq[g] = st.PRPAR.GFREQ(g);
}

}  // namespace mglink
