// Families given as pedigree graphs, loops and all, summed out by variable
// elimination: against a brute-force sum over every joint genotype, with and
// without the allele recoding; the greedy elimination order against random
// ones; loop-free families against their peeling plans; the cost limit that
// leaves families out; and the checks that reject a graph nobody could
// have.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "kallele/from_state.hpp"
#include "pedigree_likelihood/evaluator.hpp"
#include "support/graph_study.hpp"
#include "support/kallele_study.hpp"
#include "support/pedigree.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

using pedlik::Evaluator;
using pedlik::EvaluatorOptions;
using test::Random;

#ifdef MGLINK_CHECKED
constexpr int kReps = 1;                 // the sanitizer build is far slower
constexpr long kBruteForceSize = 4000;
#else
constexpr int kReps = 3;
constexpr long kBruteForceSize = 20000;
#endif

pedlik::Parameters first_six(const test::ParameterVector& x) {
  return {x[0], x[1], x[2], x[3], x[4], x[5]};
}

// Theta of kind 0, 1, 2: no recombination, free recombination, in between.
double theta_of_kind(Random& rng, int kind) {
  return kind == 0 ? 0.0 : kind == 1 ? 0.5 : rng.uniform(0.01, 0.49);
}

std::string describe(const pedlik::Family& fam) {
  std::string s = "parents:";
  for (const auto& p : fam.parents) s += " " + std::to_string(p[0]) + "," + std::to_string(p[1]);
  return s;
}

// The value against the brute force's likelihood: a difference of logs is
// the relative difference of the likelihoods.
void expect_matches(double value, double bf, const char* what) {
  if (bf == 0.0) {
    EXPECT_EQ(value, -INFINITY) << what;
  } else {
    EXPECT_NEAR(value, std::log(bf), 1e-12) << what;
  }
}

// Each shape (the loop-free one too) with markers of 2 to 6 alleles, theta
// 0, 0.5 and in between, members untyped and without trait values at
// random.  Each pedigree holds the shape and a second random one, so that
// the second family's individuals start further on; every evaluator is
// used at two parameter vectors.
TEST(GraphElimination, AgreesWithBruteForceOnEveryShape) {
  Random rng(401);
  const auto& shapes = test::graph_shapes();
  test::GraphHiding hiding;
  hiding.max_assignments = kBruteForceSize;
  int compared = 0, zero = 0;
  for (int rep = 0; rep < kReps; ++rep)
    for (const test::GraphShape& shape : shapes)
      for (int K = 2; K <= 6; ++K)
        for (int kind = 0; kind < 3; ++kind) {
          const test::GraphShape& other = shapes[static_cast<std::size_t>(rng.below(static_cast<int>(shapes.size())))];
          pedlik::Pedigree ped;
          ped.families = {test::graph_family(rng, shape), test::graph_family(rng, other)};
          const pedlik::Marker marker = test::drop_graph_marker(rng, ped, K, hiding);
          Evaluator recoded(ped, marker, EvaluatorOptions{true});
          Evaluator plain(ped, marker, EvaluatorOptions{false});
          // Every couple that can be summed out together is, by each of
          // the three ways of making its children's table.
          std::vector<Evaluator> couples;
          for (int way = 0; way < 3; ++way)
            couples.emplace_back(ped, marker, EvaluatorOptions{true, INFINITY, 0, way});
          for (int trial = 0; trial < 2; ++trial) {
            const double theta = trial == 0 ? theta_of_kind(rng, kind) : rng.uniform(0.0, 0.5);
            const auto x = first_six(test::random_parameters(rng, theta));
            for (std::size_t f = 0; f < ped.families.size(); ++f) {
              SCOPED_TRACE(std::string(f == 0 ? shape.name : other.name) + ", K = " +
                           std::to_string(K) + ", theta = " + std::to_string(theta) +
                           ", family " + std::to_string(f + 1) + " " +
                           describe(ped.families[f]));
              const double bf = test::graph_brute_force(ped, marker, f, x);
              ASSERT_FALSE(recoded.left_out(f));
              expect_matches(recoded.family_log_likelihood(f, x), bf, "recoded");
              expect_matches(plain.family_log_likelihood(f, x), bf, "one class per allele");
              for (int way = 0; way < 3; ++way)
                expect_matches(couples[static_cast<std::size_t>(way)].family_log_likelihood(f, x), bf,
                               ("couples summed out together, way " + std::to_string(way)).c_str());
              if (bf == 0.0) {
                ++zero;
              } else {
                ++compared;
              }
            }
          }
        }
  EXPECT_GT(compared, static_cast<int>(shapes.size()) * 5 * 3 * kReps * 3);
  EXPECT_GT(zero, 0);  // some typing errors made families impossible
  RecordProperty("families_compared", compared);
}

