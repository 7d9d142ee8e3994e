#include "pedigree_likelihood/graph_elimination.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

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
  std::vector<int> inputs;  // for Child, the trio first; for Couple, the trios first
  std::vector<int> scope;   // the output's members
  std::vector<int> all;     // scope with the member
  bool child = false;
  int partner = 0;          // a Couple step with this partner
  int couple_way = 0;       // and how its children's table is made
  double terms = 0.0;
  double size = 1.0;        // entries of the output
};

// The strides of dense factor `id` along `members` (0 for a member it does
// not hold), appended to `out`.
void append_strides(const EliminationPlan& plan, int id, const FamilyTable& t, const std::vector<int>& members,
                    std::vector<long>& out) {
  const PlanFactor& f = plan.factors[idx(id)];
  const std::size_t at = out.size();
  out.resize(at + members.size(), 0);
  long s = 1;
  for (std::size_t i = f.scope.size(); i-- > 0;) {
    const auto pos = std::find(members.begin(), members.end(), f.scope[i]);
    if (pos == members.end()) throw std::logic_error("a factor holds a member its step does not");
    out[at + idx(pos - members.begin())] = s;
    s *= t.last(f.scope[i]) - t.first(f.scope[i]);
  }
}

// The haplotypes the slots of member m can transmit.
std::vector<std::uint8_t> transmitted(const FamilyTable& t, int m) {
  std::vector<char> seen(idx(t.haplotypes()), 0);
  std::vector<std::uint8_t> ys;
  for (int u = t.first(m); u < t.last(m); ++u) {
    const Slot& su = t.slots[idx(u)];
    for (int j = 0; j < su.nt; ++j)
      if (!seen[su.hap[j]]) {
        seen[su.hap[j]] = 1;
        ys.push_back(su.hap[j]);
      }
  }
  return ys;
}

// The stride of member m in a table over `scope` (row-major, last fastest).
long output_stride(const FamilyTable& t, const std::vector<int>& scope, int m) {
  long s = 1;
  for (std::size_t i = scope.size(); i-- > 0;) {
    if (scope[i] == m) return s;
    s *= t.last(scope[i]) - t.first(scope[i]);
  }
  return 0;
}

