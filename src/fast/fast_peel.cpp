#include "fast/fast_peel.hpp"

#include <atomic>

#include "fast/fast_peel_kernels.hpp"

namespace mglink {

void PeelScratch::reserve(int32 slots, int32 members, int32 entries, int32 nuclear) {
  const auto grow = [](auto& v, long n) {
    if (static_cast<long>(v.size()) < n) v.resize(static_cast<std::size_t>(n));
  };
  grow(w, static_cast<long>(slots) + 1);
  grow(mark, static_cast<long>(members) + 1);
  grow(kids, static_cast<long>(entries) + 1);
  grow(acc, N_GEN + 1);  // a member has at most N_GEN slots
  grow(pkept, N_GEN * N_GEN);  // per genotype pair
  grow(formed, N_GEN);
  grow(wgen, N_GEN);
  grow(logs, 2L * nuclear);  // a rescaling sum per nuclear family, and one more per root
}

// The layouts the fast peeling takes: every nuclear family has at least one
// entry, its entries and connector are members of the family, its entries
// are distinct, and a connector that is not a parent is the first child.
// (The literal routines decide what anything else gives.)  Returns the
// entries of the family's largest nuclear family, or -1 for a layout the
// fast peeling does not take.
int32 fast_layout(const ModelState& st, int32 f, PeelScratch& sc) {
  const auto& MEMOFF = st.BUF14.MEMOFF;
  const auto& MEMBER = st.BUF16.MEMBER;
  const int32 members = st.BUF1.FAMOFF(f + 1) - st.BUF1.FAMOFF(f);
  int32 max_entries = 0;
  int32* mark = sc.mark.data();
  for (int32 e = 1; e <= members; ++e) mark[e] = 0;
  for (int32 j = st.BUF3.NUCOFF(f) + 1; j <= st.BUF3.NUCOFF(f + 1); ++j) {
    const int32 first = MEMOFF(j) + 1;
    const int32 last = MEMOFF(j + 1);
    if (last < first) return -1;
    if (last - first + 1 > max_entries) max_entries = last - first + 1;
    for (int32 i = first; i <= last; ++i) {
      const int32 e = MEMBER(i);
      if (e < 1 || e > members || mark[e] == j) return -1;
      mark[e] = j;
    }
    const int32 conn = st.BUF15.ICONN(j);
    if (conn < 0 || conn > members) return -1;
    if (last - first >= 1 && conn != 0 && conn != MEMBER(first) && conn != MEMBER(first + 1)) {
      if (last - first < 2 || conn != MEMBER(first + 2)) return -1;
    }
  }
  return max_entries;
}

namespace {

bool avx2_available() {
#ifdef MGLINK_PEEL_AVX2
  // The kernel also uses the bit instructions of BMI1 and BMI2 (every
  // processor with AVX2 has them, but a virtual machine may hide them).
  return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("bmi") != 0 &&
         __builtin_cpu_supports("bmi2") != 0;
#else
  return false;
#endif
}

// -1: not chosen yet.
std::atomic<int> peel_kernel_choice{-1};

}  // namespace

bool peel_kernel_available(PeelKernel k) { return k == PeelKernel::Generic || avx2_available(); }

PeelKernel peel_kernel() {
  int k = peel_kernel_choice.load(std::memory_order_relaxed);
  if (k < 0) {
    k = static_cast<int>(avx2_available() ? PeelKernel::AVX2 : PeelKernel::Generic);
    peel_kernel_choice.store(k, std::memory_order_relaxed);
  }
  return static_cast<PeelKernel>(k);
}

void set_peel_kernel(PeelKernel k) {
  if (peel_kernel_available(k)) peel_kernel_choice.store(static_cast<int>(k), std::memory_order_relaxed);
}

bool fast_family(const ModelState& st, const TransmissionCache& tc, int32 f, int32 max_entries,
                 PeelScratch& sc, DensityStore& dens, double& FLOGL) {
#ifdef MGLINK_PEEL_AVX2
  if (peel_kernel() == PeelKernel::AVX2) return fast_family_avx2(st, tc, f, max_entries, sc, dens, FLOGL);
#endif
  return fast_family_generic(st, tc, f, max_entries, sc, dens, FLOGL);
}

}  // namespace mglink