// The value does not depend on the order in which members are summed out.
// A random order can build far larger tables than the greedy one; those
// beyond the cost limit are left out and not compared.
TEST(GraphElimination, RandomOrdersGiveTheGreedyOrdersValue) {
  Random rng(402);
  const auto& shapes = test::graph_shapes();
  test::GraphHiding hiding;
  hiding.untyped = 0.7;
  hiding.max_assignments = 1000000000;  // no brute force here: few members typed
  const double limit = 2e6;
  int compared = 0, other_cost = 0, skipped = 0;
  for (int rep = 0; rep < kReps; ++rep)
    for (const test::GraphShape& shape : shapes)
      for (int K = 2; K <= 6; ++K) {
        pedlik::Pedigree ped;
        ped.families = {test::graph_family(rng, shape)};
        const pedlik::Marker marker = test::drop_graph_marker(rng, ped, K, hiding);
        const auto x = first_six(test::random_parameters(rng, theta_of_kind(rng, rng.below(3))));
        SCOPED_TRACE(std::string(shape.name) + ", K = " + std::to_string(K) + ", " +
                     describe(ped.families[0]));
        Evaluator greedy(ped, marker);
        const double g = greedy.family_log_likelihood(0, x);
        for (std::uint64_t seed : {1, 2}) {
          Evaluator random(ped, marker, EvaluatorOptions{true, limit, seed});
          if (random.left_out(0)) {
            EXPECT_EQ(random.family_log_likelihood(0, x), 0.0);
            ++skipped;
            continue;
          }
          if (random.family_cost(0) != greedy.family_cost(0)) ++other_cost;
          const double r = random.family_log_likelihood(0, x);
          if (g == -INFINITY) {
            EXPECT_EQ(r, -INFINITY) << "seed " << seed;
          } else {
            EXPECT_NEAR(r, g, 1e-12) << "seed " << seed;
          }
          ++compared;
        }
      }
  const int runs = kReps * static_cast<int>(shapes.size()) * 5 * 2;
  EXPECT_GT(compared, runs / 2);
  EXPECT_GT(other_cost, runs / 4);  // the random orders really were other orders
  RecordProperty("orders_compared", compared);
  RecordProperty("orders_beyond_limit", skipped);
}

