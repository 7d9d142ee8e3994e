#include "likelihood/fast_peel.hpp"

#include <cmath>

#include "likelihood/densities.hpp"

namespace mglink {

void PeelScratch::reserve(int32 slots, int32 members, int32 entries) {
  const auto grow = [](auto& v, long n) {
    if (static_cast<long>(v.size()) < n) v.resize(static_cast<std::size_t>(n));
  };
  grow(w, static_cast<long>(slots) + 1);
  grow(idone, static_cast<long>(members) + 1);
  grow(mark, static_cast<long>(members) + 1);
  grow(map, 56L * (static_cast<long>(entries) + 1));
  grow(childmap, static_cast<long>(entries) + 1);
  grow(acc, 56L);  // a member has at most 55 slots
}

namespace {

// A bound on the weights of a nuclear family under which no intermediate
// value of the literal peeling can overflow (see below).
constexpr double BOUND = 1e290;
// Members with more slots than this reach their child genotypes through the
// sparse lists; with fewer, every slot is visited.
constexpr int32 FEW_SLOTS = 8;

class Peeler {
 public:
  Peeler(const ModelState& st, const TransmissionCache& tc, int32 f, PeelScratch& sc)
      : st_(st),
        tc_(tc),
        sc_(sc),
        f_(f),
        famoff_(st.BUF1.FAMOFF(f)),
        members_(st.BUF1.FAMOFF(f + 1) - famoff_),
        base_(st.GENOT.IGOFF(famoff_)),
        w_(sc.w.data()),
        ct_(st.TRANC.CTRANS.data()) {}

  bool layout_ok();
  void densities();
  bool peel(double& FLOGL);

 private:
  int32 first_slot(int32 m) const { return st_.GENOT.IGOFF(famoff_ + m - 1) + 1; }
  int32 last_slot(int32 m) const { return st_.GENOT.IGOFF(famoff_ + m); }
  int32 nslots(int32 m) const { return last_slot(m) - first_slot(m) + 1; }
  double& w(int32 s) { return w_[s - base_]; }
  double ctrans(int c, int b, int a) const { return ct_[(c - 1) + 55 * ((b - 1) + 55 * (a - 1))]; }

  void set_densities(int32 e, bool founder);
  bool bounded(int32 first, int32 last);
  int32* build_map(int32 m, int32 index);
  double child_sum(int32 h, const int32* map, int b, int a);
  void fold_onto_parent(int32 first, int32 last, int32 c, int32 o);
  void fold_onto_child(int32 first, int32 last);

