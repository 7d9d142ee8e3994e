// Start values of a prepared study: marker allele frequencies that keep
// every observed allele possible and sum to 1, and trait start values inside
// their bounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "prep/prep.hpp"

namespace mglink::prep {
namespace {

StartValues start_of(const std::string& table) {
  std::istringstream in(table);
  Prepared pr = prepare(in, TableOptions{});
  EXPECT_TRUE(pr.problems.empty());
  return pr.start;
}

// The five frequencies summed as mglink sums them, from the written text.
double written_sum(const StartValues& sv) {
  double s = 0.0;
  for (const auto& t : sv.marker_text) s = s + std::strtod(t.c_str(), nullptr);
  return s;
}

TEST(PrepStartValues, MarkerFrequencies) {
  struct Case {
    const char* name;
    const char* table;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"founders counted; an allele seen only in a child gets half a count; an absent one 0",
       "1 f 0 0 1 1 1 2\n1 m 0 0 2 1 2 3\n1 u 0 0 2 1 0 0\n1 c f m 1 1 2 2\n1 d f u 1 1 1 4\n",
       {"0.2222222222", "0.4444444445", "0.2222222222", "0.1111111111", "0.0000000000"}},
      {"no founder typed: all typed individuals",
       "1 f 0 0 1 1 0 0\n1 m 0 0 2 1 0 0\n1 c f m 1 1 5 5\n1 d f m 1 1 1 5\n",
       {"0.2500000000", "0.0000000000", "0.0000000000", "0.0000000000", "0.7500000000"}},
      {"nobody typed: equal frequencies", "1 a 0 0 1 1 0 0\n2 b 0 0 1 1 0 0\n",
       {"0.2000000000", "0.2000000000", "0.2000000000", "0.2000000000", "0.2000000000"}},
      {"thirds round, the largest takes the difference",
       "1 a 0 0 1 1 1 2\n1 b 0 0 1 1 3 3\n1 c 0 0 1 1 1 2\n",
       {"0.3333333334", "0.3333333333", "0.3333333333", "0.0000000000", "0.0000000000"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    StartValues sv = start_of(c.table);
    EXPECT_EQ(std::vector<std::string>(sv.marker_text.begin(), sv.marker_text.end()), c.expected);
    EXPECT_NEAR(written_sum(sv), 1.0, 1e-15);
  }
}

// Where the marker allele frequencies come from, and the warnings that say
// when the founders are a weak basis.
TEST(PrepStartValues, FrequencySources) {
  // Founders f, m (alleles 1 2, 2 2); children typed with alleles 1, 3, 3.
  const char* table = "1 f 0 0 1 1 1 2\n1 m 0 0 2 1 2 2\n1 c f m 1 1 1 2\n1 d f m 2 1 2 2\n"
                      "2 g 0 0 1 1 0 0\n2 h 0 0 2 1 0 0\n2 e g h 1 1 3 3\n";
  const std::string way_out =
      "; --frequencies typed counts the alleles of every typed individual, --frequencies "
      "F1,F2,F3,F4,F5 gives the five frequencies";
  struct Case {
    const char* name;
    FrequencyOptions freq;
    std::vector<std::string> expected;
    std::string basis;
    std::vector<std::string> warnings;
  };
  const std::vector<Case> cases = {
      {"founders: 4 alleles, allele 3 only in a child",
       {},
       {"0.2222222222", "0.6666666667", "0.1111111111", "0.0000000000", "0.0000000000"},
       "the 4 typed alleles of founders",
       {"the marker allele frequencies rest on only 4 typed alleles of founders" + way_out,
        "marker allele 3 is typed in non-founders but in no founder and gets half a count" +
            way_out}},
      {"every typed individual",
       {FrequencySource::typed, {}},
       {"0.2000000000", "0.6000000000", "0.2000000000", "0.0000000000", "0.0000000000"},
       "the 10 typed alleles of all individuals (--frequencies typed)",
       {}},
      {"given",
       {FrequencySource::given, {0.1, 0.2, 0.3, 0.4, 0.0}},
       {"0.1000000000", "0.2000000000", "0.3000000000", "0.4000000000", "0.0000000000"},
       "--frequencies (given)",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::istringstream in(table);
    PrepOptions opt;
    opt.frequencies = c.freq;
    const Prepared pr = prepare(in, opt);
    ASSERT_TRUE(pr.problems.empty());
    const StartValues& sv = pr.start;
    EXPECT_EQ(std::vector<std::string>(sv.marker_text.begin(), sv.marker_text.end()), c.expected);
    EXPECT_EQ(sv.marker_basis, c.basis);
    EXPECT_EQ(sv.marker_warnings, c.warnings);
  }
  // Twenty founder alleles or more, all alleles among them: no warning.
  std::string many;
  for (int f = 1; f <= 10; ++f)
    many += std::to_string(f) + " a 0 0 1 1 1 2\n";
  std::istringstream in(many);
  EXPECT_TRUE(prepare(in, TableOptions{}).start.marker_warnings.empty());
}

TEST(PrepStartValues, ParInpFromTheTraitDistribution) {
  // Observed traits 1, 2, 3, 6: mean 3, sample variance 14/3.
  StartValues sv = start_of(
      "1 a 0 0 1 1 1 1\n1 b 0 0 2 2 1 2\n1 c a b 1 3 0 0\n1 d a b 1 6 0 0\n1 e a b 2 -999 0 0\n");
  EXPECT_EQ(sv.trait_count, 4);
  EXPECT_EQ(sv.trait_mean, 3.0);
  EXPECT_DOUBLE_EQ(sv.trait_variance, 14.0 / 3.0);
  EXPECT_EQ(par_text(sv, "title"),
            "title\n"
            "1 1 0.5 0.05 0 1   frequency of major allele 1\n"
            "2 1 0.8397531005 0.2160246899 -18.60246899 24.60246899   trait mean, genotype 11\n"
            "3 1 3 0.2160246899 -18.60246899 24.60246899   trait mean, genotype 12\n"
            "4 1 5.160246899 0.2160246899 -18.60246899 24.60246899   trait mean, genotype 22\n"
            "5 1 0.2 0.05 0 0.5   theta\n"
            "6 1 2.333333333 0.4666666667 0 46.66666667   trait variance within a genotype\n"
            "0.7500000000   frequency of marker allele 1\n"
            "0.2500000000   frequency of marker allele 2\n"
            "0.0000000000   frequency of marker allele 3\n"
            "0.0000000000   frequency of marker allele 4\n"
            "0.0000000000   frequency of marker allele 5\n");
}

TEST(PrepStartValues, StartValuesStayStrictlyInsideTheirBounds) {
  // A trait far from 0 with a tiny spread: ten digits would merge the start
  // values with their bounds, so every digit is written.
  StartValues sv = start_of("1 a 0 0 1 123456789.000001 0 0\n1 b 0 0 2 123456789.000002 0 0\n");
  std::istringstream lines(par_text(sv, "t"));
  std::string line;
  std::getline(lines, line);
  for (int i = 1; i <= 6; ++i) {
    ASSERT_TRUE(std::getline(lines, line));
    std::istringstream f(line);
    int link = 0, flag = 0;
    double x = 0, step = 0, lo = 0, hi = 0;
    f >> link >> flag >> x >> step >> lo >> hi;
    SCOPED_TRACE(line);
    EXPECT_EQ(link, i);
    EXPECT_EQ(flag, 1);
    EXPECT_LT(lo, x);
    EXPECT_LT(x, hi);
    EXPECT_NE(step, 0.0);
  }
  // No trait observed, or no spread: variance 1, with a warning.
  sv = start_of("1 a 0 0 1 x 0 0\n");
  EXPECT_EQ(sv.trait_variance, 1.0);
  EXPECT_EQ(sv.warnings, std::vector<std::string>{"no trait value is observed; start means 0 and variance 1"});
  for (const char* table : {"1 a 0 0 1 5 0 0\n1 b 0 0 1 5 0 0\n", "1 a 0 0 1 5 0 0\n"}) {
    sv = start_of(table);
    EXPECT_EQ(sv.trait_mean, 5.0);
    EXPECT_EQ(sv.trait_variance, 1.0);
    EXPECT_EQ(sv.warnings,
              std::vector<std::string>{"the observed trait values do not vary; start variance 1"});
  }
}

}  // namespace
}  // namespace mglink::prep
