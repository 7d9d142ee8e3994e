#include "prep/pedigree_checks.hpp"

#include <array>
#include <cstdint>
#include <deque>
#include <numeric>
#include <string>
#include <utility>

#include "model/genetics.hpp"

namespace mglink::prep {

namespace {

using Mask = std::uint32_t;  // set of marker genotypes: bit g-1 for code g
constexpr Mask ALL = (1u << 15) - 1;

struct AlleleTables {
  std::array<int, 16> first{}, second{};  // alleles of each code
  std::array<std::array<Mask, 16>, 16> child{};  // child genotypes of parents (g, h)
  AlleleTables() {
    for (int a = 1; a <= 5; ++a)
      for (int b = a; b <= 5; ++b) {
        first[static_cast<std::size_t>(marker_code(a, b))] = a;
        second[static_cast<std::size_t>(marker_code(a, b))] = b;
      }
    for (int g = 1; g <= 15; ++g)
      for (int h = 1; h <= 15; ++h) {
        Mask m = 0;
        for (int x : {first[g], second[g]})
          for (int y : {first[h], second[h]}) m |= 1u << (marker_code(x, y) - 1);
        child[g][h] = m;
      }
  }
};

const AlleleTables& tables() {
  static const AlleleTables t;
  return t;
}

std::string genotype_text(const Person& p) {
  return std::to_string(p.allele1) + "/" + std::to_string(p.allele2);
}

Mask observed(const Person& p) {
  int c = marker_code(p.allele1, p.allele2);
  return c == 0 ? ALL : 1u << (c - 1);
}

// Whether parental marker genotypes g and h can give every child of nf one
// of the genotypes `set` allows it.
bool explains(const AlleleTables& t, const Nuclear& nf, const std::vector<Mask>& set, int g, int h) {
  for (int k : nf.children)
    if ((set[static_cast<std::size_t>(k)] & t.child[g][h]) == 0) return false;
  return true;
}

// Union-find over the nodes of one family.
struct Forest {
  std::vector<int> up;
  explicit Forest(std::size_t n) : up(n) { std::iota(up.begin(), up.end(), 0); }
  int root(int x) {
    while (up[static_cast<std::size_t>(x)] != x) {
      up[static_cast<std::size_t>(x)] = up[static_cast<std::size_t>(up[static_cast<std::size_t>(x)])];
      x = up[static_cast<std::size_t>(x)];
    }
    return x;
  }
};

// Nodes on the path between a and b in a forest given by adjacency lists.
std::vector<int> forest_path(const std::vector<std::vector<int>>& adj, int a, int b) {
  std::vector<int> from(adj.size(), -2);
  std::deque<int> queue{a};
  from[static_cast<std::size_t>(a)] = -1;
  while (!queue.empty()) {
    int x = queue.front();
    queue.pop_front();
    if (x == b) break;
    for (int y : adj[static_cast<std::size_t>(x)])
      if (from[static_cast<std::size_t>(y)] == -2) {
        from[static_cast<std::size_t>(y)] = x;
        queue.push_back(y);
      }
  }
  std::vector<int> path;
  for (int x = b; x != -1; x = from[static_cast<std::size_t>(x)]) path.push_back(x);
  return path;
}

// The individual k of a family.
const Person& who(const Family& fam, int k) { return fam.people[static_cast<std::size_t>(k)]; }

// The members of nuclear family nf with their marker genotypes, for a problem text.
std::string members_text(const Family& fam, const Nuclear& nf) {
  std::string s;
  for (int k : nf.members())
    s += (s.empty() ? "" : ", ") + quote(who(fam, k).id) + " " + genotype_text(who(fam, k));
  return s;
}

// Each nuclear family on its own: every typed child's genotype must come
// from its parents' genotypes, and some pair of parental genotypes must
// explain all children at once.  `seen`: the genotypes each member's marker
// types allow.  Returns whether no problem was found.
bool check_nuclear_families(const Family& fam, const std::vector<Mask>& seen,
                            std::vector<Problem>& problems) {
  const AlleleTables& t = tables();
  bool nuclear_ok = true;
  for (const Nuclear& nf : fam.nuclear) {
    const Person& f = who(fam, nf.father);
    const Person& mo = who(fam, nf.mother);
    const std::string nf_name =
        "the nuclear family of father " + quote(f.id) + " and mother " + quote(mo.id);
    const int gf = marker_code(f.allele1, f.allele2), gm = marker_code(mo.allele1, mo.allele2);
    bool child_fault = false;
    for (int k : nf.children) {
      const Person& c = who(fam, k);
      const int gc = marker_code(c.allele1, c.allele2);
      if (gc == 0) continue;
      const Mask bit = 1u << (gc - 1);
      std::string text;
      if (gf != 0 && gm != 0) {
        if ((t.child[gf][gm] & bit) == 0)
          text = "marker genotype " + genotype_text(c) + " cannot come from father " +
                 quote(f.id) + " (" + genotype_text(f) + ") and mother " + quote(mo.id) + " (" +
                 genotype_text(mo) + ")";
      } else if (gf != 0 || gm != 0) {
        const Person& typed = gf != 0 ? f : mo;
        const int g = gf != 0 ? gf : gm;
        Mask possible = 0;
        for (int h = 1; h <= 15; ++h) possible |= t.child[g][h];
        if ((possible & bit) == 0)
          text = "marker genotype " + genotype_text(c) + " shares no allele with " +
                 (gf != 0 ? "father " : "mother ") + quote(typed.id) + " (" +
                 genotype_text(typed) + ")";
      }
      if (!text.empty()) {
        problems.push_back(Problem{c.line, fam.id, c.id, text + ", in " + nf_name});
        child_fault = true;
      }
    }
    if (child_fault) {
      nuclear_ok = false;
      continue;
    }
    // Some pair of parental genotypes must explain all children at once.
    bool fits = false;
    const Mask sf = seen[static_cast<std::size_t>(nf.father)];
    const Mask sm = seen[static_cast<std::size_t>(nf.mother)];
    for (int g = 1; g <= 15 && !fits; ++g) {
      if ((sf >> (g - 1) & 1u) == 0) continue;
      for (int h = 1; h <= 15 && !fits; ++h) {
        if ((sm >> (h - 1) & 1u) == 0) continue;
        fits = explains(t, nf, seen, g, h);
      }
    }
    if (!fits) {
      const Person& first = who(fam, nf.children.front());
      problems.push_back(Problem{first.line, fam.id, "",
                                 "the marker genotypes of " + nf_name +
                                     " fit no pair of parental genotypes (" +
                                     members_text(fam, nf) + ")"});
      nuclear_ok = false;
    }
  }
  return nuclear_ok;
}

// Genotype elimination over the whole family, from the genotypes `set` the
// marker types allow: a nuclear family left with no parental genotypes is a
// problem of the family as a whole.
void check_across_generations(const Family& fam, std::vector<Mask> set,
                              std::vector<Problem>& problems) {
  const AlleleTables& t = tables();
  bool changed = true;
  const Nuclear* emptied = nullptr;
  // Sweeps alternate in direction, so that exclusions travel both up and
  // down the generations in few sweeps.
  bool forward = true;
  while (changed && emptied == nullptr) {
    changed = false;
    const std::size_t count = fam.nuclear.size();
    for (std::size_t step = 0; step < count; ++step) {
      const Nuclear& nf = fam.nuclear[forward ? step : count - 1 - step];
      Mask nf_set = 0, nm_set = 0;
      std::vector<Mask> nc(nf.children.size(), 0);
      const Mask sf = set[static_cast<std::size_t>(nf.father)];
      const Mask sm = set[static_cast<std::size_t>(nf.mother)];
      for (int g = 1; g <= 15; ++g) {
        if ((sf >> (g - 1) & 1u) == 0) continue;
        for (int h = 1; h <= 15; ++h) {
          if ((sm >> (h - 1) & 1u) == 0) continue;
          if (!explains(t, nf, set, g, h)) continue;
          nf_set |= 1u << (g - 1);
          nm_set |= 1u << (h - 1);
          for (std::size_t i = 0; i < nf.children.size(); ++i)
            nc[i] |= set[static_cast<std::size_t>(nf.children[i])] & t.child[g][h];
        }
      }
      auto update = [&](int k, Mask v) {
        if (set[static_cast<std::size_t>(k)] != v) {
          set[static_cast<std::size_t>(k)] = v;
          changed = true;
        }
      };
      update(nf.father, nf_set);
      update(nf.mother, nm_set);
      for (std::size_t i = 0; i < nf.children.size(); ++i) update(nf.children[i], nc[i]);
      if (nf_set == 0) {
        emptied = &nf;
        break;
      }
    }
    forward = !forward;
  }
  if (emptied != nullptr) {
    const Nuclear& nf = *emptied;
    problems.push_back(Problem{
        who(fam, nf.children.front()).line, fam.id, "",
        "the marker genotypes do not follow Mendel's laws across the generations of the "
        "family: no marker genotypes fit the nuclear family of father " +
            quote(who(fam, nf.father).id) + " and mother " + quote(who(fam, nf.mother).id) +
            " together with their relatives (" + members_text(fam, nf) +
            "; 0/0 = untyped)"});
  }
}

}  // namespace

int marker_code(int a, int b) { return a <= 0 || b <= 0 ? 0 : IMRK(a, b); }

void check_loops(const Pedigree& ped, std::vector<Problem>& problems) {
  for (const Family& fam : ped.families) {
    const int n = static_cast<int>(fam.people.size());
    const int m = static_cast<int>(fam.nuclear.size());
    Forest uf(static_cast<std::size_t>(n + m));
    std::vector<std::vector<int>> adj(static_cast<std::size_t>(n + m));
    for (int j = 0; j < m; ++j) {
      const Nuclear& nf = fam.nuclear[static_cast<std::size_t>(j)];
      for (int person : nf.members()) {
        int node = n + j;
        int ra = uf.root(person), rb = uf.root(node);
        if (ra != rb) {
          uf.up[static_cast<std::size_t>(ra)] = rb;
          adj[static_cast<std::size_t>(person)].push_back(node);
          adj[static_cast<std::size_t>(node)].push_back(person);
          continue;
        }
        std::string names;
        for (int x : forest_path(adj, person, node))
          if (x < n) names += (names.empty() ? "" : ", ") + quote(fam.people[static_cast<std::size_t>(x)].id);
        const Person& p = fam.people[static_cast<std::size_t>(person)];
        problems.push_back(Problem{
            p.line, fam.id, p.id,
            "the pedigree has a loop through the individuals " + names +
                " and the nuclear family of father " +
                quote(fam.people[static_cast<std::size_t>(nf.father)].id) + " and mother " +
                quote(fam.people[static_cast<std::size_t>(nf.mother)].id) +
                " (a marriage or consanguinity loop); mglink peels only pedigrees without "
                "loops (mglink-scan analyses such pedigrees)"});
      }
    }
  }
}

void check_mendel(const Pedigree& ped, std::vector<Problem>& problems) {
  for (const Family& fam : ped.families) {
    // The genotypes each member's marker types allow.
    std::vector<Mask> seen(fam.people.size());
    for (std::size_t k = 0; k < fam.people.size(); ++k) seen[k] = observed(fam.people[k]);
    if (check_nuclear_families(fam, seen, problems) && !fam.nuclear.empty())
      check_across_generations(fam, std::move(seen), problems);
  }
}

}  // namespace mglink::prep
