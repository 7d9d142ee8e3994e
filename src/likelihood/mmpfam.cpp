#include "likelihood/mmpfam.hpp"

#include <cmath>
#include <limits>

#include "likelihood/portable_math.hpp"

namespace mglink {

namespace {

int32 first_slot(const ModelState& st, const NuclearFamily& nf, int32 m) {
  return st.GENOT.IGOFF(nf.famoff + m - 1) + 1;
}
int32 last_slot(const ModelState& st, const NuclearFamily& nf, int32 m) {
  return st.GENOT.IGOFF(nf.famoff + m);
}

// C(h; b, a): the child sum of child h (a number within the family).
double child_sum(const ModelState& st, const NuclearFamily& nf, int32 h, int b, int a) {
  double C = 0.0;
  for (int32 z = first_slot(st, nf, h); z <= last_slot(st, nf, h); ++z)
    C = C + st.TRANC.CTRANS(st.GENOT.LGEN(z), b, a) * st.XX(z - nf.base);
  return C;
}

}  // namespace

void fold_onto_parent(ModelState& st, const NuclearFamily& nf, int32 c, int32 o) {
  const auto& MEMBER = st.BUF16.MEMBER;
  for (int32 u = first_slot(st, nf, c); u <= last_slot(st, nf, c); ++u) {
    const int tu = st.GENOT.LGEN(u);
    double W = 0.0;
    for (int32 v = first_slot(st, nf, o); v <= last_slot(st, nf, o); ++v) {
      const int tv = st.GENOT.LGEN(v);
      double P = 1.0;
      for (int32 i = nf.first + 2; i <= nf.last; ++i) P = P * child_sum(st, nf, MEMBER(i), tv, tu);
      W = W + st.XX(v - nf.base) * P;
    }
    st.XX(u - nf.base) = W * st.XX(u - nf.base);
  }
}

void fold_onto_child(ModelState& st, const NuclearFamily& nf) {
  const auto& MEMBER = st.BUF16.MEMBER;
  const int32 e1 = MEMBER(nf.first);
  const int32 e2 = MEMBER(nf.first + 1);
  const int32 c = MEMBER(nf.first + 2);
  for (int32 u = first_slot(st, nf, c); u <= last_slot(st, nf, c); ++u) {
    const int tu = st.GENOT.LGEN(u);
    double W = 0.0;
    for (int32 v = first_slot(st, nf, e1); v <= last_slot(st, nf, e1); ++v) {
      const int tv = st.GENOT.LGEN(v);
      for (int32 x = first_slot(st, nf, e2); x <= last_slot(st, nf, e2); ++x) {
        const int tx = st.GENOT.LGEN(x);
        double Q = 1.0;
        for (int32 i = nf.first + 3; i <= nf.last; ++i) Q = Q * child_sum(st, nf, MEMBER(i), tx, tv);
        W = W + Q * st.TRANC.CTRANS(tu, tx, tv) * st.XX(v - nf.base) * st.XX(x - nf.base);
      }
    }
    st.XX(u - nf.base) = W * st.XX(u - nf.base);
  }
}

double weight_sum(const ModelState& st, const NuclearFamily& nf, int32 c) {
  double T = 0.0;
  for (int32 u = first_slot(st, nf, c); u <= last_slot(st, nf, c); ++u) T = T + st.XX(u - nf.base);
  return T;
}

double rescale(ModelState& st, const NuclearFamily& nf, int32 c) {
  const double T = weight_sum(st, nf, c);
  if (T == 0.0) return T;
  const double r = 1.0 / T;
  for (int32 u = first_slot(st, nf, c); u <= last_slot(st, nf, c); ++u)
    st.XX(u - nf.base) = st.XX(u - nf.base) * r;
  return T;
}

void MMPFAM(ModelState& st, int32 IFAM, double& FLOGL) {
  const auto& MEMBER = st.BUF16.MEMBER;
  FLOGL = 0.0;
  double S = 0.0;
  NuclearFamily nf{};
  nf.famoff = st.BUF1.FAMOFF(IFAM);
  nf.base = st.GENOT.IGOFF(nf.famoff);
  for (int32 j = st.BUF3.NUCOFF(IFAM) + 1; j <= st.BUF3.NUCOFF(IFAM + 1); ++j) {
    nf.first = st.BUF14.MEMOFF(j) + 1;
    nf.last = st.BUF14.MEMOFF(j + 1);
    const int32 n = nf.entries();
    const int32 e1 = MEMBER(nf.first);
    const int32 c = st.BUF15.ICONN(j) != 0 ? st.BUF15.ICONN(j) : e1;

    if (n >= 2) {
      const int32 e2 = MEMBER(nf.first + 1);
      if (c == e1) {
        fold_onto_parent(st, nf, c, e2);
      } else if (c == e2) {
        fold_onto_parent(st, nf, c, e1);
      } else {
        fold_onto_child(st, nf);
      }
    }

    const double T = rescale(st, nf, c);
    if (T == 0.0) {  // no genotype assignment has any probability
      FLOGL = -std::numeric_limits<double>::infinity();
      return;
    }
    S = S + log_portable(T);
    if (st.BUF15.ICONN(j) == 0) FLOGL = FLOGL + log_portable(weight_sum(st, nf, c));
  }
  FLOGL = S + FLOGL;
}

}  // namespace mglink
