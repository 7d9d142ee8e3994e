#include "fast/fast_peel.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "likelihood/densities.hpp"
#include "likelihood/portable_math.hpp"

namespace mglink {

void PeelScratch::reserve(int32 slots, int32 members, int32 entries) {
  const auto grow = [](auto& v, long n) {
    if (static_cast<long>(v.size()) < n) v.resize(static_cast<std::size_t>(n));
  };
  grow(w, static_cast<long>(slots) + 1);
  grow(mark, static_cast<long>(members) + 1);
  grow(exp_arg, 3L * members + 1);
  grow(exp_dst, 3L * members + 1);
  grow(kids, static_cast<long>(entries) + 1);
  grow(acc, N_GEN + 1);  // a member has at most N_GEN slots
  grow(partner, N_GEN + 1);
  grow(need, N_GEN + 1);
  grow(prod, N_GEN + 1);
  grow(pstamp, N_GEN * N_GEN);  // per genotype pair
  grow(pkept, N_GEN * N_GEN);
}

namespace {

// A bound on the weights of a nuclear family under which no intermediate
// value of the literal peeling can overflow (see below).
constexpr double BOUND = 1e290;
// A parent with at most this many slots (a typed parent) has them all tried
// as partners.
constexpr int32 FEW_PARTNERS = TYPED_SLOTS;
// A child with at most this many slots (a typed child) has its sums formed
// over all its slots, as the literal loops form them.
constexpr int32 SMALL_KID = TYPED_SLOTS;
// The products formed side by side: one per slot of a typed parent.
constexpr int LANES = 4;
static_assert(LANES >= TYPED_SLOTS, "a typed parent's slots go side by side");
// The density of a slot whose genotype fails its individual's marker test
// (DensityStore::slot_mg), after those of the three major-locus genotypes.
constexpr int FAILS_MARKER = 3;

// How a nuclear family is folded onto its connector: as the literal
// fold_onto_parent (a parent connector) or fold_onto_child (the first
// child), by one of the routes below, or not at all.
enum class Fold {
  ParentDirect,  // fold_onto_parent_direct: the other parent is typed
  TypedParent,   // fold_onto_typed_parent: the connector is a typed parent
  Parent,        // fold_onto_parent: over the possible partner genotypes
  Child,         // fold_onto_child
  Literal,       // none: the family is left to the literal routines
};

class Peeler {
 public:
  Peeler(const ModelState& st, const TransmissionCache& tc, int32 f, int32 max_entries,
         PeelScratch& sc, DensityStore& dens)
      : st_(st),
        tc_(tc),
        sc_(sc),
        f_(f),
        famoff_(st.BUF1.FAMOFF(f)),
        members_(st.BUF1.FAMOFF(f + 1) - famoff_),
        base_(st.GENOT.IGOFF(famoff_)),
        w_(sc.w.data()),
        lgen_(st.GENOT.LGEN.data() - 1),
        dens_(dens),
        max_entries_(max_entries) {}

  void densities();
  bool peel(double& FLOGL);

 private:
  int32 first_slot(int32 m) const { return st_.GENOT.IGOFF(famoff_ + m - 1) + 1; }
  int32 last_slot(int32 m) const { return st_.GENOT.IGOFF(famoff_ + m); }
  double& w(int32 s) { return w_[s - base_]; }
  int32 slots(int32 m) const { return last_slot(m) - first_slot(m) + 1; }
  // CTRANS(., b, a): row[c] = CTRANS(c, b, a), c = 1..N_GEN.
  const double* row(int b, int a) const { return ctrans_row(st_, b, a); }

  using Kid = PeelScratch::Kid;
  bool bounded(int32 first, int32 last);
  bool tame() const;
  bool may_skip_zeros(int32 first, int32 last);
  Fold choose_fold(int32 first, int32 last, int32 c, int32 o);
  bool describe_children(int32 from, int32 last, bool small_masks = true);
  void place(int32 m, Kid& k);
  void describe(int32 m, Kid& k);
  std::uint64_t possible_partners(int a, std::uint64_t among) const;
  template <int N, bool stop_at_zero>
  void products(const double* const* rows, std::uint64_t any, double* P) const;
  template <int N>
  void child_products(const int* b, int a, double* P) const;
  void child_products(const int* b, int n, int a, double* P) const;
  void fold_onto_parent(int32 first, int32 last, int32 c, int32 o);
  bool direct_pays(int32 first, int32 last, int32 c, int32 o) const;
  void fold_onto_parent_direct(int32 first, int32 last, int32 c, int32 o);
  void fold_onto_typed_parent(int32 first, int32 last, int32 c, int32 o);
  void fold_onto_child(int32 first, int32 last);

