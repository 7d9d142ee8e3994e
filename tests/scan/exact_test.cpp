// The exact path of mglink-scan: the alleles kept as they are, the wiring of
// the K-allele likelihood to the prepared layout, and its Mendel check.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "scan/analysis.hpp"
#include "scan/exact.hpp"
#include "scan/input.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::scan {
namespace {

Individual person(const std::string& id, const std::string& father, const std::string& mother) {
  Individual p;
  p.family = "F1";
  p.id = id;
  p.father = father;
  p.mother = mother;
  return p;
}

// Labels sort as numbers; alleles are numbered in that order, the founders'
// copies counted, and an allele seen only in a child gets half a count.
TEST(ScanExact, FullCodingKeepsEveryAllele) {
  std::vector<Individual> people = {person("1", "0", "0"), person("2", "0", "0"), person("3", "1", "2"),
                                    person("4", "0", "0")};
  MarkerData m;
  m.name = "M";
  m.labels = {"12", "9", "30", "7", "15", "4"};
  // Label indices plus one: 1 = "12", 2 = "9", ...
  m.a1 = {1, 2, 6, 0};
  m.a2 = {3, 4, 1, 0};
  const std::vector<std::size_t> all = {0, 1, 2, 3};
  const FullCoding fc = full_coding(m, people, all, FreqSource::founders, nullptr);
  // Observed: 12, 9, 30, 7 (founders), 4 (child): in order 4 7 9 12 30; 15 unseen.
  EXPECT_EQ(fc.K, 5);
  EXPECT_EQ(fc.code, (std::vector<int>{4, 3, 5, 2, 0, 1}));
  EXPECT_EQ(fc.allele1[0], 4);
  EXPECT_EQ(fc.allele2[0], 5);
  EXPECT_EQ(fc.allele1[2], 1);
  EXPECT_EQ(fc.allele2[2], 4);
  EXPECT_EQ(fc.allele1[3], 0);
  // Founder copies: 12, 30, 9, 7 once each; 4 half a count: total 4.5.
  ASSERT_EQ(fc.frequency.size(), 5u);
  EXPECT_DOUBLE_EQ(fc.frequency[0], 0.5 / 4.5);
  for (int a = 1; a < 5; ++a) EXPECT_DOUBLE_EQ(fc.frequency[static_cast<std::size_t>(a)], 1.0 / 4.5);

  // All typed individuals: 12 twice, 4 once.
  const FullCoding every = full_coding(m, people, all, FreqSource::all, nullptr);
  EXPECT_DOUBLE_EQ(every.frequency[3], 2.0 / 6.0);
  EXPECT_DOUBLE_EQ(every.frequency[0], 1.0 / 6.0);

  // Given frequencies: the file's alleles nobody carries become one more allele.
  GivenFrequencies g;
  g.marker = "M";
  g.labels = {"4", "7", "9", "12", "30", "15", "99"};
  g.freq = {0.1, 0.2, 0.1, 0.3, 0.1, 0.15, 0.05};
  const FullCoding given = full_coding(m, people, all, FreqSource::given, &g);
  ASSERT_EQ(given.frequency.size(), 6u);
  EXPECT_DOUBLE_EQ(given.frequency[3], 0.3);
  EXPECT_DOUBLE_EQ(given.frequency[5], 0.2);
}

struct Example {
  Study study;
  ScanContext ctx;
  mglink::testing::ScratchDir scratch;
  Example() {
    const std::string ex = std::string(MGLINK_SOURCE_DIR) + "/examples/scan/study";
    std::vector<InputProblem> problems;
    ReadOptions opt;
    opt.trait = "Q1";
    study = read_linkage(ex + ".ped", ex + ".dat", "", opt, problems);
    EXPECT_TRUE(problems.empty());
    // The first 15 families keep the test short.
    ctx.view = make_view(study, "study.ped", false);
    std::erase_if(ctx.view.people, [&](std::size_t i) { return std::stoi(study.people[i].family.substr(1)) > 15; });
    ctx.settings.prep_starts = true;  // one run from mglink-prep's start values
    ctx.settings.scratch = scratch.path();
  }
  std::size_t marker(const std::string& name) const {
    for (std::size_t k = 0; k < study.markers.size(); ++k)
      if (study.markers[k].name == name) return k;
    ADD_FAILURE() << name;
    return 0;
  }
  // The marker recoded and prepared as analyse_marker does.
  MarkerCase prepared(std::size_t k, PlannedMarker& pm) const {
    pm.index = k;
    MarkerCase mc;
    mc.planned = &pm;
    mc.data = &study.markers[k];
    mc.name = study.markers[k].name;
    mc.recoded = recode(study.markers[k], study.people, ctx.view.people, FreqSource::founders, nullptr);
    mc.prepared = prepare_marker(ctx.view, mc.recoded.allele1, mc.recoded.allele2);
    EXPECT_TRUE(mc.prepared.problems.empty());
    return mc;
  }
};

// A marker of five alleles through the exact path gives mglink's own runs:
// the layout, trait values, individuals and starts are wired alike.
TEST(ScanExact, FiveAlleleMarkerGivesMglinksRun) {
  Example ex;
  PlannedMarker pm;
  const MarkerCase mc = ex.prepared(ex.marker("D1S03"), pm);
  ASSERT_EQ(mc.recoded.alleles, 5);
  FullCoding fc = full_coding(*mc.data, ex.study.people, ex.ctx.view.people, FreqSource::founders, nullptr);
  ASSERT_EQ(fc.K, 5);
  // The same numbers as the five-allele coding, and mglink-prep's
  // frequencies as par.inp gives them to mglink.
  for (std::size_t i = 0; i < fc.code.size(); ++i) EXPECT_EQ(fc.code[i], mc.recoded.code[i]);
  for (std::size_t a = 0; a < 5; ++a) fc.frequency[a] = mc.prepared.start.marker_freq[a];

  Evaluator eval(EvaluatorOptions{false, 1});
  const PathResult five = analyse_five_allele(ex.ctx, mc, eval, 1);
  const PathResult exact = analyse_exact(ex.ctx, mc, fc, mc.recoded.allele1, 2);
  ASSERT_TRUE(five.run && exact.run);
  EXPECT_EQ(exact.status, five.status);
  EXPECT_EQ(exact.run->warning, five.run->warning);
  ASSERT_EQ(exact.run->passes, 2);
  for (std::size_t p = 0; p < 2; ++p) {
    SCOPED_TRACE("pass " + std::to_string(p + 1));
    const PassResult& a = five.run->pass[p];
    const PassResult& b = exact.run->pass[p];
    EXPECT_NEAR(b.FINIT, a.FINIT, 1e-12 * std::fabs(a.FINIT));
    EXPECT_NEAR(b.FMAX, a.FMAX, 1e-9 * std::fabs(a.FMAX));
    EXPECT_NEAR(b.X[5], a.X[5], 1e-6);
    EXPECT_EQ(b.ITER, a.ITER);
    EXPECT_EQ(b.NFUN, a.NFUN);
  }
}

// A child whose alleles neither parent carries: the family is named, and
// untyping it (as --mendel untype does) clears the check.
TEST(ScanExact, MendelCheckWithEveryAlleleKept) {
  Example ex;
  PlannedMarker pm;
  const MarkerCase mc = ex.prepared(ex.marker("D1S04"), pm);
  FullCoding fc = full_coding(*mc.data, ex.study.people, ex.ctx.view.people, FreqSource::founders, nullptr);
  std::vector<std::uint8_t> typed = mc.recoded.allele1;
  EXPECT_EQ(exact_mendel_family(ex.ctx, mc, fc, typed), "");

  // A typed child of two typed parents, given an allele neither carries.
  for (std::size_t i : ex.ctx.view.people) {
    const Individual& c = ex.study.people[i];
    if (c.founder() || typed[i] == 0) continue;
    long father = -1, mother = -1;
    for (std::size_t j : ex.ctx.view.people) {
      const Individual& p = ex.study.people[j];
      if (p.family != c.family) continue;
      if (p.id == c.father) father = static_cast<long>(j);
      if (p.id == c.mother) mother = static_cast<long>(j);
    }
    if (father < 0 || mother < 0 || typed[static_cast<std::size_t>(father)] == 0 ||
        typed[static_cast<std::size_t>(mother)] == 0)
      continue;
    int foreign = 0;
    for (int a = 1; a <= fc.K && foreign == 0; ++a) {
      bool carried = false;
      for (long j : {father, mother})
        carried = carried || fc.allele1[static_cast<std::size_t>(j)] == a || fc.allele2[static_cast<std::size_t>(j)] == a;
      if (!carried) foreign = a;
    }
    ASSERT_NE(foreign, 0);
    fc.allele1[i] = fc.allele2[i] = static_cast<std::uint16_t>(foreign);
    EXPECT_EQ(exact_mendel_family(ex.ctx, mc, fc, typed), c.family);
    for (std::size_t j : ex.ctx.view.people)
      if (ex.study.people[j].family == c.family) typed[j] = 0;
    EXPECT_EQ(exact_mendel_family(ex.ctx, mc, fc, typed), "");
    return;
  }
  FAIL() << "no typed child of typed parents";
}

}  // namespace
}  // namespace mglink::scan
