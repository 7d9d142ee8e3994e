#include "prep/random_pedigree.hpp"

#include <cstdio>
#include <vector>

#include "prep/splitmix.hpp"

namespace mglink::prep::gen {

namespace {

using Rng = SplitMix64;

struct Ind {
  std::string id;
  int father = -1, mother = -1, sex = 1;
  int a1 = 0, a2 = 0;
};

}  // namespace

std::string random_table(std::uint64_t seed, const RandomTableOptions& opt) {
  Rng rng{seed * 7919 + 17};
  std::string out;
  for (int f = 1; f <= opt.families; ++f) {
    std::vector<Ind> people;
    auto founder = [&](int sex) {
      Ind x;
      x.id = std::string(1, 'i').append(std::to_string(people.size() + 1));
      x.sex = sex;
      x.a1 = 1 + rng.below(opt.marker_alleles);
      x.a2 = 1 + rng.below(opt.marker_alleles);
      people.push_back(x);
      return static_cast<int>(people.size()) - 1;
    };
    auto mate = [&](int fa, int mo) {
      int n = 1 + rng.below(3);
      for (int k = 0; k < n; ++k) {
        Ind c;
        c.id = std::string(1, 'i').append(std::to_string(people.size() + 1));
        c.father = fa;
        c.mother = mo;
        c.sex = 1 + rng.below(2);
        const Ind& F = people[static_cast<std::size_t>(fa)];
        const Ind& M = people[static_cast<std::size_t>(mo)];
        c.a1 = rng.below(2) == 0 ? F.a1 : F.a2;
        c.a2 = rng.below(2) == 0 ? M.a1 : M.a2;
        people.push_back(c);
      }
    };
    if (rng.below(6) == 0) {
      founder(1 + rng.below(2));  // a family of one
    } else {
      int fa = founder(1), mo = founder(2);
      mate(fa, mo);
      int steps = rng.below(opt.max_spouse_steps + 1);
      for (int s = 0; s < steps; ++s) {
        int x = rng.below(static_cast<int>(people.size()));
        int sex = people[static_cast<std::size_t>(x)].sex;
        int spouse = founder(3 - sex);
        if (sex == 1)
          mate(x, spouse);
        else
          mate(spouse, x);
      }
    }
    if (rng.unit() < opt.loner) founder(1 + rng.below(2));

    // Lines in a shuffled order.
    std::vector<int> order(people.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
    rng.shuffle(order);
    for (int i : order) {
      const Ind& x = people[static_cast<std::size_t>(i)];
      const bool typed = rng.unit() >= opt.untyped;
      char trait[32];
      if (rng.unit() < opt.trait_missing)
        std::snprintf(trait, sizeof trait, "-999");
      else
        std::snprintf(trait, sizeof trait, "%.3f", 10.0 + 4.0 * (rng.unit() - 0.5) + x.a1 * 0.3);
      out += 'F';
      out += std::to_string(f) + " " + x.id + " " +
             (x.father < 0 ? "0" : people[static_cast<std::size_t>(x.father)].id) + " " +
             (x.mother < 0 ? "0" : people[static_cast<std::size_t>(x.mother)].id) + " " +
             std::to_string(x.sex) + " " + trait + " " + std::to_string(typed ? x.a1 : 0) + " " +
             std::to_string(typed ? x.a2 : 0) + "\n";
    }
  }
  return out;
}

}  // namespace mglink::prep::gen
