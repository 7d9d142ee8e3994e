// The K-allele likelihood against a brute-force sum over all joint
// genotypes, against itself without the allele recoding, and against the
// five-allele engine (GENMMP) for markers of at most five alleles, on random
// pedigrees of every shape.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "pedigree_likelihood/evaluator.hpp"
#include "kallele/from_state.hpp"
#include "likelihood/genmmp.hpp"
#include "support/kallele_study.hpp"
#include "support/pedigree.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

using pedlik::Evaluator;
using test::Random;
using test::Shape;

#ifdef MGLINK_CHECKED
constexpr int kRounds = 60;  // the index-checked build is slower
#else
constexpr int kRounds = 300;
#endif
constexpr int kShapes = static_cast<int>(std::size(test::kAllShapes));

// Three random families of the next shapes, loaded into `st` (which the
// conversion then reads back, as the scan will).
std::vector<test::Family> next_families(Random& rng, int& shape_index, std::string& names,
                                        const test::ParameterVector& truth,
                                        const test::HidingRates& rates = {}) {
  std::vector<test::Family> fams;
  for (int i = 0; i < 3; ++i) {
    const Shape s = test::kAllShapes[shape_index++ % kShapes];
    fams.push_back(test::random_family(rng, s, truth, rates));
    names += std::string(test::shape_name(s)) + "; ";
  }
  return fams;
}

pedlik::Parameters first_six(const test::ParameterVector& x) {
  return {x[0], x[1], x[2], x[3], x[4], x[5]};
}

double theta_of_round(Random& rng, int round) {
  switch (round % 4) {
    case 0: return 0.0;
    case 1: return 0.5;
    default: return rng.uniform(0.0, 0.5);
  }
}

TEST(KAlleleLikelihood, AgreesWithBruteForceForTwoToEightAlleles) {
  Random rng(151);
  auto st = make_model_state();
  int shape_index = 0, compared = 0, zero = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int K = 2 + round % 7;
    const double theta = theta_of_round(rng, round);
    const auto truth = test::random_parameters(rng, theta);
    std::string names;
    const auto fams = next_families(rng, shape_index, names, truth);
    SCOPED_TRACE("round " + std::to_string(round) + ", K = " + std::to_string(K) +
                 ", theta = " + std::to_string(theta) + ": " + names);
    test::load_families(*st, fams);
    const pedlik::Pedigree ped = kallele::pedigree_from_state(*st);
    const pedlik::Marker marker = test::random_marker(rng, fams, K, 0.4, 20000);
    Evaluator ev(ped, marker);
    const auto x = first_six(test::random_parameters(rng, theta));
    for (std::size_t f = 0; f < fams.size(); ++f) {
      const double bf = test::kallele_brute_force(ped, marker, f, x);
      const double v = ev.family_log_likelihood(f, x);
      if (bf == 0.0) {
        EXPECT_EQ(v, -INFINITY) << "family " << f + 1;
        ++zero;
        continue;
      }
      // A difference of logs is the relative difference of the likelihoods.
      EXPECT_NEAR(v, std::log(bf), 1e-12) << "family " << f + 1;
      ++compared;
    }
  }
  EXPECT_GE(compared, kRounds * 2);
  EXPECT_GT(zero, 0);  // some typing errors made families impossible
  RecordProperty("families_compared", compared);
}

// Markers of 20 and 40 alleles: the brute force keeps to families with at
// most one untyped founder, the evaluator merges the untyped alleles.
TEST(KAlleleLikelihood, AgreesWithBruteForceForTwentyAndFortyAlleles) {
  Random rng(157);
  auto st = make_model_state();
  int shape_index = 0, compared = 0;
  for (int round = 0; round < kRounds / 10; ++round) {
    const int K = round % 2 == 0 ? 20 : 40;
    const double theta = theta_of_round(rng, round);
    const auto truth = test::random_parameters(rng, theta);
    std::string names;
    const auto fams = next_families(rng, shape_index, names, truth);
    SCOPED_TRACE("round " + std::to_string(round) + ", K = " + std::to_string(K) + ": " + names);
    test::load_families(*st, fams);
    const pedlik::Pedigree ped = kallele::pedigree_from_state(*st);
    const pedlik::Marker marker = test::random_marker(rng, fams, K, 0.4, 20000, 0.0);
    Evaluator ev(ped, marker);
    const auto x = first_six(test::random_parameters(rng, theta));
    for (std::size_t f = 0; f < fams.size(); ++f) {
      const double bf = test::kallele_brute_force(ped, marker, f, x);
      ASSERT_GT(bf, 0.0) << "family " << f + 1;
      EXPECT_NEAR(ev.family_log_likelihood(f, x), std::log(bf), 1e-12) << "family " << f + 1;
      ++compared;
    }
  }
  EXPECT_GE(compared, 3 * (kRounds / 10));
}

