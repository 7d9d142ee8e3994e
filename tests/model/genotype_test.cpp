// The genotype enumeration: marker filter, elimination sweeps, progress
// lines, slot lists and the capacity limits.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "model/genetics.hpp"
#include "model/genotype.hpp"
#include "model/setup.hpp"
#include "support/pedigree.hpp"

namespace mglink {
namespace {

const test::ParameterVector kParams = {0.3, 10.0, 12.0, 14.0, 0.3, 4.0, 0.2, 0.2, 0.2, 0.2, 0.2};

// Runs the full set-up (which ends with the enumeration) on `families`;
// returns the console output.
std::string enumerate(ModelState& st, const std::vector<test::Family>& families,
                      double theta = 0.3) {
  test::load_families(st, families);
  auto x = kParams;
  x[4] = theta;
  test::set_parameters(st, x);
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  double STAT = 0;
  STAP0(st, con, STAT);
  EXPECT_EQ(STAT, 1.0);
  return out.str();
}

test::Member typed(int code) { return {test::MISSING, code}; }

TEST(Genotype, TrioWithAHomozygousChild) {
  auto st = make_model_state();
  test::Family f;
  f.members = {typed(0), typed(0), typed(1)};
  f.nuclear = {{{1, 2, 3}, 0}};
  for (double theta : {0.0, 0.3, 0.5}) {
    const std::string out = enumerate(*st, {f}, theta);
    EXPECT_EQ(out, " N0=         113\n N1=          41\n N1=          41\n");
    const auto& G = st->GENOT;
    EXPECT_EQ(G.NTOT, 3);
    EXPECT_EQ(G.IGOFF(0), 0);
    EXPECT_EQ(G.IGOFF(1), 19);
    EXPECT_EQ(G.IGOFF(2), 38);
    EXPECT_EQ(G.IGOFF(3), 41);
    EXPECT_EQ(G.NGEN(1), 19);
    EXPECT_EQ(G.NGEN(2), 19);
    EXPECT_EQ(G.NGEN(3), 3);
    EXPECT_EQ(G.LGEN(39), 1);
    EXPECT_EQ(G.LGEN(40), 6);
    EXPECT_EQ(G.LGEN(41), 41);
    // Each parent keeps the genotypes with marker allele 1 on a haplotype,
    // in increasing order.
    for (int s = 1; s <= 19; ++s) {
      const int g = G.LGEN(s);
      EXPECT_EQ(G.LGEN(19 + s), g);
      if (s > 1) {
        EXPECT_GT(g, G.LGEN(s - 1));
      }
      const int m = st->PRPAR.MRKGEN(g);
      EXPECT_TRUE(m >= 1 && m <= 5) << g;
    }
  }
}

// Grandparents 1 (untyped) and 2 (marker 5/5) of 3 (untyped); 3 and spouse 4
// (marker 1/1) have child 5 (marker 1/1).  Parent 1 must carry marker 1; that
// follows from 3's exclusions, made while handling 3's own nuclear family.
TEST(Genotype, ExclusionsReachEarlierNuclearFamiliesInTheNextSweep) {
  struct Case {
    bool lower_first;
    const char* lines;
  };
  const Case cases[] = {
      {false, " N0=         119\n N1=          83\n N1=          47\n N1=          47\n"},
      {true, " N0=         119\n N1=          47\n N1=          47\n"},
  };
  for (const auto& k : cases) {
    test::Family f;
    f.members = {typed(0), typed(15), typed(0), typed(1), typed(1)};
    test::Nuclear upper{{1, 2, 3}, 0}, lower{{3, 4, 5}, 3};
    upper.connector = 3;
    lower.connector = 0;
    f.nuclear = k.lower_first ? std::vector<test::Nuclear>{lower, upper}
                              : std::vector<test::Nuclear>{upper, lower};
    auto st = make_model_state();
    EXPECT_EQ(enumerate(*st, {f}), k.lines);
    EXPECT_EQ(st->GENOT.NGEN(1), 19);
    EXPECT_EQ(st->GENOT.NGEN(2), 3);
    EXPECT_EQ(st->GENOT.NGEN(3), 19);  // a child is pruned only as a parent
  }
}

TEST(Genotype, MembersOutsideMatingsKeepTheirMarkerGenotypes) {
  // A single entry, a childless couple and a member in no nuclear family;
  // code 16 matches no genotype.
  test::Family f;
  f.members = {typed(7), typed(0), typed(13), typed(2), typed(16)};
  f.nuclear = {{{1}, 0}, {{2, 3}, 0}};
  auto st = make_model_state();
  EXPECT_EQ(enumerate(*st, {f}), " N0=          66\n N1=          66\n");
  const int expected[] = {4, 55, 3, 4, 0};
  for (int k = 1; k <= 5; ++k) EXPECT_EQ(st->GENOT.NGEN(k), expected[k - 1]) << k;
  EXPECT_EQ(st->GENOT.IGOFF(5), 66);
  EXPECT_EQ(st->GENOT.IGOFF(4), 66);
  for (int s = 1; s <= 4; ++s) EXPECT_EQ(st->PRPAR.MRKGEN(st->GENOT.LGEN(s)), 7);
}

// A family of individuals in no nuclear family with exactly `pairs` possible
// (individual, genotype) pairs: untyped ones count 55, heterozygous 4,
// homozygous 3.
test::Family loose_individuals(long pairs) {
  long untyped = (pairs - 60) / 55;
  long rest = pairs - 55 * untyped;
  long het = rest / 4;
  while ((rest - 4 * het) % 3 != 0) --het;
  const long hom = (rest - 4 * het) / 3;
  test::Family f;
  f.members.assign(static_cast<std::size_t>(untyped), typed(0));
  f.members.insert(f.members.end(), static_cast<std::size_t>(het), typed(2));
  f.members.insert(f.members.end(), static_cast<std::size_t>(hom), typed(1));
  return f;
}

TEST(Genotype, SlotCapacity) {
  auto st = make_model_state();
  const std::string n = std::to_string(N_WAY);
  const std::string full = enumerate(*st, {loose_individuals(N_WAY)});
  EXPECT_EQ(st->GENOT.IGOFF(st->GENOT.NTOT), N_WAY);
  EXPECT_EQ(full.find(">"), std::string::npos);

  auto st2 = make_model_state();
  st2->GENOT.NTOT = -7;  // untouched on failure
  test::load_families(*st2, {loose_individuals(N_WAY + 1)});
  test::set_parameters(*st2, kParams);
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  double STAT = 0;
  try {
    STAP0(*st2, con, STAT);
    ADD_FAILURE() << "no stop";
  } catch (const RunStop& e) {
    EXPECT_EQ(e.console(), "");
    EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
    EXPECT_NE(e.detail().find(std::to_string(N_WAY + 1)), std::string::npos) << e.detail();
  }
  EXPECT_EQ(con.pauses(), 1);
  const std::string text = out.str();
  const std::string last = " Number of possible genotypes > N_WAY\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(text.substr(text.size() - last.size()), last);
  EXPECT_EQ(st2->GENOT.NTOT, -7);
}

TEST(Genotype, MoreIndividualsThanTheSlotOffsetsHoldStop) {
  auto st = make_model_state();
  test::Family f;
  f.members.assign(static_cast<std::size_t>(N_IGOFF + 1), typed(1));
  test::load_families(*st, {f});
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  EXPECT_THROW(GENOTYPE(*st, con), RunStop);
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace mglink
