#include "looped_study.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "kallele_study.hpp"

namespace mglink::bench {

namespace {

std::size_t at(int member) { return static_cast<std::size_t>(member - 1); }

// A seed for one stream of one family.
std::uint64_t mix(std::uint64_t seed, std::uint64_t family, std::uint64_t stream) {
  std::uint64_t z = seed * 0x9e3779b97f4a7c15ULL + family * 0xbf58476d1ce4e5b9ULL + stream * 0x94d049bb133111ebULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

struct Person {
  int father = 0, mother = 0;  // loop-free pedigree; 0 for a founder
  int generation = 0;          // 1 = the founder couple
};

// One pedigree's shape: the loop-free pedigree with its peeling plan, and
// the spouses that can be rewired with the couples that become their parents.
struct Shape {
  std::vector<Person> people;
  pedlik::Family plan;
  struct Marriage {
    int blood = 0, spouse = 0;  // a third-generation member and the spouse who married in
  };
  std::vector<Marriage> third;             // marriages in the third generation
  std::vector<std::array<int, 2>> couples;  // second-generation couples with children
  // Up to kMaxLoops rewirings, in the order they are applied: the spouse
  // and its new father and mother.
  std::vector<std::array<int, 3>> rewire;

  int person(int generation) {
    Person p;
    p.generation = generation;
    people.push_back(p);
    return static_cast<int>(people.size());
  }

  // The children of the couple (a, b) and, for those who marry, their
  // spouses and descendants.  The children's nuclear families are listed
  // before the couple's own, each folded onto its member born here.
  void descend(Draw& d, int a, int b, int connector) {
    const int g = people[at(a)].generation;
    const int n = g == 3 ? d.between(1, 3) : d.between(2, 4);
    std::vector<int> kids;
    for (int i = 0; i < n; ++i) {
      const int k = person(g + 1);
      people[at(k)].father = a;
      people[at(k)].mother = b;
      kids.push_back(k);
    }
    if (g < 3) {
      const double marry = g == 1 ? 0.75 : 0.5;
      for (int k : kids)
        if (d.chance(marry)) {
          const int s = person(g + 1);
          if (g == 2) third.push_back({k, s});
          descend(d, k, s, k);
        }
    }
    if (g == 2) couples.push_back({a, b});
    pedlik::NuclearFamily nf;
    nf.members = {a, b};
    nf.members.insert(nf.members.end(), kids.begin(), kids.end());
    nf.connector = connector;
    plan.nuclear.push_back(nf);
  }
};

Shape draw_shape(Draw& d) {
  for (;;) {
    Shape s;
    const int a = s.person(1), b = s.person(1);
    s.descend(d, a, b, 0);
    const int n = static_cast<int>(s.people.size());
    if (n < 15 || n > 40 || s.couples.size() < 2 || s.third.size() < static_cast<std::size_t>(kMaxLoops)) continue;
    s.plan.size = n;
    // The spouses to rewire, in a random order, each to a second-generation
    // couple other than the parents of the member it married (a first-cousin
    // marriage rather than one between siblings).
    std::vector<Shape::Marriage> m = s.third;
    for (std::size_t i = m.size(); i-- > 1;)
      std::swap(m[i], m[static_cast<std::size_t>(d.between(0, static_cast<int>(i)))]);
    for (int l = 0; l < kMaxLoops; ++l) {
      const Person& blood = s.people[at(m[static_cast<std::size_t>(l)].blood)];
      std::vector<std::array<int, 2>> other;
      for (const auto& c : s.couples)
        if (c[0] != blood.father || c[1] != blood.mother) other.push_back(c);
      const auto& c = other[static_cast<std::size_t>(d.between(0, static_cast<int>(other.size()) - 1))];
      s.rewire.push_back({m[static_cast<std::size_t>(l)].spouse, c[0], c[1]});
    }
    return s;
  }
}

}  // namespace

LoopedStudy simulate_looped_study(const LoopedDesign& design) {
  if (design.loops < 0 || design.loops > kMaxLoops)
    throw std::invalid_argument("simulate_looped_study: loops must be 0.." + std::to_string(kMaxLoops));
  LoopedStudy st;
  st.marker.K = design.K;
  double sum = 0.0;
  for (int a = 1; a <= design.K; ++a) {
    st.marker.frequency.push_back(1.0 / (1.0 + 0.15 * a));
    sum += st.marker.frequency.back();
  }
  for (double& q : st.marker.frequency) q = q / sum;
  const auto& X = kTruth;

  for (int f = 0; f < design.families; ++f) {
    Draw shape_draw(mix(design.seed, static_cast<std::uint64_t>(f), 0));
    const Shape s = draw_shape(shape_draw);
    const int n = s.plan.size;

    std::vector<std::array<int, 2>> free_parents(at(n + 1)), looped_parents;
    for (int e = 1; e <= n; ++e) free_parents[at(e)] = {s.people[at(e)].father, s.people[at(e)].mother};
    looped_parents = free_parents;
    for (int l = 0; l < design.loops; ++l) {
      const auto& r = s.rewire[static_cast<std::size_t>(l)];
      looped_parents[at(r[0])] = {r[1], r[2]};
    }

    // Genes through the looped pedigree, generation by generation.
    Draw d(mix(design.seed, static_cast<std::uint64_t>(f),
               1 + static_cast<std::uint64_t>(design.K) * 16 + static_cast<std::uint64_t>(design.loops)));
    auto allele = [&] {
      const double u = d.uniform();
      double acc = 0.0;
      for (int a = 1; a <= design.K; ++a) {
        acc += st.marker.frequency[static_cast<std::size_t>(a - 1)];
        if (u < acc) return a;
      }
      return design.K;
    };
    std::vector<int> order(at(n + 1));
    for (int e = 1; e <= n; ++e) order[at(e)] = e;
    std::stable_sort(order.begin(), order.end(), [&s](int x, int y) {
      return s.people[at(x)].generation < s.people[at(y)].generation;
    });
    // {major, marker} from father, from mother.
    std::vector<std::array<std::array<int, 2>, 2>> hap(at(n + 1));
    std::vector<char> dropped(at(n + 1), 0);
    for (int e : order) {
      for (int i = 0; i < 2; ++i) {
        const int parent = looped_parents[at(e)][static_cast<std::size_t>(i)];
        auto& h = hap[at(e)][static_cast<std::size_t>(i)];
        if (parent == 0) {
          h = {d.chance(X[0]) ? 1 : 2, allele()};
          continue;
        }
        if (!dropped[at(parent)]) throw std::logic_error("simulate_looped_study: a child before its parent");
        const auto& ph = hap[at(parent)];
        const int from = d.between(0, 1);
        const int other = d.chance(design.theta) ? 1 - from : from;
        h = {ph[static_cast<std::size_t>(from)][0], ph[static_cast<std::size_t>(other)][1]};
      }
      dropped[at(e)] = 1;
    }
    for (int e = 1; e <= n; ++e) {
      const auto& h = hap[at(e)];
      const int g = h[0][0] + h[1][0] - 2;
      const double y = X[static_cast<std::size_t>(1 + g)] + std::sqrt(X[5]) * d.normal();
      const double trait = d.chance(design.missing) ? -999.0 : std::round(y * 100.0) / 100.0;
      std::array<int, 2> a{h[0][1], h[1][1]};
      if (a[0] > a[1]) std::swap(a[0], a[1]);
      const bool typed = s.people[at(e)].generation >= 3;
      st.marker.alleles.push_back(typed ? a : std::array<int, 2>{0, 0});
      for (pedlik::Pedigree* p : {&st.peeled, &st.graph, &st.looped}) p->trait.push_back(trait);
    }

    st.peeled.families.push_back(s.plan);
    pedlik::Family g;
    g.size = n;
    g.parents = free_parents;
    st.graph.families.push_back(g);
    g.parents = looped_parents;
    st.looped.families.push_back(g);
  }
  return st;
}

}  // namespace mglink::bench