// What an evaluation of the step needs and the plan already fixes.
void lay_out(const EliminationPlan& plan, EliminationStep& step, const FamilyTable& t) {
  auto slots_of = [&t](int m) { return static_cast<long>(t.last(m) - t.first(m)); };
  if (step.kind == EliminationStep::Kind::Generic) {
    const std::vector<int>& all = step.all;
    step.pv = idx(std::find(all.begin(), all.end(), step.var) - all.begin());
    for (int m : all) step.dim.push_back(slots_of(m));
    auto pos = [&all](int m) { return static_cast<int>(std::find(all.begin(), all.end(), m) - all.begin()); };
    for (int id : step.inputs) {
      const PlanFactor& f = plan.factors[idx(id)];
      if (f.trio) {
        step.trio_at.push_back({pos(f.father), pos(f.mother), pos(f.child), t.first(f.father), t.first(f.mother),
                                t.first(f.child)});
      } else {
        step.dense.push_back(id);
        append_strides(plan, id, t, all, step.stride);
      }
    }
  } else if (step.kind == EliminationStep::Kind::Couple) {
    const PlanFactor& first = plan.factors[idx(step.inputs[0])];
    const std::vector<int> pair = {std::min(first.father, first.mother), std::max(first.father, first.mother)};
    std::vector<int>& kids = step.kids;
    for (int id : step.inputs) {
      const PlanFactor& f = plan.factors[idx(id)];
      if (f.trio) {
        kids.push_back(f.child);
        step.kid_at.push_back(idx(std::find(step.scope.begin(), step.scope.end(), f.child) - step.scope.begin()));
      } else {
        step.dense.push_back(id);
        append_strides(plan, id, t, pair, step.stride);
      }
    }
    if (step.couple_way == 2) {
      const long H = t.haplotypes();
      const std::size_t k = kids.size();
      step.ostride.assign(k, 0);
      long ordered = 1;
      for (std::size_t i = k; i-- > 0;) {
        step.ostride[i] = ordered;
        ordered *= 2 * slots_of(kids[i]);
      }
      step.ordered = ordered;
      // Counted, then filled in place.
      step.partner_at.assign(k * idx(H) + 1, 0);
      for (std::size_t i = 0; i < k; ++i)
        for (int u = t.first(kids[i]); u < t.last(kids[i]); ++u) {
          const Slot& c = t.slots[idx(u)];
          ++step.partner_at[i * idx(H) + c.a + 1];
          if (c.a != c.b) ++step.partner_at[i * idx(H) + c.b + 1];
        }
      for (std::size_t e = 1; e < step.partner_at.size(); ++e) step.partner_at[e] += step.partner_at[e - 1];
      step.partner_y.assign(idx(step.partner_at.back()), 0);
      step.partner_ordered.assign(idx(step.partner_at.back()), 0);
      std::vector<long> next(step.partner_at.begin(), step.partner_at.end() - 1);
      for (std::size_t i = 0; i < k; ++i)
        for (int u = t.first(kids[i]); u < t.last(kids[i]); ++u) {
          const Slot& c = t.slots[idx(u)];
          const long j = 2 * (u - t.first(kids[i]));
          long& a = next[i * idx(H) + c.a];
          step.partner_y[idx(a)] = c.b;
          step.partner_ordered[idx(a)] = j;
          ++a;
          if (c.a != c.b) {
            long& b = next[i * idx(H) + c.b];
            step.partner_y[idx(b)] = c.a;
            step.partner_ordered[idx(b)] = j + 1;
            ++b;
          }
        }
    }
  } else if (step.kind == EliminationStep::Kind::Child) {
    const PlanFactor& trio = plan.factors[idx(step.inputs[0])];
    step.ys = transmitted(t, trio.mother);
    step.father_stride = output_stride(t, step.scope, trio.father);
    step.mother_stride = output_stride(t, step.scope, trio.mother);
    if (step.spouse != 0)  // the spouse's own factors
      step.dense.assign(step.inputs.begin() + static_cast<long>(step.spouse_from), step.inputs.end());
    if (step.siblings.empty() && step.spouse == 0) {  // sibs and spouses: sibship_step
      std::vector<int> members;  // Z in the output's order, then var
      for (int m : step.scope)
        if (m != trio.father && m != trio.mother) {
          members.push_back(m);
          step.dim.push_back(slots_of(m));
          step.zstride.push_back(output_stride(t, step.scope, m));
        }
      members.push_back(step.var);
      step.pv = members.size() - 1;
      for (std::size_t q = 1; q < step.inputs.size(); ++q) {
        step.dense.push_back(step.inputs[q]);
        append_strides(plan, step.inputs[q], t, members, step.stride);
      }
    }
  }
}

}  // namespace

