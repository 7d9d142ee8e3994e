// The elimination sweeps stop summing a parental genotype's transmission
// probabilities once one term settles the test.  Their genotype lists must
// be those of the plain rule (a genotype goes when the whole sum is below
// 1e-15), for theta inside [0, 1], at its ends, tiny (terms below the
// threshold), and outside it (negative probabilities, where nothing may be
// cut short).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "model/setup.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

// The enumeration by the plain rule, from the tables STAP0 left in `st`:
// possible[k][g-1] for individual k.
std::vector<std::vector<int>> plain_enumeration(const ModelState& st) {
  const int32 ntot = st.BUF1.FAMOFF(st.BUF1.NFAM + 1);
  std::vector<std::vector<int>> P(static_cast<std::size_t>(ntot) + 1, std::vector<int>(55, 1));
  for (int32 k = 1; k <= ntot; ++k) {
    const int32 c = st.BUF2.MARKER(k);
    for (int g = 1; g <= 55; ++g)
      if (c != 0 && st.PRPAR.MRKGEN(g) != c) P[static_cast<std::size_t>(k)][static_cast<std::size_t>(g - 1)] = 0;
  }
  const auto count = [&] {
    long n = 0;
    for (const auto& row : P)
      for (int v : row) n += v;
    return n;
  };
  const auto at = [&](int32 k, int g) -> int& {
    return P[static_cast<std::size_t>(k)][static_cast<std::size_t>(g - 1)];
  };
  long before = count();
  for (;;) {
    for (int32 f = 1; f <= st.BUF1.NFAM; ++f) {
      const int32 famoff = st.BUF1.FAMOFF(f);
      for (int32 j = st.BUF3.NUCOFF(f) + 1; j <= st.BUF3.NUCOFF(f + 1); ++j) {
        const int32 first = st.BUF14.MEMOFF(j) + 1;
        const int32 last = st.BUF14.MEMOFF(j + 1);
        if (last - first + 1 < 3) continue;
        const int32 A = famoff + st.BUF16.MEMBER(first);
        const int32 B = famoff + st.BUF16.MEMBER(first + 1);
        for (int side = 0; side < 2; ++side) {
          for (int x = 1; x <= 55; ++x) {
            if (at(side == 0 ? A : B, x) != 1) continue;
            double S = 0.0;
            for (int y = 1; y <= 55; ++y) {
              if (at(side == 0 ? B : A, y) != 1) continue;
              const int a = side == 0 ? x : y;
              const int b = side == 0 ? y : x;
              for (int32 e = first + 2; e <= last; ++e) {
                const int32 c = famoff + st.BUF16.MEMBER(e);
                for (int g = 1; g <= 55; ++g)
                  if (at(c, g) == 1) S = S + st.TRANC.CTRANS(g, b, a);
              }
            }
            if (S < 1e-15) at(side == 0 ? A : B, x) = 0;
          }
        }
      }
    }
    const long after = count();
    if (after >= before) break;
    before = after;
  }
  return P;
}

TEST(GenotypeElimination, ListsMatchThePlainRule) {
  test::Random rng(4711);
  int compared = 0, differ = 0, eliminated = 0;
  for (const double theta : {0.0, 1e-300, 3e-15, 0.3, 0.5, 1.0, 1.3, -0.2, 3.0, -1.0}) {
    for (int set = 0; set < 8; ++set) {
      test::HidingRates rates;
      rates.untyped = set % 2 == 0 ? 0.2 : 0.6;
      // Many recombinations, so that some genotypes are possible only through one.
      const test::ParameterVector truth = test::random_parameters(rng, 0.5);
      std::vector<test::Family> fams;
      for (int i = 0; i < 10; ++i)
        fams.push_back(test::random_family(rng, test::kAllShapes[rng.below(10)], truth, rates));
      auto st = make_model_state();
      test::load_families(*st, fams);
      test::set_parameters(*st, test::random_parameters(rng, theta));
      std::ostringstream out;
      std::istringstream in;
      Console con(out, in);
      double STAT = 0.0;
      STAP0(*st, con, STAT);
      ASSERT_EQ(STAT, 1.0) << "theta " << theta;
      const auto P = plain_enumeration(*st);
      const int32 ntot = st->BUF1.FAMOFF(st->BUF1.NFAM + 1);
      for (int32 k = 1; k <= ntot; ++k) {
        std::vector<int> expected, got;
        for (int g = 1; g <= 55; ++g)
          if (P[static_cast<std::size_t>(k)][static_cast<std::size_t>(g - 1)] == 1) expected.push_back(g);
        for (int32 s = st->GENOT.IGOFF(k - 1) + 1; s <= st->GENOT.IGOFF(k); ++s) got.push_back(st->GENOT.LGEN(s));
        ++compared;
        if (got != expected) ++differ;
        if (st->BUF2.MARKER(k) == 0 && static_cast<int>(got.size()) < 55) ++eliminated;
      }
    }
  }
  EXPECT_EQ(0, differ) << "of " << compared << " individuals";
  EXPECT_GT(eliminated, 20);  // the sweeps did remove genotypes
}

}  // namespace
}  // namespace mglink
