// Trait densities and the starting weights of a family.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "likelihood/densities.hpp"
#include "model/genetics.hpp"
#include "model/setup.hpp"
#include "support/pedigree.hpp"

namespace mglink {
namespace {

// Means 0, 5, 9 for the major genotypes, SIGMA = 2.
const test::ParameterVector kParams = {0.3, 0.0, 5.0, 9.0, 0.2, 4.0, 0.1, 0.2, 0.3, 0.15, 0.25};

void set_up(ModelState& st, const std::vector<test::Family>& families) {
  test::load_families(st, families);
  test::set_parameters(st, kParams);
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  double STAT = 0;
  STAP0(st, con, STAT);
  ASSERT_EQ(STAT, 1.0);
}

TEST(Densities, FenCases) {
  auto st = make_model_state();
  test::Family f;
  f.members = {{2.0, 0}, {2.0, 1}, {-998.0, 0}, {-998.0, 2}, {-997.9, 0}, {2.0, 2}};
  f.nuclear = {{{1}, 0}};
  set_up(*st, {f});
  const int g11 = genotype_of(1, 1);  // major genotype 1, marker 1/1
  const int g16 = genotype_of(1, 6);  // major genotype 2, marker 1/1
  EXPECT_EQ(FEN(*st, 1, g11), 0.3032653298563167);  // z = -1: exp(-0.5)/2
  EXPECT_EQ(FEN(*st, 2, g11), 0.3032653298563167);  // typed and matching
  EXPECT_EQ(FEN(*st, 1, g16), std::exp(-(1.5 * 1.5) * 0.5) * 0.5);
  EXPECT_EQ(FEN(*st, 3, g16), 1.0);                 // -998 is unknown
  EXPECT_EQ(FEN(*st, 4, g11), 0.0);                 // unknown trait, other marker
  EXPECT_EQ(FEN(*st, 4, genotype_of(1, 2)), 1.0);
  EXPECT_EQ(FEN(*st, 5, g11), 0.0);                 // -997.9 is a measurement, far off
  st->IMAX.GMEAN(1) = -997.0;
  EXPECT_NEAR(FEN(*st, 5, g11), std::exp(-0.10125) / 2, 1e-12);
  EXPECT_EQ(FEN(*st, 6, g11), 0.0);                 // measured, other marker
}

TEST(Densities, StartingWeightsOfChildrenFoundersAndOthers) {
  auto st = make_model_state();
  // Family 1: a single member in a one-entry nuclear family.
  test::Family one;
  one.members = {{1.0, 7}};
  one.nuclear = {{{1}, 0}};
  // Family 2: founders 1, 2 with children 3 (missing trait) and 4; 4 and
  // spouse 5 (skipped trait) with child 6 (skipped trait); 1 and a second
  // spouse 7 without children; 8 in no nuclear family.
  test::Family big;
  big.members = {{4.0, 2},     {test::MISSING, 0}, {test::MISSING, 3}, {6.0, 6},
                 {-1e7, 3},    {-2e7, 0},          {7.5, 0},           {3.0, 10}};
  big.nuclear = {{{4, 5, 6}, 4}, {{1, 7}, 1}, {{1, 2, 3, 4}, 0}};
  set_up(*st, {one, big});
  MASSIX(*st, 2);
  const auto& G = st->GENOT;
  const int base = G.IGOFF(1);
  auto weights_are = [&](int k, auto expected) {
    ASSERT_GT(G.NGEN(k), 0);
    for (int s = G.IGOFF(k - 1) + 1; s <= G.IGOFF(k); ++s) {
      const int g = G.LGEN(s);
      EXPECT_EQ(st->XX(s - base), expected(k, g)) << "individual " << k << " genotype " << g;
    }
  };
  const auto& F = st->PRPAR.GFREQ;
  auto founder = [&](int k, int g) { return FEN(*st, k, g) * F(g); };
  weights_are(2, founder);                                        // member 1
  weights_are(3, [&](int, int g) { return F(g); });               // 2: missing founder
  weights_are(4, [](int, int) { return 1.0; });                   // 3: missing child
  weights_are(5, [&](int k, int g) { return FEN(*st, k, g); });   // 4: child and parent
  weights_are(6, [&](int, int g) { return F(g); });               // 5: skipped founder
  weights_are(7, [](int, int) { return 1.0; });                   // 6: skipped child
  weights_are(8, founder);                                        // 7: childless spouse
  weights_are(9, founder);                                        // 8: in no nuclear family

  MASSIX(*st, 1);
  ASSERT_EQ(G.NGEN(1), 4);
  for (int s = 1; s <= 4; ++s) EXPECT_EQ(st->XX(s), founder(1, G.LGEN(s)));
}

}  // namespace
}  // namespace mglink
