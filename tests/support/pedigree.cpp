#include "support/pedigree.hpp"

namespace mglink::test {

void load_families(ModelState& st, const std::vector<Family>& families) {
  st.BUF1.NFAM = static_cast<int32>(families.size());
  int32 ind = 0, nuc = 0, entry = 0;
  st.BUF3.spare = 0;
  st.BUF14.spare = 0;
  for (std::size_t f = 0; f < families.size(); ++f) {
    const Family& fam = families[f];
    st.BUF1.FAMOFF(static_cast<long>(f) + 1) = ind;
    st.BUF3.NUCOFF(static_cast<long>(f) + 1) = nuc;
    for (const Nuclear& n : fam.nuclear) {
      ++nuc;
      st.BUF14.MEMOFF(nuc) = entry;
      st.BUF15.ICONN(nuc) = n.connector;
      for (int m : n.members) st.BUF16.MEMBER(++entry) = m;
    }
    for (const Member& m : fam.members) {
      ++ind;
      st.BUF2.TRAIT(ind) = m.trait;
      st.BUF2.MARKER(ind) = m.marker;
      st.BUF2.INDCODE(ind) = 0;
      st.IPROB(ind) = 0;
    }
  }
  const long nfam = static_cast<long>(families.size());
  st.BUF1.FAMOFF(nfam + 1) = ind;
  st.BUF3.NUCOFF(nfam + 1) = nuc;
  st.BUF14.MEMOFF(nuc + 1) = entry;
}

void set_parameters(ModelState& st, const ParameterVector& x) {
  st.IMAX.NPAR = 6;
  for (int i = 1; i <= 11; ++i) st.OPTPAR1.X(i) = x[static_cast<std::size_t>(i - 1)];
  for (int i = 1; i <= 6; ++i) {
    st.OPTPAR2.LINK(i) = i;
    st.OPTPAR1.IFREE(i) = 0;
    st.OPTPAR1.XLOW(i) = 0.0;
    st.OPTPAR1.XUPP(i) = 1e30;
    st.OPTPAR1.STEP(i) = 0.0;
  }
}

}  // namespace mglink::test
