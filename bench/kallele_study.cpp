#include "kallele_study.hpp"

#include <array>
#include <cmath>
#include <random>
#include <vector>

namespace mglink::bench {

namespace {

struct Person {
  int father = 0, mother = 0;  // numbers within the family, 0 for a founder
  int generation = 0;
  std::array<std::array<int, 2>, 2> hap{};  // {major, marker} from father, from mother
};

struct Builder {
  std::vector<Person> people;
  pedlik::Family fam;

  int person(int generation) {
    Person p;
    p.generation = generation;
    people.push_back(p);
    return static_cast<int>(people.size());
  }
  // The descendants of the couple (a, b), `depth` more generations; their
  // nuclear families are listed before the couple's own, each peeled onto
  // its member from this family.
  void descend(Draw& d, int a, int b, int depth, int kids_lo, int kids_hi, double marry,
               int connector) {
    std::vector<int> kids;
    const int n = d.between(kids_lo, kids_hi);
    for (int i = 0; i < n; ++i) {
      const int k = person(people[static_cast<std::size_t>(a - 1)].generation + 1);
      people[static_cast<std::size_t>(k - 1)].father = a;
      people[static_cast<std::size_t>(k - 1)].mother = b;
      kids.push_back(k);
    }
    if (depth > 1)
      for (int k : kids)
        if (d.chance(marry)) {
          const int s = person(people[static_cast<std::size_t>(k - 1)].generation);
          descend(d, k, s, depth - 1, kids_lo, kids_hi, marry, k);
        }
    pedlik::NuclearFamily nf;
    nf.members = {a, b};
    nf.members.insert(nf.members.end(), kids.begin(), kids.end());
    nf.connector = connector;
    fam.nuclear.push_back(nf);
  }
};

}  // namespace

Study simulate_study(const StudyDesign& design) {
  Draw d(design.seed);
  Study st;
  st.marker.K = design.K;
  double s = 0.0;
  for (int a = 1; a <= design.K; ++a) {
    st.marker.frequency.push_back(1.0 / (1.0 + 0.15 * a));
    s += st.marker.frequency.back();
  }
  for (double& q : st.marker.frequency) q = q / s;
  const auto& X = kTruth;
  auto allele = [&] {
    double u = d.uniform(), acc = 0.0;
    for (int a = 1; a <= design.K; ++a) {
      acc += st.marker.frequency[static_cast<std::size_t>(a - 1)];
      if (u < acc) return a;
    }
    return design.K;
  };

  for (int f = 0; f < design.families; ++f) {
    Builder b;
    const int g1 = b.person(1), g2 = b.person(1);
    switch (design.shape) {
      case StudyDesign::Shape::Nuclear: b.descend(d, g1, g2, 1, 2, 5, 0.0, 0); break;
      case StudyDesign::Shape::Extended: b.descend(d, g1, g2, 2, 2, 5, 0.7, 0); break;
      case StudyDesign::Shape::Large: b.descend(d, g1, g2, 3, 3, 5, 0.72, 0); break;
    }
    const int n = static_cast<int>(b.people.size());
    int oldest = n, youngest = 0;
    for (const Person& p : b.people) {
      oldest = std::min(oldest, p.generation);
      youngest = std::max(youngest, p.generation);
    }
    // Genes: people are numbered parents first.
    for (Person& p : b.people) {
      for (int i = 0; i < 2; ++i) {
        const int parent = i == 0 ? p.father : p.mother;
        if (parent == 0) {
          p.hap[static_cast<std::size_t>(i)] = {d.chance(X[0]) ? 1 : 2, allele()};
          continue;
        }
        const auto& ph = b.people[static_cast<std::size_t>(parent - 1)].hap;
        const int from = d.between(0, 1);
        const int other = d.chance(design.theta) ? 1 - from : from;
        p.hap[static_cast<std::size_t>(i)] = {ph[static_cast<std::size_t>(from)][0],
                                              ph[static_cast<std::size_t>(other)][1]};
      }
    }
    for (const Person& p : b.people) {
      const int g = p.hap[0][0] + p.hap[1][0] - 2;
      const double y = X[static_cast<std::size_t>(1 + g)] + std::sqrt(X[5]) * d.normal();
      st.ped.trait.push_back(d.chance(design.missing) ? -999.0 : std::round(y * 100.0) / 100.0);
      bool typed = false;
      switch (design.typing) {
        case StudyDesign::Typing::Fraction: typed = d.chance(design.typed); break;
        case StudyDesign::Typing::All: typed = true; break;
        case StudyDesign::Typing::Living: typed = p.generation >= youngest - 1; break;
      }
      std::array<int, 2> a{p.hap[0][1], p.hap[1][1]};
      if (a[0] > a[1]) std::swap(a[0], a[1]);
      st.marker.alleles.push_back(typed ? a : std::array<int, 2>{0, 0});
    }
    b.fam.size = n;
    st.ped.families.push_back(b.fam);
  }
  return st;
}

}  // namespace mglink::bench
