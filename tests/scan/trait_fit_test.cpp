// The trait model's fit: a marker of one allele that everybody carries
// stands in for every marker untyped.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/analysis.hpp"
#include "scan/input.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::scan {
namespace {

TEST(TraitFit, OneAlleleMarkerGivesTheFitOfEveryMarkerUntyped) {
  const std::string ex = std::string(MGLINK_SOURCE_DIR) + "/examples/scan/study";
  std::vector<InputProblem> problems;
  ReadOptions opt;
  opt.trait = "Q1";
  const Study study = read_linkage(ex + ".ped", ex + ".dat", "", opt, problems);
  ASSERT_TRUE(problems.empty());
  // The first 15 families of the example keep the test short.
  PrepView v = make_view(study, "study.ped", false);
  std::erase_if(v.people, [&](std::size_t i) { return std::stoi(study.people[i].family.substr(1)) > 15; });
  const std::vector<std::uint8_t> none, ones(study.people.size(), 1);
  const prep::Prepared untyped = prepare_marker(v, none, none);
  const prep::Prepared one_allele = prepare_marker(v, ones, ones);
  ASSERT_TRUE(untyped.problems.empty() && one_allele.problems.empty());
  EXPECT_EQ(one_allele.start.marker_text[0], "1.0000000000");
  EXPECT_EQ(one_allele.genotype_slots * 55, untyped.genotype_slots * 3);
  EXPECT_NEAR(one_allele.start_loglik, untyped.start_loglik, 1e-10 * std::fabs(untyped.start_loglik));

  mglink::testing::ScratchDir d;
  Evaluator eval(EvaluatorOptions{false, 1});
  const TraitModel a = fit_trait_model(untyped, std::string(d.path()) + "/a", eval);
  const TraitModel b = fit_trait_model(one_allele, std::string(d.path()) + "/b", eval);
  ASSERT_TRUE(a.fitted && b.fitted) << a.note << b.note;
  EXPECT_NEAR(a.lnL, b.lnL, 1e-10 * std::fabs(a.lnL));
  for (int i : {1, 2, 3, 4, 6}) EXPECT_NEAR(a.X[static_cast<std::size_t>(i)], b.X[static_cast<std::size_t>(i)],
                                            1e-8 * std::fabs(a.X[static_cast<std::size_t>(i)])) << i;
  // The fit moved from mglink-prep's start (major allele frequency 0.5).
  EXPECT_NE(b.X[1], 0.5);
  EXPECT_FALSE(std::filesystem::exists(std::string(d.path()) + "/b"));
}

}  // namespace
}  // namespace mglink::scan
