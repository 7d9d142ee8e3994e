#include "fast/density_store.hpp"

#include <bit>
#include <cstdint>

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

void DensityStore::find_leaf_children(const ModelState& st) {
  const auto& MEMOFF = st.BUF14.MEMOFF;
  const auto& MEMBER = st.BUF16.MEMBER;
  const int32 nfam = st.BUF1.NFAM;
  const int32 nnuc = st.BUF3.NUCOFF(nfam + 1);
  product_at.assign(static_cast<std::size_t>(nnuc) + 1, -1);
  product_stamp.assign(static_cast<std::size_t>(nnuc) + 1, ProductStamp{});
  std::int64_t n = 0;
  std::vector<std::uint8_t> folded;  // per member: the connector of a nuclear family peeled so far
  for (int32 f = 1; f <= nfam; ++f) {
    const int32 famoff = st.BUF1.FAMOFF(f);
    const int32 members = st.BUF1.FAMOFF(f + 1) - famoff;
    const auto slots = [&](int32 e) { return st.GENOT.IGOFF(famoff + e) - st.GENOT.IGOFF(famoff + e - 1); };
    folded.assign(static_cast<std::size_t>(members) + 1, 0);
    for (int32 j = st.BUF3.NUCOFF(f) + 1; j <= st.BUF3.NUCOFF(f + 1); ++j) {
      const int32 first = MEMOFF(j) + 1;
      const int32 last = MEMOFF(j + 1);
      if (last < first) continue;
      bool leaves = true;
      for (int32 i = first + 2; i <= last; ++i) {
        const int32 e = MEMBER(i);
        if (e < 1 || e > members || folded[static_cast<std::size_t>(e)] != 0) leaves = false;
      }
      const int32 c = st.BUF15.ICONN(j) != 0 ? st.BUF15.ICONN(j) : MEMBER(first);
      if (leaves && last > first && (c == MEMBER(first) || c == MEMBER(first + 1))) {
        const int32 o = c == MEMBER(first) ? MEMBER(first + 1) : MEMBER(first);
        if (c >= 1 && c <= members && o >= 1 && o <= members && slots(o) <= PRODUCTS_PER_SLOT) {
          product_at[static_cast<std::size_t>(j)] = n;
          n += static_cast<std::int64_t>(slots(c)) * PRODUCTS_PER_SLOT;
        }
      }
      if (c >= 1 && c <= members) folded[static_cast<std::size_t>(c)] = 1;
    }
  }
  products.resize(static_cast<std::size_t>(n));
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
  }
  find_roles(st);
  find_leaf_children(st);
  ++generation;
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
    ++generation;  // the kept products' epochs are no longer told apart
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
