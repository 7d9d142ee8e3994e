// The family likelihood by peeling, and the total over families: known
// answers, the peeling cases one by one, and the unusable vectors.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <vector>

#include "likelihood/densities.hpp"
#include "likelihood/genmmp.hpp"
#include "likelihood/mmpfam.hpp"
#include "support/pedigree.hpp"

namespace mglink {
namespace {

using test::Family;
using test::Member;
using test::Nuclear;

test::ParameterVector params(double theta) {
  return {0.3, 0.0, 5.0, 9.0, theta, 4.0, 0.1, 0.2, 0.3, 0.15, 0.25};
}

struct Evaluator {
  std::ostringstream out;
  std::istringstream in;
  Console con{out, in};
  // Full set-up and evaluation at X.
  double first(ModelState& st, const std::vector<Family>& fams, const test::ParameterVector& x) {
    test::load_families(st, fams);
    test::set_parameters(st, x);
    st.IMAX.ISETUP = -1;
    double LH = 0;
    GENMMP(st, con, LH);
    return LH;
  }
  // Update evaluation at X.
  double next(ModelState& st, const test::ParameterVector& x) {
    test::set_parameters(st, x);
    st.IMAX.ISETUP = 1;
    double LH = 0;
    GENMMP(st, con, LH);
    return LH;
  }
};

Member m(double y = test::MISSING, int code = 0) { return {y, code}; }

// Three generations with a marker but no trait values, peeled in each of the
// connector cases.
std::vector<Family> marker_only_families() {
  Family a;  // trio, child typed
  a.members = {m(), m(-999, 2), m(-999, 7)};
  a.nuclear = {{{1, 2, 3}, 0}};
  Family b;  // lower family peeled onto parent 2, then the grandparents' root
  b.members = {m(), m(-999, 1), m(-999, 4), m(-999, 3), m(-999, 5), m(-999, 14)};
  b.nuclear = {{{5, 3, 6}, 3}, {{1, 2, 3, 4}, 0}};
  Family c;  // grandparents peeled onto their first child, then the root below
  c.members = {m(-999, 6), m(), m(-999, 7), m(-999, 9), m(-999, 10), m(-999, 7)};
  c.nuclear = {{{1, 2, 3, 4}, 3}, {{3, 5, 6}, 0}};
  return {a, b, c};
}

TEST(Peeling, UninformativeFamiliesHaveLikelihoodOne) {
  Family f;
  f.members.assign(7, m());
  f.nuclear = {{{6, 1, 2}, 1}, {{1, 7}, 1}, {{3, 4, 1, 5}, 0}};
  Family single;
  single.members = {m()};
  single.nuclear = {{{1}, 0}};
  auto st = make_model_state();
  Evaluator ev;
  EXPECT_NEAR(ev.first(*st, {f, single}, params(0.2)), 0.0, 1e-14);
  EXPECT_NEAR(ev.next(*st, params(0.0)), 0.0, 1e-14);
}

TEST(Peeling, WithoutTraitValuesTheLikelihoodDoesNotDependOnTheta) {
  auto st = make_model_state();
  Evaluator ev;
  const double at_half = ev.first(*st, marker_only_families(), params(0.5));
  EXPECT_LT(at_half, -5.0);
  EXPECT_GT(at_half, -100.0);
  for (double theta : {0.0, 0.1, 0.35}) {
    auto x = params(theta);
    x[0] = 0.8;  // nor on the major allele frequency or the means
    x[2] = -3.0;
    EXPECT_NEAR(ev.next(*st, x), at_half, 1e-12) << theta;
  }
}

TEST(Peeling, SingleIndividualIsTheSumOfItsWeights) {
  Family f;
  f.members = {m(6.0, 8)};
  f.nuclear = {{{1}, 0}};
  auto st = make_model_state();
  Evaluator ev;
  const double LH = ev.first(*st, {f}, params(0.2));
  MASSIX(*st, 1);
  double sum = 0;
  for (int s = 1; s <= st->GENOT.NGEN(1); ++s) sum += st->XX(s);
  EXPECT_NEAR(LH, std::log(sum), 1e-15);
}

TEST(Peeling, ChildlessCoupleMultipliesByTheSpousesTotal) {
  Family f;
  f.members = {m(3.0, 0), m(7.0, 12)};
  f.nuclear = {{{1, 2}, 1}};
  auto st = make_model_state();
  Evaluator ev;
  ev.first(*st, {f}, params(0.2));
  MASSIX(*st, 1);
  std::vector<double> before;
  for (int s = 1; s <= 55; ++s) before.push_back(st->XX(s));
  double spouse = 0;
  for (int s = 56; s <= st->GENOT.IGOFF(2); ++s) spouse = spouse + st->XX(s);
  const NuclearFamily nf{0, 0, 1, 2};
  fold_onto_parent(*st, nf, 1, 2);
  for (int s = 1; s <= 55; ++s) EXPECT_EQ(st->XX(s), spouse * before[s - 1]) << s;
}

TEST(Peeling, TwoRootsGiveTheSumOfTheParts) {
  const auto parts = marker_only_families();
  Family both;  // families b and c side by side in one family
  both.members = parts[1].members;
  both.members.insert(both.members.end(), parts[2].members.begin(), parts[2].members.end());
  both.nuclear = parts[1].nuclear;
  for (Nuclear n : parts[2].nuclear) {
    for (int& e : n.members) e += 6;
    if (n.connector) n.connector += 6;
    both.nuclear.push_back(n);
  }
  auto st = make_model_state();
  Evaluator ev;
  const double separate = ev.first(*st, {parts[1], parts[2]}, params(0.3));
  const double together = ev.first(*st, {both}, params(0.3));
  EXPECT_NEAR(together, separate, 1e-13);
}

TEST(Peeling, ConnectorWeightsAreOverwritten) {
  auto st = make_model_state();
  Evaluator ev;
  ev.first(*st, marker_only_families(), params(0.3));
  MASSIX(*st, 2);
  double once = 0, twice = 0;
  MMPFAM(*st, 2, once);
  MMPFAM(*st, 2, twice);
  EXPECT_NE(once, twice);
  MASSIX(*st, 2);
  MMPFAM(*st, 2, twice);
  EXPECT_EQ(once, twice);
}

TEST(Peeling, MembersInNoNuclearFamilyAddNothing) {
  auto fams = marker_only_families();
  auto st = make_model_state();
  Evaluator ev;
  const double without = ev.first(*st, fams, params(0.3));
  fams[1].members.push_back(m(4.0, 3));  // member 7, in no nuclear family
  EXPECT_EQ(ev.first(*st, fams, params(0.3)), without);
}

TEST(Total, IsThePlainSumOverFamiliesInOrder) {
  auto fams = marker_only_families();
  fams[0].members[0].trait = 2.5;
  fams[2].members[4].trait = 7.0;
  auto st = make_model_state();
  Evaluator ev;
  const double LH = ev.first(*st, fams, params(0.3));
  double sum = 0.0;
  for (int f = 1; f <= 3; ++f) {
    MASSIX(*st, f);
    double FLOGL = 0;
    MMPFAM(*st, f, FLOGL);
    sum = sum + FLOGL;
  }
  EXPECT_EQ(LH, sum);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::None) << st->rejection.family << " " << st->rejection.value;