// Random loop-free families of every shape the peeling plans allow, as
// mglink loads them, given once with their plan and once as a graph (the
// plan's parents, no plan): the same value.  Members in no nuclear family
// count in the graph form only, so now and then one is added to a family
// and its own likelihood (a founder without children) accounted for.  A
// pedigree that mixes the two forms gives the plan's total.
TEST(GraphElimination, LoopFreeGraphsEqualTheirPeelingPlans) {
  Random rng(403);
  auto st = make_model_state();
  constexpr int kShapes = static_cast<int>(std::size(test::kAllShapes));
  int shape_index = 0, compared = 0, lone_added = 0;
  for (int round = 0; round < kReps * 40; ++round) {
    const int K = 2 + round % 7;
    const double theta = theta_of_kind(rng, round % 3);
    const auto truth = test::random_parameters(rng, theta);
    std::vector<test::Family> fams;
    std::string names;
    for (int i = 0; i < 3; ++i) {
      const test::Shape s = test::kAllShapes[shape_index++ % kShapes];
      fams.push_back(test::random_family(rng, s, truth));
      names += std::string(test::shape_name(s)) + "; ";
    }
    SCOPED_TRACE("round " + std::to_string(round) + ", K = " + std::to_string(K) + ": " + names);
    test::load_families(*st, fams);
    pedlik::Pedigree plan = kallele::pedigree_from_state(*st);
    pedlik::Marker marker = test::random_marker(rng, fams, K, 0.4, 20000);

    const auto x = first_six(test::random_parameters(rng, theta));

    // Now and then a member in no nuclear family, appended to family 1: in
    // the graph form a founder without children, of likelihood `lone_log`.
    double lone_log = 0.0;
    if (rng.chance(0.3)) {
      const long at = plan.first(0) + plan.families[0].size;
      const double y = rng.chance(0.2) ? -999.0 : rng.normal();
      std::array<int, 2> a = {0, 0};
      if (rng.chance(0.7)) {
        a = {1 + rng.below(K), 1 + rng.below(K)};
        if (a[0] > a[1]) std::swap(a[0], a[1]);
      }
      ++plan.families[0].size;
      plan.trait.insert(plan.trait.begin() + at, y);
      marker.alleles.insert(marker.alleles.begin() + at, a);
      pedlik::Pedigree one;
      one.families = {pedlik::Family{1, {}, std::vector<std::array<int, 2>>{{0, 0}}}};
      one.trait = {y};
      pedlik::Marker mk = marker;
      mk.alleles = {a};
      lone_log = std::log(test::graph_brute_force(one, mk, 0, x));
      ++lone_added;
    }

    pedlik::Pedigree graph = plan, mixed = plan;
    for (std::size_t f = 0; f < plan.families.size(); ++f) {
      graph.families[f] = test::as_graph(plan.families[f]);
      if (f % 2 == 1) mixed.families[f] = graph.families[f];
    }
    Evaluator by_plan(plan, marker), by_graph(graph, marker), by_both(mixed, marker);
    for (std::size_t f = 0; f < plan.families.size(); ++f) {
      const double p = by_plan.family_log_likelihood(f, x);
      const double g = by_graph.family_log_likelihood(f, x);
      const double extra = f == 0 ? lone_log : 0.0;
      EXPECT_EQ(by_plan.family_cost(f), 0.0);
      if (p == -INFINITY) {
        EXPECT_EQ(g, -INFINITY) << "family " << f + 1;
      } else {
        EXPECT_GT(by_graph.family_cost(f), 0.0);
        EXPECT_NEAR(g, p + extra, 1e-12) << "family " << f + 1;
        ++compared;
      }
      EXPECT_EQ(by_both.family_log_likelihood(f, x), f % 2 == 1 ? g : p) << "family " << f + 1;
    }
    const Evaluator::Total both = by_both.log_likelihood(x), alone = by_plan.log_likelihood(x);
    EXPECT_EQ(both.bad_family, alone.bad_family);
    if (alone.bad_family == 0) {
      EXPECT_NEAR(both.lh, alone.lh, 1e-12 * std::max(1.0, std::fabs(alone.lh)));
    }
  }
  EXPECT_GT(compared, kReps * 40 * 2);
  EXPECT_GT(lone_added, 0);
}

