// The pattern search on small functions whose maxima and search paths can be
// followed by hand.
#include "maximiser/methgi.hpp"
#include "core/errors.hpp"
#include "support/scratch_dir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace mglink {
namespace {

namespace fs = std::filesystem;

// One search: a parameter block, a console, a message file in a scratch
// directory, and a function of X(1..N) whose every call is recorded.
class Search : public ::testing::Test {
 protected:
  void SetUp() override { messages_ = std::make_unique<MessageFile>(scratch_.file("fort.25")); }

  // Parameter i: value, step, flag, bounds.
  void param(int i, double x, double step, int free, double low = -1e9, double upp = 1e9) {
    P.X(i) = x;
    P.STEP(i) = step;
    P.IFREE(i) = free;
    P.XLOW(i) = low;
    P.XUPP(i) = upp;
  }

  SearchEnd run(int N, std::function<double(const Optpar1&)> f, double EPSF = 1e-9,
                double RHO = 0.5, double EPSX = 1e-6, int MAXIT = 100, int IPRINT = 0) {
    Objective fcn = [&](double& F) {
      std::vector<double> x;
      for (int i = 1; i <= N; ++i) x.push_back(P.X(i));
      points.push_back(x);
      F = f(P);
    };
    return METHGI(P, con, *messages_, N, SearchSettings{IPRINT, EPSX, MAXIT, RHO, EPSF}, fcn);
  }

  std::string fort25() const { return scratch_.read("fort.25"); }
  bool fort25_exists() const { return scratch_.exists("fort.25"); }

