#include "support/graph_study.hpp"

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>
#include <utility>

#include "support/kallele_study.hpp"

namespace mglink::test {

namespace {

std::size_t idx(long i) { return static_cast<std::size_t>(i); }

}  // namespace

const std::vector<GraphShape>& graph_shapes() {
  static const std::vector<GraphShape> shapes = {
      // Grandparents 1 x 2 have a son 3 and a daughter 4; 3 x 5 and 6 x 4
      // have the cousins 7 and 8, who have the children 9 and 10.
      {"first-cousin mating", true,
       {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {0, 0}, {0, 0}, {3, 5}, {6, 4}, {7, 8}, {7, 8}}},
      // Brothers 5 and 6 (of 1 x 2) marry sisters 7 and 8 (of 3 x 4); their
      // children 9 and 10 have the child 11.
      {"double first cousins", true,
       {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {1, 2}, {1, 2}, {3, 4}, {3, 4}, {5, 7}, {6, 8}, {9, 10}}},
      // 3 has the child 9 by his sister 4 (a loop through their parents 1, 2)
      // and the children 10 and 11 by the sisters 7 and 8 (a loop through
      // their parents 5, 6): two loops that share 3 alone.
      {"two loops sharing a person", true,
       {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {0, 0}, {0, 0}, {5, 6}, {5, 6}, {3, 4}, {3, 7}, {3, 8}}},
      // 1 has 4 by 2 and 5 by 3; the half-sibs 4 and 5 have 6 and 7.
      {"half-sib mating", true,
       {{0, 0}, {0, 0}, {0, 0}, {1, 2}, {1, 3}, {4, 5}, {4, 5}}},
      // 1 x 2 have 3 and 4; 1 has 5 and 6 by his daughter 3.
      {"parent and offspring", true,
       {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {1, 3}, {1, 3}}},
      // The sisters 3 and 4 (of 1 x 2) both have children by 5: 6 by 3, 7
      // and 8 by 4.
      {"children by two sisters", true,
       {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {0, 0}, {5, 3}, {5, 4}, {5, 4}}},
      // Without loops: 3 (of 1 x 2) has 7 by 5 and 8 by 6; his sister 4 has
      // 10 by 9; 11 has neither parents nor children.
      {"extended family without loops", false,
       {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {0, 0}, {0, 0}, {3, 5}, {3, 6}, {0, 0}, {9, 4}, {0, 0}}},
  };
  return shapes;
}

pedlik::Family graph_family(Random& rng, const GraphShape& shape) {
  const int n = static_cast<int>(shape.parents.size());
  std::vector<int> number(idx(n + 1), 0);  // number[k]: member number of shape member k
  std::iota(number.begin() + 1, number.end(), 1);
  for (int i = n; i > 1; --i) std::swap(number[idx(i)], number[idx(1 + rng.below(i))]);
  std::map<std::pair<int, int>, bool> swapped;  // per couple, drawn once
  pedlik::Family fam;
  fam.size = n;
  fam.parents.assign(idx(n), {0, 0});
  for (int k = 1; k <= n; ++k) {
    auto p = shape.parents[idx(k - 1)];
    if (p[0] != 0) {
      const auto couple = std::minmax(p[0], p[1]);
      auto it = swapped.find(couple);
      if (it == swapped.end()) it = swapped.emplace(couple, rng.chance(0.5)).first;
      if (it->second) std::swap(p[0], p[1]);
      p = {number[idx(p[0])], number[idx(p[1])]};
    }
    fam.parents[idx(number[idx(k)] - 1)] = p;
  }
  return fam;
}

pedlik::Family as_graph(const pedlik::Family& planned) {
  pedlik::Family g;
  g.size = planned.size;
  g.parents.assign(idx(planned.size), {0, 0});
  for (const pedlik::NuclearFamily& nf : planned.nuclear)
    for (std::size_t i = 2; i < nf.members.size(); ++i)
      g.parents[idx(nf.members[i] - 1)] = {nf.members[0], nf.members[1]};
  return g;
}

pedlik::Marker drop_graph_marker(Random& rng, pedlik::Pedigree& ped, int K,
                                 const GraphHiding& hiding) {
  pedlik::Marker mk;
  mk.K = K;
  mk.frequency = random_allele_frequencies(rng, K);
  auto draw = [&] {
    const double u = rng.uniform();
    double acc = 0.0;
    for (int a = 1; a <= K; ++a) {
      acc += mk.frequency[idx(a - 1)];
      if (u < acc) return a;
    }
    return K;
  };
  const double H = 2.0 * K;
  const double mean[3] = {-1.0, 0.5, 2.0};
  ped.trait.clear();
  for (const pedlik::Family& fam : ped.families) {
    const int n = fam.size;
    std::vector<std::array<int, 2>> par(idx(n + 1), {0, 0});
    if (fam.has_plan()) {
      for (const pedlik::NuclearFamily& nf : fam.nuclear)
        for (std::size_t i = 2; i < nf.members.size(); ++i)
          par[idx(nf.members[i])] = {nf.members[0], nf.members[1]};
    } else {
      for (int e = 1; e <= n; ++e) par[idx(e)] = fam.parents[idx(e - 1)];
    }
    // Per member: marker alleles and major alleles (0 = allele 1, 1 = allele 2).
    std::vector<std::array<int, 2>> g(idx(n + 1), {0, 0}), major(idx(n + 1), {0, 0});
    std::function<void(int)> drop = [&](int e) {
      if (g[idx(e)][0] != 0) return;
      const auto p = par[idx(e)];
      if (p[0] == 0) {
        g[idx(e)] = {draw(), draw()};
        major[idx(e)] = {rng.below(2), rng.below(2)};
        return;
      }
      drop(p[0]);
      drop(p[1]);
      for (int i = 0; i < 2; ++i) {
        const int from = p[idx(i)], j = rng.below(2);
        g[idx(e)][idx(i)] = g[idx(from)][idx(j)];
        major[idx(e)][idx(i)] = major[idx(from)][idx(rng.chance(0.3) ? 1 - j : j)];
      }
    };
    for (int e = 1; e <= n; ++e) drop(e);

    for (int e = 1; e <= n; ++e) {
      double y = mean[major[idx(e)][0] + major[idx(e)][1]] + rng.normal();
      if (rng.chance(hiding.no_trait)) {
        const double unknown[3] = {-999.0, pedlik::TRAIT_UNKNOWN, -1e7};
        y = unknown[rng.below(3)];
      }
      ped.trait.push_back(y);
    }

    std::vector<char> typed(idx(n + 1), 0);
    for (int e = 1; e <= n; ++e) typed[idx(e)] = !rng.chance(hiding.untyped);
    // Joint genotypes the brute force visits, roughly: a typed member 4, an
    // untyped founder every genotype, an untyped child what its parents
    // can give.
    for (;;) {
      double product = 1.0;
      std::vector<int> open;
      for (int e = 1; e <= n; ++e) {
        if (!typed[idx(e)]) open.push_back(e);
        product *= typed[idx(e)] ? 4.0 : (par[idx(e)][0] == 0 ? H * (H + 1) / 2 : 16.0);
      }
      if (product <= static_cast<double>(hiding.max_assignments) || open.empty()) break;
      typed[idx(open[idx(rng.below(static_cast<int>(open.size())))])] = 1;
    }
    for (int e = 1; e <= n; ++e) {
      auto a = g[idx(e)];
      if (a[0] > a[1]) std::swap(a[0], a[1]);
      mk.alleles.push_back(typed[idx(e)] ? a : std::array<int, 2>{0, 0});
    }
    if (rng.chance(hiding.wrong)) {
      auto& a = mk.alleles[mk.alleles.size() - 1 - idx(rng.below(n))];
      if (a[0] != 0) {
        a = {1 + rng.below(K), 1 + rng.below(K)};
        if (a[0] > a[1]) std::swap(a[0], a[1]);
      }
    }
  }
  return mk;
}

double graph_brute_force(const pedlik::Pedigree& ped, const pedlik::Marker& marker,
                         std::size_t f, const pedlik::Parameters& x) {
  const pedlik::Family& fam = ped.families[f];
  return pedigree_brute_force(ped, marker, f, x, fam.parents,
                              std::vector<char>(idx(fam.size), 1));
}

}  // namespace mglink::test