  const ModelState& st_;
  const TransmissionCache& tc_;
  PeelScratch& sc_;
  int32 f_;
  int32 famoff_;
  int32 members_;
  int32 base_;
  double* w_;
  const int32* lgen_;  // lgen_[s] = LGEN(s)
  DensityStore& dens_;
  int32 max_entries_;  // entries of the family's largest nuclear family
  int32 nkids_ = 0;    // children described in sc_.kids
  int tame_ = -1;      // tame(), once asked: 1 or 0
};

// The weights of the members, as MASSIX sets them: for a child the
// density FEN(k, g) (weights 1 when its trait is skipped), for anyone else
// FEN(k, g) times GFREQ(g) (GFREQ(g) alone when the trait is skipped).
//
// FEN depends on g only through its marker test (passed by every listed
// genotype, but kept) and its major-locus genotype, so it is computed once
// per major-locus genotype, and only when the kept value does not hold (see
// DensityStore).  The densities to compute are collected first and their
// exponentials taken in one run, several at a time; then the weights are
// set.
void Peeler::densities() {
  // The members in MASSIX's order: +e a child, -e anyone else.
  const int32 begin = dens_.role_begin[static_cast<std::size_t>(f_)];
  const int32* role = dens_.role.data() + begin;
  const int32 nroles = dens_.role_begin[static_cast<std::size_t>(f_) + 1] - begin;

  const double* gfreq = st_.PRPAR.GFREQ.data() - 1;  // gfreq[g] = GFREQ(g)
  // FEN's own operations, z = (m - y) r and exp(-(z z) 0.5) r, with
  // r = 1 / SIGMA formed once.
  const double r = 1.0 / st_.IMAX.SIGMA;
  double* arg = sc_.exp_arg.data();
  double** dst = sc_.exp_dst.data();
  int32 nexp = 0;
  DensityStore::Kept* kept = dens_.kept.data();
  const std::uint32_t* epoch = dens_.epoch;

  // The densities to compute: of the major-locus genotypes met among the
  // slots that pass the marker test, those not computed in the current
  // epoch.
  for (int32 q = 0; q < nroles; ++q) {
    const int32 e = role[q] > 0 ? role[q] : -role[q];
    const int32 k = famoff_ + e;
    const double y = st_.BUF2.TRAIT(k);
    if (!(y > TRAIT_SKIPPED)) continue;
    DensityStore::Kept& kk = kept[k];
    for (int mg = 0; mg < 3; ++mg) {
      if ((kk.met & (1 << mg)) == 0 || kk.epoch[mg] == epoch[mg]) continue;
      kk.epoch[mg] = epoch[mg];
      if (y <= TRAIT_MISSING) {  // FEN gives 1 without an exponential
        kk.fen[mg] = FEN(st_, k, kk.rep[mg]);
      } else {
        const double z = (st_.IMAX.GMEAN(mg + 1) - y) * r;
        arg[nexp] = -(z * z) * 0.5;
        dst[nexp++] = &kk.fen[mg];
      }
    }
  }
  exp_portable_n(arg, arg, nexp);
  for (int32 i = 0; i < nexp; ++i) *dst[i] = arg[i] * r;

  // The weights.  A slot whose genotype fails the marker test (none does
  // after the enumeration, but FEN would say 0) takes d[FAILS_MARKER] = 0.
  const std::int8_t* slot_mg = dens_.slot_mg.data();
  for (int32 q = 0; q < nroles; ++q) {
    const bool child = role[q] > 0;
    const int32 e = child ? role[q] : -role[q];
    const int32 k = famoff_ + e;
    if (!(st_.BUF2.TRAIT(k) > TRAIT_SKIPPED)) {
      for (int32 s = first_slot(e); s <= last_slot(e); ++s) w(s) = child ? 1.0 : gfreq[lgen_[s]];
      continue;
    }
    const DensityStore::Kept& kk = kept[k];
    const double d[FAILS_MARKER + 1] = {kk.fen[0], kk.fen[1], kk.fen[2], 0.0};
    if (child) {
      for (int32 s = first_slot(e); s <= last_slot(e); ++s) w(s) = d[slot_mg[s]];
    } else {
      for (int32 s = first_slot(e); s <= last_slot(e); ++s) w(s) = d[slot_mg[s]] * gfreq[lgen_[s]];
    }
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

// The children of the nuclear family being folded, entries `from`..`last`
// of MEMBER, in list order: their slots and their genotypes, and with
// `small_masks`, or when they have more than SMALL_KID slots, the set of
// their genotypes (see describe).  Returns whether some child has more than
// SMALL_KID slots.
bool Peeler::describe_children(int32 from, int32 last, bool small_masks) {
  nkids_ = 0;
  bool big = false;
  for (int32 i = from; i <= last; ++i) {
    Kid& k = sc_.kids[static_cast<std::size_t>(nkids_)];
    const int32 m = st_.BUF16.MEMBER(i);
    if (small_masks || last_slot(m) - first_slot(m) + 1 > SMALL_KID) {
      describe(m, k);
    } else {
      place(m, k);
    }
    if (k.n > SMALL_KID) big = true;
    ++nkids_;
  }
  return big;
}

void Peeler::place(int32 m, Kid& k) {
  k.first = first_slot(m);
  k.n = last_slot(m) - k.first + 1;
  k.w = &w(k.first);
  k.t = lgen_ + k.first;
}

void Peeler::describe(int32 m, Kid& k) {
  place(m, k);
  if (k.n == N_GEN) {  // every genotype, in increasing order
    k.mask = (std::uint64_t{1} << N_GEN) - 1;
    for (int32 i = 0; i < N_GEN; ++i) k.rank[i] = static_cast<std::uint8_t>(i);
    return;
  }
  k.mask = 0;
  for (int32 i = 0; i < k.n; ++i) {
    const int g = k.t[i] - 1;
    k.mask |= std::uint64_t{1} << g;
    k.rank[g] = static_cast<std::uint8_t>(i);
  }
}

// The genotypes b that a second parent can have, when the first has
// genotype a, for every child to have a sum C(h; b, a) that can be nonzero:
// some genotype of each child must be one that parents a and b can give.
// For any other b some child's sum is exactly 0 (each of its terms is 0
// times a finite weight), and so is the product over the children.
std::uint64_t Peeler::possible_partners(int a, std::uint64_t among) const {
  for (int32 i = 0; i < nkids_ && among != 0; ++i) {
    std::uint64_t cover = 0;
    for (std::uint64_t m = sc_.kids[static_cast<std::size_t>(i)].mask; m != 0; m &= m - 1)
      cover |= tc_.partners(a, std::countr_zero(m) + 1);
    among &= cover;
  }
  return among;
}

// The child sum of N parental pairs side by side over the M slots of a
// child, in slot order: C[j] = C[j] + CTRANS(t(z), b_j, a_j) * w(z).
template <int N, int M>
inline void add_terms(const double* const* rows, const int32* t, const double* wz, double* C) {
  for (int z = 0; z < M; ++z)
    for (int j = 0; j < N; ++j) C[j] = C[j] + rows[j][t[z]] * wz[z];
}

// The products over the children described (in sc_.kids) of the child sums of N parental pairs side by side:
// P[j] = product over the children h, in list order, of the sum over the
// slots z of h, z increasing, of CTRANS(t(z), b_j, a_j) * w(z), with
// rows[j][g] = CTRANS(g, b_j, a_j).  The N products are independent, and
// forming them side by side lets their sums overlap.  A child of few slots
// takes all its terms; any other only those of the genotypes in `any`,
// which must hold every genotype some pair (a_j, b_j) can give (every other
// term is 0 times a finite weight).  With `stop_at_zero` the products stop
// at the first child that makes them all 0, where the literal ones stay 0
// as long as the later factors are finite (the nuclear family has passed
// the bound check); without it every factor is formed, as in the literal
// loops.
template <int N, bool stop_at_zero>
void Peeler::products(const double* const* rows, std::uint64_t any, double* P) const {
  const Kid* kids = sc_.kids.data();
  for (int j = 0; j < N; ++j) P[j] = 1.0;
  for (int32 i = 0; i < nkids_; ++i) {
    double C[N];
    for (int j = 0; j < N; ++j) C[j] = 0.0;
    if (kids[i].n <= SMALL_KID) {
      static_assert(SMALL_KID == 4, "a typed child has 3 or 4 slots, or fewer");
      const Kid& k = kids[i];
      switch (k.n) {
        case 4: add_terms<N, 4>(rows, k.t, k.w, C); break;
        case 3: add_terms<N, 3>(rows, k.t, k.w, C); break;
        case 2: add_terms<N, 2>(rows, k.t, k.w, C); break;
        case 1: add_terms<N, 1>(rows, k.t, k.w, C); break;
        default: break;  // no slot: the sum stays 0
      }
    } else {
      const Kid& k = kids[i];
      for (std::uint64_t m = k.mask & any; m != 0; m &= m - 1) {
        const int g = std::countr_zero(m);
        const double wz = k.w[k.rank[g]];
        for (int j = 0; j < N; ++j) C[j] = C[j] + rows[j][g + 1] * wz;
      }
    }
    bool all_zero = true;
    for (int j = 0; j < N; ++j) {
      P[j] = P[j] * C[j];
      all_zero = all_zero && P[j] == 0.0;
    }
    if (stop_at_zero && all_zero) break;
  }
}

// The products for N partner genotypes b[j] of a parent of genotype a.
template <int N>
void Peeler::child_products(const int* b, int a, double* P) const {
  const double* rows[N];
  std::uint64_t any = 0;  // the child genotypes that some pair (a, b[j]) can give
  for (int j = 0; j < N; ++j) {
    rows[j] = row(b[j], a);
    any |= tc_.mask(a, b[j]);
  }
  products<N, true>(rows, any, P);
}

// The products for the partner genotypes b[0..n-1] of a, LANES side by
// side, then the rest.
void Peeler::child_products(const int* b, int n, int a, double* P) const {
  static_assert(LANES == 4, "the rest takes up to three");
  int i = 0;
  for (; i + LANES <= n; i += LANES) child_products<LANES>(b + i, a, P + i);
  switch (n - i) {
    case 3: child_products<3>(b + i, a, P + i); break;
    case 2: child_products<2>(b + i, a, P + i); break;
    case 1: child_products<1>(b + i, a, P + i); break;
    default: break;
  }
}

// Connector c is a parent, o the other parent: for each slot u of c,
// w(u) = (sum over the slots v of o of w(v) * P(v)) * w(u), with P(v) the
// product over the children of C(h; t(v), t(u)).  The slots v are visited
// in increasing order, leaving out those whose term is 0.
void Peeler::fold_onto_parent(int32 first, int32 last, int32 c, int32 o) {
  describe_children(first + 2, last);
  Kid& other = sc_.spouse;
  describe(o, other);
  // With few partner slots, trying each is cheaper than ruling some out.
  const bool filter = other.n > FEW_PARTNERS;
  // P for the genotype pair (a, b) equals P for (b, a) bit for bit: CTRANS
  // is symmetric in the parents bit for bit (each entry is the same two
  // products added in the other order), so every child sum is.  When both
  // parents can have both genotypes, the second pair takes the first's.
  if (sc_.fold == INT32_MAX) {  // stamps start again
    std::fill(sc_.pstamp.begin(), sc_.pstamp.end(), 0);
    sc_.fold = 0;
  }
  const int32 fold = ++sc_.fold;
  // Mirror pairs need a genotype that both parents can have.
  std::uint64_t cset = 0;
  for (int32 u = first_slot(c); u <= last_slot(c); ++u) cset |= std::uint64_t{1} << (lgen_[u] - 1);
  const bool mirrors = (cset & other.mask) != 0;
  int32* stamp = sc_.pstamp.data();
  double* kept = sc_.pkept.data();
  int* partner = sc_.partner.data();
  int* need = sc_.need.data();
  double* P = sc_.prod.data();
  int bneed[N_GEN];  // the partner genotypes whose products are to be formed
  double R[N_GEN];   // and those products
  for (int32 u = first_slot(c); u <= last_slot(c); ++u) {
    const int tu = lgen_[u];
    // The partner genotypes whose term can be nonzero, in increasing order.
    int n = 0;
    for (std::uint64_t m = filter ? possible_partners(tu, other.mask) : other.mask; m != 0; m &= m - 1) {
      const int g = std::countr_zero(m);
      partner[n] = g + 1;
      n += other.w[other.rank[g]] != 0.0 ? 1 : 0;
    }
    // Their products: taken from the mirror pair, or formed.
    int nn = 0;
    for (int q = 0; q < n; ++q) {
      const int mirror = genotype_pair(partner[q], tu);
      if (mirrors && stamp[mirror] == fold) {
        P[q] = kept[mirror];
      } else {
        need[nn] = q;
        bneed[nn++] = partner[q];
      }
    }
    child_products(bneed, nn, tu, R);
    for (int i = 0; i < nn; ++i) P[need[i]] = R[i];
    double W = 0.0;
    for (int q = 0; q < n; ++q) {
      if (mirrors) {
        const int at = genotype_pair(tu, partner[q]);
        stamp[at] = fold;
        kept[at] = P[q];
      }
      if (P[q] != 0.0) W = W + other.w[other.rank[partner[q] - 1]] * P[q];
    }
    w(u) = W * w(u);
  }
}

// Beyond this many (connector slot, child) pairs the sparse fold, which
// stops a product at its first zero, is left to decide.
constexpr long DIRECT_WORK = 1024;

// Whether fold_onto_parent_direct takes the nuclear family: the other parent
// is typed (at most TYPED_SLOTS slots), the work is within DIRECT_WORK, and
// every child of many slots has finite weights.
bool Peeler::direct_pays(int32 first, int32 last, int32 c, int32 o) const {
  const int32 no = slots(o);
  const int32 nc = slots(c);
  if (no > TYPED_SLOTS || static_cast<long>(nc) * (last - first - 1) > DIRECT_WORK) return false;
  for (int32 i = first + 2; i <= last; ++i) {
    const int32 h = st_.BUF16.MEMBER(i);
    if (last_slot(h) - first_slot(h) + 1 <= SMALL_KID) continue;
    for (int32 z = first_slot(h); z <= last_slot(h); ++z)
      if (!std::isfinite(w_[z - base_])) return false;
  }
  return true;
}

// The fold onto parent c (see fold_onto_parent) when the other parent o
// has few slots (at most TYPED_SLOTS: a typed partner): the literal loops,
// its slots side by side (LANES), term for term with the zeros included; the
// same operations in the same order give the same bits, with no bound to
// check first.  One liberty, which changes no sum: a child of many slots (an
// untyped child) meets only the genotypes that the parental pairs can give,
// every other term being 0 times a finite weight (its weights were checked
// to be finite).
void Peeler::fold_onto_parent_direct(int32 first, int32 last, int32 c, int32 o) {
  const bool big_kids = describe_children(first + 2, last, false);
  const int32 ofirst = first_slot(o), olast = last_slot(o);
  const int32 nv = olast - ofirst + 1;
  for (int32 u = first_slot(c); u <= last_slot(c); ++u) {
    const int tu = lgen_[u];
    const double* Cv[LANES];  // Cv[j][g] = CTRANS(g, t(v_j), t(u))
    for (int j = 0; j < LANES; ++j) Cv[j] = row(lgen_[ofirst + (j < nv ? j : 0)], tu);
    // The child genotypes some pair (t(u), t(v)) can give.
    std::uint64_t any = 0;
    if (big_kids)
      for (int j = 0; j < nv; ++j) any |= tc_.mask(tu, lgen_[ofirst + j]);
    double P[LANES];
    products<LANES, false>(Cv, any, P);
    double W = 0.0;
    for (int j = 0; j < nv; ++j) W = W + w(ofirst + j) * P[j];
    w(u) = W * w(u);
  }
}

// A parent connector of at most TYPED_SLOTS slots (a typed parent) whose partner o
// has many: its slots u side by side, the partner slots v in increasing
// order, each W(u) taking its terms in the literal order.  A slot v is
// passed over when its weight is 0, or when for every u some child's sum is
// exactly 0 (v's genotype is no possible partner of any t(u)): each term it
// would add is then 0 times a finite value (the nuclear family has passed
// the bound check).  For the slots v that are taken, every term is formed,
// zeros included.
void Peeler::fold_onto_typed_parent(int32 first, int32 last, int32 c, int32 o) {
  const bool big_kids = describe_children(first + 2, last);
  const int32 ufirst = first_slot(c);
  const int32 nu = last_slot(c) - ufirst + 1;
  int tu[LANES];
  for (int j = 0; j < LANES; ++j) tu[j] = lgen_[ufirst + (j < nu ? j : 0)];
  // The partner genotypes that some t(u) can have children of every child's
  // genotype with.
  Kid& other = sc_.spouse;
  describe(o, other);
  std::uint64_t cand = 0;
  for (int j = 0; j < nu; ++j) cand |= possible_partners(tu[j], other.mask);
  double W[LANES] = {};
  for (int32 v = first_slot(o); v <= last_slot(o); ++v) {
    const int tv = lgen_[v];
    const double wv = w(v);
    if (((cand >> (tv - 1)) & 1U) == 0 || wv == 0.0) continue;
    const double* Cv[LANES];  // Cv[j][g] = CTRANS(g, t(v), t(u_j))
    for (int j = 0; j < LANES; ++j) Cv[j] = row(tv, tu[j]);
    std::uint64_t any = 0;
    if (big_kids)
      for (int j = 0; j < nu; ++j) any |= tc_.mask(tu[j], tv);
    double P[LANES];
    products<LANES, false>(Cv, any, P);
    for (int j = 0; j < LANES; ++j) W[j] = W[j] + wv * P[j];
  }
  for (int j = 0; j < nu; ++j) w(ufirst + j) = W[j] * w(ufirst + j);
}

// Connector is the first child c: for each slot u of c,
// w(u) = (sum over v of parent 1, x of parent 2 of
//         Q(v,x) * CTRANS(t(u), t(x), t(v)) * w(v) * w(x)) * w(u),
// Q(v,x) the product over the other children of C(h; t(x), t(v)).
// Q does not depend on u: each (v, x) computes it once and adds its term to
// the sum of every slot u whose genotype parents t(v) and t(x) can give, the
// pairs (v, x) taken in the order of the literal loops.
void Peeler::fold_onto_child(int32 first, int32 last) {
  const auto& MEMBER = st_.BUF16.MEMBER;
  describe_children(first + 3, last);
  Kid& p2 = sc_.spouse;
  describe(MEMBER(first + 1), p2);
  Kid& conn = sc_.connector;
  describe(MEMBER(first + 2), conn);
  const int32 e1 = MEMBER(first);
  double* acc = sc_.acc.data();
  for (int32 i = 0; i < conn.n; ++i) acc[i] = 0.0;

  for (int32 v = first_slot(e1); v <= last_slot(e1); ++v) {
    const double wv = w(v);
    if (wv == 0.0) continue;
    const int tv = lgen_[v];
    // Partners x of v that can have the connector as a child, and every
    // other child.
    std::uint64_t cover = 0;
    for (std::uint64_t m = conn.mask; m != 0; m &= m - 1) cover |= tc_.partners(tv, std::countr_zero(m) + 1);
    int* partner = sc_.partner.data();
    int n = 0;
    for (std::uint64_t mx = possible_partners(tv, p2.mask & cover); mx != 0; mx &= mx - 1) {
      const int gx = std::countr_zero(mx);
      partner[n] = gx + 1;
      n += p2.w[p2.rank[gx]] != 0.0 ? 1 : 0;
    }
    // The products Q over the other children, then each partner x in
    // increasing order adds its terms.
    double Q[N_GEN];
    child_products(partner, n, tv, Q);
    for (int q = 0; q < n; ++q) {
      if (Q[q] == 0.0) continue;
      const int tx = partner[q];
      const double wx = p2.w[p2.rank[tx - 1]];
      const double* Cxv = row(tx, tv);  // Cxv[c] = CTRANS(c, tx, tv)
      for (std::uint64_t m = conn.mask & tc_.mask(tv, tx); m != 0; m &= m - 1) {
        const int g = std::countr_zero(m);
        const int k = conn.rank[g];
        acc[k] = acc[k] + Q[q] * Cxv[g + 1] * wv * wx;
      }
    }
  }
  for (int32 i = 0; i < conn.n; ++i) w(conn.first + i) = acc[i] * w(conn.first + i);
}

// Whether the weights as they stand settle the bound for the rest of the
// family: when they are all finite, nonnegative and at most M, every weight
// met later is at most max(M, 1) (a connector's weights are rescaled to sum
// 1), so every nuclear family still to fold passes the test of `bounded` if
// (2 * 55 * max(M, 1)) to the power of its number of entries is within
// BOUND.  (Asked before the first nuclear family that needs it, after the
// folds of those before it.)
bool Peeler::tame() const {
  const int32 n = st_.GENOT.IGOFF(st_.BUF1.FAMOFF(f_ + 1)) - base_;
  double M = 1.0001;
  for (int32 s = 1; s <= n; ++s) {
    const double x = w_[s];
    if (!(x >= 0.0 && x <= BOUND)) return false;
    if (x > M) M = x;
  }
  double L = 1.0;
  for (int32 i = 0; i < max_entries_; ++i) {
    L *= 110.0 * M;
    if (!(L <= BOUND)) return false;
  }
  return true;
}

// Whether a nuclear family's fold may leave out the terms that are exactly
// zero: nothing in it can overflow.  Settled for the whole family when its
// weights are tame (asked once, when first needed), else checked for each.
bool Peeler::may_skip_zeros(int32 first, int32 last) {
  if (tame_ < 0) tame_ = tame() ? 1 : 0;
  return tame_ == 1 || bounded(first, last);
}

// The fold of the nuclear family first..last onto its connector c (o: the
// other parent, when c is a parent).
Fold Peeler::choose_fold(int32 first, int32 last, int32 c, int32 o) {
  const auto& MEMBER = st_.BUF16.MEMBER;
  const bool onto_parent = c == MEMBER(first) || c == MEMBER(first + 1);
  if (onto_parent && direct_pays(first, last, c, o)) return Fold::ParentDirect;
  if (!may_skip_zeros(first, last)) return Fold::Literal;
  if (onto_parent) return slots(c) <= TYPED_SLOTS ? Fold::TypedParent : Fold::Parent;
  return Fold::Child;
}

// MMPFAM for the family, with the folds above.
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
      const int32 e2 = MEMBER(first + 1);
      const int32 o = c == e1 ? e2 : e1;
      switch (choose_fold(first, last, c, o)) {
        case Fold::ParentDirect: fold_onto_parent_direct(first, last, c, o); break;
        case Fold::TypedParent: fold_onto_typed_parent(first, last, c, o); break;
        case Fold::Parent: fold_onto_parent(first, last, c, o); break;
        case Fold::Child: fold_onto_child(first, last); break;
        case Fold::Literal: return false;  // left to the literal routines
      }
    }

    // rescale, exactly as the literal one.
    double T = 0.0;
    for (int32 u = first_slot(c); u <= last_slot(c); ++u) T = T + w(u);
    if (T == 0.0) return false;
    const double r = 1.0 / T;
    if (!std::isfinite(r)) return false;  // the rescaled weights would not be finite
    for (int32 u = first_slot(c); u <= last_slot(c); ++u) w(u) = w(u) * r;
    S = S + log_portable(T);
    if (st_.BUF15.ICONN(j) == 0) {
      double T2 = 0.0;  // weight_sum
      for (int32 u = first_slot(c); u <= last_slot(c); ++u) T2 = T2 + w(u);
      FLOGL = FLOGL + log_portable(T2);
    }
  }
  FLOGL = S + FLOGL;
  return std::isfinite(FLOGL);
}

}  // namespace

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

bool fast_family(const ModelState& st, const TransmissionCache& tc, int32 f, int32 max_entries,
                 PeelScratch& sc, DensityStore& dens, double& FLOGL) {
  Peeler p(st, tc, f, max_entries, sc, dens);
  p.densities();
  return p.peel(FLOGL);
}

}  // namespace mglink