  st->BUF1.NFAM = 0;
  EXPECT_EQ(ev.next(*st, params(0.3)), 0.0);
}

TEST(Total, UnusableVectors) {
  auto fams = marker_only_families();
  // A marker code that matches no genotype leaves the member without any.
  fams[1].members[5].marker = 16;
  fams[2].members[1].marker = 16;
  auto st = make_model_state();
  Evaluator ev;
  EXPECT_EQ(ev.first(*st, fams, params(0.3)), -1e18);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::Family);
  EXPECT_EQ(st->rejection.family, 2);
  EXPECT_EQ(st->rejection.value, -INFINITY);

  // A child whose markers its parents cannot give: likelihood zero.
  fams = marker_only_families();
  fams[2].members[5].marker = 3;  // 1/3 from parents 2/3 and 3/3
  EXPECT_EQ(ev.first(*st, fams, params(0.3)), -1e18);
  EXPECT_EQ(st->rejection.family, 3);
  EXPECT_EQ(st->rejection.value, -INFINITY);

  // A variance held below zero: every density is not a number.
  fams = marker_only_families();
  fams[0].members[2].trait = 1.0;
  auto x = params(0.3);
  x[5] = -1.0;
  EXPECT_EQ(ev.first(*st, fams, x), -1e18);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::Family);
  EXPECT_EQ(st->rejection.family, 1);
  EXPECT_TRUE(std::isnan(st->rejection.value));

  // The next usable vector clears the record.
  EXPECT_LT(ev.next(*st, params(0.3)), 0.0);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::None);

  // A bounds rejection evaluates no family: XX stays as it was.
  st->XX(1) = 123.0;
  test::set_parameters(*st, params(0.3));
  st->OPTPAR1.IFREE(5) = 1;
  st->OPTPAR1.XLOW(5) = 0.0;
  st->OPTPAR1.XUPP(5) = 0.3;
  st->IMAX.ISETUP = 1;
  double LH = 0;
  GENMMP(*st, ev.con, LH);
  EXPECT_EQ(LH, -1e18);
  EXPECT_EQ(st->rejection.kind, Rejection::Kind::Bounds);
  EXPECT_EQ(st->rejection.param, 5);
  EXPECT_EQ(st->XX(1), 123.0);
}

TEST(Total, ClosedStandardInputDoesNotStopTheWarnings) {
  auto st = make_model_state();
  Evaluator ev;  // empty input: every pause returns at once
  auto x = params(0.3);
  x[10] = 0.250009;  // marker frequencies sum to 1.000009: warns at every evaluation
  const double first = ev.first(*st, marker_only_families(), x);
  const double next = ev.next(*st, x);
  EXPECT_LT(first, 0.0);
  EXPECT_EQ(next, first);
  EXPECT_EQ(ev.con.pauses(), 2);
}

}  // namespace
}  // namespace mglink
