#include "support/random_pedigree.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <numeric>
#include <vector>

namespace mglink::test {

double Random::uniform() { return static_cast<double>(gen_() >> 11) * 0x1.0p-53; }
double Random::uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }
int Random::below(int n) { return static_cast<int>(gen_() % static_cast<std::uint64_t>(n)); }
double Random::normal() {
  const double u = 1.0 - uniform();  // (0, 1]
  const double v = uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
}

const char* shape_name(Shape s) {
  switch (s) {
    case Shape::Nuclear: return "nuclear";
    case Shape::Single: return "single";
    case Shape::ConnectorParent1: return "connector parent 1";
    case Shape::ConnectorParent2: return "connector parent 2";
    case Shape::ConnectorFirstChild: return "connector first child";
    case Shape::SeveralSpouses: return "several spouses";
    case Shape::SingleEntryInside: return "single entry inside";
    case Shape::ChildlessInside: return "childless inside";
    case Shape::TwoRoots: return "two roots";
    case Shape::FourGenerations: return "four generations";
  }
  return "?";
}

namespace {

// A family under construction; persons are 0-based until numbered.
struct Draft {
  std::vector<std::array<int, 2>> parents;  // {-1, -1} for a founder
  std::vector<Nuclear> nuclear;             // members and connector as 0-based persons, -1 = root

  int person() {
    parents.push_back({-1, -1});
    return static_cast<int>(parents.size()) - 1;
  }
  std::vector<int> persons(int k) {
    std::vector<int> v;
    for (int i = 0; i < k; ++i) v.push_back(person());
    return v;
  }
  // Nuclear family of p1 and p2 with the given children (who get p1, p2 as
  // parents); connector -1 for a root.
  void mating(int p1, int p2, const std::vector<int>& children, int connector) {
    Nuclear n;
    n.members = {p1, p2};
    for (int c : children) {
      n.members.push_back(c);
      parents[static_cast<std::size_t>(c)] = {p1, p2};
    }
    n.connector = connector;
    nuclear.push_back(n);
  }
  void single(int p, int connector) { nuclear.push_back({{p}, connector}); }
};

// Children list with `first` at the front, then k new siblings.
std::vector<int> with_siblings(Draft& d, int first, int k) {
  std::vector<int> v{first};
  for (int i = 0; i < k; ++i) v.push_back(d.person());
  return v;
}

void build(Draft& d, Random& rng, Shape shape) {
  switch (shape) {
    case Shape::Nuclear: {
      const int a = d.person(), b = d.person();
      d.mating(a, b, d.persons(rng.below(4)), -1);
      break;
    }
    case Shape::Single:
      d.single(d.person(), -1);
      break;
    case Shape::ConnectorParent1:
    case Shape::ConnectorParent2: {
      const int p = d.person(), s = d.person();
      const auto kids = d.persons(1 + rng.below(2));
      if (shape == Shape::ConnectorParent1) {
        d.mating(p, s, kids, p);
      } else {
        d.mating(s, p, kids, p);
      }
      const int g1 = d.person(), g2 = d.person();
      auto sibs = with_siblings(d, p, rng.below(2));
      std::swap(sibs[0], sibs[static_cast<std::size_t>(rng.below(static_cast<int>(sibs.size())))]);
      d.mating(g1, g2, sibs, -1);
      break;
    }
    case Shape::ConnectorFirstChild: {
      const int g1 = d.person(), g2 = d.person(), p = d.person();
      d.mating(g1, g2, with_siblings(d, p, rng.below(2)), p);
      const int s = d.person();
      const auto kids = d.persons(rng.below(3));
      if (rng.chance(0.5)) {
        d.mating(p, s, kids, -1);
      } else {
        d.mating(s, p, kids, -1);
      }
      break;
    }
    case Shape::SeveralSpouses: {
      const int p = d.person(), s1 = d.person(), s2 = d.person();
      const auto kids1 = d.persons(1 + rng.below(2));
      const auto kids2 = d.persons(rng.below(2));
      if (rng.chance(0.5)) {
        d.mating(p, s1, kids1, p);
      } else {
        d.mating(s1, p, kids1, p);
      }
      if (rng.chance(0.5)) {
        d.mating(p, s2, kids2, -1);
      } else {
        d.mating(s2, p, kids2, -1);
      }
      break;
    }
    case Shape::SingleEntryInside: {
      const int a = d.person(), b = d.person();
      const auto kids = d.persons(1 + rng.below(2));
      const int lone = rng.chance(0.5) ? kids[0] : (rng.chance(0.5) ? a : b);
      d.single(lone, lone);
      d.mating(a, b, kids, -1);
      break;
    }
    case Shape::ChildlessInside: {
      const int g1 = d.person(), g2 = d.person(), p = d.person(), s = d.person();
      if (rng.chance(0.5)) {
        d.mating(p, s, {}, p);
      } else {
        d.mating(s, p, {}, p);
      }
      auto sibs = with_siblings(d, p, rng.below(2));
      std::reverse(sibs.begin(), sibs.end());
      d.mating(g1, g2, sibs, -1);
      break;
    }
    case Shape::TwoRoots: {
      const int a = d.person(), b = d.person();
      d.mating(a, b, d.persons(rng.below(3)), -1);
      const int c = d.person(), e = d.person();
      d.mating(c, e, d.persons(1), -1);
      if (rng.chance(0.5)) d.single(d.person(), -1);
      if (rng.chance(0.5)) std::swap(d.nuclear[0], d.nuclear[1]);
      break;
    }
    case Shape::FourGenerations: {
      const int g1 = d.person(), g2 = d.person(), p = d.person();
      d.mating(g1, g2, {p}, p);
      const int s = d.person(), k = d.person();
      d.mating(p, s, {k}, k);
      const int t = d.person();
      d.mating(t, k, d.persons(1), -1);
      break;
    }
  }
}

int hap_index(int major, int marker) { return (major - 1) * 5 + marker; }
int hap_major(int h) { return h <= 5 ? 1 : 2; }
int hap_marker(int h) { return h <= 5 ? h : h - 5; }
int marker_code(int m, int n) {
  if (m > n) std::swap(m, n);
  int code = 0;
  for (int a = 1; a <= 5; ++a)
    for (int b = a; b <= 5; ++b) {
      ++code;
      if (a == m && b == n) return code;
    }
  return 0;
}

}  // namespace

