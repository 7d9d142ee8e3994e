#include "fast/fast_genotype.hpp"

#include <vector>

#include "io/fixed_format.hpp"
#include "model/genotype.hpp"

namespace mglink {

namespace {

// Families per part: a few hundred individuals in a typical study, enough
// to make a part's hand-out cheap against its work.
constexpr int32 FAMILIES_PER_PART = 8;

}  // namespace

void GENOTYPE_parts(ModelState& st, Console& con, const ForEachPart* parts) {
  const int32 nfam = st.BUF1.NFAM;
  const int32 NTOT = nfam >= 0 ? st.BUF1.FAMOFF(nfam + 1) : -1;
  // GENOTYPE itself when nothing is shared out or the individuals do not fit
  // (its message).
  if (parts == nullptr || nfam < 1 || NTOT < 0 || NTOT > N_IGOFF || st.BUF1.FAMOFF(1) != 0) {
    GENOTYPE(st, con);
    return;
  }
  auto& W = st.work;
  auto& G = st.GENOT;
  const int nparts = static_cast<int>((nfam + FAMILIES_PER_PART - 1) / FAMILIES_PER_PART);
  // Part i: families first(i)..first(i+1)-1, individuals FAMOFF(first(i))+1
  // .. FAMOFF(first(i+1)).
  const auto first_family = [nfam](int i) {
    const int32 f = static_cast<int32>(i) * FAMILIES_PER_PART + 1;
    return f > nfam + 1 ? nfam + 1 : f;
  };
  const auto first_individual = [&](int i) { return st.BUF1.FAMOFF(first_family(i)) + 1; };
  std::vector<int32> count(static_cast<std::size_t>(nparts));  // possible pairs per part
  const auto total = [&count] {
    int32 n = 0;
    for (const int32 c : count) n += c;
    return n;
  };

  // Every genotype possible, then the marker filter.
  for_each_part(parts, nparts, [&](int i) {
    const int32 k0 = first_individual(i), k1 = first_individual(i + 1) - 1;
    mark_marker_genotypes(st, k0, k1);
    count[static_cast<std::size_t>(i)] = count_possible(st, k0, k1);
  });
  W.N0 = total();
  con.line(FreeLine().text("N0=").integer(W.N0).str());

  const bool nonnegative = transmission_nonnegative(st);
  for (;;) {
    for_each_part(parts, nparts, [&](int i) {
      elimination_sweep(st, nonnegative, first_family(i), first_family(i + 1) - 1);
      count[static_cast<std::size_t>(i)] = count_possible(st, first_individual(i), first_individual(i + 1) - 1);
    });
    W.N1 = total();
    con.line(FreeLine().text("N1=").integer(W.N1).str());
    if (W.N1 >= W.N0) break;
    W.N0 = W.N1;
  }

  if (W.N1 > N_WAY) stop_too_many_genotypes(st, con);

  // The slot lists: each part's slots follow those of the parts before it
  // (count holds each part's pairs after the last sweep).
  std::vector<int32> before(static_cast<std::size_t>(nparts));
  int32 s = 0;
  for (int i = 0; i < nparts; ++i) {
    before[static_cast<std::size_t>(i)] = s;
    s += count[static_cast<std::size_t>(i)];
  }
  G.NTOT = NTOT;
  G.IGOFF(0) = 0;
  for_each_part(parts, nparts, [&](int i) {
    list_slots(st, first_individual(i), first_individual(i + 1) - 1, before[static_cast<std::size_t>(i)]);
  });
}

}  // namespace mglink
