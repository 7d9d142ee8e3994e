// The peeling against a brute-force sum over all joint genotypes, on random
// pedigrees of every shape, at random parameter vectors with theta 0, 0.5
// and values between.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "data/family_check.hpp"
#include "likelihood/densities.hpp"
#include "likelihood/genmmp.hpp"
#include "likelihood/mmpfam.hpp"
#include "support/brute_force.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

using test::Random;
using test::Shape;

#ifdef MGLINK_CHECKED
constexpr int kStates = 40;  // the index-checked build is slower
#else
constexpr int kStates = 120;
#endif
constexpr int kFamiliesPerState = 3;

struct Tally {
  int compared = 0;  // family values compared
  int zero = 0;      // families of likelihood zero (unusable vectors)
};

// Evaluates the state with GENMMP at X (full set-up when `first`) and
// compares it, family by family, with the brute force.
void check(ModelState& st, Console& con, const test::ParameterVector& x, bool first,
           Tally& tally) {
  test::set_parameters(st, x);
  st.IMAX.ISETUP = first ? -1 : 1;
  double LH = 0;
  GENMMP(st, con, LH);

  std::vector<double> bf;
  int first_zero = 0;
  for (int f = 1; f <= st.BUF1.NFAM; ++f) {
    bf.push_back(test::brute_force_likelihood(st, f));
    if (bf.back() == 0.0 && first_zero == 0) first_zero = f;
  }
  if (first_zero != 0) {
    ++tally.zero;
    EXPECT_EQ(LH, -1e18);
    EXPECT_EQ(st.rejection.kind, Rejection::Kind::Family);
    EXPECT_EQ(st.rejection.family, first_zero);
    EXPECT_EQ(st.rejection.value, -INFINITY);
    return;
  }
  ASSERT_GT(LH, -1e17) << "family " << st.rejection.family << " " << st.rejection.value;
  double sum = 0.0;
  for (int f = 1; f <= st.BUF1.NFAM; ++f) {
    MASSIX(st, f);
    double FLOGL = 0;
    MMPFAM(st, f, FLOGL);
    // A difference of logs is the relative difference of the likelihoods.
    EXPECT_NEAR(FLOGL, std::log(bf[static_cast<std::size_t>(f - 1)]), 1e-12) << "family " << f;
    sum = sum + FLOGL;
    ++tally.compared;
  }
  EXPECT_EQ(LH, sum);
}

TEST(BruteForce, PeelingAgreesOnRandomPedigreesOfEveryShape) {
  Random rng(20261210);
  auto st = make_model_state();
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  Tally tally;
  int shape_index = 0;
  constexpr int kShapes = static_cast<int>(std::size(test::kAllShapes));
  for (int rep = 0; rep < kStates; ++rep) {
    const auto truth = test::random_parameters(rng, rng.uniform(0.0, 0.5));
    std::vector<test::Family> fams;
    std::string shapes;
    for (int i = 0; i < kFamiliesPerState; ++i) {
      const Shape s = test::kAllShapes[shape_index++ % kShapes];
      fams.push_back(test::random_family(rng, s, truth));
      shapes += std::string(test::shape_name(s)) + "; ";
    }
    SCOPED_TRACE("state " + std::to_string(rep) + ": " + shapes);
    test::load_families(*st, fams);

    // The family data reader would accept these families.
    FamilyCounts counts;
    counts.N = st->BUF1.NFAM;
    counts.M = st->BUF3.NUCOFF(st->BUF1.NFAM + 1) + 2;
    counts.K = st->BUF14.MEMOFF(counts.M - 1);
    counts.S = st->BUF1.FAMOFF(st->BUF1.NFAM + 1);
    ASSERT_NO_THROW(check_family_structure(*st, counts, "generated families"));

    // The genotype lists are built at the first vector and serve the
    // second; both theta have the same support (0, or inside (0, 1)).
    const int kind = rep % 3;
    auto theta = [&] { return kind == 0 ? 0.0 : kind == 1 ? 0.5 : rng.uniform(0.01, 0.49); };
    check(*st, con, test::random_parameters(rng, theta()), true, tally);
    check(*st, con, test::random_parameters(rng, kind == 0 ? 0.0 : rng.uniform(0.01, 0.99)),
          false, tally);
    if (HasFatalFailure()) return;
  }
  // Only the set-up's progress lines were printed: no warnings.
  EXPECT_EQ(out.str().find("Sum"), std::string::npos);
  EXPECT_EQ(con.pauses(), 0);
  EXPECT_GE(tally.compared, kStates * kFamiliesPerState);
  EXPECT_GT(tally.zero, 0);
  RecordProperty("families_compared", tally.compared);
  RecordProperty("unusable_vectors", tally.zero);
}

}  // namespace
}  // namespace mglink