  const ModelState& st_;
  const TransmissionCache& tc_;
  PeelScratch& sc_;
  int32 f_;
  int32 famoff_;
  int32 members_;
  int32 base_;
  double* w_;
  const double* ct_;
};

// The layouts the fast peeling takes: every nuclear family has at least one
// entry, its entries and connector are members of the family, its entries
// are distinct, and a connector that is not a parent is the first child.
// (The literal routines decide what anything else gives.)
bool Peeler::layout_ok() {
  const auto& MEMOFF = st_.BUF14.MEMOFF;
  const auto& MEMBER = st_.BUF16.MEMBER;
  int32* mark = sc_.mark.data();
  for (int32 e = 1; e <= members_; ++e) mark[e] = 0;
  for (int32 j = st_.BUF3.NUCOFF(f_) + 1; j <= st_.BUF3.NUCOFF(f_ + 1); ++j) {
    const int32 first = MEMOFF(j) + 1;
    const int32 last = MEMOFF(j + 1);
    if (last < first) return false;
    for (int32 i = first; i <= last; ++i) {
      const int32 e = MEMBER(i);
      if (e < 1 || e > members_ || mark[e] == j) return false;
      mark[e] = j;
    }
    const int32 conn = st_.BUF15.ICONN(j);
    if (conn < 0 || conn > members_) return false;
    if (last - first >= 1 && conn != 0 && conn != MEMBER(first) && conn != MEMBER(first + 1)) {
      if (last - first < 2 || conn != MEMBER(first + 2)) return false;
    }
  }
  return true;
}

// Weights of member e as MASSIX sets them: the density FEN(k, g), times
// GFREQ(g) for a founder.  FEN depends on g only through its marker test
// (passed by every listed genotype, but kept) and its major-locus genotype,
// so it is called once per major-locus genotype.
void Peeler::set_densities(int32 e, bool founder) {
  const int32 k = famoff_ + e;
  const bool skipped = !(st_.BUF2.TRAIT(k) > TRAIT_SKIPPED);
  const int32 c = st_.BUF2.MARKER(k);
  double dens[4] = {0.0, 0.0, 0.0, 0.0};
  bool have[4] = {false, false, false, false};
  for (int32 s = first_slot(e); s <= last_slot(e); ++s) {
    const int32 g = st_.GENOT.LGEN(s);
    if (founder && skipped) {
      w(s) = st_.PRPAR.GFREQ(g);
      continue;
    }
    double d;
    if (c != 0 && c != st_.PRPAR.MRKGEN(g)) {
      d = 0.0;
    } else {
      const int32 mg = st_.PRPAR.MAJGEN(g);
      if (!have[mg]) {
        dens[mg] = FEN(st_, k, g);
        have[mg] = true;
      }
      d = dens[mg];
    }
    w(s) = founder ? d * st_.PRPAR.GFREQ(g) : d;
  }
}

void Peeler::densities() {
  const auto& MEMOFF = st_.BUF14.MEMOFF;
  const auto& MEMBER = st_.BUF16.MEMBER;
  int32* idone = sc_.idone.data();
  const int32 n = st_.GENOT.IGOFF(st_.BUF1.FAMOFF(f_ + 1)) - base_;
  const int32 jfirst = st_.BUF3.NUCOFF(f_) + 1;
  const int32 jlast = st_.BUF3.NUCOFF(f_ + 1);

  for (int32 e = 1; e <= members_; ++e) idone[e] = 0;
  for (int32 s = 1; s <= n; ++s) w_[s] = 1.0;

  for (int32 j = jfirst; j <= jlast; ++j) {
    if (MEMOFF(j + 1) - MEMOFF(j) <= 2) continue;
    for (int32 i = MEMOFF(j) + 3; i <= MEMOFF(j + 1); ++i) {
      const int32 e = MEMBER(i);
      idone[e] = 1;
      if (!(st_.BUF2.TRAIT(famoff_ + e) > TRAIT_SKIPPED)) continue;
      set_densities(e, false);
    }
  }
  for (int32 j = jfirst; j <= jlast; ++j) {
    const int32 entries = MEMOFF(j + 1) - MEMOFF(j);
    const int32 nparents = entries >= 2 ? 2 : entries;
    for (int32 i = MEMOFF(j) + 1; i <= MEMOFF(j) + nparents; ++i) {
      const int32 e = MEMBER(i);
      if (idone[e] == 1) continue;
      idone[e] = 1;
      set_densities(e, true);
    }
  }
  for (int32 e = 1; e <= members_; ++e) {
    if (idone[e] == 1) continue;
    set_densities(e, true);
  }
}

// Every intermediate value of the literal fold of a nuclear family is, in
// absolute value, at most 2^(children) times the product over its entries
// of max(1, sum of |w| over the entry's slots): a child sum is at most twice
// the child's weight sum (CTRANS <= 2 when theta is in [0, 1]), and every
// product and sum of the fold is bounded by the corresponding product of
// these.  Under BOUND nothing overflows, so every term left out is exactly
// zero; weights that are not finite fail the test.
bool Peeler::bounded(int32 first, int32 last) {
  double L = 1.0;
  for (int32 i = first; i <= last; ++i) {
    const int32 m = st_.BUF16.MEMBER(i);
    double s = 0.0;
    for (int32 z = first_slot(m); z <= last_slot(m); ++z) s += std::fabs(w(z));
    if (!(s <= BOUND)) return false;
    if (s > 1.0) L *= s;
    if (i >= first + 2) L *= 2.0;
    if (!(L <= BOUND)) return false;
  }
  return true;
}

// The family-relative slot of each genotype of member m (0: not possible),
// in the map row `index`.
int32* Peeler::build_map(int32 m, int32 index) {
  int32* map = sc_.map.data() + 56 * index;
  for (int g = 0; g < 56; ++g) map[g] = 0;
  for (int32 z = first_slot(m); z <= last_slot(m); ++z) map[st_.GENOT.LGEN(z)] = z - base_;
  return map;
}

// C(h; b, a) = sum over the slots z of h of CTRANS(t(z), b, a) * w(z), z
// increasing.  With a map, only the genotypes in the sparse list of (a, b)
// are visited, in increasing order, which is the order of the slots.
double Peeler::child_sum(int32 h, const int32* map, int b, int a) {
  double C = 0.0;
  if (map == nullptr) {
    for (int32 z = first_slot(h); z <= last_slot(h); ++z)
      C = C + ctrans(st_.GENOT.LGEN(z), b, a) * w(z);
    return C;
  }
  const int32 n = tc_.count(a, b);
  const std::uint8_t* cs = tc_.children(a, b);
  const double* vs = tc_.values(a, b);
  for (int32 i = 0; i < n; ++i) {
    const int32 z = map[cs[i]];
    if (z != 0) C = C + vs[i] * w_[z];
  }
  return C;
}

// Connector c is a parent, o the other parent: for each slot u of c,
// w(u) = (sum over the slots v of o of w(v) * P(v)) * w(u), with P(v) the
// product over the children of C(h; t(v), t(u)).
void Peeler::fold_onto_parent(int32 first, int32 last, int32 c, int32 o) {
  const auto& MEMBER = st_.BUF16.MEMBER;
  const int32 nchild = last - first - 1;
  const int32** childmap = sc_.childmap.data();
  for (int32 i = 0; i < nchild; ++i) {
    const int32 h = MEMBER(first + 2 + i);
    childmap[i] = nslots(h) > FEW_SLOTS ? build_map(h, i) : nullptr;
  }
  for (int32 u = first_slot(c); u <= last_slot(c); ++u) {
    const int tu = st_.GENOT.LGEN(u);
    double W = 0.0;
    for (int32 v = first_slot(o); v <= last_slot(o); ++v) {
      const double wv = w(v);
      if (wv == 0.0) continue;
      const int tv = st_.GENOT.LGEN(v);
      double P = 1.0;
      for (int32 i = 0; i < nchild; ++i) {
        P = P * child_sum(MEMBER(first + 2 + i), childmap[i], tv, tu);
        if (P == 0.0) break;
      }
      if (P == 0.0) continue;
      W = W + wv * P;
    }
    w(u) = W * w(u);
  }
}

// Connector is the first child c: for each slot u of c,
// w(u) = (sum over v of parent 1, x of parent 2 of
//         Q(v,x) * CTRANS(t(u), t(x), t(v)) * w(v) * w(x)) * w(u),
// Q(v,x) the product over the other children of C(h; t(x), t(v)).
void Peeler::fold_onto_child(int32 first, int32 last) {
  const auto& MEMBER = st_.BUF16.MEMBER;
  const int32 e1 = MEMBER(first);
  const int32 e2 = MEMBER(first + 1);
  const int32 c = MEMBER(first + 2);
  const int32 nother = last - first - 2;
  const int32** childmap = sc_.childmap.data();
  for (int32 i = 0; i < nother; ++i) {
    const int32 h = MEMBER(first + 3 + i);
    childmap[i] = nslots(h) > FEW_SLOTS ? build_map(h, i + 1) : nullptr;
  }
  const int32 ufirst = first_slot(c);
  const int32 ulast = last_slot(c);
  const int32 nu = ulast - ufirst + 1;
  const int32* cmap = nu > FEW_SLOTS ? build_map(c, 0) : nullptr;
  double* acc = sc_.acc.data();
  for (int32 i = 0; i <= nu; ++i) acc[i] = 0.0;

  for (int32 v = first_slot(e1); v <= last_slot(e1); ++v) {
    const double wv = w(v);
    if (wv == 0.0) continue;
    const int tv = st_.GENOT.LGEN(v);
    for (int32 x = first_slot(e2); x <= last_slot(e2); ++x) {
      const double wx = w(x);
      if (wx == 0.0) continue;
      const int tx = st_.GENOT.LGEN(x);
      double Q = 1.0;
      for (int32 i = 0; i < nother; ++i) {
        Q = Q * child_sum(MEMBER(first + 3 + i), childmap[i], tx, tv);
        if (Q == 0.0) break;
      }
      if (Q == 0.0) continue;
      if (cmap == nullptr) {
        for (int32 u = ufirst; u <= ulast; ++u) {
          const double ct = ctrans(st_.GENOT.LGEN(u), tx, tv);
          if (ct == 0.0) continue;
          acc[u - ufirst] = acc[u - ufirst] + Q * ct * wv * wx;
        }
      } else {
        const int32 n = tc_.count(tv, tx);
        const std::uint8_t* cs = tc_.children(tv, tx);
        const double* vs = tc_.values(tv, tx);
        for (int32 i = 0; i < n; ++i) {
          const int32 z = cmap[cs[i]];
          if (z == 0) continue;
          const int32 k = z + base_ - ufirst;
          acc[k] = acc[k] + Q * vs[i] * wv * wx;
        }
      }
    }
  }
  for (int32 u = ufirst; u <= ulast; ++u) w(u) = acc[u - ufirst] * w(u);
}

bool Peeler::peel(double& FLOGL) {
  const auto& MEMBER = st_.BUF16.MEMBER;
  FLOGL = 0.0;
  double S = 0.0;
  for (int32 j = st_.BUF3.NUCOFF(f_) + 1; j <= st_.BUF3.NUCOFF(f_ + 1); ++j) {
    const int32 first = st_.BUF14.MEMOFF(j) + 1;
    const int32 last = st_.BUF14.MEMOFF(j + 1);
    const int32 n = last - first + 1;
    const int32 e1 = MEMBER(first);
    const int32 c = st_.BUF15.ICONN(j) != 0 ? st_.BUF15.ICONN(j) : e1;

    if (n >= 2) {
      if (!bounded(first, last)) return false;
      const int32 e2 = MEMBER(first + 1);
      if (c == e1) {
        fold_onto_parent(first, last, c, e2);
      } else if (c == e2) {
        fold_onto_parent(first, last, c, e1);
      } else {
        fold_onto_child(first, last);
      }
    }

    // The rescaling, exactly as the literal one.
    double T = 0.0;
    for (int32 u = first_slot(c); u <= last_slot(c); ++u) T = T + w(u);
    if (T == 0.0) return false;
    const double r = 1.0 / T;
    for (int32 u = first_slot(c); u <= last_slot(c); ++u) w(u) = w(u) * r;
    S = S + std::log(T);
    if (st_.BUF15.ICONN(j) == 0) {
      double T2 = 0.0;
      for (int32 u = first_slot(c); u <= last_slot(c); ++u) T2 = T2 + w(u);
      FLOGL = FLOGL + std::log(T2);
    }
  }
  FLOGL = S + FLOGL;
  return std::isfinite(FLOGL);
}

}  // namespace

bool fast_family(const ModelState& st, const TransmissionCache& tc, int32 f, PeelScratch& sc,
                 double& FLOGL) {
  Peeler p(st, tc, f, sc);
  if (!p.layout_ok()) return false;
  p.densities();
  return p.peel(FLOGL);
}

}  // namespace mglink