TEST(KAlleleLikelihood, RecodingLeavesEveryFamilyUnchanged) {
  Random rng(152);
  auto st = make_model_state();
  int shape_index = 0, merged = 0;
  for (int round = 0; round < kRounds; ++round) {
    const int K = 3 + round % 10;
    const double theta = theta_of_round(rng, round);
    const auto truth = test::random_parameters(rng, theta);
    std::string names;
    const auto fams = next_families(rng, shape_index, names, truth);
    SCOPED_TRACE("round " + std::to_string(round) + ", K = " + std::to_string(K) + ": " + names);
    test::load_families(*st, fams);
    const pedlik::Pedigree ped = kallele::pedigree_from_state(*st);
    const pedlik::Marker marker = test::random_marker(rng, fams, K, 0.5, 200000, 0.0);
    Evaluator recoded(ped, marker, true);
    Evaluator plain(ped, marker, false);
    for (int trial = 0; trial < 2; ++trial) {
      const auto x = first_six(test::random_parameters(rng, trial == 0 ? theta : rng.uniform(0.0, 0.5)));
      for (std::size_t f = 0; f < fams.size(); ++f) {
        ASSERT_EQ(plain.table(f).R, K);
        if (recoded.table(f).R < K) ++merged;
        const double a = recoded.family_log_likelihood(f, x);
        const double b = plain.family_log_likelihood(f, x);
        ASSERT_TRUE(std::isfinite(b)) << "family " << f + 1;
        EXPECT_NEAR(a, b, 1e-12) << "family " << f + 1;
      }
    }
  }
  EXPECT_GT(merged, kRounds);  // the recoding had something to merge
}

// A five-allele marker analysed by both engines: the same value, family by
// family and in total, and the same rejections.
TEST(KAlleleLikelihood, EqualsTheFiveAlleleEngineForAtMostFiveAlleles) {
  Random rng(153);
  auto st = make_model_state();
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  int shape_index = 0, compared = 0, rejected = 0;
  for (int round = 0; round < kRounds; ++round) {
    const double theta = round % 3 == 0 ? 0.5 : rng.uniform(0.001, 0.5);
    const auto truth = test::random_parameters(rng, theta);
    std::string names;
    const auto fams = next_families(rng, shape_index, names, truth);
    SCOPED_TRACE("round " + std::to_string(round) + ": " + names);
    test::load_families(*st, fams);
    const auto x = test::random_parameters(rng, theta);
    test::set_parameters(*st, x);
    st->IMAX.ISETUP = -1;
    double LH = 0.0;
    GENMMP(*st, con, LH);
    const Rejection five = st->rejection;

    // Markers of 5 alleles, and of fewer where some allele is never typed
    // (the recoding leaves fewer classes).
    Evaluator ev(kallele::pedigree_from_state(*st), kallele::marker_from_state(*st));
    test::set_parameters(*st, x);
    double LHK = 0.0;
    kallele::GENMMP_K(*st, ev, LHK);
    EXPECT_EQ(st->rejection.kind, five.kind);
    if (LH <= UNUSABLE) {
      EXPECT_EQ(LHK, REJECTED);
      EXPECT_EQ(st->rejection.family, five.family);
      ++rejected;
      continue;
    }
    EXPECT_NEAR(LHK, LH, 1e-12 * std::fabs(LH)) << "total";
    ++compared;
  }
  EXPECT_GT(compared, kRounds / 2);
  EXPECT_GT(rejected, 0);
}

// Bounds and ties as GENMMP treats them: an estimated parameter on its
// bound rejects the vector without a family evaluated; a tied parameter
// takes its partner's value and is not tested.
TEST(KAlleleLikelihood, RejectsVectorsAsGenmmpDoes) {
  Random rng(154);
  auto st = make_model_state();
  int shape_index = 0;
  std::string names;
  const auto truth = test::random_parameters(rng, 0.2);
  test::HidingRates rates;
  rates.wrong_marker = 0.0;
  const auto fams = next_families(rng, shape_index, names, truth, rates);
  test::load_families(*st, fams);
  test::set_parameters(*st, truth);
  Evaluator ev(kallele::pedigree_from_state(*st), kallele::marker_from_state(*st));
  st->OPTPAR1.IFREE(5) = 1;
  st->OPTPAR1.XLOW(5) = 0.0;
  st->OPTPAR1.XUPP(5) = 0.2;  // theta = 0.2 sits on its upper bound
  double LH = 0.0;
  kallele::GENMMP_K(*st, ev, LH);
  EXPECT_EQ(LH, REJECTED);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::Bounds);
  EXPECT_EQ(st->rejection.param, 5);

  st->OPTPAR1.XUPP(5) = 0.5;
  kallele::GENMMP_K(*st, ev, LH);
  EXPECT_GT(LH, UNUSABLE);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::None);

  // Mean 3 tied to mean 2: the value is mean 2's, whatever X(4) was.
  const double untied = LH;
  st->OPTPAR2.LINK(4) = 3;
  st->OPTPAR1.IFREE(4) = 1;
  st->OPTPAR1.X(4) = 1e9;  // far outside its bounds, but tied
  kallele::GENMMP_K(*st, ev, LH);
  EXPECT_EQ(st->OPTPAR1.X(4), st->OPTPAR1.X(3));
  EXPECT_EQ(st->OPTPAR1.IFREE(4), 0);
  auto x = kallele::parameters_of(*st);
  EXPECT_EQ(LH, ev.log_likelihood(x).lh);
  EXPECT_NE(LH, untied);
}

}  // namespace
}  // namespace mglink
