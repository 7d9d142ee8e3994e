#include "support/brute_force.hpp"

#include <array>
#include <cmath>
#include <functional>
#include <vector>

namespace mglink::test {

namespace {

struct Genetics {
  std::array<std::array<int, 2>, 55> pair{};  // haplotypes of each genotype, along the rows
  std::array<int, 55> marker{};                // marker genotype code of each genotype
  std::array<double, 11> hfreq{};              // haplotype frequencies, 1-based
  std::array<std::array<double, 11>, 55> trans{};  // haplotype transmission, 1-based haplotypes

  static int major(int h) { return h <= 5 ? 1 : 2; }
  static int mark(int h) { return (h - 1) % 5 + 1; }
  static int hap(int major, int mark) { return (major - 1) * 5 + mark; }

  explicit Genetics(const ModelState& st) {
    auto X = [&](int i) { return st.OPTPAR1.X(i); };
    std::array<std::array<int, 6>, 6> code{};
    int c = 0;
    for (int m = 1; m <= 5; ++m)
      for (int n = m; n <= 5; ++n) code[m][n] = code[n][m] = ++c;
    int k = 0;
    for (int a = 1; a <= 10; ++a)
      for (int b = a; b <= 10; ++b) {
        pair[static_cast<std::size_t>(k)] = {a, b};
        marker[static_cast<std::size_t>(k)] = code[mark(a)][mark(b)];
        ++k;
      }
    for (int h = 1; h <= 10; ++h)
      hfreq[h] = major(h) == 1 ? X(1) * X(6 + mark(h)) : (1.0 - X(1)) * X(6 + mark(h));
    // A parent transmits its own haplotypes without recombination and the
    // two recombinant ones with probability theta, half each.
    const double theta = X(5);
    for (int g = 0; g < 55; ++g) {
      const auto [a, b] = pair[static_cast<std::size_t>(g)];
      auto& t = trans[static_cast<std::size_t>(g)];
      t[hap(major(a), mark(a))] += (1 - theta) / 2;
      t[hap(major(b), mark(b))] += (1 - theta) / 2;
      t[hap(major(a), mark(b))] += theta / 2;
      t[hap(major(b), mark(a))] += theta / 2;
    }
  }

  double frequency(int g) const {
    const auto [a, b] = pair[static_cast<std::size_t>(g)];
    return a == b ? hfreq[a] * hfreq[a] : 2 * hfreq[a] * hfreq[b];
  }
  // Probability of child genotype c from parents with genotypes p and q.
  double child(int c, int p, int q) const {
    const auto [x, y] = pair[static_cast<std::size_t>(c)];
    const auto& tp = trans[static_cast<std::size_t>(p)];
    const auto& tq = trans[static_cast<std::size_t>(q)];
    return x == y ? tp[x] * tq[x] : tp[x] * tq[y] + tp[y] * tq[x];
  }
};

}  // namespace

double brute_force_likelihood(const ModelState& st, int f) {
  const Genetics gen(st);
  const int famoff = st.BUF1.FAMOFF(f);
  const int n = st.BUF1.FAMOFF(f + 1) - famoff;
  std::vector<bool> listed(static_cast<std::size_t>(n + 1), false);
  std::vector<std::array<int, 2>> parents(static_cast<std::size_t>(n + 1), {0, 0});
  for (int j = st.BUF3.NUCOFF(f) + 1; j <= st.BUF3.NUCOFF(f + 1); ++j) {
    const int first = st.BUF14.MEMOFF(j) + 1, last = st.BUF14.MEMOFF(j + 1);
    for (int i = first; i <= last; ++i) {
      const int e = st.BUF16.MEMBER(i);
      listed[static_cast<std::size_t>(e)] = true;
      if (i >= first + 2) parents[static_cast<std::size_t>(e)] = {st.BUF16.MEMBER(first), st.BUF16.MEMBER(first + 1)};
    }
  }

  // Parents before their children.
  std::vector<int> order;
  std::vector<bool> placed(static_cast<std::size_t>(n + 1), false);
  for (bool progress = true; progress;) {
    progress = false;
    for (int e = 1; e <= n; ++e) {
      const auto p = parents[static_cast<std::size_t>(e)];
      if (!listed[static_cast<std::size_t>(e)] || placed[static_cast<std::size_t>(e)]) continue;
      if (p[0] != 0 && !(placed[static_cast<std::size_t>(p[0])] && placed[static_cast<std::size_t>(p[1])])) continue;
      placed[static_cast<std::size_t>(e)] = true;
      order.push_back(e);
      progress = true;
    }
  }

  // Each member's genotypes with their own factor (frequency for a founder,
  // trait density, marker compatibility).
  const double sigma = std::sqrt(st.OPTPAR1.X(6));
  std::vector<std::vector<std::pair<int, double>>> choices(static_cast<std::size_t>(n + 1));
  for (int e : order) {
    const int k = famoff + e;
    const double y = st.BUF2.TRAIT(k);
    const int code = st.BUF2.MARKER(k);
    for (int g = 0; g < 55; ++g) {
      if (code != 0 && gen.marker[static_cast<std::size_t>(g)] != code) continue;
      double w = 1.0;
      if (y > -998.0) {
        const auto [a, b] = gen.pair[static_cast<std::size_t>(g)];
        const double mean = st.OPTPAR1.X(1 + Genetics::major(a) + Genetics::major(b) - 1);
        const double z = (y - mean) / sigma;
        w = std::exp(-0.5 * z * z) / sigma;
      }
      if (parents[static_cast<std::size_t>(e)][0] == 0) w *= gen.frequency(g);
      if (w != 0.0) choices[static_cast<std::size_t>(e)].push_back({g, w});
    }
  }

  std::vector<int> assigned(static_cast<std::size_t>(n + 1), -1);
  std::function<double(std::size_t)> sum = [&](std::size_t i) -> double {
    if (i == order.size()) return 1.0;
    const int e = order[i];
    const auto p = parents[static_cast<std::size_t>(e)];
    double total = 0.0;
    for (const auto& [g, w] : choices[static_cast<std::size_t>(e)]) {
      double factor = w;
      if (p[0] != 0)
        factor *= gen.child(g, assigned[static_cast<std::size_t>(p[0])], assigned[static_cast<std::size_t>(p[1])]);
      if (factor == 0.0) continue;
      assigned[static_cast<std::size_t>(e)] = g;
      total += factor * sum(i + 1);
    }
    return total;
  };
  return sum(0);
}

}  // namespace mglink::test
