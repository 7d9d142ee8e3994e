#include "support/kallele_study.hpp"

#include <cmath>
#include <functional>

namespace mglink::test {

namespace {

std::size_t idx(long i) { return static_cast<std::size_t>(i); }

// Parents of each member (1-based within the family), {0, 0} for a member
// who is nobody's child.
std::vector<std::array<int, 2>> parents_of(const std::vector<Nuclear>& nuclear, int n) {
  std::vector<std::array<int, 2>> par(idx(n + 1), {0, 0});
  for (const Nuclear& nf : nuclear)
    for (std::size_t i = 2; i < nf.members.size(); ++i)
      par[idx(nf.members[i])] = {nf.members[0], nf.members[1]};
  return par;
}

}  // namespace

std::vector<double> random_allele_frequencies(Random& rng, int K) {
  std::vector<double> w(idx(K));
  double s = 0.0;
  for (double& v : w) s += (v = rng.uniform(0.05, 1.0));
  for (double& v : w) v = v / s;
  return w;
}

pedlik::Marker random_marker(Random& rng, const std::vector<Family>& families, int K,
                              double untyped, long max_assignments, double wrong) {
  pedlik::Marker mk;
  mk.K = K;
  mk.frequency = random_allele_frequencies(rng, K);
  auto draw = [&] {
    double u = rng.uniform(), acc = 0.0;
    for (int a = 1; a <= K; ++a) {
      acc += mk.frequency[idx(a - 1)];
      if (u < acc) return a;
    }
    return K;
  };
  const long hom = 2L * K * (2L * K + 1) / 2;  // two-locus genotypes of an untyped founder
  for (const Family& fam : families) {
    const int n = static_cast<int>(fam.members.size());
    const auto par = parents_of(fam.nuclear, n);
    std::vector<std::array<int, 2>> g(idx(n + 1), {0, 0});
    std::function<void(int)> drop = [&](int e) {
      if (g[idx(e)][0] != 0) return;
      const auto p = par[idx(e)];
      if (p[0] == 0) {
        g[idx(e)] = {draw(), draw()};
        return;
      }
      drop(p[0]);
      drop(p[1]);
      g[idx(e)] = {g[idx(p[0])][idx(rng.below(2))], g[idx(p[1])][idx(rng.below(2))]};
    };
    for (int e = 1; e <= n; ++e) drop(e);
    std::vector<char> typed(idx(n + 1), 0);
    for (int e = 1; e <= n; ++e) typed[idx(e)] = !rng.chance(untyped);
    // Assignments the brute force visits, roughly: founders over their
    // genotypes, children over what their parents can give.
    for (;;) {
      double product = 1.0;
      std::vector<int> open;
      for (int e = 1; e <= n; ++e) {
        if (!typed[idx(e)]) open.push_back(e);
        product *= typed[idx(e)] ? 4.0 : (par[idx(e)][0] == 0 ? static_cast<double>(hom) : 16.0);
      }
      if (product <= static_cast<double>(max_assignments) || open.empty()) break;
      typed[idx(open[idx(rng.below(static_cast<int>(open.size())))])] = 1;
    }
    for (int e = 1; e <= n; ++e) {
      auto a = g[idx(e)];
      if (a[0] > a[1]) std::swap(a[0], a[1]);
      mk.alleles.push_back(typed[idx(e)] ? a : std::array<int, 2>{0, 0});
    }
    if (rng.chance(wrong)) {
      auto& a = mk.alleles[mk.alleles.size() - 1 - idx(rng.below(n))];
      if (a[0] != 0) a = {1 + rng.below(K), 1 + rng.below(K)};
    }
  }
  return mk;
}

double kallele_brute_force(const pedlik::Pedigree& ped, const pedlik::Marker& marker,
                           std::size_t f, const pedlik::Parameters& x) {
  const pedlik::Family& fam = ped.families[f];
  const int n = fam.size;
  std::vector<char> listed(idx(n), 0);
  std::vector<Nuclear> nuclear;
  for (const auto& nf : fam.nuclear) {
    for (int e : nf.members) listed[idx(e - 1)] = 1;
    nuclear.push_back({nf.members, nf.connector});
  }
  const auto par = parents_of(nuclear, n);
  return pedigree_brute_force(ped, marker, f, x,
                              std::vector<std::array<int, 2>>(par.begin() + 1, par.end()), listed);
}

double pedigree_brute_force(const pedlik::Pedigree& ped, const pedlik::Marker& marker,
                            std::size_t f, const pedlik::Parameters& x,
                            const std::vector<std::array<int, 2>>& parents,
                            const std::vector<char>& counted) {
  const long first = ped.first(f);
  const int n = ped.families[f].size, K = marker.K;
  std::vector<char> listed(idx(n + 1), 0);
  std::vector<std::array<int, 2>> par(idx(n + 1), {0, 0});
  for (int e = 1; e <= n; ++e) {
    listed[idx(e)] = counted[idx(e - 1)];
    par[idx(e)] = parents[idx(e - 1)];
  }

  // Haplotype h = 0..2K-1: major allele h / K + 1, marker allele h % K + 1.
  const int H = 2 * K;
  auto major = [K](int h) { return h / K; };
  auto allele = [K](int h) { return h % K + 1; };
  auto hap = [K](int maj, int al) { return maj * K + al - 1; };
  std::vector<double> hf(idx(H));
  for (int h = 0; h < H; ++h)
    hf[idx(h)] = (major(h) == 0 ? x[0] : 1.0 - x[0]) * marker.frequency[idx(allele(h) - 1)];
  std::vector<std::array<int, 2>> pairs;
  for (int a = 0; a < H; ++a)
    for (int b = a; b < H; ++b) pairs.push_back({a, b});
  const double theta = x[4];
  // trans[g][h]: probability that a parent of genotype g transmits h.
  std::vector<std::vector<double>> trans(pairs.size(), std::vector<double>(idx(H), 0.0));
  for (std::size_t g = 0; g < pairs.size(); ++g) {
    const auto [a, b] = pairs[g];
    auto& t = trans[g];
    t[idx(a)] += (1 - theta) / 2;
    t[idx(b)] += (1 - theta) / 2;
    t[idx(hap(major(a), allele(b)))] += theta / 2;
    t[idx(hap(major(b), allele(a)))] += theta / 2;
  }

  // Parents before their children.
  std::vector<int> order;
  std::vector<char> placed(idx(n + 1), 0);
  for (bool progress = true; progress;) {
    progress = false;
    for (int e = 1; e <= n; ++e) {
      const auto p = par[idx(e)];
      if (!listed[idx(e)] || placed[idx(e)]) continue;
      if (p[0] != 0 && !(placed[idx(p[0])] && placed[idx(p[1])])) continue;
      placed[idx(e)] = 1;
      order.push_back(e);
      progress = true;
    }
  }

  const double sigma = std::sqrt(x[5]);
  std::vector<std::vector<std::pair<std::size_t, double>>> choices(idx(n + 1));
  for (int e : order) {
    const double y = ped.trait[idx(first + e - 1)];
    const auto obs = marker.alleles[idx(first + e - 1)];
    for (std::size_t g = 0; g < pairs.size(); ++g) {
      const auto [a, b] = pairs[g];
      if (obs[0] != 0) {
        const bool same = (allele(a) == obs[0] && allele(b) == obs[1]) ||
                          (allele(a) == obs[1] && allele(b) == obs[0]);
        if (!same) continue;
      }
      double w = 1.0;
      if (y > -998.0) {
        const double z = (y - x[idx(1 + major(a) + major(b))]) / sigma;
        w = std::exp(-0.5 * z * z) / sigma;
      }
      if (par[idx(e)][0] == 0) w *= a == b ? hf[idx(a)] * hf[idx(a)] : 2 * hf[idx(a)] * hf[idx(b)];
      if (w != 0.0) choices[idx(e)].push_back({g, w});
    }
  }

  std::vector<std::size_t> assigned(idx(n + 1), 0);
  std::function<double(std::size_t)> sum = [&](std::size_t i) -> double {
    if (i == order.size()) return 1.0;
    const int e = order[i];
    const auto p = par[idx(e)];
    double total = 0.0;
    for (const auto& [g, w] : choices[idx(e)]) {
      double factor = w;
      if (p[0] != 0) {
        const auto& tp = trans[assigned[idx(p[0])]];
        const auto& tq = trans[assigned[idx(p[1])]];
        const auto [a, b] = pairs[g];
        factor *= a == b ? tp[idx(a)] * tq[idx(a)] : tp[idx(a)] * tq[idx(b)] + tp[idx(b)] * tq[idx(a)];
      }
      if (factor == 0.0) continue;
      assigned[idx(e)] = g;
      total += factor * sum(i + 1);
    }
    return total;
  };
  return sum(0);
}

}  // namespace mglink::test