ParameterVector random_parameters(Random& rng, double theta) {
  ParameterVector x{};
  x[0] = rng.chance(0.05) ? 1.0 : rng.uniform(0.05, 0.95);
  for (int i = 1; i <= 3; ++i) x[static_cast<std::size_t>(i)] = rng.uniform(-3.0, 3.0);
  x[4] = theta;
  x[5] = rng.uniform(0.5, 4.0);
  double w[5], s = 0.0;
  for (double& v : w) s += (v = rng.uniform(0.05, 1.0));
  for (int i = 0; i < 5; ++i) x[static_cast<std::size_t>(6 + i)] = w[i] / s;
  return x;
}

Family random_family(Random& rng, Shape shape, const ParameterVector& truth,
                     const HidingRates& rates) {
  Draft d;
  build(d, rng, shape);
  const int n = static_cast<int>(d.parents.size());

  // Genotypes: founders draw two haplotypes, children one from each parent.
  auto X = [&](int i) { return truth[static_cast<std::size_t>(i - 1)]; };
  std::vector<std::array<int, 2>> haps(static_cast<std::size_t>(n), {0, 0});
  auto draw_haplotype = [&] {
    double u = rng.uniform(), acc = 0.0;
    for (int h = 1; h <= 10; ++h) {
      acc += h <= 5 ? X(1) * X(6 + h) : (1.0 - X(1)) * X(1 + h);
      if (u < acc) return h;
    }
    return X(1) < 1.0 ? 10 : 5;
  };
  auto transmit = [&](const std::array<int, 2>& p) {
    const int i = rng.below(2);
    const int major = hap_major(p[static_cast<std::size_t>(i)]);
    const int from = rng.chance(X(5)) ? 1 - i : i;
    return hap_index(major, hap_marker(p[static_cast<std::size_t>(from)]));
  };
  std::function<void(int)> simulate = [&](int k) {
    auto& h = haps[static_cast<std::size_t>(k)];
    if (h[0] != 0) return;
    const auto par = d.parents[static_cast<std::size_t>(k)];
    if (par[0] < 0) {
      h = {draw_haplotype(), draw_haplotype()};
      return;
    }
    simulate(par[0]);
    simulate(par[1]);
    h = {transmit(haps[static_cast<std::size_t>(par[0])]),
         transmit(haps[static_cast<std::size_t>(par[1])])};
  };
  for (int k = 0; k < n; ++k) simulate(k);

  std::vector<Member> people(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k) {
    const auto h = haps[static_cast<std::size_t>(k)];
    Member& m = people[static_cast<std::size_t>(k)];
    const int mg = hap_major(h[0]) + hap_major(h[1]) - 1;
    m.trait = X(1 + mg) + std::sqrt(X(6)) * rng.normal();
    if (rng.chance(rates.unknown)) {
      m.trait = rng.chance(0.5) ? -998.0 : MISSING;
    } else if (rng.chance(rates.skipped)) {
      m.trait = rng.chance(0.5) ? -1e7 : -5e7;
    }
    m.marker = rng.chance(rates.untyped) ? 0 : marker_code(hap_marker(h[0]), hap_marker(h[1]));
  }
  // Keep the brute force small: type members until few assignments remain.
  auto count = [](const Member& m) {
    if (m.marker == 0) return 55L;
    const int code = m.marker;
    const bool hom = code == 1 || code == 6 || code == 10 || code == 13 || code == 15;
    return hom ? 3L : 4L;
  };
  for (;;) {
    long product = 1;
    std::vector<int> untyped;
    for (int k = 0; k < n; ++k) {
      product *= count(people[static_cast<std::size_t>(k)]);
      if (people[static_cast<std::size_t>(k)].marker == 0) untyped.push_back(k);
    }
    if (product <= rates.max_assignments || untyped.empty()) break;
    const int k = untyped[static_cast<std::size_t>(rng.below(static_cast<int>(untyped.size())))];
    const auto h = haps[static_cast<std::size_t>(k)];
    people[static_cast<std::size_t>(k)].marker = marker_code(hap_marker(h[0]), hap_marker(h[1]));
  }
  if (rng.chance(rates.wrong_marker)) {
    Member& m = people[static_cast<std::size_t>(rng.below(n))];
    if (m.marker != 0) m.marker = 1 + rng.below(15);
  }

  // Number the members in random order.
  std::vector<int> number(static_cast<std::size_t>(n));
  std::iota(number.begin(), number.end(), 1);
  for (int i = n - 1; i > 0; --i) std::swap(number[static_cast<std::size_t>(i)], number[static_cast<std::size_t>(rng.below(i + 1))]);
  Family f;
  f.members.resize(static_cast<std::size_t>(n));
  for (int k = 0; k < n; ++k)
    f.members[static_cast<std::size_t>(number[static_cast<std::size_t>(k)] - 1)] = people[static_cast<std::size_t>(k)];
  for (Nuclear nf : d.nuclear) {
    for (int& e : nf.members) e = number[static_cast<std::size_t>(e)];
    nf.connector = nf.connector < 0 ? 0 : number[static_cast<std::size_t>(nf.connector)];
    f.nuclear.push_back(nf);
  }
  return f;
}

}  // namespace mglink::test