EliminationPlan plan_elimination(const Family& fam, const FamilyTable& t, std::uint64_t order_seed,
                                 int couple_way) {
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
    // The couple (v, partner): every factor of either is the couple's own
    // or a transmission from both to a child.
    int partner = 0;
    std::vector<int> kids_trios, own;
    bool couple = true;
    for (int id : holds[idx(v)]) {
      const PlanFactor& f = plan.factors[idx(id)];
      if (f.trio) {
        const int other = f.father == v ? f.mother : f.mother == v ? f.father : 0;
        if (other == 0 || (partner != 0 && other != partner)) couple = false;
        partner = other;
        kids_trios.push_back(id);
      } else {
        own.push_back(id);
      }
    }
    const std::size_t k = kids_trios.size();
    double tuples = 1.0;  // H^k
    for (std::size_t i = 0; i < k; ++i) tuples *= H;
    couple = couple && k >= 1 && k <= 3 && tuples * tuples <= 4194304.0;
    if (couple) {
      for (int id : holds[idx(partner)]) {
        const PlanFactor& f = plan.factors[idx(id)];
        if (f.trio) {
          if (std::find(kids_trios.begin(), kids_trios.end(), id) == kids_trios.end()) couple = false;
        } else if (std::find(own.begin(), own.end(), id) == own.end()) {
          own.push_back(id);
        }
      }
      for (int id : own)
        for (int m : plan.factors[idx(id)].scope)
          if (m != v && m != partner) couple = false;
    }
    if (couple) {
      const double sf = sz[idx(v)], sm = sz[idx(partner)];
      double fan = 1.0, kids = 1.0, orders = 1.0;  // 4^k, product of the children's slots, 2^k
      std::vector<int> scope;
      for (int id : kids_trios) {
        fan *= 4.0;
        orders *= 2.0;
        kids *= sz[idx(plan.factors[idx(id)].child)];
        insert_sorted(scope, plan.factors[idx(id)].child);
      }
      const double through_d = sf * fan * tuples + tuples * tuples;
      const double direct = kids * orders * sf;
      // Through D over the ordered genotypes: each child's genotypes pair
      // a haplotype x with 2 S_c / H others on average.
      double ordered = 1.0, pairs = 1.0;
      for (int id : kids_trios) {
        const double sc = sz[idx(plan.factors[idx(id)].child)];
        ordered *= 2.0 * sc;
        pairs *= std::max(1.0, 2.0 * sc / H);
      }
      const double sparse = ordered <= 4194304.0 ? sf * fan * pairs + ordered * 2.0 : direct * 1e9;
      const double way = std::min({through_d, direct, sparse});
      const double terms = sf * sm * static_cast<double>(own.size() + 1) + sf * sm * fan + way + kids * orders;
      int chosen = way == sparse ? 2 : way == direct ? 1 : 0;
      if (couple_way >= 0) chosen = couple_way;
      if ((terms < c.terms || couple_way >= 0) && scope.size() == k && (chosen != 2 || ordered <= 4194304.0)) {
        c.couple_way = chosen;
        c.inputs = kids_trios;
        c.inputs.insert(c.inputs.end(), own.begin(), own.end());
        c.scope = scope;
        c.all = scope;
        insert_sorted(c.all, v);
        insert_sorted(c.all, partner);
        c.child = false;
        c.partner = partner;
        c.terms = terms;
        c.size = kids;
      }
    }
    return c;
  };

  std::vector<char> done(idx(n + 1), 0);
  std::uint64_t rs = order_seed;
  int pick_members = 1;
  for (int left = n; left > 0; left -= pick_members) {
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
    // Beyond anything that could be evaluated (and beyond what the tables'
    // offsets can count): the plan stops there, of unbounded cost, and the
    // family is left out by any cost limit.
    if (pick.size > MAX_TABLE || plan.cost + pick.terms > MAX_COST) {
      plan.cost = std::numeric_limits<double>::infinity();
      plan.largest = std::max(plan.largest, pick.size);
      plan.steps.clear();
      return plan;
    }
    done[idx(best)] = 1;
    if (pick.partner != 0) done[idx(pick.partner)] = 1;
    pick_members = pick.partner != 0 ? 2 : 1;
    EliminationStep step;
    step.kind = pick.partner != 0 ? EliminationStep::Kind::Couple
                : pick.child      ? EliminationStep::Kind::Child
                                  : EliminationStep::Kind::Generic;
    step.var = best;
    step.partner = pick.partner;
    step.couple_way = pick.couple_way;
    step.group = {0};
    if (pick.child && pick.scope.size() == 2) {
      // The leaf sibs of the child join its step.
      const PlanFactor& tr = plan.factors[idx(pick.inputs[0])];
      const double sf = sz[idx(tr.father)], sm = sz[idx(tr.mother)];
      for (int u = 1; u <= n; ++u) {
        if (done[idx(u)] || parents[idx(u - 1)][0] != tr.father || parents[idx(u - 1)][1] != tr.mother) continue;
        std::vector<int> own;
        int trio = -1;
        bool leaf = true;
        for (int id : holds[idx(u)]) {
          const PlanFactor& f = plan.factors[idx(id)];
          if (f.trio && f.child == u)
            trio = id;
          else if (f.trio || f.scope.size() != 1)
            leaf = false;
          else
            own.push_back(id);
        }
        if (!leaf || trio < 0) continue;
        done[idx(u)] = 1;
        ++pick_members;
        step.siblings.push_back(u);
        step.group.push_back(pick.inputs.size());
        pick.inputs.push_back(trio);
        pick.inputs.insert(pick.inputs.end(), own.begin(), own.end());
        pick.terms += sz[idx(u)] * static_cast<double>(own.size()) + sf * H * 4.0 + sf * sm * 4.0;
      }
    }
    if (pick.child && pick.scope.size() == 2) {
      // A parent whose factors are now only its own (over it alone) and the
      // sibs' trios, a spouse from outside the pedigree most often, is
      // summed out in the same step: the fold of a nuclear family onto the
      // other parent.
      const PlanFactor& tr = plan.factors[idx(pick.inputs[0])];
      for (int p : {tr.mother, tr.father}) {
        if (done[idx(p)]) continue;
        std::vector<int> own;
        bool alone = true;
        for (int id : holds[idx(p)]) {
          if (std::find(pick.inputs.begin(), pick.inputs.end(), id) != pick.inputs.end()) continue;
          if (plan.factors[idx(id)].scope.size() != 1) alone = false;
          own.push_back(id);
        }
        if (!alone) continue;
        const int other = p == tr.mother ? tr.father : tr.mother;
        done[idx(p)] = 1;
        ++pick_members;
        step.spouse = p;
        step.spouse_from = pick.inputs.size();
        pick.inputs.insert(pick.inputs.end(), own.begin(), own.end());
        pick.scope = {other};
        pick.all = {std::min(p, other), std::max(p, other)};
        pick.size = sz[idx(other)];
        break;
      }
    }
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
  for (EliminationStep& step : plan.steps) lay_out(plan, step, t);
  std::vector<char> is_parent(idx(n + 1), 0);
  for (const auto& p : parents) is_parent[idx(p[0])] = is_parent[idx(p[1])] = 1;
  for (int e = 1; e <= n; ++e)
    if (is_parent[idx(e)]) plan.parents.push_back(e);
  return plan;
}

