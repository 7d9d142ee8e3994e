// The lines a pass writes: sigma.DAT block, result file lines, the console's
// " initial LH=" line, and the linkage statistic.
#include "run/pass_output.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mglink {
namespace {

TEST(LinkageStatistic, LodFactorIsTheSinglePrecisionReciprocalOf4point6) {
  // CHI2 = 4.6 gives a LOD of exactly 1 at seven digits; 1/(2 ln 10) would
  // give 0.9989.
  const std::vector<std::string> lines = alternative_result_lines(0.125, -20.0, -22.3);
  const LinkageStatistic s = linkage_statistic(-20.0, -22.3);
  EXPECT_NEAR(s.CHI2, 4.6, 1e-13);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "LH(0.125)=-0.2000000E+02");
  EXPECT_EQ(lines[1], "-2ln(L1/L2)= 0.4600000E+01");
  EXPECT_EQ(lines[2], "LOD SCORE= 0.1000000E+01");
  EXPECT_EQ(LOD_FACTOR, 1.0 / static_cast<double>(4.6f));
}

TEST(LinkageStatistic, ResultLinesAsWritten) {
  struct Case {
    double theta, FMAX, FNULL;
    const char* lh;
    const char* chi2;
    const char* lod;
  };
  const Case cases[] = {
      // Pass 2 below pass 1: negative statistic and LOD are written as they are.
      {0.5, -10.0, -9.0, "LH(0.500)=-0.1000000E+02", "-2ln(L1/L2)=-0.2000000E+01",
       "LOD SCORE=-0.4347826E+00"},
      // A theta estimate of 0.49996 shows as 0.500.
      {0.49996, -1234.5, -1234.5, "LH(0.500)=-0.1234500E+04", "-2ln(L1/L2)= 0.0000000E+00",
       "LOD SCORE= 0.0000000E+00"},
      {0.0625, 12.5, 2.5, "LH(0.062)= 0.1250000E+02", "-2ln(L1/L2)= 0.2000000E+02",
       "LOD SCORE= 0.4347826E+01"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines = alternative_result_lines(c.theta, c.FMAX, c.FNULL);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], c.lh);
    EXPECT_EQ(lines[1], c.chi2);
    EXPECT_EQ(lines[2], c.lod);
  }
  EXPECT_EQ(null_result_line(-1234.5), "LH(0.5)=-0.1234500E+04");
  EXPECT_EQ(null_result_line(-1e18), "LH(0.5)=-0.1000000E+19");
}

TEST(PassLines, InitialLikelihoodLine) {
  EXPECT_EQ(initial_lh_line(-1e18), " initial LH=-0.10000000E+19");
  EXPECT_EQ(initial_lh_line(-38.0625), " initial LH=-0.38062500E+02");
}

TEST(PassLines, SigmaBlockOfEachPass) {
  Optpar1 P{};
  P.ITER = 17;
  P.NFUN = 203;
  P.FMAX = -123.456789012;
  const double x[] = {0.3, 10.0, 12.5, 15.0, 0.125, 2.25};
  const double step[] = {-0.001, 0.05, -0.75, 1e-7, 0.0, -2.5e-3};
  for (int i = 1; i <= 6; ++i) {
    P.X(i) = x[i - 1];
    P.STEP(i) = step[i - 1];
  }
  P.X(7) = 0.2;  // marker frequencies are not listed
  const std::vector<std::string> expected{
      "**************************************",
      "NULL HYPOTHESIS: THETA=0.5",
      "**************************************",
      "  Number of iteration =  17",
      " Number of functions =   203",
      "  ln LH =     -0.12345679E+03",
      "           Parameter       Step",
      "  1    0.300000E+00  -0.100000E-02",
      "  2    0.100000E+02   0.500000E-01",
      "  3    0.125000E+02  -0.750000E+00",
      "  4    0.150000E+02   0.100000E-06",
      "  5    0.125000E+00   0.000000E+00",
      "  6    0.225000E+01  -0.250000E-02",
  };
  EXPECT_EQ(sigma_block(1, P, 6), expected);

  P.ITER = 10000;  // too wide for I4
  const std::vector<std::string> alt = sigma_block(2, P, 6);
  ASSERT_EQ(alt.size(), 13u);
  EXPECT_EQ(alt[1], "ALTERNATIVE HYPOTHESIS: THETA<0.5");
  EXPECT_EQ(alt[3], "  Number of iteration =****");
}

}  // namespace
}  // namespace mglink
