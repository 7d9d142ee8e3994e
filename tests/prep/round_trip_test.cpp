// Random pedigree tables through mglink-prep and back into mglink: the run
// directory is accepted by the family data reader and the control file
// reader, the start values give a usable likelihood, the likelihood does not
// depend on the layout chosen, and it equals a brute-force sum over all
// joint genotypes of each family.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/wwdat.hpp"
#include "likelihood/genmmp.hpp"
#include "prep/prep.hpp"
#include "prep/random_pedigree.hpp"
#include "run/control_files.hpp"
#include "support/brute_force.hpp"
#include "support/pedigree.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::prep {
namespace {

struct Mglink {
  std::ostringstream out;
  std::istringstream in;
  Console con{out, in};
  std::unique_ptr<ModelState> st = make_model_state();

  // Reads the run directory's family data.
  void read_families(const std::string& dir) {
    st->IMAX.NPAR = 6;
    WWDAT(*st, TRAIT_FILE, MARKER_FILE, dir);
  }
  // Full set-up and evaluation at x.
  double evaluate(const test::ParameterVector& x) {
    test::set_parameters(*st, x);
    st->IMAX.ISETUP = -1;
    double LH = 0;
    GENMMP(*st, con, LH);
    return LH;
  }
};

// Runs mglink-prep on a table; the run directory is dir.
void prepare_directory(const testing::ScratchDir& dir, const std::string& table,
                       const std::vector<std::string>& options = {}) {
  dir.write("study.pre", table);
  std::vector<std::string> args = options;
  args.push_back(dir.file("study.pre"));
  args.push_back(dir.file("run"));
  std::ostringstream out, err;
  ASSERT_EQ(run_prep(args, out, err), PREP_OK) << err.str();
}

// A parameter vector away from the start values, theta linked.
test::ParameterVector test_vector(const StartValues& sv) {
  return {0.3, sv.trait_mean - 1.0, sv.trait_mean + 0.5, sv.trait_mean + 2.0, 0.12,
          sv.trait_variance * 0.6, sv.marker_freq[0], sv.marker_freq[1], sv.marker_freq[2],
          sv.marker_freq[3], sv.marker_freq[4]};
}

TEST(PrepRoundTrip, StartValuesGiveAUsableLikelihoodInBothPasses) {
  gen::RandomTableOptions opt;
  opt.families = 6;
  for (std::uint64_t seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE("table seed " + std::to_string(seed));
    testing::ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(prepare_directory(dir, gen::random_table(seed, opt)));
    const std::string run = dir.file("run");
    for (int pass = 1; pass <= 2; ++pass) {
      Mglink m;
      m.read_families(run);
      const TaskNames task = read_task(run + "/task.inp");
      EXPECT_EQ(task.TRAITFILE, TRAIT_FILE);
      EXPECT_EQ(task.MARKERFILE, MARKER_FILE);
      EXPECT_EQ(task.RESULTFILE, RESULT_FILE);
      (void)read_maxpar(run + "/maxpar.inp");
      EXPECT_EQ(read_par(*m.st, pass, run + "/par.inp"), pass == 1 ? 5 : 6);
      m.st->IMAX.ISETUP = -1;
      double LH = 0;
      GENMMP(*m.st, m.con, LH);
      EXPECT_GT(LH, UNUSABLE) << "pass " << pass;
      EXPECT_TRUE(std::isfinite(LH));
    }
  }
}

TEST(PrepRoundTrip, LikelihoodDoesNotDependOnTheLayout) {
  gen::RandomTableOptions opt;
  opt.families = 5;
  opt.max_spouse_steps = 6;
  for (std::uint64_t seed = 1; seed <= 25; ++seed) {
    SCOPED_TRACE("table seed " + std::to_string(seed));
    std::istringstream in(gen::random_table(seed, opt));
    Prepared pr = prepare(in, TableOptions{});
    ASSERT_TRUE(pr.problems.empty());
    const auto x = test_vector(pr.start);
    testing::ScratchDir dir;
    dir.write(TRAIT_FILE, trait_text(pr.ped));
    dir.write(MARKER_FILE, marker_text(pr.ped));
    double reference = 0;
    for (std::uint64_t layout_seed : {0, 11, 12, 13}) {
      dir.write("IWAY.DAT", iway_text(build_layout(pr.ped, LayoutOptions{layout_seed})));
      Mglink m;
      m.read_families(dir.path());
      const double LH = m.evaluate(x);
      ASSERT_GT(LH, UNUSABLE);
      if (layout_seed == 0)
        reference = LH;
      else
        EXPECT_LE(std::fabs(LH - reference), 1e-10 * std::fabs(reference))
            << "layout seed " << layout_seed << ": " << LH << " vs " << reference;
    }
  }
}

// Counts of family shapes among the pedigrees of a test.
struct Shapes {
  int alone = 0;         // an individual with no parent or child in the family
  int nuclear = 0;       // families with nuclear families
  int generations3 = 0;  // someone who is a child and a parent
  int spouses2 = 0;      // someone with children by two spouses (half-sibs)
  void tally(const Pedigree& ped) {
    for (const Family& fam : ped.families) {
      std::vector<int> as_parent(fam.people.size(), 0), as_child(fam.people.size(), 0);
      for (const Nuclear& nf : fam.nuclear) {
        ++as_parent[static_cast<std::size_t>(nf.father)];
        ++as_parent[static_cast<std::size_t>(nf.mother)];
        for (int c : nf.children) ++as_child[static_cast<std::size_t>(c)];
      }
      if (!fam.nuclear.empty()) ++nuclear;
      bool a = false, g = false, s = false;
      for (std::size_t k = 0; k < fam.people.size(); ++k) {
        a = a || (as_parent[k] == 0 && as_child[k] == 0);
        g = g || (as_parent[k] > 0 && as_child[k] > 0);
        s = s || as_parent[k] > 1;
      }
      alone += a;
      generations3 += g;
      spouses2 += s;
    }
  }
};

TEST(PrepRoundTrip, LikelihoodEqualsTheBruteForceSum) {
  gen::RandomTableOptions opt;
  opt.families = 4;
  opt.max_spouse_steps = 2;
  opt.untyped = 0.1;
  int compared = 0;
  Shapes shapes;
  for (std::uint64_t seed = 1; compared < 40 && seed <= 400; ++seed) {
    std::istringstream probe(gen::random_table(seed, opt));
    Prepared pr = prepare(probe, TableOptions{});
    ASSERT_TRUE(pr.problems.empty());
    // Keep the brute force small: every family with at most 2e5 joint
    // genotype assignments left by the marker.
    bool small = true;
    for (const Family& fam : pr.ped.families) {
      double n = 1;
      for (const Person& p : fam.people) n *= p.allele1 == 0 ? 55 : (p.allele1 == p.allele2 ? 3 : 4);
      if (n > 2e5) small = false;
    }
    if (!small) continue;
    ++compared;
    shapes.tally(pr.ped);
    SCOPED_TRACE("table seed " + std::to_string(seed));
    testing::ScratchDir dir;
    ASSERT_NO_FATAL_FAILURE(prepare_directory(dir, gen::random_table(seed, opt)));
    Mglink m;
    m.read_families(dir.file("run"));
    // mglink-prep's own evaluation at its start values, theta 0.5.
    const test::ParameterVector start = start_parameters(pr.start, 0.5);
    test::set_parameters(*m.st, start);
    double brute_start = 0;
    for (int f = 1; f <= m.st->BUF1.NFAM; ++f)
      brute_start += std::log(test::brute_force_likelihood(*m.st, f));
    EXPECT_NEAR(pr.start_loglik, brute_start, 1e-10 * std::fabs(brute_start));
    for (double theta : {0.5, 0.05}) {
      auto x = test_vector(pr.start);
      x[4] = theta;
      const double LH = m.evaluate(x);
      double brute = 0;
      for (int f = 1; f <= m.st->BUF1.NFAM; ++f)
        brute += std::log(test::brute_force_likelihood(*m.st, f));
      EXPECT_NEAR(LH, brute, 1e-10 * std::fabs(brute)) << "theta " << theta;
    }
  }
  EXPECT_EQ(compared, 40);
  // The families compared hold every shape.
  EXPECT_GT(shapes.alone, 0);
  EXPECT_GT(shapes.nuclear, 0);
  EXPECT_GT(shapes.generations3, 0);
  EXPECT_GT(shapes.spouses2, 0);
}

}  // namespace
}  // namespace mglink::prep