namespace {

// The entries of dense factor `id`: a member's own factor is its slots'
// weights in w, a table its place in the working store.
const double* factor_data(const EliminationPlan& plan, int id, const FamilyTable& t, const double* w,
                          const double* store) {
  const PlanFactor& f = plan.factors[idx(id)];
  return id < plan.members ? w + t.first(f.scope[0]) : store + f.offset;
}

// The entries of the step's dense factors, into sc.data.
const double* const* dense_data(const EliminationPlan& plan, const std::vector<int>& ids, const FamilyTable& t,
                                const double* w, const double* store, EliminationScratch& sc) {
  sc.data.clear();
  for (int id : ids) sc.data.push_back(factor_data(plan, id, t, w, store));
  return sc.data.data();
}

// trans[s * H + h]: the probability that slot s transmits haplotype h, for
// the slots of every member who is a parent (others are left as they are).
void transmission_table(const EliminationPlan& plan, const FamilyTable& t, const double* tp,
                        std::vector<double>& trans) {
  const long H = t.haplotypes();
  trans.resize(t.slots.size() * idx(H));
  for (int e : plan.parents) {
    for (int u = t.first(e); u < t.last(e); ++u) {
      double* row = trans.data() + u * H;
      std::fill(row, row + H, 0.0);
      const Slot& s = t.slots[idx(u)];
      for (int j = 0; j < s.nt; ++j) row[s.hap[j]] = tp[s.prob[j]];
    }
  }
}

// Sum out step.var from factors of any kind: every assignment of the
// members of step.all.
void generic_step(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t,
                  const double* w, double* store, EliminationScratch& sc) {
  const std::size_t k = step.dim.size(), pv = step.pv, nd = step.dense.size();
  const long* dim = step.dim.data();
  const long* stride = step.stride.data();
  const double* const* data = dense_data(plan, step.dense, t, w, store, sc);
  const long H = t.haplotypes();
  const double* trans = sc.trans.data();
  double* out = store + plan.factors[idx(step.output)].offset;
  const long nv = dim[pv];
  sc.digit.assign(k, 0);
  long* d = sc.digit.data();
  sc.off.assign(nd, 0);
  long* off = sc.off.data();
  const Slot* slots = t.slots.data();
  const long size = plan.factors[idx(step.output)].size;
  for (long o = 0; o < size; ++o) {
    double acc = 0.0;
    for (long j = 0; j < nv; ++j) {
      d[pv] = j;
      double prod = 1.0;
      for (std::size_t q = 0; q < nd; ++q) prod = prod * data[q][off[q] + j * stride[q * k + pv]];
      for (const auto& tr : step.trio_at) {
        const double* tf = trans + (tr[3] + d[tr[0]]) * H;
        const double* tm = trans + (tr[4] + d[tr[1]]) * H;
        const Slot& ch = slots[tr[5] + d[tr[2]]];
        double p = tf[ch.a] * tm[ch.b];
        if (ch.a != ch.b) p = p + tf[ch.b] * tm[ch.a];
        prod = prod * p;
      }
      acc = acc + prod;
    }
    out[o] = acc;
    // The next assignment of the other members, the last fastest.
    for (std::size_t i = k; i-- > 0;) {
      if (i == pv) continue;
      if (++d[i] < dim[i]) {
        for (std::size_t q = 0; q < nd; ++q) off[q] += stride[q * k + i];
        break;
      }
      for (std::size_t q = 0; q < nd; ++q) off[q] -= stride[q * k + i] * (dim[i] - 1);
      d[i] = 0;
    }
  }
}

// Sum out leaf sibs through their haplotypes: the table over their parents
// is the product over the sibs of sum_y T_m(y) A(f, y), as child_step
// computes it for one.
void sibship_step(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t,
                  const double* w, const double* tp, double* store, EliminationScratch& sc) {
  const PlanFactor& trio = plan.factors[idx(step.inputs[0])];
  const int fa = trio.father, mo = trio.mother;
  const long H = t.haplotypes();
  const std::size_t groups = step.group.size();
  const long nf = t.last(fa) - t.first(fa);
  const Slot* slots = t.slots.data();
  const std::size_t ny = step.ys.size();
  const std::uint8_t* ys = step.ys.data();
  if (sc.k.size() < idx(H * H)) sc.k.assign(idx(H * H), 0.0);  // all zero between uses
  if (sc.a.size() < groups * idx(nf * H)) sc.a.resize(groups * idx(nf * H));
  double* K = sc.k.data();
  const std::size_t end = step.spouse != 0 ? step.spouse_from : step.inputs.size();
  for (std::size_t g = 0; g < groups; ++g) {
    const std::size_t from = step.group[g], to = g + 1 < groups ? step.group[g + 1] : end;
    const int c = g == 0 ? step.var : step.siblings[g - 1];
    for (int u = t.first(c); u < t.last(c); ++u) {
      double v = 1.0;
      for (std::size_t q = from + 1; q < to; ++q) {  // the sib's own factors, each over the sib alone
        v = v * factor_data(plan, step.inputs[q], t, w, store)[u - t.first(c)];
      }
      const Slot& sl = slots[u];
      K[sl.a * H + sl.b] = v;
      K[sl.b * H + sl.a] = v;
    }
    double* A = sc.a.data() + g * idx(nf * H);
    for (long fi = 0; fi < nf; ++fi) transmitted_against(slots[t.first(fa) + fi], tp, K, idx(H), ys, ny, A + fi * H);
    for (int u = t.first(c); u < t.last(c); ++u) {
      const Slot& sl = slots[u];
      K[sl.a * H + sl.b] = 0.0;
      K[sl.b * H + sl.a] = 0.0;
    }
  }
  const long nm = t.last(mo) - t.first(mo);
  double* out = store + plan.factors[idx(step.output)].offset;
  // The spouse's own factors, when the spouse is summed out here.
  const double* const* own = dense_data(plan, step.dense, t, w, store, sc);
  const std::size_t nown = step.dense.size();
  auto spouse_weight = [&](long i) {
    double g = 1.0;
    for (std::size_t q = 0; q < nown; ++q) g = g * own[q][i];
    return g;
  };
  if (step.spouse == mo) std::fill(out, out + nf, 0.0);
  if (step.spouse == fa) std::fill(out, out + nm, 0.0);
  const long sf_stride = fa < mo ? nm : 1, sm_stride = fa < mo ? 1 : nf;
  for (long fi = 0; fi < nf; ++fi) {
    const double gf = step.spouse == fa ? spouse_weight(fi) : 1.0;
    if (gf == 0.0) continue;
    double W = 0.0;
    for (int u = t.first(mo); u < t.last(mo); ++u) {
      const Slot& sm = slots[u];
      const long mi = u - t.first(mo);
      const double gm = step.spouse == mo ? spouse_weight(mi) : 1.0;
      double P = gm;
      for (std::size_t g = 0; g < groups && P != 0.0; ++g) {
        P = P * transmitted_sum(sm, tp, sc.a.data() + g * idx(nf * H) + fi * H);
      }
      if (step.spouse == 0)
        out[fi * sf_stride + mi * sm_stride] = P;
      else if (step.spouse == mo)
        W = W + P;
      else
        out[mi] = out[mi] + gf * P;
    }
    if (step.spouse == mo) out[fi] = W;
  }
}

// Sum out a child through its haplotypes: its trio (step.inputs[0]) and
// factors that do not hold its parents.
void child_step(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t,
                const double* w, const double* tp, double* store, EliminationScratch& sc) {
  const PlanFactor& trio = plan.factors[idx(step.inputs[0])];
  const int v = step.var, fa = trio.father, mo = trio.mother;
  const long H = t.haplotypes();
  const std::size_t nz = step.dim.size(), pv = step.pv, nd = step.dense.size(), width = nz + 1;
  const long* zdim = step.dim.data();
  const long* stride = step.stride.data();
  const double* const* data = dense_data(plan, step.dense, t, w, store, sc);
  const long sf_stride = step.father_stride, sm_stride = step.mother_stride;
  double* out = store + plan.factors[idx(step.output)].offset;
  const std::size_t ny = step.ys.size();
  const std::uint8_t* ys = step.ys.data();
  const long nf = t.last(fa) - t.first(fa);
  if (sc.k.size() < idx(H * H)) sc.k.assign(idx(H * H), 0.0);  // all zero between uses
  if (sc.a.size() < idx(nf * H)) sc.a.resize(idx(nf * H));
  double* K = sc.k.data();
  double* A = sc.a.data();
  const Slot* slots = t.slots.data();

  sc.digit.assign(nz + 1, 0);
  long* d = sc.digit.data();
  sc.off.assign(nd, 0);
  long* off = sc.off.data();
  long zsize = 1;
  for (std::size_t i = 0; i < nz; ++i) zsize *= zdim[i];
  long base = 0;
  for (long zi = 0; zi < zsize; ++zi) {
    // K(x, y): the child's other factors at genotype {x, y}.
    for (int c = t.first(v); c < t.last(v); ++c) {
      const long j = c - t.first(v);
      double g = 1.0;
      for (std::size_t q = 0; q < nd; ++q) g = g * data[q][off[q] + j * stride[q * width + pv]];
      const Slot& sl = slots[c];
      K[sl.a * H + sl.b] = g;
      K[sl.b * H + sl.a] = g;
    }
    // A(f, y) = sum over what the father's slot transmits.
    for (long fi = 0; fi < nf; ++fi) transmitted_against(slots[t.first(fa) + fi], tp, K, idx(H), ys, ny, A + fi * H);
    // The message, over what the mother's slot transmits.
    for (long fi = 0; fi < nf; ++fi) {
      const double* row = A + fi * H;
      double* o = out + base + fi * sf_stride;
      for (int u = t.first(mo); u < t.last(mo); ++u) {
        o[(u - t.first(mo)) * sm_stride] = transmitted_sum(slots[u], tp, row);
      }
    }
    for (int c = t.first(v); c < t.last(v); ++c) {
      const Slot& sl = slots[c];
      K[sl.a * H + sl.b] = 0.0;
      K[sl.b * H + sl.a] = 0.0;
    }
    for (std::size_t i = nz; i-- > 0;) {
      if (++d[i] < zdim[i]) {
        for (std::size_t q = 0; q < nd; ++q) off[q] += stride[q * width + i];
        base += step.zstride[i];
        break;
      }
      for (std::size_t q = 0; q < nd; ++q) off[q] -= stride[q * width + i] * (zdim[i] - 1);
      base -= step.zstride[i] * (zdim[i] - 1);
      d[i] = 0;
    }
  }
}

// The tuples of haplotypes slot s can transmit to k children, each with its
// probability: fn(tuple index, probability).
template <class Fn>
void for_tuples(const Slot& s, std::size_t k, long H, const double* tp, Fn fn) {
  long index[4] = {0, 0, 0, 0};
  double prob[4] = {1.0, 1.0, 1.0, 1.0};
  int j[4] = {0, 0, 0, 0};
  std::size_t level = 0;
  for (;;) {
    if (j[level] < s.nt) {
      const long base = level == 0 ? 0 : index[level - 1];
      const double p0 = level == 0 ? 1.0 : prob[level - 1];
      index[level] = base * H + s.hap[j[level]];
      prob[level] = p0 * tp[s.prob[j[level]]];
      ++j[level];
      if (level + 1 == k) {
        fn(index[level], prob[level]);
      } else {
        ++level;
        j[level] = 0;
      }
    } else {
      if (level == 0) return;
      --level;
    }
  }
}

// One order of a child genotype tuple: the haplotypes from the father
// (x, and their tuple's index), the index of those from the mother (y), and
// the ordered genotypes' index (2 slot + order, along step.ostride).
struct ChildOrder {
  std::uint8_t x[3];
  long xi, y, ordered;
};

// For each entry o of a couple step's table over the children (their
// genotypes, increasing members, the last fastest): fn(o, orders, n) with
// the n distinct orders of the children's haplotypes (a homozygote's two
// are one order).
template <class Fn>
void for_child_orders(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t, Fn fn) {
  const long H = t.haplotypes();
  const std::size_t k = step.kids.size();
  long dim[3] = {1, 1, 1}, digit[3] = {0, 0, 0};
  for (std::size_t q = 0; q < k; ++q) dim[q] = t.last(step.scope[q]) - t.first(step.scope[q]);
  const long size = plan.factors[idx(step.output)].size;
  ChildOrder orders[8];
  for (long o = 0; o < size; ++o) {
    int n = 0;
    for (unsigned bits = 0; bits < (1u << k); ++bits) {
      ChildOrder& c = orders[n];
      c.xi = c.y = c.ordered = 0;
      bool twice = false;
      for (std::size_t i = 0; i < k; ++i) {
        const long j = digit[step.kid_at[i]];
        const Slot& g = t.slots[idx(t.first(step.kids[i]) + j)];
        const bool swap = (bits >> i) & 1u;
        if (swap && g.a == g.b) twice = true;
        c.x[i] = swap ? g.b : g.a;
        c.xi = c.xi * H + c.x[i];
        c.y = c.y * H + (swap ? g.a : g.b);
        if (!step.ostride.empty()) c.ordered += (2 * j + (swap ? 1 : 0)) * step.ostride[i];
      }
      if (!twice) ++n;
    }
    fn(o, orders, n);
    for (std::size_t q = k; q-- > 0;) {
      if (++digit[q] < dim[q]) break;
      digit[q] = 0;
    }
  }
}

// Sum out a couple (step.var, step.partner) together: their own factors
// and their transmissions to the children of the output.
void couple_step(const EliminationPlan& plan, const EliminationStep& step, const FamilyTable& t,
                 const double* w, const double* tp, double* store, EliminationScratch& sc) {
  const long H = t.haplotypes();
  const std::size_t k = step.kids.size();
  const PlanFactor& first = plan.factors[idx(step.inputs[0])];
  const int fa = first.father, mo = first.mother;
  const double* const* data = dense_data(plan, step.dense, t, w, store, sc);
  const std::size_t nd = step.dense.size();
  const long* stride = step.stride.data();  // along (lower member, higher member)
  const long nf = t.last(fa) - t.first(fa), nm = t.last(mo) - t.first(mo);
  const std::size_t pf = fa < mo ? 0 : 1, pm = 1 - pf;
  long tuples = 1;
  for (std::size_t i = 0; i < k; ++i) tuples *= H;
  // B(f, y) = sum_m G(f, m) prod_i T_m(y_i).
  // The tuples each of the mother's slots transmits, listed once.
  sc.tuple_at.assign(idx(nm + 1), 0);
  sc.tuple_y.clear();
  sc.tuple_p.clear();
  for (long mi = 0; mi < nm; ++mi) {
    for_tuples(t.slots[idx(t.first(mo) + mi)], k, H, tp, [&sc](long y, double p) {
      sc.tuple_y.push_back(y);
      sc.tuple_p.push_back(p);
    });
    sc.tuple_at[idx(mi + 1)] = static_cast<long>(sc.tuple_y.size());
  }
  const long* ty = sc.tuple_y.data();
  const double* tpr = sc.tuple_p.data();
  const long* tat = sc.tuple_at.data();
  sc.b.assign(idx(nf * tuples), 0.0);
  for (long fi = 0; fi < nf; ++fi) {
    double* row = sc.b.data() + fi * tuples;
    for (long mi = 0; mi < nm; ++mi) {
      double g = 1.0;
      for (std::size_t q = 0; q < nd; ++q) g = g * data[q][fi * stride[2 * q + pf] + mi * stride[2 * q + pm]];
      if (g == 0.0) continue;
      for (long e = tat[mi]; e < tat[mi + 1]; ++e) row[ty[e]] = row[ty[e]] + g * tpr[e];
    }
  }
  double* out = store + plan.factors[idx(step.output)].offset;
  if (step.couple_way == 2) {
    // For child i and haplotype x: the haplotypes y its genotypes pair with
    // x, each with the index of the ordered genotype (x, y) (the plan's).
    const long* ostride = step.ostride.data();
    const long* pat = step.partner_at.data();
    const std::uint8_t* py = step.partner_y.data();
    const long* po = step.partner_ordered.data();
    sc.d.assign(idx(step.ordered), 0.0);
    double* D = sc.d.data();
    for (long fi = 0; fi < nf; ++fi) {
      const Slot& sf = t.slots[idx(t.first(fa) + fi)];
      const double* row = sc.b.data() + fi * tuples;
      // Every tuple the father's slot transmits, child by child.
      int j[3] = {0, 0, 0};
      for (;;) {
        double p = 1.0;
        for (std::size_t i = 0; i < k; ++i) p = p * tp[sf.prob[j[i]]];
        // The entries of child i's partners of the haplotype it gets.
        const long a0 = pat[sf.hap[j[0]]], a1 = pat[sf.hap[j[0]] + 1];
        if (k == 1) {
          for (long a = a0; a < a1; ++a) D[po[a] * ostride[0]] = D[po[a] * ostride[0]] + p * row[py[a]];
        } else if (k == 2) {
          const long b0 = pat[H + sf.hap[j[1]]], b1 = pat[H + sf.hap[j[1]] + 1];
          for (long a = a0; a < a1; ++a) {
            const double* r = row + py[a] * H;
            double* d = D + po[a] * ostride[0];
            for (long b = b0; b < b1; ++b) d[po[b]] = d[po[b]] + p * r[py[b]];
          }
        } else {
          const long b0 = pat[H + sf.hap[j[1]]], b1 = pat[H + sf.hap[j[1]] + 1];
          const long c0 = pat[2 * H + sf.hap[j[2]]], c1 = pat[2 * H + sf.hap[j[2]] + 1];
          for (long a = a0; a < a1; ++a)
            for (long b = b0; b < b1; ++b) {
              const double* r = row + (py[a] * H + py[b]) * H;
              double* d = D + po[a] * ostride[0] + po[b] * ostride[1];
              for (long c = c0; c < c1; ++c) d[po[c]] = d[po[c]] + p * r[py[c]];
            }
        }
        std::size_t i = k;
        while (i-- > 0) {
          if (++j[i] < sf.nt) break;
          j[i] = 0;
        }
        if (i == static_cast<std::size_t>(-1)) break;
      }
    }
    for_child_orders(plan, step, t, [out, D](long o, const ChildOrder* orders, int n) {
      double acc = 0.0;
      for (int r = 0; r < n; ++r) acc = acc + D[orders[r].ordered];
      out[o] = acc;
    });
    return;
  }
  if (step.couple_way == 1) {
    // Straight from B: for each genotype of the children, the sum over the
    // father's slots and the orders of prod_i T_f(x_i) B(f, y).
    const double* trans = sc.trans.data() + t.first(fa) * H;
    const double* B = sc.b.data();
    for_child_orders(plan, step, t, [&](long o, const ChildOrder* orders, int n) {
      double acc = 0.0;
      for (long fi = 0; fi < nf; ++fi) {
        const double* tf = trans + fi * H;
        const double* row = B + fi * tuples;
        for (int r = 0; r < n; ++r) {
          double p = tf[orders[r].x[0]];
          for (std::size_t i = 1; i < k; ++i) p = p * tf[orders[r].x[i]];
          acc = acc + p * row[orders[r].y];
        }
      }
      out[o] = acc;
    });
    return;
  }
  // D(x, y) = sum_f prod_i T_f(x_i) B(f, y).
  sc.d.assign(idx(tuples * tuples), 0.0);
  for (long fi = 0; fi < nf; ++fi) {
    const double* row = sc.b.data() + fi * tuples;
    double* D = sc.d.data();
    for_tuples(t.slots[idx(t.first(fa) + fi)], k, H, tp, [row, D, tuples](long x, double p) {
      double* dx = D + x * tuples;
      for (long y = 0; y < tuples; ++y) dx[y] = dx[y] + p * row[y];
    });
  }
  // The children's table: D over the orders of each child's haplotypes.
  const double* D = sc.d.data();
  for_child_orders(plan, step, t, [out, D, tuples](long o, const ChildOrder* orders, int n) {
    double acc = 0.0;
    for (int r = 0; r < n; ++r) acc = acc + D[orders[r].xi * tuples + orders[r].y];
    out[o] = acc;
  });
}

}  // namespace

double eliminate(const EliminationPlan& plan, const FamilyTable& t, const double* w, const double* tp,
                 EliminationScratch& sc) {
  if (sc.store.size() < idx(plan.store)) sc.store.resize(idx(plan.store));
  double* store = sc.store.data();
  transmission_table(plan, t, tp, sc.trans);
  double S = 0.0;
  for (const EliminationStep& step : plan.steps) {
    if (step.kind == EliminationStep::Kind::Child && (!step.siblings.empty() || step.spouse != 0))
      sibship_step(plan, step, t, w, tp, store, sc);
    else if (step.kind == EliminationStep::Kind::Child)
      child_step(plan, step, t, w, tp, store, sc);
    else if (step.kind == EliminationStep::Kind::Couple)
      couple_step(plan, step, t, w, tp, store, sc);
    else
      generic_step(plan, step, t, w, store, sc);
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
