#include "likelihood/density_store.hpp"

#include <bit>
#include <cstdint>

namespace mglink {

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
