// The peeling layout: the standard choice on a known pedigree, valid layouts
// of random pedigrees (standard and random roots), and the layout checker on
// broken layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "prep/layout.hpp"
#include "prep/prep.hpp"
#include "prep/random_pedigree.hpp"

namespace mglink::prep {
namespace {

Prepared prepared(const std::string& table) {
  std::istringstream in(table);
  return prepare(in, TableOptions{});
}

// "f: parents | children", each part sorted.
std::string nuclear_key(long f, std::vector<int> parents, std::vector<int> children) {
  std::sort(parents.begin(), parents.end());
  std::sort(children.begin(), children.end());
  std::string t = std::to_string(f) + ":";
  for (int p : parents) t.append(1, ' ').append(std::to_string(p));
  t += " |";
  for (int c : children) t.append(1, ' ').append(std::to_string(c));
  return t;
}

// The nuclear families of a layout as (family, sorted parents, sorted
// children), singletons as (family, {w}, {}).
std::multiset<std::string> signature(const IwayData& d) {
  std::multiset<std::string> s;
  for (int f = 0; f < d.nfam(); ++f)
    for (int j = d.nucoff[static_cast<std::size_t>(f)]; j < d.nucoff[static_cast<std::size_t>(f) + 1]; ++j) {
      std::vector<int> ms(d.member.begin() + d.memoff[static_cast<std::size_t>(j)],
                          d.member.begin() + d.memoff[static_cast<std::size_t>(j) + 1]);
      std::vector<int> parents(ms.begin(), ms.begin() + std::min<std::size_t>(2, ms.size()));
      std::vector<int> children(ms.begin() + static_cast<long>(parents.size()), ms.end());
      s.insert(nuclear_key(static_cast<long>(f), parents, children));
    }
  return s;
}

// The same from the pedigree itself, with every individual in no nuclear
// family as a singleton.
std::multiset<std::string> signature(const Pedigree& ped) {
  std::multiset<std::string> s;
  for (std::size_t f = 0; f < ped.families.size(); ++f) {
    const Family& fam = ped.families[f];
    std::vector<char> in_nuclear(fam.people.size(), 0);
    for (const Nuclear& nf : fam.nuclear) {
      std::vector<int> parents{nf.father + 1, nf.mother + 1};
      std::vector<int> children;
      for (int c : nf.children) children.push_back(c + 1);
      s.insert(nuclear_key(static_cast<long>(f), parents, children));
      in_nuclear[static_cast<std::size_t>(nf.father)] = 1;
      in_nuclear[static_cast<std::size_t>(nf.mother)] = 1;
      for (int c : nf.children) in_nuclear[static_cast<std::size_t>(c)] = 1;
    }
    for (std::size_t w = 0; w < fam.people.size(); ++w)
      if (!in_nuclear[w]) s.insert(std::to_string(f) + ": " + std::to_string(w + 1) + " |");
  }
  return s;
}

TEST(PrepLayout, StandardChoiceOnAKnownPedigree) {
  // Three generations: grandparents gp1 x gp2; their son s marries w and has
  // three children; their daughter d has a child with h1 and one with h2.
  // Lines are not in generation order.  Family 2 is two unrelated people.
  auto pr = prepared(
      "1 c1 s w 1 1 0 0\n"   // 1
      "1 s gp1 gp2 1 1 0 0\n"  // 2
      "1 w 0 0 2 1 0 0\n"    // 3
      "1 gp1 0 0 1 1 0 0\n"  // 4
      "1 gp2 0 0 2 1 0 0\n"  // 5
      "1 c2 s w 2 1 0 0\n"   // 6
      "1 d gp1 gp2 2 1 0 0\n"  // 7
      "1 h1 0 0 1 1 0 0\n"   // 8
      "1 e1 h1 d 1 1 0 0\n"  // 9
      "1 h2 0 0 1 1 0 0\n"   // 10
      "1 e2 h2 d 2 1 0 0\n"  // 11
      "1 c3 s w 2 1 0 0\n"   // 12
      "2 x 0 0 1 1 0 0\n"
      "2 y 0 0 2 1 0 0\n");
  ASSERT_TRUE(pr.problems.empty());
  // Root: the grandparents' nuclear family, collected into gp1 (4).  s (2) and
  // d (7) are peeled onto from below: s's nuclear family first, then d's two.
  EXPECT_EQ(iway_text(pr.layout),
            "2 2 0 12 14\n"
            "0 0 4 6\n"
            "8 0 0 5 8 11 15 16 17\n"
            "17 2 3 1 6 12 8 7 9 10\n7 11 4 5 2 7 1 2\n"
            "2 7 7 0 0 0\n"
            "14 0 0 0 0 0 0 0 0 0\n0 0 0 0 0\n"
            "0 0 0 0 0 0 0 0 0 0\n0 0 0 0\n");
  EXPECT_TRUE(check_layout(pr.layout).empty());
}

TEST(PrepLayout, ChildConnectorIsListedFirst) {
  // Two founder couples whose children marry: one side must be peeled down
  // onto a child, which then comes first among its sibs.
  auto pr = prepared(
      "1 a 0 0 1 1 0 0\n1 b 0 0 2 1 0 0\n1 c 0 0 1 1 0 0\n1 d 0 0 2 1 0 0\n"
      "1 g a b 1 1 0 0\n1 h a b 1 1 0 0\n"                      // a x b: g, h
      "1 s1 c d 1 1 0 0\n1 s2 c d 2 1 0 0\n1 s3 c d 2 1 0 0\n"   // c x d: s1, s2, s3
      "1 k h s3 1 1 0 0\n");                                    // h x s3: k
  ASSERT_TRUE(pr.problems.empty());
  const IwayData& d = pr.layout;
  ASSERT_EQ(d.nnuc(), 3);
  // Root is a x b (the first founder couple); c x d is peeled down onto its
  // child s3 (9), listed first among the children; h x s3 onto h (6).
  EXPECT_EQ(d.member, (std::vector<int>{3, 4, 9, 7, 8, 6, 9, 10, 1, 2, 5, 6}));
  EXPECT_EQ(d.iconn, (std::vector<int>{9, 6, 0}));
  EXPECT_TRUE(check_layout(d).empty());
}

TEST(PrepLayout, RandomPedigreesStandardAndRandomLayoutsAreValid) {
  gen::RandomTableOptions opt;
  opt.families = 5;
  opt.max_spouse_steps = 6;
  for (std::uint64_t seed = 1; seed <= 80; ++seed) {
    SCOPED_TRACE("table seed " + std::to_string(seed));
    std::istringstream in(gen::random_table(seed, opt));
    Prepared pr = prepare(in, TableOptions{});
    ASSERT_TRUE(pr.problems.empty()) << format_problem("random", pr.problems.front());
    const auto want = signature(pr.ped);
    for (std::uint64_t layout_seed : {0, 1, 2, 3}) {
      IwayData d = build_layout(pr.ped, LayoutOptions{layout_seed});
      auto bad = check_layout(d);
      EXPECT_TRUE(bad.empty()) << "layout seed " << layout_seed << ": " << bad.front();
      EXPECT_EQ(signature(d), want) << "layout seed " << layout_seed;
      // The file reads back as written.
      IwayData back;
      std::string error;
      ASSERT_TRUE(parse_iway(iway_text(d), back, error)) << error;
      EXPECT_EQ(back.member, d.member);
      EXPECT_EQ(back.iconn, d.iconn);
      EXPECT_EQ(back.memoff, d.memoff);
    }
  }
}

TEST(PrepLayout, CheckerFindsBrokenLayouts) {
  // Valid start: family 1 = grandparents 1 x 2 with child 3; 3 x 4 with
  // children 5, 6; family 2 = one individual.
  IwayData ok;
  ok.famoff = {0, 6, 7};
  ok.nucoff = {0, 2, 3};
  ok.memoff = {0, 4, 7, 8};
  ok.member = {3, 4, 5, 6, 1, 2, 3, 1};
  ok.iconn = {3, 0, 0};
  ASSERT_TRUE(check_layout(ok).empty());

  struct Broken {
    const char* name;
    void (*change)(IwayData&);
    std::string first_problem;
  };
  const std::vector<Broken> cases = {
      {"child connector not the first child",
       [](IwayData& d) { d.member = {1, 2, 3, 3, 4, 5, 6, 1}, d.memoff = {0, 3, 7, 8},
                         d.iconn = {0, 6}, d.iconn.push_back(0); },
       "family 1, nuclear family 2: the connector ICONN(2) = 6 is child entry 4 of the list; a child "
       "connector must be the first child (entry 3), so list individual 6 first among the children"},
      {"peeled in the wrong order",
       [](IwayData& d) { d.member = {1, 2, 3, 3, 4, 5, 6, 1}, d.memoff = {0, 3, 7, 8},
                         d.iconn = {0, 3, 0}; },
       "family 1: nuclear family 2 is gathered onto individual 3 (its connector), but comes after "
       "nuclear family 1, in which individual 3 is summed out; list nuclear family 2 before nuclear "
       "family 1"},
      {"connector not a member",
       [](IwayData& d) { d.iconn[0] = 1; },
       "family 1, nuclear family 1: the connector ICONN(1) = 1 (read 5) is not one of its members; the "
       "connector must be 0 or a member of the nuclear family"},
      {"individual in no nuclear family",
       [](IwayData& d) { d.famoff = {0, 7, 8}; d.member.back() = 1; },
       "family 1: individual 7 is in no nuclear family"},
      {"part without a root",
       [](IwayData& d) { d.iconn[1] = 1; },
       "family 1: individual 1 is never summed out: a nuclear family is gathered onto it, but no later "
       "one sums it out and it is not parent 1 of a root"},
      {"member outside the family",
       [](IwayData& d) { d.member[3] = 9; },
       "family 1, nuclear family 1, entry 4 (MEMBER(4) = 9): family 1 has individuals 1..6 only "
       "(members are numbered within their family)"},
      {"family without nuclear family",
       [](IwayData& d) { d.famoff = {0, 6, 7, 8}; d.nucoff = {0, 2, 3, 3}; },
       "family 3: individual 1 is in no nuclear family"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    IwayData d = ok;
    c.change(d);
    auto bad = check_layout(d);
    ASSERT_FALSE(bad.empty());
    EXPECT_EQ(bad.front(), c.first_problem);
  }
}

}  // namespace
}  // namespace mglink::prep
