// The parameter set-up and update: numbering, frequencies, transmission,
// ties and bounds, and the console warnings with their pauses.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "model/genetics.hpp"
#include "model/setup.hpp"
#include "model/transmission.hpp"
#include "support/pedigree.hpp"

namespace mglink {
namespace {

using test::ParameterVector;

// One family of three untyped members, parents 1 and 2 of child 3.
void load_trio(ModelState& st) {
  test::Family f;
  f.members.resize(3);
  f.nuclear.push_back({{1, 2, 3}, 0});
  test::load_families(st, {f});
}

ParameterVector params(double theta, double m1 = 0.2, double m2 = 0.2, double m3 = 0.2,
                       double m4 = 0.2, double m5 = 0.2) {
  return {0.3, 10.0, 12.0, 14.0, theta, 4.0, m1, m2, m3, m4, m5};
}

struct ConsoleCapture {
  std::ostringstream out;
  std::istringstream in;
  Console con{out, in};
  explicit ConsoleCapture(const std::string& input = "") : in(input) {}
  std::vector<std::string> lines() const {
    std::vector<std::string> v;
    std::istringstream s(out.str());
    for (std::string l; std::getline(s, l);) v.push_back(l);
    return v;
  }
};

TEST(Genetics, GenotypeNumbersAlongTheRowsOfTheTriangle) {
  const int cases[][3] = {{1, 1, 1}, {1, 10, 10}, {2, 2, 11}, {1, 7, 7},  {2, 6, 15},
                          {6, 2, 15}, {5, 5, 35}, {10, 10, 55}, {6, 6, 41}};
  for (const auto& c : cases) EXPECT_EQ(genotype_of(c[0], c[1]), c[2]) << c[0] << "," << c[1];
  // Every pair a <= b gets its own number, consecutively along the rows.
  int k = 0;
  for (int a = 1; a <= 10; ++a)
    for (int b = a; b <= 10; ++b) EXPECT_EQ(genotype_of(a, b), ++k);
}

TEST(Setup, MajorAndMarkerGenotypeOfEachTwoLocusGenotype) {
  auto st = make_model_state();
  load_trio(*st);
  test::set_parameters(*st, params(0.1));
  ConsoleCapture c;
  double STAT = 0;
  STAP0(*st, c.con, STAT);
  ASSERT_EQ(STAT, 1.0);
  const int cases[][4] = {// h1, h2, MAJGEN, MRKGEN
                          {1, 6, 2, 1}, {2, 9, 2, 8}, {10, 10, 3, 15}, {1, 1, 1, 1},
                          {3, 4, 1, 11}, {7, 8, 3, 7}, {4, 10, 2, 14}};
  for (const auto& k : cases) {
    const int g = genotype_of(k[0], k[1]);
    EXPECT_EQ(st->PRPAR.MAJGEN(g), k[2]) << g;
    EXPECT_EQ(st->PRPAR.MRKGEN(g), k[3]) << g;
  }
  EXPECT_EQ(st->IMAX.GMEAN(1), 10.0);
  EXPECT_EQ(st->IMAX.GMEAN(3), 14.0);
  EXPECT_EQ(st->IMAX.SIGMA, 2.0);
}

TEST(Setup, GenotypeFrequenciesAreHardyWeinbergInLinkageEquilibrium) {
  auto st = make_model_state();
  test::set_parameters(*st, {0.3, 0, 0, 0, 0.2, 1, 0.1, 0.15, 0.2, 0.25, 0.3});
  HaplotypeFrequencies H{};
  haplotype_frequencies(*st, H);
  EXPECT_EQ(H(2), 0.3 * 0.15);
  EXPECT_EQ(H(7), (1.0 - 0.3) * 0.15);
  genotype_frequencies(*st, H);
  EXPECT_EQ(st->PRPAR.GFREQ(genotype_of(4, 4)), H(4) * H(4));
  EXPECT_EQ(st->PRPAR.GFREQ(genotype_of(2, 9)), 2.0 * (H(2) * H(9)));
  double t = 0;
  for (int k = 1; k <= 55; ++k) t += st->PRPAR.GFREQ(k);
  EXPECT_NEAR(t, 1.0, 1e-15);

  // Allele 1 fixed at frequency 1: no genotype with a haplotype 6..10.
  st->OPTPAR1.X(1) = 1.0;
  haplotype_frequencies(*st, H);
  genotype_frequencies(*st, H);
  for (int a = 1; a <= 10; ++a)
    for (int b = a; b <= 10; ++b)
      if (b >= 6) {
        EXPECT_EQ(st->PRPAR.GFREQ(genotype_of(a, b)), 0.0) << a << "," << b;
      }
}

TEST(Setup, HaplotypeTransmissionOfDoubleHeterozygotes) {
  auto st = make_model_state();
  const int g7 = genotype_of(1, 7);  // allele 1 / marker 1 with allele 2 / marker 2
  const int g6 = genotype_of(1, 6);  // both haplotypes carry marker 1
  for (double theta : {0.0, 0.5, 0.3}) {
    test::set_parameters(*st, params(theta));
    build_HTRANS(*st);
    const auto& H = st->TRANC.HTRANS;
    EXPECT_EQ(H(g7, 1), 0.5 - theta * 0.5);
    EXPECT_EQ(H(g7, 7), 0.5 - theta * 0.5);
    EXPECT_EQ(H(g7, 6), theta / 2);
    EXPECT_EQ(H(g7, 2), theta / 2);
    EXPECT_EQ(H(g6, 1), 0.5);
    EXPECT_EQ(H(g6, 6), 0.5);
    EXPECT_EQ(H(genotype_of(3, 3), 3), 1.0);
    EXPECT_EQ(H(genotype_of(3, 4), 4), 0.5);  // same major allele: theta plays no part
  }
  test::set_parameters(*st, params(0.5));
  build_HTRANS(*st);
  for (int h : {1, 7, 6, 2}) EXPECT_EQ(st->TRANC.HTRANS(g7, h), 0.25);
}

// For theta across [0, 1]: every HTRANS row and every CTRANS(1..55, b, a)
// sums to 1, CTRANS is exactly symmetric in the parents, and no warning.
TEST(Setup, TransmissionRowsSumToOneAndChildProbabilitiesAreSymmetric) {
  auto st = make_model_state();
  for (double theta : {0.0, 1e-3, 0.1, 0.25, 0.5, 0.77, 1.0}) {
    test::set_parameters(*st, params(theta));
    ConsoleCapture c;
    build_HTRANS(*st);
    build_CTRANS(*st, c.con);
    EXPECT_EQ(c.out.str(), "");
    const auto& H = st->TRANC.HTRANS;
    const auto& C = st->TRANC.CTRANS;
    for (int k = 1; k <= 55; ++k) {
      double s = 0;
      for (int h = 1; h <= 10; ++h) {
        EXPECT_GE(H(k, h), 0.0);
        s += H(k, h);
      }
      EXPECT_NEAR(s, 1.0, 1e-15) << "theta " << theta << " genotype " << k;
    }
    for (int a = 1; a <= 55; ++a) {
      for (int b = 1; b <= 55; ++b) {
        double s = 0;
        for (int g = 1; g <= 55; ++g) {
          s += C(g, b, a);
          ASSERT_EQ(C(g, b, a), C(g, a, b)) << theta << ": " << g << "," << b << "," << a;
        }
        ASSERT_NEAR(s, 1.0, 1e-14) << "theta " << theta << " parents " << a << "," << b;
      }
    }
  }
}

TEST(Setup, ChildProbabilitiesOfAKnownMating) {
  // {1,7} x {1,1} at theta: the child gets haplotype 1 from the homozygote
  // and 1, 7, 6 or 2 from the double heterozygote.
  auto st = make_model_state();
  const double theta = 0.2;
  test::set_parameters(*st, params(theta));
  ConsoleCapture c;
  build_HTRANS(*st);
  build_CTRANS(*st, c.con);
  const int a = genotype_of(1, 7), b = genotype_of(1, 1);
  const auto& C = st->TRANC.CTRANS;
  EXPECT_DOUBLE_EQ(C(genotype_of(1, 1), b, a), 0.4);
  EXPECT_DOUBLE_EQ(C(genotype_of(1, 7), b, a), 0.4);
  EXPECT_DOUBLE_EQ(C(genotype_of(1, 6), b, a), 0.1);
  EXPECT_DOUBLE_EQ(C(genotype_of(1, 2), b, a), 0.1);
  EXPECT_EQ(C(genotype_of(2, 7), b, a), 0.0);
}

TEST(Setup, ChildSumsAboveOneWarnOncePerParentalPair) {
  auto st = make_model_state();
  test::set_parameters(*st, params(0.2));
  build_HTRANS(*st);
  // Genotype 3's transmissions sum to 1.000001, genotype 5's to 0.9: every
  // pair with 3 exceeds 1 except (3,5) and (5,3); a shortfall is no warning.
  st->TRANC.HTRANS(3, 1) += 1e-6;
  st->TRANC.HTRANS(5, 5) -= 0.1;
  ConsoleCapture c("\n");
  build_CTRANS(*st, c.con);
  const auto lines = c.lines();
  ASSERT_EQ(lines.size(), 107u);
  EXPECT_EQ(lines[0], " Sum_bbb.ne.1           1           3");
  EXPECT_EQ(lines[2], " Sum_bbb.ne.1           3           1");
  EXPECT_EQ(lines[106], " Sum_bbb.ne.1          55           3");
  EXPECT_EQ(c.con.pauses(), 107);
}

struct BoundsCase {
  const char* what;
  int free_param;  // parameter made free (0: none)
  double value;    // its value
  double low, upp;
  bool accepted;
};

TEST(Setup, OpenBoundsOfEstimatedParameters) {
  const BoundsCase cases[] = {
      {"inside", 2, 11.0, 10.0, 12.0, true},
      {"on the lower bound", 2, 10.0, 10.0, 12.0, false},
      {"on the upper bound", 2, 12.0, 10.0, 12.0, false},
      {"below", 6, 0.5, 1.0, 9.0, false},
      {"above", 1, 0.95, 0.01, 0.9, false},
      {"held far outside", 0, 0.0, 0.0, 0.0, true},
      {"not a number passes", 3, std::nan(""), 0.0, 1.0, true},
  };
  for (const auto& k : cases) {
    for (bool full : {true, false}) {
      auto st = make_model_state();
      load_trio(*st);
      test::set_parameters(*st, params(0.1));
      for (int i = 1; i <= 6; ++i) {  // held parameters far outside their bounds
        st->OPTPAR1.XLOW(i) = 100.0;
        st->OPTPAR1.XUPP(i) = 200.0;
      }
      if (k.free_param) {
        st->OPTPAR1.IFREE(k.free_param) = 1;
        st->OPTPAR1.X(k.free_param) = k.value;
        st->OPTPAR1.XLOW(k.free_param) = k.low;
        st->OPTPAR1.XUPP(k.free_param) = k.upp;
      }
      ConsoleCapture c;
      double STAT = 0;
      if (full) {
        STAP0(*st, c.con, STAT);
      } else {
        STAPAR(*st, c.con, STAT);
      }
      EXPECT_EQ(STAT, k.accepted ? 1.0 : -1e18) << k.what;
      if (!k.accepted) {
        EXPECT_EQ(c.out.str(), "") << k.what;
        EXPECT_EQ(st->rejection.kind, Rejection::Kind::Bounds);
        EXPECT_EQ(st->rejection.param, k.free_param);
        // Nothing was built: no genotype classification, no lists.
        EXPECT_EQ(st->PRPAR.MRKGEN(1), 0) << k.what;
        EXPECT_EQ(st->GENOT.NTOT, 0) << k.what;
        EXPECT_EQ(st->TRANC.HTRANS(1, 1), 0.0) << k.what;
      }
    }
  }
}

TEST(Setup, TiesAreOnePassAndClearTheFlag) {
  auto st = make_model_state();
  load_trio(*st);
  test::set_parameters(*st, params(0.1));
  auto& X = st->OPTPAR1.X;
  X(2) = 1.0;
  X(3) = 2.0;
  X(4) = 3.0;
  st->OPTPAR2.LINK(2) = 4;  // tied to a later tied parameter: its value before the pass
  st->OPTPAR2.LINK(4) = 3;
  st->OPTPAR2.LINK(1) = 7;  // X(1) takes 0.2 ...
  st->OPTPAR2.LINK(5) = 1;  // ... and theta the new X(1)
  for (int i = 1; i <= 5; ++i) {
    st->OPTPAR1.IFREE(i) = 1;
    st->OPTPAR1.XLOW(i) = 1.5;  // tied parameters are not bounds-tested
    st->OPTPAR1.XUPP(i) = 2.5;
  }
  ConsoleCapture c;
  double STAT = 0;
  STAP0(*st, c.con, STAT);
  EXPECT_EQ(STAT, 1.0);
  EXPECT_EQ(X(2), 3.0);
  EXPECT_EQ(X(3), 2.0);
  EXPECT_EQ(X(4), 2.0);
  EXPECT_EQ(X(1), 0.2);
  EXPECT_EQ(X(5), 0.2);
  for (int i : {1, 2, 4, 5}) EXPECT_EQ(st->OPTPAR1.IFREE(i), 0) << i;
  EXPECT_EQ(st->OPTPAR1.IFREE(3), 1);
  EXPECT_EQ(st->IMAX.GMEAN(1), 3.0);
  EXPECT_EQ(st->TRANC.HTRANS(genotype_of(1, 7), 6), 0.1);

  // A tie is applied before the bounds test of the parameter it names...
  auto st2 = make_model_state();
  load_trio(*st2);
  test::set_parameters(*st2, params(0.1));
  st2->OPTPAR2.LINK(5) = 1;  // theta takes X(1) = 0.3
  st2->OPTPAR1.IFREE(1) = 1;
  st2->OPTPAR1.XLOW(1) = 0.0;
  st2->OPTPAR1.XUPP(1) = 0.3;  // ... and the rejection keeps the tie
  STAPAR(*st2, c.con, STAT);
  EXPECT_EQ(STAT, -1e18);
  EXPECT_EQ(st2->OPTPAR1.X(5), 0.3);

  // A tie must name an entry of X.
  st2->OPTPAR2.LINK(5) = 12;
  EXPECT_THROW(STAPAR(*st2, c.con, STAT), RunStop);
}

// Marker allele frequencies summing to s: STAP0's check (1e-5, single
// precision) and the genotype-frequency warnings of STAP0 (1e-7) and
// STAPAR (1e-5).
struct MarkerSumCase {
  double last;         // X(11); X(7..10) = 0.2
  bool stops;          // STAP0 ends the run
  const char* stap0;   // STAP0's warning line, "" for none
  bool stapar_warns;   // STAPAR warns
};

TEST(Setup, MarkerFrequencySumAndGenotypeFrequencyWarnings) {
  const MarkerSumCase cases[] = {
      {0.2, false, "", false},
      {0.200009, false, " Sum_p.ne.1   1.00001800008100     ", true},
      {0.199991, false, "", false},
      {0.199995, false, "", false},
      {0.200004, false, " Sum_p.ne.1   1.00000800001600     ", false},
      {0.20002, true, "", false},
      {0.19998, true, "", false},
  };
  for (const auto& k : cases) {
    auto st = make_model_state();
    load_trio(*st);
    test::set_parameters(*st, params(0.1, 0.2, 0.2, 0.2, 0.2, k.last));
    ConsoleCapture c;  // standard input closed: pauses return at once
    double STAT = 0;
    if (k.stops) {
      try {
        STAP0(*st, c.con, STAT);
        ADD_FAILURE() << "no stop for " << k.last;
      } catch (const RunStop& e) {
        EXPECT_EQ(e.console(), "");
        EXPECT_NE(e.detail().find("par.inp"), std::string::npos) << e.detail();
        EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
      }
      EXPECT_EQ(c.out.str(),
                " ERROR: sum of marker allele frequencies is not 1\n Check of PAR.INP\n");
      EXPECT_EQ(c.con.pauses(), 1);
      EXPECT_EQ(st->GENOT.NTOT, 0);
      continue;
    }
    STAP0(*st, c.con, STAT);
    ASSERT_EQ(STAT, 1.0);
    const auto lines = c.lines();
    const bool warned = std::string(k.stap0) != "";
    ASSERT_EQ(lines.size(), warned ? 3u : 2u) << k.last;  // and " N0=", " N1="
    if (warned) {
      EXPECT_EQ(lines[0], k.stap0);
    }
    EXPECT_EQ(c.con.pauses(), warned ? 1 : 0);

    ConsoleCapture u("\n\n");
    STAPAR(*st, u.con, STAT);
    ASSERT_EQ(STAT, 1.0);
    EXPECT_EQ(u.con.pauses(), k.stapar_warns ? 1 : 0) << k.last;
    if (k.stapar_warns) {
      EXPECT_EQ(u.out.str(), std::string(k.stap0) + "\n");
    }
  }
}

TEST(Setup, UpdateKeepsTheClassificationAndRebuildsTheRest) {
  auto st = make_model_state();
  load_trio(*st);
  test::set_parameters(*st, params(0.1));
  ConsoleCapture c;
  double STAT = 0;
  STAP0(*st, c.con, STAT);
  const int igoff3 = st->GENOT.IGOFF(3);
  st->OPTPAR1.X(5) = 0.4;
  st->OPTPAR1.X(6) = 9.0;
  st->OPTPAR1.X(1) = 1.0;
  STAPAR(*st, c.con, STAT);
  EXPECT_EQ(STAT, 1.0);
  EXPECT_EQ(st->PRPAR.MAJGEN(genotype_of(2, 9)), 2);
  EXPECT_EQ(st->PRPAR.MRKGEN(genotype_of(2, 9)), 8);
  EXPECT_EQ(st->GENOT.IGOFF(3), igoff3);
  EXPECT_EQ(st->IMAX.SIGMA, 3.0);
  EXPECT_EQ(st->TRANC.HTRANS(genotype_of(1, 7), 6), 0.2);
  EXPECT_EQ(st->PRPAR.GFREQ(genotype_of(6, 6)), 0.0);
}

}  // namespace
}  // namespace mglink
