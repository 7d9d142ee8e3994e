// Gene dropping, observations and the capacity fill.
#include <cmath>
#include <utility>

#include "model/genetics.hpp"
#include "sim.hpp"

namespace mglink::sim {
namespace {

int draw_marker(const Model& m, Rng& rng) {
  const double u = rng.uniform();
  double cum = 0.0;
  for (int a = 1; a <= 4; ++a) {
    cum = cum + m.marker_freq[a - 1];
    if (u < cum) return a;
  }
  return 5;
}

Haplotype founder_haplotype(const Model& m, Rng& rng) {
  Haplotype h;
  h.major = rng.chance(m.p) ? 1 : 2;
  h.marker = draw_marker(m, rng);
  return h;
}

// The haplotype a parent passes on: the major allele of one of its two
// haplotypes, and the marker allele of the same haplotype unless a
// recombination (probability theta) takes the other one's.
Haplotype transmit(const Person& parent, double theta, Rng& rng) {
  const int k = rng.below(2);
  Haplotype h;
  h.major = parent.hap[k].major;
  h.marker = rng.chance(theta) ? parent.hap[1 - k].marker : parent.hap[k].marker;
  return h;
}

// Removes the last member of a family when it is a child whose nuclear family
// keeps at least one other child; true when it did.
bool trim_last_child(Family& f) {
  const int last = static_cast<int>(f.people.size());
  if (is_parent(f, last) || f.member(last).father == 0) return false;
  for (Nuclear& nf : f.nucs) {
    auto& m = nf.members;
    if (m.size() >= 4 && m.back() == last && nf.connector != last) {
      m.pop_back();
      f.people.pop_back();
      return true;
    }
  }
  return false;
}

// Brings the genotype slots of the study close to `target` from below:
// leaves are trimmed (from the last families backwards) until the typed
// members leave room for a few untyped ones, then children who are parents
// nowhere are left untyped while the total stays within the target.  Such
// children keep all 55 genotypes and every typed member keeps its 3 or 4, so
// the total is the exact number of slots the enumeration will keep.
void fill_slots(std::vector<Family>& fams, long target, Rng& rng) {
  constexpr int kUntyped = 20;  // untyped children to leave room for
  long total = 0;
  for (const Family& f : fams) total += family_slots(f);
  const long room = kUntyped * 51;
  for (bool trimmed = true; total > target - room && trimmed;) {
    trimmed = false;
    for (auto it = fams.rbegin(); it != fams.rend() && total > target - room; ++it) {
      const long before = family_slots(*it);
      if (trim_last_child(*it)) {
        total += family_slots(*it) - before;
        trimmed = true;
      }
    }
  }
  int untyped = 0;
  for (int tries = 0; tries < 100000 && untyped < kUntyped; ++tries) {
    Family& f = fams[static_cast<std::size_t>(rng.below(static_cast<int>(fams.size())))];
    const int m = 1 + rng.below(static_cast<int>(f.people.size()));
    Person& p = f.member(m);
    if (!p.typed || p.father == 0 || is_parent(f, m)) continue;
    const long grow = 55 - slot_bound(p);
    if (total + grow > target) break;
    p.typed = false;
    total += grow;
    ++untyped;
  }
}

}  // namespace

bool is_parent(const Family& f, int m) {
  for (const Person& p : f.people)
    if (p.father == m || p.mother == m) return true;
  return false;
}

long family_slots(const Family& f) {
  long s = 0;
  for (const Person& p : f.people) s += slot_bound(p);
  return s;
}

int marker_code(const Person& p) { return p.typed ? IMRK(p.hap[0].marker, p.hap[1].marker) : 0; }

int slot_bound(const Person& p) {
  if (!p.typed) return 55;
  return p.hap[0].marker == p.hap[1].marker ? 3 : 4;
}

void drop_genes(Family& fam, const Model& model, Rng& rng) {
  // Parents always come before their children in a family's numbering.
  for (Person& p : fam.people) {
    if (p.father == 0) {
      p.hap[0] = founder_haplotype(model, rng);
      p.hap[1] = founder_haplotype(model, rng);
    } else {
      p.hap[0] = transmit(fam.member(p.father), model.theta, rng);
      p.hap[1] = transmit(fam.member(p.mother), model.theta, rng);
    }
  }
}

void observe(Family& fam, const Settings& s, Rng& rng) {
  const double sd = std::sqrt(s.model.variance);
  for (Person& p : fam.people) {
    p.typed = !(p.grandparent && s.untyped_grandparents) && rng.chance(s.typed);
    p.trait_known = !rng.chance(s.missing);
    const int g = p.hap[0].major + p.hap[1].major - 1;  // 1: 1/1, 2: 1/2, 3: 2/2
    const double y = s.model.mean[g - 1] + sd * rng.normal();
    p.trait_hundredths = std::lround(y * 100.0);
  }
}

std::vector<Family> simulate(const Settings& s) {
  Rng rng(s.seed);
  std::vector<Family> fams;
  for (int f = 0; f < s.families; ++f) {
    Family fam = build_family(s.shape, rng);
    drop_genes(fam, s.model, rng);
    observe(fam, s, rng);
    fams.push_back(std::move(fam));
  }
  if (s.slot_target > 0) fill_slots(fams, s.slot_target, rng);
  return fams;
}

}  // namespace mglink::sim