  Optpar1 P{};
  std::ostringstream out;
  std::istringstream in;
  Console con{out, in};
  std::vector<std::vector<double>> points;  // X(1..N) at every call
  mglink::testing::ScratchDir scratch_;
  std::unique_ptr<MessageFile> messages_;
};

double parabola10(const Optpar1& P) {  // maximum 0 at x = 10
  const double d = P.X(1) - 10.0;
  return -(d * d);
}

TEST_F(Search, AllParametersFixedMakesOneIterationOfTwelveEvaluations) {
  param(1, 3.0, 0.5, 0);
  param(2, -1.0, 0.25, 0);
  P.FMAX = 99.0;
  const SearchEnd end = run(2, [](const Optpar1& Q) { return -(Q.X(1) * Q.X(1)) + Q.X(2); });
  EXPECT_EQ(end, SearchEnd::ConvergedStep);
  EXPECT_EQ(P.ITER, 1);
  EXPECT_EQ(P.NFUN, 12);
  EXPECT_EQ(points.size(), 12u);
  EXPECT_EQ(P.FMAX, -10.0);
  EXPECT_EQ(P.X(1), 3.0);
  EXPECT_EQ(P.X(2), -1.0);
  EXPECT_EQ(P.STEP(1), 0.5);  // fixed parameters are never explored
  EXPECT_FALSE(fort25_exists());
  EXPECT_EQ(out.str(), "");
}

// MAXIT = 0 allows one iteration.  By hand, from x = 0 with step 1 on
// -(x-10)^2: trial -1 fails, trial +1 gains (-81, step -0.75), the pattern
// point 2 gains (-64); steps are not small, so ITER = 1 > MAXIT.
TEST_F(Search, IterationLimitZeroWritesMaximumNotFound) {
  param(1, 0.0, 1.0, 1);
  P.FMAX = 123.0;
  const SearchEnd end = run(1, parabola10, 1e-9, 0.5, 1e-6, /*MAXIT=*/0);
  EXPECT_EQ(end, SearchEnd::IterationLimit);
  EXPECT_EQ(P.ITER, 1);
  EXPECT_EQ(P.NFUN, 4);
  EXPECT_EQ(P.X(1), 2.0);
  EXPECT_EQ(P.STEP(1), -0.75);
  EXPECT_EQ(P.FMAX, 123.0);  // not written when the search gives up
  EXPECT_EQ(fort25(), " MAXIMUM NOT FOUND\n");
  const std::vector<std::vector<double>> expected{{0.0}, {-1.0}, {1.0}, {2.0}};
  EXPECT_EQ(points, expected);
}

// The same search with MAXIT = 1: iteration 1 prints its progress block,
// iteration 2 (x 2.75 gains, pattern point 4.5 gains) exceeds the limit.
TEST_F(Search, ProgressLinesAfterEachIterationThatDoesNotEnd) {
  param(1, 0.0, 1.0, 1);
  const SearchEnd end = run(1, parabola10, 1e-9, 0.5, 1e-6, /*MAXIT=*/1, /*IPRINT=*/1);
  EXPECT_EQ(end, SearchEnd::IterationLimit);
  EXPECT_EQ(P.ITER, 2);
  EXPECT_EQ(P.NFUN, 6);
  EXPECT_EQ(P.X(1), 4.5);
  EXPECT_EQ(out.str(),
            " number of iterations =   1\n"
            " number of functions =     4\n"
            " ln LH =     -0.64000000E+02\n");
  EXPECT_EQ(fort25(), " MAXIMUM NOT FOUND\n");
}

TEST_F(Search, NoProgressLinesWhenIprintIsZero) {
  param(1, 0.0, 1.0, 1);
  run(1, parabola10, 1e-9, 0.5, 1e-6, 1, /*IPRINT=*/0);
  EXPECT_EQ(P.ITER, 2);
  EXPECT_EQ(out.str(), "");
}

// A gain tolerance larger than any gain ends the first iteration at its
// successful pattern move.
TEST_F(Search, ConvergesOnGainAtTheFirstSuccessfulPatternMove) {
  param(1, 0.0, 1.0, 1);
  const SearchEnd end = run(1, parabola10, /*EPSF=*/1e30);
  EXPECT_EQ(end, SearchEnd::ConvergedGain);
  EXPECT_EQ(P.ITER, 1);
  EXPECT_EQ(P.NFUN, 4);
  EXPECT_EQ(P.X(1), 2.0);
  EXPECT_EQ(P.FMAX, -64.0);
  EXPECT_FALSE(fort25_exists());
}

TEST_F(Search, UnusableStartEndsSilently) {
  struct Case {
    double f0;
    bool unusable;
  };
  const Case cases[] = {
      {-1e18, true},
      {-1e17, true},  // at the limit
      {-std::numeric_limits<double>::infinity(), true},
      {std::nextafter(-1e17, 0.0), false},
      {std::numeric_limits<double>::quiet_NaN(), false},  // not at or below the limit
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.f0);
    points.clear();
    param(1, 0.4, 0.1, 1);
    P.FMAX = 7.0;
    P.ITER = 55;
    const double f0 = c.f0;
    const SearchEnd end = run(1, [&](const Optpar1& Q) { return Q.X(1) == 0.4 ? f0 : -1.0; },
                              1e-9, 0.5, 1e-6, /*MAXIT=*/0);
    if (c.unusable) {
      EXPECT_EQ(end, SearchEnd::UnusableStart);
      EXPECT_EQ(P.ITER, 0);
      EXPECT_EQ(P.NFUN, 1);
      EXPECT_EQ(points.size(), 1u);
      EXPECT_EQ(P.FMAX, 7.0);
      EXPECT_EQ(P.X(1), 0.4);
      EXPECT_EQ(P.STEP(1), 0.1);
    } else {
      EXPECT_NE(end, SearchEnd::UnusableStart);
      EXPECT_GT(points.size(), 1u);
    }
  }
  EXPECT_EQ(out.str(), "");
}

// From 0.5 with step -2^-21 on f(x) = x, rejected from 0.5 + 1.5 * 2^-21 on:
// the trial 0.5 + 2^-21 gains, the pattern point 0.5 + 2^-20 is rejected and,
// with RHO = 1, stays rejected through all 10 tries and the final evaluation.
// The step (1.5 * 2^-21) is below 1e-6, so the search converges on a rejected
// point: X and FMAX come back from the explored point.  Parameter 2 is tied
// to parameter 1 (the function copies it) and returns to its entry value.
TEST_F(Search, RejectedFinalPointRestoresTheExploredPoint) {
  const double h = std::ldexp(1.0, -21);
  param(1, 0.5, -h, 1);
  param(2, 7.0, 0.1, 0);
  P.FMAX = 3.0;
  const SearchEnd end = run(
      2,
      [&](const Optpar1& Q) {
        const_cast<Optpar1&>(Q).X(2) = Q.X(1);
        return Q.X(1) < 0.5 + 1.5 * h ? Q.X(1) : -1e18;
      },
      1e-9, /*RHO=*/1.0);
  EXPECT_EQ(end, SearchEnd::ConvergedStep);
  EXPECT_EQ(P.ITER, 1);
  EXPECT_EQ(P.NFUN, 13);
  EXPECT_EQ(P.FMAX, 0.5 + h);
  EXPECT_EQ(P.X(1), 0.5 + h);
  EXPECT_EQ(P.X(2), 7.0);
  EXPECT_EQ(P.STEP(1), -1.5 * h);
  ASSERT_EQ(points.size(), 13u);
  for (std::size_t k = 2; k < 13; ++k) EXPECT_EQ(points[k][0], 0.5 + 2 * h) << k;
}

