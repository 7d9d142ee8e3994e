#include "likelihood/densities.hpp"

#include <cmath>

#include "likelihood/portable_math.hpp"

namespace mglink {

double FEN(const ModelState& st, int32 I, int32 J) {
  const double y = st.BUF2.TRAIT(I);
  const int32 c = st.BUF2.MARKER(I);
  const bool missing = y <= TRAIT_MISSING;
  if (missing && c == 0) return 1.0;
  if (c != 0 && c != st.PRPAR.MRKGEN(J)) return 0.0;
  if (missing) return 1.0;
  const double m = st.IMAX.GMEAN(st.PRPAR.MAJGEN(J));
  const double r = 1.0 / st.IMAX.SIGMA;
  const double z = (m - y) * r;
  return exp_portable(-(z * z) * 0.5) * r;
}

namespace {

// Weights of a member who is nobody's child in the family: genotype
// frequency times trait density, or the frequency alone for a skipped trait.
void founder_weights(ModelState& st, int32 k, int32 base) {
  const bool skipped = !(st.BUF2.TRAIT(k) > TRAIT_SKIPPED);
  for (int32 s = st.GENOT.IGOFF(k - 1) + 1; s <= st.GENOT.IGOFF(k); ++s) {
    const int32 g = st.GENOT.LGEN(s);
    st.XX(s - base) = skipped ? st.PRPAR.GFREQ(g) : FEN(st, k, g) * st.PRPAR.GFREQ(g);
  }
}

}  // namespace

void MASSIX(ModelState& st, int32 IFAM) {
  const int32 f = IFAM;
  const int32 famoff = st.BUF1.FAMOFF(f);
  const int32 members = st.BUF1.FAMOFF(f + 1) - famoff;
  const int32 base = st.GENOT.IGOFF(famoff);
  const int32 n = st.GENOT.IGOFF(st.BUF1.FAMOFF(f + 1)) - base;
  auto& IDONE = st.work.IDONE;
  const auto& MEMOFF = st.BUF14.MEMOFF;
  const auto& MEMBER = st.BUF16.MEMBER;
  const int32 jfirst = st.BUF3.NUCOFF(f) + 1;
  const int32 jlast = st.BUF3.NUCOFF(f + 1);

  for (int32 e = 1; e <= members; ++e) IDONE(e) = 0;
  for (int32 s = 1; s <= n; ++s) st.XX(s) = 1.0;

  // Children: the trait density alone (weights stay 1 for a skipped trait).
  for (int32 j = jfirst; j <= jlast; ++j) {
    if (MEMOFF(j + 1) - MEMOFF(j) <= 2) continue;
    for (int32 i = MEMOFF(j) + 3; i <= MEMOFF(j + 1); ++i) {
      const int32 e = MEMBER(i);
      const int32 k = famoff + e;
      IDONE(e) = 1;
      if (!(st.BUF2.TRAIT(k) > TRAIT_SKIPPED)) continue;
      for (int32 s = st.GENOT.IGOFF(k - 1) + 1; s <= st.GENOT.IGOFF(k); ++s)
        st.XX(s - base) = FEN(st, k, st.GENOT.LGEN(s));
    }
  }

  // Parents who are nobody's child here, each once.
  for (int32 j = jfirst; j <= jlast; ++j) {
    const int32 entries = MEMOFF(j + 1) - MEMOFF(j);
    const int32 nparents = entries >= 2 ? 2 : entries;  // one entry: a single individual
    for (int32 i = MEMOFF(j) + 1; i <= MEMOFF(j) + nparents; ++i) {
      const int32 e = MEMBER(i);
      if (IDONE(e) == 1) continue;
      IDONE(e) = 1;
      founder_weights(st, famoff + e, base);
    }
  }

  // Members in no nuclear family of the family.
  for (int32 e = 1; e <= members; ++e) {
    if (IDONE(e) == 1) continue;
    founder_weights(st, famoff + e, base);
  }
}

}  // namespace mglink
