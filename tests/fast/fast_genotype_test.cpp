// The genotype enumeration shared out in parts of families against the
// literal one: the same possibility flags, counts, slot lists, console lines,
// pauses and stops, whatever the threads and the order of the parts.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "fast/family_pool.hpp"
#include "fast/fast_genotype.hpp"
#include "model/genotype.hpp"
#include "model/setup.hpp"
#include "model/transmission.hpp"
#include "support/pedigree.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

// What one enumeration left.
struct Outcome {
  std::unique_ptr<ModelState> st = make_model_state();
  std::string console;
  long pauses = 0;
  bool stopped = false;
  std::string stop_detail;
  int stop_status = 0;
};

// The full set-up (ending with the enumeration) on `families`, by the
// literal GENOTYPE (parts null) or by GENOTYPE_parts.
Outcome run(const std::vector<test::Family>& families, const test::ParameterVector& x,
            const ForEachPart* parts, bool literal) {
  Outcome o;
  o.st->GENOT.NTOT = -7;  // untouched when the run stops
  test::load_families(*o.st, families);
  test::set_parameters(*o.st, x);
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  double STAT = 0.0;
  try {
    if (literal) {
      STAP0(*o.st, con, STAT);
    } else {
      STAP0(*o.st, con, STAT, SetupSteps{build_CTRANS, [parts](ModelState& s, Console& c) { GENOTYPE_parts(s, c, parts); }});
    }
  } catch (const RunStop& e) {
    o.stopped = true;
    o.stop_detail = e.detail();
    o.stop_status = e.status();
  }
  o.console = out.str();
  o.pauses = con.pauses();
  return o;
}

void expect_same(const Outcome& lit, const Outcome& got, const std::string& label) {
  SCOPED_TRACE(label);
  EXPECT_EQ(lit.console, got.console);
  EXPECT_EQ(lit.pauses, got.pauses);
  EXPECT_EQ(lit.stopped, got.stopped);
  EXPECT_EQ(lit.stop_detail, got.stop_detail);
  EXPECT_EQ(lit.stop_status, got.stop_status);
  const ModelState& a = *lit.st;
  const ModelState& b = *got.st;
  EXPECT_EQ(a.work.N0, b.work.N0);
  EXPECT_EQ(a.work.N1, b.work.N1);
  ASSERT_EQ(a.GENOT.NTOT, b.GENOT.NTOT);
  const int32 ntot = a.BUF1.FAMOFF(a.BUF1.NFAM + 1);
  if (ntot >= 1 && ntot <= N_SIZE) {
    EXPECT_EQ(0, std::memcmp(a.work.IPOSS.data(), b.work.IPOSS.data(), sizeof(int32) * 55 * ntot));
  }
  if (a.GENOT.NTOT < 1) return;  // no lists written
  const int32 n = a.GENOT.NTOT;
  for (int32 k = 0; k <= n; ++k) ASSERT_EQ(a.GENOT.IGOFF(k), b.GENOT.IGOFF(k)) << "IGOFF(" << k << ")";
  for (int32 k = 1; k <= n; ++k) ASSERT_EQ(a.GENOT.NGEN(k), b.GENOT.NGEN(k)) << "NGEN(" << k << ")";
  EXPECT_EQ(0, std::memcmp(a.GENOT.LGEN.data(), b.GENOT.LGEN.data(), sizeof(int32) * a.GENOT.IGOFF(n)));
}

// The ways of running the parts: a pool of 2 and of 3 threads, and the parts
// one by one from the last to the first.
struct Runners {
  FamilyPool two{2}, three{3};
  std::vector<std::pair<std::string, ForEachPart>> list;
  Runners() {
    for (FamilyPool* pool : {&two, &three}) {
      list.emplace_back("pool of " + std::to_string(pool->threads()) + " threads",
                        [pool](int count, const std::function<void(int)>& body) {
                          auto task = [&body](int, int item) { body(item); };
                          pool->run(count, task);
                        });
    }
    list.emplace_back("parts in reverse", [](int count, const std::function<void(int)>& body) {
      for (int i = count - 1; i >= 0; --i) body(i);
    });
  }
};