// A final point just above the rejection value is returned as it came.
TEST_F(Search, FinalPointAboveRejectionIsKept) {
  const double h = std::ldexp(1.0, -21);
  param(1, 0.5, -h, 1);
  run(1, [&](const Optpar1& Q) { return Q.X(1) < 0.5 + 1.5 * h ? Q.X(1) : -9e17; }, 1e-9, 1.0);
  EXPECT_EQ(P.NFUN, 13);
  EXPECT_EQ(P.FMAX, -9e17);
  EXPECT_EQ(P.X(1), 0.5 + 2 * h);
}

// A pattern move whose extrapolation crosses a bound is clamped 1e-17 inside
// it, which for a bound of magnitude 0.25 or more is the bound itself.  The
// function rejects points on or beyond the bound: a try on the bound fails and
// is pulled back half way (RHO = 0.5) to an improving point, while a try just
// inside a small bound succeeds at once.
TEST_F(Search, PatternMoveIsClampedAtTheBound) {
  struct Case {
    double x0, step, low, upp;
    double sign;  // +1: the function rises with x, -1: falls
    double clamped;
    bool rejected;  // the clamped point lies on the bound
  };
  const Case cases[] = {
      {0.7, -0.2, -5.0, 1.0, +1.0, 1.0, true},
      {-0.7, 0.2, -1.0, 5.0, -1.0, -1.0, true},
      {0.07, -0.02, -5.0, 0.1, +1.0, std::nextafter(0.1, 0.0), false},
      {-0.07, 0.02, -0.1, 5.0, -1.0, std::nextafter(-0.1, 0.0), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clamped);
    points.clear();
    param(1, c.x0, c.step, 1, c.low, c.upp);
    const SearchEnd end = run(
        1,
        [&](const Optpar1& Q) {
          const double x = Q.X(1);
          return (x > c.low && x < c.upp) ? c.sign * x : -1e18;
        },
        1e-9, 0.5, 1e-6, /*MAXIT=*/0);
    EXPECT_EQ(end, SearchEnd::IterationLimit);
    EXPECT_EQ(P.ITER, 1);
    const double explored = c.x0 - c.step;
    ASSERT_EQ(points.size(), c.rejected ? 4u : 3u);
    EXPECT_EQ(P.NFUN, c.rejected ? 4 : 3);
    EXPECT_EQ(points[1][0], explored);
    EXPECT_EQ(points[2][0], c.clamped);
    if (c.rejected) {
      EXPECT_EQ(points[3][0], c.clamped * 0.5 + (1.0 - 0.5) * explored);
      EXPECT_EQ(P.X(1), points[3][0]);
    } else {
      EXPECT_EQ(P.X(1), c.clamped);
    }
  }
}

// After 10 failed tries the pulled-back point is accepted even though it is
// worse than the explored point.  From 0 with step -1 on -(x-1)^2: trial 1
// gains (value 0), the pattern point 2 and its pull-backs 1 + 2^-k (k = 1..9)
// all fail, the final point is 1 + 2^-10.
TEST_F(Search, TenFailedTriesAcceptThePulledBackPoint) {
  param(1, 0.0, -1.0, 1);
  const SearchEnd end = run(
      1, [](const Optpar1& Q) { const double d = Q.X(1) - 1.0; return -(d * d); }, 1e-9, 0.5,
      1e-6, /*MAXIT=*/0, /*IPRINT=*/1);
  EXPECT_EQ(end, SearchEnd::IterationLimit);
  EXPECT_EQ(P.NFUN, 13);
  ASSERT_EQ(points.size(), 13u);
  EXPECT_EQ(points[2][0], 2.0);
  for (int k = 1; k <= 10; ++k) EXPECT_EQ(points[2 + k][0], 1.0 + std::ldexp(1.0, -k)) << k;
  EXPECT_EQ(P.X(1), 1.0 + std::ldexp(1.0, -10));
  EXPECT_EQ(out.str(), "");  // the limit ends the search before any progress block
}

