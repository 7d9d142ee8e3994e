#include "kallele/from_state.hpp"

#include "model/genetics.hpp"
#include "model/transmission.hpp"

namespace mglink::kallele {

Pedigree pedigree_from_state(const ModelState& st) {
  Pedigree ped;
  const int32 NFAM = st.BUF1.NFAM;
  for (int32 f = 1; f <= NFAM; ++f) {
    pedlik::Family fam;
    const int32 famoff = st.BUF1.FAMOFF(f);
    fam.size = st.BUF1.FAMOFF(f + 1) - famoff;
    for (int32 j = st.BUF3.NUCOFF(f) + 1; j <= st.BUF3.NUCOFF(f + 1); ++j) {
      pedlik::NuclearFamily nf;
      for (int32 i = st.BUF14.MEMOFF(j) + 1; i <= st.BUF14.MEMOFF(j + 1); ++i)
        nf.members.push_back(st.BUF16.MEMBER(i));
      nf.connector = st.BUF15.ICONN(j);
      fam.nuclear.push_back(std::move(nf));
    }
    for (int32 e = 1; e <= fam.size; ++e) ped.trait.push_back(st.BUF2.TRAIT(famoff + e));
    ped.families.push_back(std::move(fam));
  }
  return ped;
}

Marker marker_from_state(const ModelState& st) {
  Marker mk;
  mk.K = 5;
  for (int i = 7; i <= 11; ++i) mk.frequency.push_back(st.OPTPAR1.X(i));
  const int32 n = st.BUF1.FAMOFF(st.BUF1.NFAM + 1);
  for (int32 k = 1; k <= n; ++k) {
    const int32 code = st.BUF2.MARKER(k);
    std::array<int, 2> pair{0, 0};
    for (int m = 1; m <= 5; ++m)
      for (int q = m; q <= 5; ++q)
        if (IMRK(m, q) == code) pair = {m, q};
    // A code outside 1..15 names no pair: check_study rejects it.
    if (code != 0 && pair[0] == 0) pair = {-1, -1};
    mk.alleles.push_back(pair);
  }
  return mk;
}

Parameters parameters_of(const ModelState& st) {
  Parameters x{};
  for (int i = 1; i <= 6; ++i) x[static_cast<std::size_t>(i - 1)] = st.OPTPAR1.X(i);
  return x;
}

void GENMMP_K(ModelState& st, Evaluator& ev, double& LH) {
  st.rejection = Rejection{};
  double STAT = 0.0;
  if (!accept_parameters(st, STAT)) {
    LH = REJECTED;
    return;
  }
  const Evaluator::Total total = ev.log_likelihood(parameters_of(st));
  if (total.bad_family != 0) {
    st.rejection.kind = Rejection::Kind::Family;
    st.rejection.family = total.bad_family;
    st.rejection.value = total.bad_value;
    LH = REJECTED;
    return;
  }
  LH = total.lh;
}

}  // namespace mglink::kallele