// A family whose elimination costs more than the limit is left out: value
// 0, left_out() set, the total without it; the others keep their values.
// Families with a plan cost nothing and always stay.
TEST(GraphElimination, CostLimitLeavesOutTheCostlyFamiliesOnly) {
  Random rng(404);
  const auto& shapes = test::graph_shapes();
  pedlik::Pedigree ped;
  for (const test::GraphShape& shape : shapes) ped.families.push_back(test::graph_family(rng, shape));
  // A three-generation family with a peeling plan in the middle.
  ped.families.insert(ped.families.begin() + 2,
                      pedlik::Family{6, {{{3, 4, 5, 6}, 3}, {{1, 2, 3}, 0}}, {}});
  test::GraphHiding hiding;
  hiding.wrong = 0.0;
  hiding.untyped = 0.6;
  hiding.max_assignments = 1000000;
  const pedlik::Marker marker = test::drop_graph_marker(rng, ped, 4, hiding);
  const auto x = first_six(test::random_parameters(rng, 0.17));
  const std::size_t n = ped.families.size();

  Evaluator all(ped, marker);
  std::vector<double> cost, value;
  for (std::size_t f = 0; f < n; ++f) {
    cost.push_back(all.family_cost(f));
    value.push_back(all.family_log_likelihood(f, x));
    ASSERT_TRUE(std::isfinite(value.back())) << "family " << f + 1;
    EXPECT_FALSE(all.left_out(f));
    EXPECT_EQ(cost.back() == 0.0, f == 2) << "family " << f + 1;
  }
  std::vector<double> sorted = cost;
  std::sort(sorted.begin(), sorted.end());
  ASSERT_LT(sorted[n / 2], sorted[n - 1]);  // some family costs more than the median

  // The median itself is kept (left out is only what costs more); 0 leaves
  // out every graph family.
  for (double limit : {sorted[n / 2], 0.0}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    Evaluator capped(ped, marker, EvaluatorOptions{true, limit, 0});
    double total = 0.0;
    int left = 0;
    for (std::size_t f = 0; f < n; ++f) {
      const bool out = cost[f] > limit;
      EXPECT_EQ(capped.left_out(f), out) << "family " << f + 1 << ", cost " << cost[f];
      EXPECT_EQ(capped.family_cost(f), cost[f]) << "family " << f + 1;
      const double v = capped.family_log_likelihood(f, x);
      if (out) {
        EXPECT_EQ(v, 0.0) << "family " << f + 1;
        ++left;
      } else {
        EXPECT_NEAR(v, value[f], 1e-12) << "family " << f + 1;
        total += value[f];
      }
    }
    EXPECT_GT(left, 0);
    const Evaluator::Total t = capped.log_likelihood(x);
    EXPECT_EQ(t.bad_family, 0);
    EXPECT_NEAR(t.lh, total, 1e-12 * std::max(1.0, std::fabs(total)));
  }
}

// Graphs that no pedigree can have, in family 2 (family 1 has a plan):
// check_study names the family and member, the evaluator refuses them.
TEST(GraphElimination, StudyChecksRejectImpossibleGraphs) {
  struct Case {
    const char* what;
    void (*spoil)(std::vector<std::array<int, 2>>&);
    const char* starts;  // the message's start
  };
  // Family 2 is the first-cousin mating, numbered as in its shape: 1 x 2
  // have 3 and 4; 3 x 5 have 7, 6 x 4 have 8; 7 x 8 have 9 and 10.
  const Case cases[] = {
      {"father only", [](auto& p) { p[6] = {3, 0}; }, "family 2, member 7"},
      {"mother only", [](auto& p) { p[8] = {0, 8}; }, "family 2, member 9"},
      {"parent beyond the family", [](auto& p) { p[8] = {7, 11}; }, "family 2, member 9"},
      {"negative parent", [](auto& p) { p[2] = {-1, 2}; }, "family 2, member 3"},
      {"own parent", [](auto& p) { p[6] = {7, 5}; }, "family 2, member 7"},
      {"the same parent twice", [](auto& p) { p[9] = {7, 7}; }, "family 2, member 10"},
      {"own grandparent", [](auto& p) { p[0] = {9, 2}; }, "family 2, member "},
      {"a cycle of descent among founders' children", [](auto& p) { p[4] = {7, 6}; },
       "family 2, member "},
      {"a parent pair missing", [](auto& p) { p.pop_back(); }, "family 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pedlik::Pedigree ped;
    ped.families.push_back(pedlik::Family{3, {{{1, 2, 3}, 0}}, {}});
    ped.families.push_back(pedlik::Family{10, {}, test::graph_shapes()[0].parents});
    ped.trait.assign(13, 0.5);
    pedlik::Marker marker;
    marker.K = 3;
    marker.frequency = {0.2, 0.3, 0.5};
    marker.alleles.assign(13, {0, 0});
    ASSERT_EQ(pedlik::check_study(ped, marker), "");  // a loop is no fault
    c.spoil(ped.families[1].parents);
    const std::string message = pedlik::check_study(ped, marker);
    EXPECT_EQ(message.rfind(c.starts, 0), 0u) << message;
    EXPECT_GT(message.size(), std::string(c.starts).size()) << message;
    EXPECT_THROW(Evaluator(ped, marker), std::invalid_argument);
  }
}

}  // namespace
}  // namespace mglink
