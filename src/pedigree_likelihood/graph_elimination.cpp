#include "pedigree_likelihood/graph_elimination.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "likelihood/portable_math.hpp"

namespace mglink::pedlik {

namespace {

std::size_t idx(long i) { return static_cast<std::size_t>(i); }

// splitmix64: the random orders of the tests.
std::uint64_t next_random(std::uint64_t& s) {
  std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

void insert_sorted(std::vector<int>& v, int x) {
  const auto it = std::lower_bound(v.begin(), v.end(), x);
  if (it == v.end() || *it != x) v.insert(it, x);
}

// What summing out one member would do, as the planner weighs it.
struct Candidate {
  std::vector<int> inputs;  // for Child, the trio first
  std::vector<int> scope;   // the output's members
  std::vector<int> all;     // scope with the member
  bool child = false;
  double terms = 0.0;
  double size = 1.0;        // entries of the output
};

}  // namespace

EliminationPlan plan_elimination(const Family& fam, const FamilyTable& t, std::uint64_t order_seed) {
  EliminationPlan plan;
  const int n = fam.size;
  plan.members = n;
  const double H = static_cast<double>(t.haplotypes());
  std::vector<double> sz(idx(n + 1), 1.0);
  for (int e = 1; e <= n; ++e) sz[idx(e)] = static_cast<double>(t.last(e) - t.first(e));
  const auto parents = parents_of(fam);

  std::vector<std::vector<int>> holds(idx(n + 1));  // live factors holding each member
  for (int e = 1; e <= n; ++e) {
    PlanFactor own;
    own.scope = {e};
    plan.factors.push_back(own);
    holds[idx(e)].push_back(e - 1);
  }
  for (int e = 1; e <= n; ++e) {
    const auto p = parents[idx(e - 1)];
    if (p[0] == 0) continue;
    PlanFactor trio;
    trio.trio = true;
    trio.father = p[0];
    trio.mother = p[1];
    trio.child = e;
    trio.scope = {p[0], p[1], e};
    std::sort(trio.scope.begin(), trio.scope.end());
    const int id = static_cast<int>(plan.factors.size());
    plan.factors.push_back(trio);
    for (int m : trio.scope) holds[idx(m)].push_back(id);
  }

  auto weigh = [&](int v) {
    Candidate c;
    c.inputs = holds[idx(v)];
    int trios = 0, own_trio = -1;
    for (int id : c.inputs) {
      const PlanFactor& f = plan.factors[idx(id)];
      for (int m : f.scope) insert_sorted(c.all, m);
      if (f.trio) {
        ++trios;
        if (f.child == v) own_trio = id;
      }
    }
    for (int m : c.all)
      if (m != v) c.scope.push_back(m);
    double prod_all = 1.0;
    for (int m : c.all) prod_all *= sz[idx(m)];
    c.terms = prod_all * static_cast<double>(c.inputs.size());
    for (int m : c.scope) c.size *= sz[idx(m)];
    // Through the child's haplotypes: its own trio and nothing else that
    // holds a parent.
    if (trios == 1 && own_trio >= 0) {
      const PlanFactor& tr = plan.factors[idx(own_trio)];
      bool clear = true;
      double prod_z = 1.0;
      std::vector<char> inz(idx(n + 1), 0);
      for (int id : c.inputs) {
        if (id == own_trio) continue;
        for (int m : plan.factors[idx(id)].scope) {
          if (m == tr.father || m == tr.mother) clear = false;
          if (m != v && !inz[idx(m)]) {
            inz[idx(m)] = 1;
            prod_z *= sz[idx(m)];
          }
        }
      }
      if (clear) {
        const double dense = static_cast<double>(c.inputs.size() - 1);
        const double sf = sz[idx(tr.father)], sm = sz[idx(tr.mother)];
        const double terms = prod_z * (sz[idx(v)] * dense + sf * H * 4.0 + sf * sm * 4.0);
        if (terms < c.terms) {
          c.child = true;
          c.terms = terms;
          std::stable_partition(c.inputs.begin(), c.inputs.end(), [own_trio](int id) { return id == own_trio; });
        }
      }
    }
    return c;
  };

  std::vector<char> done(idx(n + 1), 0);
  std::uint64_t rs = order_seed;
  for (int left = n; left > 0; --left) {
    int best = 0;
    Candidate pick;
    if (order_seed != 0) {
      int k = static_cast<int>(next_random(rs) % static_cast<std::uint64_t>(left));
      for (int v = 1; v <= n; ++v)
        if (!done[idx(v)] && k-- == 0) best = v;
      pick = weigh(best);
    } else {
      for (int v = 1; v <= n; ++v) {
        if (done[idx(v)]) continue;
        Candidate c = weigh(v);
        if (best == 0 || c.terms < pick.terms || (c.terms == pick.terms && c.size < pick.size)) {
          best = v;
          pick = std::move(c);
        }
      }
    }
    done[idx(best)] = 1;
    EliminationStep step;
    step.kind = pick.child ? EliminationStep::Kind::Child : EliminationStep::Kind::Generic;
    step.var = best;
    step.inputs = pick.inputs;
    step.scope = pick.scope;
    step.all = pick.all;
    step.terms = pick.terms;
    PlanFactor out;
    out.scope = pick.scope;
    out.size = static_cast<long>(pick.size);
    out.offset = plan.store;
    plan.store += out.size;
    step.output = static_cast<int>(plan.factors.size());
    plan.factors.push_back(out);
    for (int id : pick.inputs)
      for (int m : plan.factors[idx(id)].scope) std::erase(holds[idx(m)], id);
    for (int m : pick.scope) holds[idx(m)].push_back(step.output);
    plan.cost += pick.terms;
    plan.largest = std::max(plan.largest, pick.size);
    plan.steps.push_back(std::move(step));
  }
  return plan;
}

namespace {

// Probability that slot s transmits haplotype h.
inline double transmits(const Slot& s, int h, const double* tp) {
  for (int j = 0; j < s.nt; ++j)
    if (s.hap[j] == h) return tp[s.prob[j]];
  return 0.0;
}

// A dense factor's entries and its strides along the members of a step.
struct DenseView {
  const double* data = nullptr;
  std::vector<long> stride;  // per position of the step's member list
};

DenseView dense_view(const EliminationPlan& plan, int id, const FamilyTable& t, const double* w,
                     const double* store, const std::vector<int>& members) {
  const PlanFactor& f = plan.factors[idx(id)];
  DenseView d;
  d.data = id < plan.members ? w + t.first(f.scope[0]) : store + f.offset;
  d.stride.assign(members.size(), 0);
  long s = 1;
  for (std::size_t i = f.scope.size(); i-- > 0;) {
    const auto at = std::find(members.begin(), members.end(), f.scope[i]);
    d.stride[idx(at - members.begin())] = s;
    s *= t.last(f.scope[i]) - t.first(f.scope[i]);
  }
  return d;
}

// Sum out step.var from factors of any kind: every assignment of the
// members of step.all.
void generic_step(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t,
                  const double* w, const double* tp, double* store, EliminationScratch& sc) {
  const std::vector<int>& all = step.all;
  const std::size_t k = all.size();
  const std::size_t pv = idx(std::find(all.begin(), all.end(), step.var) - all.begin());
  std::vector<long> dim(k);
  for (std::size_t i = 0; i < k; ++i) dim[i] = t.last(all[i]) - t.first(all[i]);
  std::vector<DenseView> dense;
  struct TrioAt {
    std::size_t f, m, c;  // positions in all
    int first_f, first_m, first_c;
  };
  std::vector<TrioAt> trios;
  for (int id : step.inputs) {
    const PlanFactor& f = plan.factors[idx(id)];
    if (f.trio) {
      auto pos = [&all](int m) { return idx(std::find(all.begin(), all.end(), m) - all.begin()); };
      trios.push_back({pos(f.father), pos(f.mother), pos(f.child), t.first(f.father), t.first(f.mother),
                       t.first(f.child)});
    } else {
      dense.push_back(dense_view(plan, id, t, w, store, all));
    }
  }
  double* out = store + plan.factors[idx(step.output)].offset;
  const long nv = dim[pv];
  sc.digit.assign(k, 0);
  long* d = sc.digit.data();
  std::vector<long> off(dense.size(), 0);
  const Slot* slots = t.slots.data();
  const long size = plan.factors[idx(step.output)].size;
  for (long o = 0; o < size; ++o) {
    double acc = 0.0;
    for (long j = 0; j < nv; ++j) {
      d[pv] = j;
      double prod = 1.0;
      for (std::size_t q = 0; q < dense.size() && prod != 0.0; ++q)
        prod = prod * dense[q].data[off[q] + j * dense[q].stride[pv]];
      for (std::size_t q = 0; q < trios.size() && prod != 0.0; ++q) {
        const TrioAt& tr = trios[q];
        const Slot& sf = slots[tr.first_f + d[tr.f]];
        const Slot& sm = slots[tr.first_m + d[tr.m]];
        const Slot& sc2 = slots[tr.first_c + d[tr.c]];
        double p = transmits(sf, sc2.a, tp) * transmits(sm, sc2.b, tp);
        if (sc2.a != sc2.b) p = p + transmits(sf, sc2.b, tp) * transmits(sm, sc2.a, tp);
        prod = prod * p;
      }
      acc = acc + prod;
    }
    out[o] = acc;
    // The next assignment of the other members, the last fastest.
    for (std::size_t i = k; i-- > 0;) {
      if (i == pv) continue;
      if (++d[i] < dim[i]) {
        for (std::size_t q = 0; q < dense.size(); ++q) off[q] += dense[q].stride[i];
        break;
      }
      for (std::size_t q = 0; q < dense.size(); ++q) off[q] -= dense[q].stride[i] * (dim[i] - 1);
      d[i] = 0;
    }
  }
}

// Sum out a child through its haplotypes: its trio (step.inputs[0]) and
// factors that do not hold its parents.
void child_step(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t,
                const double* w, const double* tp, double* store, EliminationScratch& sc) {
  const PlanFactor& trio = plan.factors[idx(step.inputs[0])];
  const int v = step.var, fa = trio.father, mo = trio.mother;
  const long H = t.haplotypes();
  // Members of the output other than the parents: Z, in the output's order.
  std::vector<int> z;
  for (int m : step.scope)
    if (m != fa && m != mo) z.push_back(m);
  std::vector<int> members = z;
  members.push_back(v);
  const std::size_t nz = z.size(), pv = nz;
  std::vector<DenseView> dense;
  for (std::size_t q = 1; q < step.inputs.size(); ++q)
    dense.push_back(dense_view(plan, step.inputs[q], t, w, store, members));
  // Output strides of z, father and mother.
  std::vector<long> ostride(step.scope.size());
  long s = 1;
  for (std::size_t i = step.scope.size(); i-- > 0;) {
    ostride[i] = s;
    s *= t.last(step.scope[i]) - t.first(step.scope[i]);
  }
  auto ostride_of = [&](int m) {
    return ostride[idx(std::find(step.scope.begin(), step.scope.end(), m) - step.scope.begin())];
  };
  std::vector<long> zstride(nz), zdim(nz);
  for (std::size_t i = 0; i < nz; ++i) {
    zstride[i] = ostride_of(z[i]);
    zdim[i] = t.last(z[i]) - t.first(z[i]);
  }
  const long sf_stride = ostride_of(fa), sm_stride = ostride_of(mo);
  double* out = store + plan.factors[idx(step.output)].offset;

  // The haplotypes the mother can transmit.
  sc.seen.assign(idx(H), 0);
  sc.ys.clear();
  for (int u = t.first(mo); u < t.last(mo); ++u) {
    const Slot& su = t.slots[idx(u)];
    for (int j = 0; j < su.nt; ++j)
      if (!sc.seen[su.hap[j]]) {
        sc.seen[su.hap[j]] = 1;
        sc.ys.push_back(su.hap[j]);
      }
  }
  const std::size_t ny = sc.ys.size();
  const std::uint8_t* ys = sc.ys.data();
  const long nf = t.last(fa) - t.first(fa);
  sc.k.assign(idx(H * H), 0.0);
  if (sc.a.size() < idx(nf * H)) sc.a.resize(idx(nf * H));
  double* K = sc.k.data();
  double* A = sc.a.data();
  const Slot* slots = t.slots.data();

  sc.digit.assign(nz + 1, 0);
  long* d = sc.digit.data();
  std::vector<long> off(dense.size(), 0);
  long zsize = 1;
  for (long x : zdim) zsize *= x;
  long base = 0;
  for (long zi = 0; zi < zsize; ++zi) {
    // K(x, y): the child's other factors at genotype {x, y}.
    for (int c = t.first(v); c < t.last(v); ++c) {
      const long j = c - t.first(v);
      double g = 1.0;
      for (std::size_t q = 0; q < dense.size(); ++q) g = g * dense[q].data[off[q] + j * dense[q].stride[pv]];
      const Slot& sl = slots[c];
      K[sl.a * H + sl.b] = g;
      K[sl.b * H + sl.a] = g;
    }
    // A(f, y) = sum over what the father's slot transmits.
    for (long fi = 0; fi < nf; ++fi) {
      const Slot& sf = slots[t.first(fa) + fi];
      double* row = A + fi * H;
      const double p0 = tp[sf.prob[0]];
      const double* k0 = K + sf.hap[0] * H;
      for (std::size_t i = 0; i < ny; ++i) row[ys[i]] = p0 * k0[ys[i]];
      for (int j = 1; j < sf.nt; ++j) {
        const double p = tp[sf.prob[j]];
        const double* kj = K + sf.hap[j] * H;
        for (std::size_t i = 0; i < ny; ++i) row[ys[i]] = row[ys[i]] + p * kj[ys[i]];
      }
    }
    // The message, over what the mother's slot transmits.
    for (long fi = 0; fi < nf; ++fi) {
      const double* row = A + fi * H;
      double* o = out + base + fi * sf_stride;
      for (int u = t.first(mo); u < t.last(mo); ++u) {
        const Slot& sm = slots[u];
        double C = 0.0;
        for (int j = 0; j < sm.nt; ++j) C = C + tp[sm.prob[j]] * row[sm.hap[j]];
        o[(u - t.first(mo)) * sm_stride] = C;
      }
    }
    for (int c = t.first(v); c < t.last(v); ++c) {
      const Slot& sl = slots[c];
      K[sl.a * H + sl.b] = 0.0;
      K[sl.b * H + sl.a] = 0.0;
    }
    for (std::size_t i = nz; i-- > 0;) {
      if (++d[i] < zdim[i]) {
        for (std::size_t q = 0; q < dense.size(); ++q) off[q] += dense[q].stride[i];
        base += zstride[i];
        break;
      }
      for (std::size_t q = 0; q < dense.size(); ++q) off[q] -= dense[q].stride[i] * (zdim[i] - 1);
      base -= zstride[i] * (zdim[i] - 1);
      d[i] = 0;
    }
  }
}

}  // namespace

double eliminate(const EliminationPlan& plan, const FamilyTable& t, const double* w, const double* tp,
                 EliminationScratch& sc) {
  if (sc.store.size() < idx(plan.store)) sc.store.resize(idx(plan.store));
  double* store = sc.store.data();
  double S = 0.0;
  for (const EliminationStep& step : plan.steps) {
    if (step.kind == EliminationStep::Kind::Child)
      child_step(plan, step, t, w, tp, store, sc);
    else
      generic_step(plan, step, t, w, tp, store, sc);
    const PlanFactor& out = plan.factors[idx(step.output)];
    double* o = store + out.offset;
    double T = 0.0;
    for (long i = 0; i < out.size; ++i) T = T + o[i];
    if (T == 0.0) return -std::numeric_limits<double>::infinity();
    if (!std::isfinite(T)) return T;
    const double inv = 1.0 / T;
    for (long i = 0; i < out.size; ++i) o[i] = o[i] * inv;
    S = S + log_portable(T);
  }
  return S;
}

}  // namespace mglink::pedlik
