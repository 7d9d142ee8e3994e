// Both passes of the linkage test with the K-allele likelihood: for the
// example study's five-allele marker the same estimates as mglink's own
// passes (GENMMP under the same pattern search), and for a marker of many
// alleles the figures of each pass fit together (the marker is not linked
// to the trait there: the estimates themselves say nothing).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>

#include "data/wwdat.hpp"
#include "kallele/from_state.hpp"
#include "kallele/two_pass.hpp"
#include "run/control_files.hpp"
#include "run/run_driver.hpp"
#include "support/kallele_study.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

const std::string kStudy = std::string(MGLINK_SOURCE_DIR) + "/examples/study";


struct Quiet {
  std::ostringstream out;
  std::istringstream in;
  Console con{out, in};
};

TEST(KAlleleTwoPass, FiveAlleleMarkerGivesMglinksEstimates) {
  // mglink's own run of the example study, in a copy of it.
  testing::ScratchDir dir;
  std::filesystem::copy(kStudy, dir.path(), std::filesystem::copy_options::recursive);
  mglink::Evaluator engine(EvaluatorOptions{false, 1});  // the same bits as the literal one, sooner
  Quiet q;
  const RunResult run = run_directory(dir.path(), engine, q.out, q.in);
  ASSERT_EQ(run.passes, 2) << run.detail;

  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  read_par(*st, 2, kStudy + "/par.inp");
  WWDAT(*st, "trait.dat", "marker.dat", kStudy);
  pedlik::Evaluator ev(kallele::pedigree_from_state(*st), kallele::marker_from_state(*st));
  const auto load = [](ModelState& s, int pass) { return read_par(s, pass, kStudy + "/par.inp"); };
  MessageFile messages(dir.file("fort.25.kallele"));
  const kallele::TwoPassResult r = kallele::run_two_passes(
      *st, ev, read_maxpar(kStudy + "/maxpar.inp"), load, q.con, messages);

  ASSERT_EQ(r.passes, 2);
  ASSERT_FALSE(r.unusable_start);
  for (std::size_t p = 0; p < 2; ++p) {
    SCOPED_TRACE("pass " + std::to_string(p + 1));
    const PassResult& want = run.pass[p];
    const PassResult& got = r.pass[p];
    EXPECT_EQ(got.NEST, want.NEST);
    EXPECT_NEAR(got.FINIT, want.FINIT, 1e-12 * std::fabs(want.FINIT));
    EXPECT_NEAR(got.FMAX, want.FMAX, 1e-9 * std::fabs(want.FMAX));
    for (int i = 1; i <= 6; ++i) EXPECT_NEAR(got.X[i], want.X[i], 1e-6 * (1.0 + std::fabs(want.X[i]))) << i;
    EXPECT_EQ(got.ITER, want.ITER);
    EXPECT_EQ(got.NFUN, want.NFUN);
    EXPECT_EQ(got.end, want.end);
  }
  EXPECT_EQ(r.pass[0].X[5], 0.5);
  EXPECT_NEAR(r.statistic, 2.0 * (run.pass[1].FMAX - run.pass[0].FMAX), 1e-7);
  EXPECT_GT(r.lod, 3.0);  // the example study is strongly linked
}

