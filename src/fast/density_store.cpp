#include "fast/density_store.hpp"

#include <bit>
#include <cstdint>

#include "likelihood/densities.hpp"

namespace mglink {

void DensityStore::find_roles(const ModelState& st) {
  const auto& MEMOFF = st.BUF14.MEMOFF;
  const auto& MEMBER = st.BUF16.MEMBER;
  const int32 nfam = st.BUF1.NFAM;
  const int32 nind = st.BUF1.FAMOFF(nfam + 1);
  role.resize(static_cast<std::size_t>(nind));
  role_begin.resize(static_cast<std::size_t>(nfam) + 2);
  idone.assign(static_cast<std::size_t>(nind) + 1, 0);
  int32 n = 0;
  for (int32 f = 1; f <= nfam; ++f) {
    role_begin[static_cast<std::size_t>(f)] = n;
    const int32 famoff = st.BUF1.FAMOFF(f);
    std::uint8_t* done = idone.data() + famoff;  // done[e] for member e
    const int32 jfirst = st.BUF3.NUCOFF(f) + 1;
    const int32 jlast = st.BUF3.NUCOFF(f + 1);
    // Children first, then parents who are nobody's child in the family,
    // then members of no nuclear family (IDONE stays 0 for them).
    for (int32 j = jfirst; j <= jlast; ++j) {
      if (MEMOFF(j + 1) - MEMOFF(j) <= 2) continue;
      for (int32 i = MEMOFF(j) + 3; i <= MEMOFF(j + 1); ++i) {
        done[MEMBER(i)] = 1;
        role[static_cast<std::size_t>(n++)] = MEMBER(i);
      }
    }
    for (int32 j = jfirst; j <= jlast; ++j) {
      const int32 entries = MEMOFF(j + 1) - MEMOFF(j);
      const int32 nparents = entries >= 2 ? 2 : entries;
      for (int32 i = MEMOFF(j) + 1; i <= MEMOFF(j) + nparents; ++i) {
        if (done[MEMBER(i)] == 1) continue;
        done[MEMBER(i)] = 1;
        role[static_cast<std::size_t>(n++)] = -MEMBER(i);
      }
    }
    for (int32 e = 1; e <= st.BUF1.FAMOFF(f + 1) - famoff; ++e)
      if (done[e] != 1) role[static_cast<std::size_t>(n++)] = -e;
  }
  role_begin[static_cast<std::size_t>(nfam) + 1] = n;
}

void DensityStore::clear(const ModelState& st) {
  const int32 nind = st.BUF1.FAMOFF(st.BUF1.NFAM + 1);
  const int32 nslots = st.GENOT.IGOFF(nind);
  if (static_cast<int32>(kept.size()) < nind + 1) kept.resize(static_cast<std::size_t>(nind) + 1);
  if (static_cast<int32>(slot_mg.size()) < nslots + 1) slot_mg.resize(static_cast<std::size_t>(nslots) + 1);
  for (int32 k = 1; k <= nind; ++k) {
    Kept& kk = kept[static_cast<std::size_t>(k)];
    kk = Kept{};
    const int32 c = st.BUF2.MARKER(k);
    for (int32 s = st.GENOT.IGOFF(k - 1) + 1; s <= st.GENOT.IGOFF(k); ++s) {
      const int32 g = st.GENOT.LGEN(s);
      const int mg = st.PRPAR.MAJGEN(g) - 1;
      const bool passes = c == 0 || c == st.PRPAR.MRKGEN(g);
      slot_mg[static_cast<std::size_t>(s)] = static_cast<std::int8_t>(passes ? mg : 3);
      if (passes && (kk.met & (1 << mg)) == 0) {
        kk.met = static_cast<std::uint8_t>(kk.met | (1 << mg));
        kk.rep[mg] = static_cast<std::uint8_t>(g);
      }
    }
    // A missing trait value: FEN is 1 for every genotype that passes the
    // marker test, whatever the parameters, so it is kept for the pass.
    const double y = st.BUF2.TRAIT(k);
    if (y <= TRAIT_MISSING && y > TRAIT_SKIPPED)
      for (int mg = 0; mg < 3; ++mg)
        if ((kk.met & (1 << mg)) != 0) kk.fen[mg] = FEN(st, k, kk.rep[mg]);
  }
  find_roles(st);
  last = 0;
  for (int mg = 0; mg < 3; ++mg) {
    epoch[mg] = ++last;
    mean[mg] = std::bit_cast<std::uint64_t>(st.IMAX.GMEAN(mg + 1));
  }
  sigma = std::bit_cast<std::uint64_t>(st.IMAX.SIGMA);
}

void DensityStore::advance(const ModelState& st) {
  if (last > UINT32_MAX - 3) {  // epochs used up (after some billion evaluations): start again
    for (Kept& kk : kept) kk.epoch[0] = kk.epoch[1] = kk.epoch[2] = 0;
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
}

}  // namespace mglink
