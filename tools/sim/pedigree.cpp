// Pedigree shapes and their peeling layout.
//
// Every shape lists its nuclear families so that the family likelihood can
// peel them in order: each nuclear family is folded into its connector (a
// parent, or the first child), the connector's later nuclear family carries
// the result on, and the last nuclear family of the pedigree has connector 0.
#include <algorithm>
#include <set>
#include <string>

#include "sim.hpp"

namespace mglink::sim {
namespace {

int add(Family& f, int father, int mother, int sex, bool grandparent = false) {
  Person p;
  p.father = father;
  p.mother = mother;
  p.sex = sex;
  p.grandparent = grandparent;
  f.people.push_back(p);
  return static_cast<int>(f.people.size());
}

int random_sex(Rng& rng) { return 1 + rng.below(2); }

// One couple and its children; the couple's father first.
struct Unit {
  int father = 0;
  int mother = 0;
  std::vector<int> kids;
};

Unit add_unit(Family& f, int partner_of, int kids_lo, int kids_hi, Rng& rng) {
  const int sex = f.member(partner_of).sex;
  const int spouse = add(f, 0, 0, 3 - sex);
  Unit u;
  u.father = sex == 1 ? partner_of : spouse;
  u.mother = sex == 1 ? spouse : partner_of;
  const int n = rng.between(kids_lo, kids_hi);
  for (int k = 0; k < n; ++k) u.kids.push_back(add(f, u.father, u.mother, random_sex(rng)));
  return u;
}

Nuclear nuclear_of(const Unit& u, int connector) {
  Nuclear n;
  n.members = {u.father, u.mother};
  n.members.insert(n.members.end(), u.kids.begin(), u.kids.end());
  n.connector = connector;
  return n;
}

// The units of one person with several spouses, peeled onto that person; the
// last one closes the part (connector 0) when `closes`, else it is peeled
// onto the person too.
void list_units(Family& f, const std::vector<Unit>& units, int person, bool closes) {
  for (std::size_t i = 0; i < units.size(); ++i) {
    const bool last = i + 1 == units.size();
    f.nucs.push_back(nuclear_of(units[i], closes && last ? 0 : person));
  }
}

struct ExtendedShape {
  int children_lo, children_hi;  // children of the grandparents
  int married_lo, married_hi;    // how many of them have families of their own
  int spouses_lo, spouses_hi;    // spouses of the first married child
  int other_spouses_hi;          // spouses of the other married children (from 1)
  int kids_lo, kids_hi;          // children of each couple
};

// Grandparents (untyped founders), their children, and the families of the
// married children.  Two layouts, drawn at random:
//  - rooted at the grandparents: each married child's families are peeled
//    onto that child, and the grandparents' nuclear family comes last with
//    connector 0;
//  - rooted at a grandchild's family: the grandparents' nuclear family lists
//    the first married child as first child and is peeled onto it, and that
//    child's own families come last.
Family extended(const ExtendedShape& s, Rng& rng) {
  Family f;
  const int gf = add(f, 0, 0, 1, true);
  const int gm = add(f, 0, 0, 2, true);
  std::vector<int> children;
  const int nc = rng.between(s.children_lo, s.children_hi);
  for (int k = 0; k < nc; ++k) children.push_back(add(f, gf, gm, random_sex(rng)));
  const int nm = std::min(nc, rng.between(s.married_lo, s.married_hi));
  // The married children: a random choice of nm of them, in birth order.
  std::vector<int> married = children;
  for (int k = 0; k < nc - nm; ++k) married.erase(married.begin() + rng.below(static_cast<int>(married.size())));
  std::vector<std::vector<Unit>> units(married.size());
  for (std::size_t i = 0; i < married.size(); ++i) {
    const int ns = i == 0 ? rng.between(s.spouses_lo, s.spouses_hi) : rng.between(1, s.other_spouses_hi);
    for (int k = 0; k < ns; ++k) units[i].push_back(add_unit(f, married[i], s.kids_lo, s.kids_hi, rng));
  }
  const bool root_at_grandparents = rng.below(2) == 0;
  Nuclear top;
  top.members = {gf, gm};
  if (root_at_grandparents) {
    for (std::size_t i = 0; i < married.size(); ++i) list_units(f, units[i], married[i], false);
    top.members.insert(top.members.end(), children.begin(), children.end());
    top.connector = 0;
    f.nucs.push_back(top);
  } else {
    for (std::size_t i = 1; i < married.size(); ++i) list_units(f, units[i], married[i], false);
    const int first = married[0];
    top.members.push_back(first);
    for (int c : children)
      if (c != first) top.members.push_back(c);
    top.connector = first;
    f.nucs.push_back(top);
    list_units(f, units[0], first, true);
  }
  return f;
}

Family nuclear_family(Rng& rng) {
  Family f;
  const int fa = add(f, 0, 0, 1);
  const int mo = add(f, 0, 0, 2);
  Unit u{fa, mo, {}};
  const int n = rng.between(2, 5);
  for (int k = 0; k < n; ++k) u.kids.push_back(add(f, fa, mo, random_sex(rng)));
  f.nucs.push_back(nuclear_of(u, 0));
  return f;
}

Family spouses_family(Rng& rng) {
  Family f;
  const int person = add(f, 0, 0, random_sex(rng));
  std::vector<Unit> units;
  const int ns = rng.between(2, 3);
  for (int k = 0; k < ns; ++k) units.push_back(add_unit(f, person, 1, 4, rng));
  list_units(f, units, person, true);
  return f;
}

// Pedigrees with a loop, for the study of many markers: members only, in an
// order with parents before their children (no nuclear families to peel).

// Children of a couple: the first of the given sex, then `more` others;
// returns the first.
int children_of(Family& f, int father, int mother, int first_sex, int more, Rng& rng) {
  const int first = add(f, father, mother, first_sex);
  for (int k = 0; k < more; ++k) add(f, father, mother, random_sex(rng));
  return first;
}

// A new founder married to person p, and their children as children_of;
// returns the first child.
int marry_in(Family& f, int p, int first_sex, int more, Rng& rng) {
  const int sex = f.member(p).sex;
  const int spouse = add(f, 0, 0, 3 - sex);
  return children_of(f, sex == 1 ? p : spouse, sex == 1 ? spouse : p, first_sex, more, rng);
}

// The cousins c1 and c2 (of opposite sexes) as a couple with 1-4 children.
void cousins_mate(Family& f, int c1, int c2, Rng& rng) {
  const int father = f.member(c1).sex == 1 ? c1 : c2;
  const int mother = father == c1 ? c2 : c1;
  // Drawn one after the other: the order of a call's arguments is unspecified.
  const int sex = random_sex(rng);
  const int more = rng.between(0, 3);
  children_of(f, father, mother, sex, more, rng);
}

// Grandparents, their children a and b (and up to two others); a and b each
// marry in, and a child of each marries the other: the loop runs from the
// grandparents down both sibs to the cousins' marriage.
Family first_cousins_family(Rng& rng) {
  Family f;
  const int gf = add(f, 0, 0, 1, true);
  const int gm = add(f, 0, 0, 2, true);
  const int a = add(f, gf, gm, random_sex(rng));
  const int b = add(f, gf, gm, random_sex(rng));
  const int others = rng.between(0, 2);
  for (int k = 0; k < others; ++k) add(f, gf, gm, random_sex(rng));
  const int sex = random_sex(rng);  // of a's child in the loop
  const int ca = marry_in(f, a, sex, rng.between(0, 2), rng);
  const int cb = marry_in(f, b, 3 - sex, rng.between(0, 2), rng);
  cousins_mate(f, ca, cb, rng);
  return f;
}

// Two brothers (sons of one couple of grandparents) married to two sisters
// (daughters of another); a child of each marriage mates with a child of the
// other, who share all four grandparents: two loops.
Family double_first_cousins_family(Rng& rng) {
  Family f;
  const int g1 = add(f, 0, 0, 1, true);  // the brothers' parents
  const int g2 = add(f, 0, 0, 2, true);
  const int g3 = add(f, 0, 0, 1, true);  // the sisters' parents
  const int g4 = add(f, 0, 0, 2, true);
  const int b1 = add(f, g1, g2, 1);
  const int b2 = add(f, g1, g2, 1);
  if (rng.below(2) == 1) add(f, g1, g2, random_sex(rng));
  const int s1 = add(f, g3, g4, 2);
  const int s2 = add(f, g3, g4, 2);
  if (rng.below(2) == 1) add(f, g3, g4, random_sex(rng));
  const int sex = random_sex(rng);  // of the first couple's child in the loop
  const int c1 = children_of(f, b1, s1, sex, rng.between(0, 2), rng);
  const int c2 = children_of(f, b2, s2, 3 - sex, rng.between(0, 2), rng);
  cousins_mate(f, c1, c2, rng);
  return f;
}

// Grandparents, their daughters s1 and s2 (and up to two other children),
// and a man who has children by both sisters: the loop runs through his two
// marriages and the sisters' parents.
Family multiple_marriages_family(Rng& rng) {
  Family f;
  const int gf = add(f, 0, 0, 1, true);
  const int gm = add(f, 0, 0, 2, true);
  const int s1 = add(f, gf, gm, 2);
  const int s2 = add(f, gf, gm, 2);
  const int others = rng.between(0, 2);
  for (int k = 0; k < others; ++k) add(f, gf, gm, random_sex(rng));
  const int man = add(f, 0, 0, 1);
  for (const int sister : {s1, s2}) {
    const int sex = random_sex(rng);
    const int more = rng.between(0, 2);
    children_of(f, man, sister, sex, more, rng);
  }
  return f;
}

}  // namespace

Family build_looped_family(Loop kind, Rng& rng) {
  switch (kind) {
    case Loop::first_cousins: return first_cousins_family(rng);
    case Loop::double_first_cousins: return double_first_cousins_family(rng);
    case Loop::multiple_marriages: break;
  }
  return multiple_marriages_family(rng);
}

Family build_family(Shape shape, Rng& rng) {
  switch (shape) {
    case Shape::nuclear: return nuclear_family(rng);
    case Shape::spouses: return spouses_family(rng);
    case Shape::three_gen: return extended({1, 3, 1, 1, 1, 1, 1, 1, 4}, rng);
    case Shape::deep: return extended({2, 3, 1, 2, 2, 3, 1, 1, 4}, rng);
    case Shape::large: return extended({4, 5, 5, 5, 1, 2, 2, 2, 6}, rng);
    case Shape::mix: break;
  }
  const int r = rng.below(10);  // 4 in 10 nuclear, 3 three-gen, 2 spouses, 1 deep
  return build_family(r < 4 ? Shape::nuclear : r < 7 ? Shape::three_gen : r < 9 ? Shape::spouses : Shape::deep, rng);
}

FamilyLayout layout_of(const std::vector<Family>& fams) {
  FamilyLayout d;
  for (const Family& f : fams) {
    for (const Nuclear& nf : f.nucs) d.add_nuclear(nf.members, nf.connector);
    d.close_family(static_cast<int32>(f.people.size()));
  }
  return d;
}

std::string check_layout(const Family& fam) {
  // Parents and children as the people say.
  for (std::size_t j = 0; j < fam.nucs.size(); ++j) {
    const auto& m = fam.nucs[j].members;
    const int n = static_cast<int>(fam.people.size());
    for (std::size_t k = 2; k < m.size(); ++k) {
      if (m[k] < 1 || m[k] > n || m[0] < 1 || m[1] < 1) continue;  // the layout check names it
      const Person& c = fam.member(m[k]);
      if (!((c.father == m[0] && c.mother == m[1]) || (c.father == m[1] && c.mother == m[0])))
        return "nuclear family " + std::to_string(j + 1) + ": member " + std::to_string(m[k]) +
               " is not a child of the two parents";
    }
  }
  // The peeling rule, as for every complete layout.
  return family_layout_problem(layout_of({fam}), true);
}

}  // namespace mglink::sim