TEST(KAlleleTwoPass, ManyAlleleMarkerPassesFitTogether) {
  test::Random rng(155);
  const auto truth = test::random_parameters(rng, 0.1);
  std::vector<test::Family> fams;
  for (int i = 0; i < 12; ++i)
    fams.push_back(test::random_family(rng, test::kAllShapes[i % std::size(test::kAllShapes)], truth));
  auto st = make_model_state();
  test::load_families(*st, fams);
  const pedlik::Marker marker = test::random_marker(rng, fams, 12, 0.3, 1L << 40, 0.0);
  pedlik::Evaluator ev(kallele::pedigree_from_state(*st), marker);

  // par.inp of the test: every parameter estimated from the truth's
  // neighbourhood, theta from 0.25.
  const auto load = [&](ModelState& s, int pass) {
    test::set_parameters(s, truth);
    const double steps[6] = {0.05, 0.3, 0.3, 0.3, 0.05, 0.2};
    for (int i = 1; i <= 6; ++i) {
      s.OPTPAR1.IFREE(i) = 1;
      s.OPTPAR1.STEP(i) = steps[i - 1];
      s.OPTPAR1.XLOW(i) = i == 1 || i == 5 ? 0.0 : (i == 6 ? 0.01 : -50.0);
      s.OPTPAR1.XUPP(i) = i == 1 ? 1.0 : (i == 5 ? 0.5 : 50.0);
    }
    s.OPTPAR1.X(1) = 0.5;
    s.OPTPAR1.X(5) = 0.25;
    if (pass == 1) {
      s.OPTPAR1.IFREE(5) = 0;
      s.OPTPAR1.X(5) = 0.5;
    }
    return pass == 1 ? 5 : 6;
  };
  const SearchSettings m{.EPSX = 1e-4, .MAXIT = 500, .RHO = 0.5, .EPSF = 1e-4};
  testing::ScratchDir scratch;
  MessageFile messages(scratch.file("fort.25"));
  Quiet q;
  const kallele::TwoPassResult r = kallele::run_two_passes(*st, ev, m, load, q.con, messages);
  ASSERT_FALSE(r.unusable_start);
  ASSERT_EQ(r.passes, 2);
  EXPECT_EQ(r.pass[0].X[5], 0.5);
  for (std::size_t p = 0; p < 2; ++p) {
    SCOPED_TRACE("pass " + std::to_string(p + 1));
    EXPECT_GT(r.pass[p].FMAX, r.pass[p].FINIT);
    const pedlik::Parameters x{r.pass[p].X[1], r.pass[p].X[2], r.pass[p].X[3],
                                r.pass[p].X[4], r.pass[p].X[5], r.pass[p].X[6]};
    // FMAX is the best value met; the pattern search may end a hair away
    // from its point.
    EXPECT_NEAR(r.pass[p].FMAX, ev.log_likelihood(x).lh, 1e-6);
    EXPECT_GT(r.pass[p].NFUN, r.pass[p].ITER);
  }
  EXPECT_EQ(r.statistic, (r.pass[1].FMAX - r.pass[0].FMAX) * 2.0);
}

// Start values outside their bounds end the run at that pass, with the
// reason, as mglink's run driver ends it.
TEST(KAlleleTwoPass, UnusableStartStopsThePass) {
  test::Random rng(156);
  const auto truth = test::random_parameters(rng, 0.1);
  std::vector<test::Family> fams{test::random_family(rng, test::Shape::Nuclear, truth)};
  auto st = make_model_state();
  test::load_families(*st, fams);
  pedlik::Evaluator ev(kallele::pedigree_from_state(*st),
                        test::random_marker(rng, fams, 7, 0.3, 1L << 40, 0.0));
  const auto load = [&](ModelState& s, int pass) {
    test::set_parameters(s, truth);
    s.OPTPAR1.IFREE(6) = 1;
    s.OPTPAR1.STEP(6) = 0.1;
    s.OPTPAR1.XUPP(6) = pass == 2 ? 0.01 : 100.0;  // pass 2: the variance above its bound
    return 1;
  };
  const SearchSettings m{.EPSX = 1e-4, .MAXIT = 50, .RHO = 0.5, .EPSF = 1e-4};
  testing::ScratchDir scratch;
  MessageFile messages(scratch.file("fort.25"));
  Quiet q;
  const kallele::TwoPassResult r = kallele::run_two_passes(*st, ev, m, load, q.con, messages);
  EXPECT_TRUE(r.unusable_start);
  EXPECT_EQ(r.passes, 1);
  EXPECT_EQ(r.pass[1].FINIT, REJECTED);
  EXPECT_EQ(r.rejection.kind, Rejection::Kind::Bounds);
  EXPECT_EQ(r.rejection.param, 6);
  EXPECT_GT(r.pass[0].FMAX, UNUSABLE);
}

}  // namespace
}  // namespace mglink