TEST_F(Search, ParameterCountOutsideOneToFifteen) {
  param(1, 0.0, 1.0, 1);
  P.ITER = 5;
  P.NFUN = 6;
  EXPECT_EQ(run(0, parabola10), SearchEnd::NoParameters);
  EXPECT_FALSE(fort25_exists());
  EXPECT_EQ(run(16, parabola10), SearchEnd::TooManyParameters);
  EXPECT_EQ(run(16, parabola10), SearchEnd::TooManyParameters);
  EXPECT_TRUE(points.empty());
  EXPECT_EQ(P.ITER, 5);
  EXPECT_EQ(P.NFUN, 6);
  EXPECT_EQ(P.X(1), 0.0);
  // The second message of the run follows the first.
  EXPECT_EQ(fort25(), " Number of estimated param.>30\n Number of estimated param.>30\n");
}

// A quadratic with correlated parameters and one fixed parameter: the search
// converges to the maximum, FMAX is the value at the returned point, and the
// fixed parameter never moves.
TEST_F(Search, QuadraticInSeveralParametersConverges) {
  const auto f = [](const Optpar1& Q) {
    const double a = Q.X(1) - 0.3, b = Q.X(2) + 1.5, c = Q.X(3) - 2.0;
    return -(a * a + 2.0 * b * b + 0.5 * c * c + 0.6 * a * b) + Q.X(4);
  };
  param(1, 0.0, 0.1, 1);
  param(2, 0.0, 0.1, 1);
  param(3, 0.0, -0.1, 1);
  param(4, 0.25, 0.1, 0);
  const SearchEnd end = run(4, f, 1e-14, 0.5, 1e-7, 1000);
  EXPECT_TRUE(end == SearchEnd::ConvergedGain || end == SearchEnd::ConvergedStep);
  EXPECT_NEAR(P.X(1), 0.3, 1e-3);
  EXPECT_NEAR(P.X(2), -1.5, 1e-3);
  EXPECT_NEAR(P.X(3), 2.0, 1e-3);
  EXPECT_EQ(P.X(4), 0.25);
  EXPECT_EQ(P.FMAX, f(P));
  EXPECT_NEAR(P.FMAX, 0.25, 1e-6);
  EXPECT_EQ(static_cast<std::size_t>(P.NFUN), points.size());
  EXPECT_GT(P.ITER, 1);
  EXPECT_LE(P.ITER, 1000);
  for (const auto& x : points) EXPECT_EQ(x[3], 0.25);
  EXPECT_FALSE(fort25_exists());
}

// The message file: not created until the first message; an old file is
// replaced at the first message of a run; a file that cannot be written
// stops the run with the output-error status.
TEST(MessageFileTest, StartsAtTheFirstMessageAndStopsWhenUnwritable) {
  const mglink::testing::ScratchDir scratch;
  const fs::path dir = scratch.path();
  {
    std::ofstream(dir / "fort.25") << "old contents\n";
    MessageFile m((dir / "fort.25").string());
    EXPECT_FALSE(m.started());
    EXPECT_EQ(scratch.read("fort.25"), "old contents\n");
    m.line(" MAXIMUM NOT FOUND");
    m.line(" MAXIMUM NOT FOUND");
    EXPECT_TRUE(m.started());
  }
  EXPECT_EQ(scratch.read("fort.25"), " MAXIMUM NOT FOUND\n MAXIMUM NOT FOUND\n");

  MessageFile bad((dir / "no-such-dir" / "fort.25").string());
  try {
    bad.line(" MAXIMUM NOT FOUND");
    FAIL() << "no stop";
  } catch (const RunStop& stop) {
    EXPECT_EQ(stop.status(), EXIT_OUTPUT_ERROR);
    EXPECT_NE(stop.detail().find("fort.25"), std::string::npos);
  }
}

}  // namespace
}  // namespace mglink
