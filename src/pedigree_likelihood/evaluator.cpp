#include "pedigree_likelihood/evaluator.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "likelihood/portable_math.hpp"

namespace mglink::pedlik {

namespace {

std::size_t idx(long i) { return static_cast<std::size_t>(i); }

}  // namespace

Evaluator::Evaluator(const Pedigree& ped, const Marker& marker, bool recode)
    : Evaluator(ped, marker, EvaluatorOptions{recode}) {}

Evaluator::Evaluator(const Pedigree& ped, const Marker& marker, const EvaluatorOptions& options)
    : families_(ped.families) {
  const std::string fault = check_study(ped, marker);
  if (!fault.empty()) throw std::invalid_argument(fault);
  tables_.reserve(families_.size());
  plans_.resize(families_.size());
  left_out_.assign(families_.size(), 0);
  long first = 0;
  for (std::size_t f = 0; f < families_.size(); ++f) {
    const Family& fam = families_[f];
    FamilyTable t = build_family_table(fam, first, marker, options.recode);
    for (int e = 1; e <= fam.size; ++e) t.trait[idx(e - 1)] = ped.trait[idx(first + e - 1)];
    if (!fam.has_plan()) {
      plans_[f] = plan_elimination(fam, t, options.order_seed, options.couple_way);
      if (plans_[f].cost > options.max_family_cost || std::isinf(plans_[f].cost)) {
        left_out_[f] = 1;
        plans_[f].steps.clear();  // keeps its cost, frees its steps
        plans_[f].factors.clear();
      }
    }
    tables_.push_back(std::move(t));
    dens_first_.push_back(first);
    first += fam.size;
  }
  dens_.assign(idx(3 * first), 0.0);
  dens_at_.resize(families_.size());
  dens_valid_.assign(families_.size(), 0);
}

long Evaluator::slots() const {
  long n = 0;
  for (const FamilyTable& t : tables_) n += static_cast<long>(t.slots.size());
  return n;
}

// The weights mglink's individual densities give: the trait density alone
// for a child, genotype frequency times density for everyone else.
void Evaluator::starting_weights(std::size_t f, const Parameters& x) {
  const FamilyTable& t = tables_[f];
  const int R = t.R, H = 2 * R;
  const int members = static_cast<int>(t.founder.size());
  sc_.hf.resize(idx(H));
  for (int c = 0; c < R; ++c) {
    sc_.hf[idx(c)] = x[0] * t.class_frequency[idx(c)];
    sc_.hf[idx(R + c)] = (1.0 - x[0]) * t.class_frequency[idx(c)];
  }
  // The densities depend on the means and the variance only: kept from the
  // last evaluation of the family when those are the same (a search moves
  // one parameter at a time, and theta and the allele frequency often).
  const std::array<double, 4> at = {x[1], x[2], x[3], x[5]};
  double* dens = dens_.data() + 3 * dens_first_[f];
  if (!dens_valid_[f] || std::memcmp(at.data(), dens_at_[f].data(), sizeof at) != 0) {
    const double r = 1.0 / std::sqrt(x[5]);
    for (int e = 0; e < members; ++e) {
      const double y = t.trait[idx(e)];
      for (int g = 0; g < 3; ++g) {
        double d = 1.0;
        if (y > TRAIT_UNKNOWN) {
          const double z = (x[1 + g] - y) * r;
          d = exp_portable(-(z * z) * 0.5) * r;
        }
        dens[3 * e + g] = d;
      }
    }
    dens_at_[f] = at;
    dens_valid_[f] = 1;
  }
  sc_.w.resize(t.slots.size());
  for (int e = 1; e <= members; ++e) {
    const double* d = dens + 3 * (e - 1);
    const bool founder = t.founder[idx(e - 1)] != 0;
    for (int s = t.first(e); s < t.last(e); ++s) {
      const Slot& sl = t.slots[idx(s)];
      double w = d[sl.major];
      if (founder) {
        const double fa = sc_.hf[sl.a], fb = sc_.hf[sl.b];
        const double g = sl.a == sl.b ? fa * fb : fa * fb + fb * fa;
        w = w * g;
      }
      sc_.w[idx(s)] = w;
    }
  }
}

// The weights of the children from entry `from` on, as H x H matrices
// indexed by the two haplotypes in either order.
void Evaluator::load_children(const FamilyTable& t, const NuclearFamily& nf, std::size_t from) {
  const std::size_t H = idx(t.haplotypes());
  const std::size_t n = nf.members.size() > from ? nf.members.size() - from : 0;
  if (sc_.kid.size() < n * H * H) sc_.kid.resize(n * H * H, 0.0);
  if (sc_.va.size() < n * H) sc_.va.resize(n * H, 0.0);
  for (std::size_t k = 0; k < n; ++k) {
    double* M = &sc_.kid[k * H * H];
    const int h = nf.members[from + k];
    for (int s = t.first(h); s < t.last(h); ++s) {
      const Slot& sl = t.slots[idx(s)];
      M[sl.a * H + sl.b] = sc_.w[idx(s)];
      M[sl.b * H + sl.a] = sc_.w[idx(s)];
    }
  }
}

void Evaluator::clear_children(const FamilyTable& t, const NuclearFamily& nf, std::size_t from) {
  const std::size_t H = idx(t.haplotypes());
  for (std::size_t k = 0; from + k < nf.members.size(); ++k) {
    double* M = &sc_.kid[k * H * H];
    const int h = nf.members[from + k];
    for (int s = t.first(h); s < t.last(h); ++s) {
      const Slot& sl = t.slots[idx(s)];
      M[sl.a * H + sl.b] = 0.0;
      M[sl.b * H + sl.a] = 0.0;
    }
  }
}

// The haplotypes member m can transmit (over its slots of nonzero weight),
// into sc_.ys; returns their number.
std::size_t Evaluator::transmitted(const FamilyTable& t, int m) {
  const std::size_t H = idx(t.haplotypes());
  sc_.seen.assign(H, 0);
  sc_.ys.clear();
  for (int v = t.first(m); v < t.last(m); ++v) {
    if (sc_.w[idx(v)] == 0.0) continue;
    const Slot& sv = t.slots[idx(v)];
    for (int j = 0; j < sv.nt; ++j)
      if (!sc_.seen[sv.hap[j]]) {
        sc_.seen[sv.hap[j]] = 1;
        sc_.ys.push_back(sv.hap[j]);
      }
  }
  return sc_.ys.size();
}

// Connector c is a parent, o the other parent: W(u) = sum over o's slots v
// of w(v) times the product over the children of the probability-weighted
// sum of the child's weights over the haplotype pairs u and v transmit.
void Evaluator::fold_onto_parent(const FamilyTable& t, const NuclearFamily& nf, int c, int o) {
  const std::size_t H = idx(t.haplotypes());
  const std::size_t kids = nf.members.size() - 2;
  load_children(t, nf, 2);
  double* w = sc_.w.data();
  const Slot* slots = t.slots.data();
  const std::size_t ny = transmitted(t, o);
  const std::uint8_t* ys = sc_.ys.data();
  for (int u = t.first(c); u < t.last(c); ++u) {
    if (w[u] == 0.0) continue;
    const Slot& su = slots[u];
    // va[k][y]: child k's weight summed over the haplotypes u transmits,
    // against haplotype y from the other parent (only the y it transmits).
    for (std::size_t k = 0; k < kids; ++k)
      transmitted_against(su, tp_, &sc_.kid[k * H * H], H, ys, ny, &sc_.va[k * H]);
    double W = 0.0;
    for (int v = t.first(o); v < t.last(o); ++v) {
      if (w[v] == 0.0) continue;
      const Slot& sv = slots[v];
      double P = 1.0;
      for (std::size_t k = 0; k < kids && P != 0.0; ++k) {
        const double* va = &sc_.va[k * H];
        P = P * transmitted_sum(sv, tp_, va);
      }
      W = W + w[v] * P;
    }
    w[u] = W * w[u];
  }
  clear_children(t, nf, 2);
}

// Connector is the first child: every pair of parental slots (v, x) with
// the product Q over the other children adds w(v) w(x) Q, split over the
// ordered haplotype pairs the parents transmit, into acc; the connector's
// genotype {a, b} then collects acc[a][b] + acc[b][a].
void Evaluator::fold_onto_child(const FamilyTable& t, const NuclearFamily& nf) {
  const std::size_t H = idx(t.haplotypes());
  const int e1 = nf.members[0], e2 = nf.members[1], c = nf.members[2];
  const std::size_t kids = nf.members.size() - 3;
  load_children(t, nf, 3);
  sc_.acc.assign(H * H, 0.0);
  double* acc = sc_.acc.data();
  double* w = sc_.w.data();
  const Slot* slots = t.slots.data();
  const std::size_t ny = transmitted(t, e2);
  const std::uint8_t* ys = sc_.ys.data();
  for (int v = t.first(e1); v < t.last(e1); ++v) {
    if (w[v] == 0.0) continue;
    const Slot& sv = slots[v];
    for (std::size_t k = 0; k < kids; ++k)
      transmitted_against(sv, tp_, &sc_.kid[k * H * H], H, ys, ny, &sc_.va[k * H]);
    for (int x = t.first(e2); x < t.last(e2); ++x) {
      if (w[x] == 0.0) continue;
      const Slot& sx = slots[x];
      double Q = 1.0;
      for (std::size_t k = 0; k < kids && Q != 0.0; ++k) {
        const double* va = &sc_.va[k * H];
        Q = Q * transmitted_sum(sx, tp_, va);
      }
      if (Q == 0.0) continue;
      const double R = Q * w[v] * w[x];
      for (int i = 0; i < sv.nt; ++i) {
        const double pi = tp_[sv.prob[i]] * R;
        double* row = acc + sv.hap[i] * H;
        for (int j = 0; j < sx.nt; ++j) row[sx.hap[j]] = row[sx.hap[j]] + pi * tp_[sx.prob[j]];
      }
    }
  }
  for (int u = t.first(c); u < t.last(c); ++u) {
    const Slot& su = slots[u];
    const double W = su.a == su.b ? acc[su.a * H + su.a] : acc[su.a * H + su.b] + acc[su.b * H + su.a];
    w[u] = W * w[u];
  }
  clear_children(t, nf, 3);
}

double Evaluator::family_log_likelihood(std::size_t f, const Parameters& x) {
  if (left_out_[f]) return 0.0;
  const double theta = x[4];
  tp_[PROB_PARENTAL] = 0.5 - theta * 0.5;
  tp_[PROB_RECOMBINANT] = theta * 0.5;
  starting_weights(f, x);
  if (!families_[f].has_plan()) return eliminate(plans_[f], tables_[f], sc_.w.data(), tp_, elim_);
  const FamilyTable& t = tables_[f];
  const Family& fam = families_[f];
  double* w = sc_.w.data();
  double S = 0.0, root = 0.0;
  for (const NuclearFamily& nf : fam.nuclear) {
    const int e1 = nf.members[0];
    const int c = nf.connector != 0 ? nf.connector : e1;
    if (nf.members.size() >= 2) {
      const int e2 = nf.members[1];
      if (c == e1) {
        fold_onto_parent(t, nf, c, e2);
      } else if (c == e2) {
        fold_onto_parent(t, nf, c, e1);
      } else if (nf.members.size() >= 3) {
        fold_onto_child(t, nf);
      }
    }
    double T = 0.0;
    for (int u = t.first(c); u < t.last(c); ++u) T = T + w[u];
    if (T == 0.0) return -std::numeric_limits<double>::infinity();
    const double inv = 1.0 / T;
    double T2 = 0.0;
    for (int u = t.first(c); u < t.last(c); ++u) {
      w[u] = w[u] * inv;
      T2 = T2 + w[u];
    }
    S = S + log_portable(T);
    if (nf.connector == 0) root = root + log_portable(T2);
  }
  return S + root;
}

Evaluator::Total Evaluator::log_likelihood(const Parameters& x) {
  Total total;
  for (std::size_t f = 0; f < tables_.size(); ++f) {
    const double v = family_log_likelihood(f, x);
    if (!std::isfinite(v)) {
      total.bad_family = static_cast<int>(f + 1);
      total.bad_value = v;
      return total;
    }
    total.lh = total.lh + v;
  }
  return total;
}

}  // namespace mglink::pedlik
