// The example study's pedigree table through mglink-prep: the layout passes
// the checker, the data files carry the example's values, and the
// likelihood of the prepared directory equals that of the example's own
// files at the example's parameters.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data/wwdat.hpp"
#include "likelihood/genmmp.hpp"
#include "prep/prep.hpp"
#include "run/control_files.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::prep {
namespace {

const std::string STUDY = std::string(MGLINK_SOURCE_DIR) + "/examples/study";

std::vector<double> numbers(const std::string& path) {
  std::ifstream in(path);
  std::vector<double> v;
  double x;
  while (in >> x) v.push_back(x);
  return v;
}

// Log-likelihood of a run directory at the parameters of the example's
// par.inp (pass 2: theta as written there).
double likelihood(const std::string& dir, const std::string& trait, const std::string& marker) {
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  WWDAT(*st, trait, marker, dir);
  read_par(*st, 2, STUDY + "/par.inp");
  st->IMAX.ISETUP = -1;
  double LH = 0;
  GENMMP(*st, con, LH);
  return LH;
}

TEST(PrepExample, PreparesTheExampleStudy) {
  testing::ScratchDir dir;
  const std::string run = dir.file("run");
  std::ostringstream out, err;
  ASSERT_EQ(run_prep({STUDY + "/pedigree.pre", run}, out, err), PREP_OK) << err.str();
  EXPECT_EQ(err.str(), "");

  std::ostringstream cout, cerr;
  EXPECT_EQ(run_prep({"--check", run}, cout, cerr), PREP_OK) << cerr.str();
  EXPECT_NE(cout.str().find("a valid peeling layout of 40 families, 338 individuals"),
            std::string::npos)
      << cout.str();

  // The example's own layout, written by the simulator, passes as well.
  std::ostringstream sout, serr;
  EXPECT_EQ(run_prep({"--check", STUDY}, sout, serr), PREP_OK) << serr.str();

  // The table lists each family's individuals in the example's order, so
  // the data files carry the same values.
  EXPECT_EQ(numbers(run + "/trait.dat"), numbers(STUDY + "/trait.dat"));
  EXPECT_EQ(numbers(run + "/marker.dat"), numbers(STUDY + "/marker.dat"));

  const TaskNames task = read_task(STUDY + "/task.inp");
  const double example = likelihood(STUDY, task.TRAITFILE, task.MARKERFILE);
  const double prepared = likelihood(run, TRAIT_FILE, MARKER_FILE);
  ASSERT_GT(example, UNUSABLE);
  EXPECT_LE(std::fabs(prepared - example), 1e-10 * std::fabs(example))
      << prepared << " vs " << example;
}

}  // namespace
}  // namespace mglink::prep
