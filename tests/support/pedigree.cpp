#include "support/pedigree.hpp"

#include "data/family_layout.hpp"

namespace mglink::test {

void load_families(ModelState& st, const std::vector<Family>& families) {
  FamilyLayout d;
  int32 ind = 0;
  for (const Family& fam : families) {
    for (const Nuclear& n : fam.nuclear) d.add_nuclear(n.members, n.connector);
    d.close_family(static_cast<int32>(fam.members.size()));
    for (const Member& m : fam.members) {
      ++ind;
      st.BUF2.TRAIT(ind) = m.trait;
      st.BUF2.MARKER(ind) = m.marker;
      st.BUF2.INDCODE(ind) = 0;
      st.IPROB(ind) = 0;
    }
  }
  load_family_layout(st, d);
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