void compare_all(Runners& runners, const std::vector<test::Family>& families, const test::ParameterVector& x,
                 const std::string& label) {
  const Outcome lit = run(families, x, nullptr, true);
  for (const auto& [name, runner] : runners.list) expect_same(lit, run(families, x, &runner, false), label + ", " + name);
  expect_same(lit, run(families, x, nullptr, false), label + ", on the calling thread");
}

test::Member typed(int code) { return {test::MISSING, code}; }

// Many random families of every shape (several parts of families each),
// with wrong marker codes that make the sweeps exclude genotypes, and
// theta 0, between, and 0.5.
TEST(FastGenotype, SameAsTheLiteralEnumerationOnRandomStudies) {
  Runners runners;
  test::Random rng(2026);
  for (const double theta : {0.0, 0.2, 0.5}) {
    for (const double wrong : {0.0, 0.3}) {
      test::HidingRates rates;
      rates.wrong_marker = wrong;
      rates.untyped = 0.5;
      const test::ParameterVector x = test::random_parameters(rng, theta);
      std::vector<test::Family> fams;
      for (int i = 0; i < 61; ++i) fams.push_back(test::random_family(rng, test::kAllShapes[rng.below(10)], x, rates));
      compare_all(runners, fams, x, "theta " + std::to_string(theta) + ", wrong markers " + std::to_string(wrong));
      if (HasFailure()) return;
    }
  }
}

// Exclusions that reach an earlier nuclear family only in the next sweep,
// in families spread over several parts: three sweeps, the counts of every
// part formed afresh after each.
TEST(FastGenotype, SweepsUntilNothingChangesAcrossParts) {
  Runners runners;
  test::Family f;
  f.members = {typed(0), typed(15), typed(0), typed(1), typed(1)};
  test::Nuclear upper{{1, 2, 3}, 3}, lower{{3, 4, 5}, 0};
  f.nuclear = {upper, lower};
  test::Family plain;
  plain.members = {typed(0), typed(0), typed(3)};
  plain.nuclear = {{{1, 2, 3}, 0}};
  std::vector<test::Family> fams;
  for (int i = 0; i < 30; ++i) fams.push_back(i % 3 == 2 ? f : plain);
  const test::ParameterVector x = {0.3, 10.0, 12.0, 14.0, 0.3, 4.0, 0.2, 0.2, 0.2, 0.2, 0.2};
  const Outcome lit = run(fams, x, nullptr, true);
  // Three lines of N1: the sweeps did go on.
  std::size_t lines = 0;
  for (std::size_t at = lit.console.find("N1="); at != std::string::npos; at = lit.console.find("N1=", at + 1)) ++lines;
  EXPECT_EQ(3u, lines) << lit.console;
  compare_all(runners, fams, x, "connected families");
}

// The stops: more possible pairs than the lists hold (after the sweeps:
// message, pause, stop, lists untouched), and more individuals than the slot
// offsets hold (at once).
TEST(FastGenotype, StopsAsTheLiteralEnumeration) {
  Runners runners;
  const test::ParameterVector x = {0.3, 10.0, 12.0, 14.0, 0.3, 4.0, 0.2, 0.2, 0.2, 0.2, 0.2};
  // N_WAY + 1 pairs over many families of loose individuals: untyped ones
  // count 55, heterozygous ones 4, homozygous ones 3.
  std::vector<test::Family> over;
  long pairs = 0;
  while (pairs + 55 * 20 <= N_WAY + 1 - 60) {
    test::Family f;
    f.members.assign(20, typed(0));
    over.push_back(f);
    pairs += 55 * 20;
  }
  test::Family rest;
  long left = N_WAY + 1 - pairs;
  while (left % 4 != 0) {
    rest.members.push_back(typed(1));
    left -= 3;
  }
  rest.members.insert(rest.members.end(), static_cast<std::size_t>(left / 4), typed(2));
  over.push_back(rest);
  compare_all(runners, over, x, "one pair more than the lists hold");

  test::Family crowd;
  crowd.members.assign(static_cast<std::size_t>(N_IGOFF + 1), typed(1));
  compare_all(runners, {crowd}, x, "more individuals than the offsets hold");
}

}  // namespace
}  // namespace mglink
