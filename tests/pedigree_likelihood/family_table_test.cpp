// The per-family tables of the K-allele likelihood: which alleles the
// recoding merges, what the genotype elimination leaves, and the study
// checks.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pedigree_likelihood/evaluator.hpp"
#include "pedigree_likelihood/family_table.hpp"

namespace mglink::pedlik {
namespace {

// A trio (parents 1 and 2, child 3) and a member 4 in no nuclear family.
struct Trio {
  Pedigree ped;
  Marker marker;
  Trio(int K, std::vector<std::array<int, 2>> alleles) {
    Family fam;
    fam.size = 4;
    fam.nuclear.push_back({{1, 2, 3}, 0});
    ped.families.push_back(fam);
    ped.trait = {1.0, -999.0, 0.5, 2.0};
    marker.K = K;
    for (int a = 1; a <= K; ++a) marker.frequency.push_back(1.0 / K);
    marker.alleles = std::move(alleles);
  }
};

int marker_genotypes(const FamilyTable& t, int m) {
  int n = 0;
  for (int s = t.first(m); s < t.last(m); ++s) {
    const Slot& sl = t.slots[static_cast<std::size_t>(s)];
    if (sl.major == 0) ++n;  // one two-locus genotype with both major alleles 1 each
  }
  return n;
}

TEST(KAlleleTable, RecodingMergesTheAllelesNobodyIsTypedFor) {
  Trio trio(6, {{2, 5}, {0, 0}, {5, 5}, {0, 0}});
  trio.marker.frequency = {0.1, 0.2, 0.05, 0.3, 0.15, 0.2};
  const FamilyTable t = build_family_table(trio.ped.families[0], 0, trio.marker, true);
  EXPECT_EQ(t.R, 3);
  EXPECT_EQ(t.class_of, (std::vector<int>{2, 0, 2, 2, 1, 2}));
  ASSERT_EQ(t.class_frequency.size(), 3u);
  EXPECT_EQ(t.class_frequency[0], 0.2);
  EXPECT_EQ(t.class_frequency[1], 0.15);
  EXPECT_DOUBLE_EQ(t.class_frequency[2], 0.65);

  const FamilyTable plain = build_family_table(trio.ped.families[0], 0, trio.marker, false);
  EXPECT_EQ(plain.R, 6);
  EXPECT_EQ(plain.class_of, (std::vector<int>{0, 1, 2, 3, 4, 5}));

  // Every allele typed: nothing left to merge.
  Trio all(3, {{1, 2}, {3, 3}, {1, 3}, {0, 0}});
  EXPECT_EQ(build_family_table(all.ped.families[0], 0, all.marker, true).R, 3);
}

TEST(KAlleleTable, EliminationKeepsWhatTheChildrenNeed) {
  struct Case {
    const char* what;
    std::vector<std::array<int, 2>> alleles;
    int parent1, parent2, child, lone;  // marker genotypes left
  };
  const Case cases[] = {
      // Child 1/2, parents untyped: each parent carries 1 or 2 ({3,3} goes).
      {"untyped parents", {{0, 0}, {0, 0}, {1, 2}, {0, 0}}, 5, 5, 1, 6},
      // Parent 1 is 1/1: parent 2 must carry 2.
      {"one parent typed", {{1, 1}, {0, 0}, {1, 2}, {0, 0}}, 1, 3, 1, 6},
      // Parents 1/1 and 1/1 cannot have a 2/2 child: nothing is left.
      {"impossible child", {{1, 1}, {1, 1}, {2, 2}, {0, 0}}, 0, 0, 0, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Trio trio(3, c.alleles);
    const FamilyTable t = build_family_table(trio.ped.families[0], 0, trio.marker, false);
    EXPECT_EQ(marker_genotypes(t, 1), c.parent1);
    EXPECT_EQ(marker_genotypes(t, 2), c.parent2);
    EXPECT_EQ(marker_genotypes(t, 3), c.child);
    EXPECT_EQ(marker_genotypes(t, 4), c.lone);
    // A heterozygous marker genotype gives 4 phased two-locus genotypes, a
    // homozygous one 3.
    if (c.child == 1) {
      EXPECT_EQ(t.last(3) - t.first(3), 4);
    }
  }
  Trio bad(3, cases[2].alleles);
  Evaluator ev(bad.ped, bad.marker);
  EXPECT_EQ(ev.family_log_likelihood(0, {0.3, 0.0, 1.0, 2.0, 0.1, 1.5}), -INFINITY);
  const Evaluator::Total total = ev.log_likelihood({0.3, 0.0, 1.0, 2.0, 0.1, 1.5});
  EXPECT_EQ(total.bad_family, 1);
}

// Known answers: a marker nobody is typed for tells nothing about linkage,
// so the likelihood does not depend on theta; and a family of one single
// individual typed a/b has likelihood sum over major genotypes of
// frequency times density, times 2 q_a q_b.
TEST(KAlleleTable, KnownAnswers) {
  Trio trio(9, {{0, 0}, {0, 0}, {0, 0}, {0, 0}});
  Evaluator ev(trio.ped, trio.marker);
  const double at0 = ev.family_log_likelihood(0, {0.3, 0.0, 1.0, 2.0, 0.0, 1.5});
  for (double theta : {0.1, 0.37, 0.5})
    EXPECT_NEAR(ev.family_log_likelihood(0, {0.3, 0.0, 1.0, 2.0, theta, 1.5}), at0, 1e-13);

  Pedigree one;
  one.families.push_back({1, {{{1}, 0}}, {}});
  one.trait = {1.2};
  Marker mk;
  mk.K = 4;
  mk.frequency = {0.1, 0.2, 0.3, 0.4};
  mk.alleles = {{2, 4}};
  Evaluator single(one, mk);
  const double p = 0.3, v = 2.0, y = 1.2, mean[3] = {0.0, 1.0, 2.0};
  const double f[3] = {p * p, 2 * p * (1 - p), (1 - p) * (1 - p)};
  double L = 0.0;
  for (int g = 0; g < 3; ++g) {
    const double z = (y - mean[g]) / std::sqrt(v);
    L += f[g] * std::exp(-0.5 * z * z) / std::sqrt(v);
  }
  L *= 2 * 0.2 * 0.4;
  EXPECT_NEAR(single.family_log_likelihood(0, {p, 0.0, 1.0, 2.0, 0.2, v}), std::log(L), 1e-13);
}

TEST(KAlleleTable, StudyChecksNameTheFault) {
  struct Case {
    const char* what;
    void (*spoil)(Trio&);
    const char* message;
  };
  const Case cases[] = {
      {"member out of range", [](Trio& t) { t.ped.families[0].nuclear[0].members[2] = 5; },
       "family 1, nuclear family 1: member 5 is not a number 1..4"},
      {"allele out of range", [](Trio& t) { t.marker.alleles[2] = {1, 4}; },
       "individual 3 has the marker genotype 1/4 (alleles are 1..3, or 0/0 untyped)"},
      {"half typed", [](Trio& t) { t.marker.alleles[1] = {0, 2}; },
       "individual 2 has the marker genotype 0/2 (alleles are 1..3, or 0/0 untyped)"},
      {"frequencies", [](Trio& t) { t.marker.frequency[0] = 0.5; },
       "the allele frequencies sum to 1.166667, not 1"},
      {"trait count", [](Trio& t) { t.ped.trait.pop_back(); },
       "the families have 4 members but 3 trait values are given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Trio t(3, {{1, 2}, {0, 0}, {1, 3}, {0, 0}});
    EXPECT_EQ(check_study(t.ped, t.marker), "");
    c.spoil(t);
    EXPECT_EQ(check_study(t.ped, t.marker), c.message);
    EXPECT_THROW(Evaluator(t.ped, t.marker), std::invalid_argument);
  }
}

}  // namespace
}  // namespace mglink::pedlik
