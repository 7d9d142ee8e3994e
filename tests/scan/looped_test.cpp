// mglink-scan on studies whose pedigrees have loops: analysed by default over
// the pedigree graph, with the table's numbers checked against a brute-force
// sum over every joint genotype at the table's own estimates; --skip-loops;
// the cost limit; the Mendel check of a looped family.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "scan/table.hpp"
#include "support/graph_study.hpp"
#include "support/scan_run.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::scan {
namespace {

namespace fs = std::filesystem;
using mglink::testing::read_file;
using mglink::testing::number;

#if defined(MGLINK_SCAN_BIN)

// Family L: two brothers... here a brother and a sister (b1, s1) marry x and
// y, and their children c1 and c2 (first cousins) have a child k.  Family N:
// a nuclear family without loops.  Everybody is typed at marker m.
constexpr const char* kLoopedPed =
    "L gf 0 0 1 10 1 2\nL gm 0 0 2 11 1 3\nL b1 gf gm 1 12 1 1\nL s1 gf gm 2 13 2 3\n"
    "L x 0 0 2 9 2 2\nL y 0 0 1 8 3 3\n"
    "L c1 b1 x 1 14 1 2\nL c2 y s1 2 15 3 3\nL k c1 c2 1 16 2 3\n"
    "N f 0 0 1 10 1 2\nN m 0 0 2 12 3 4\nN k1 f m 1 11 1 3\nN k2 f m 2 14 2 4\nN k3 f m 2 9 1 4\n";

class LoopedScan : public mglink::testing::ScanRun {
 protected:
  void SetUp() override {
    scratch_.write("s.dat", "T Q1\nM m\n");
    scratch_.write("s.ped", kLoopedPed);
  }
  int scan(const std::string& args) { return run(std::string("'") + MGLINK_SCAN_BIN + "' " + args); }
};

// Both families as graphs, with the trait values and genotypes of kLoopedPed
// (alleles 1..4 are the labels 1..4).
struct BruteStudy {
  pedlik::Pedigree ped;
  pedlik::Marker marker;
};

BruteStudy brute_study() {
  BruteStudy b;
  pedlik::Family L;
  L.size = 9;  // gf gm b1 s1 x y c1 c2 k
  L.parents = {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {0, 0}, {0, 0}, {3, 5}, {6, 4}, {7, 8}};
  pedlik::Family N;
  N.size = 5;  // f m k1 k2 k3
  N.parents = {{0, 0}, {0, 0}, {1, 2}, {1, 2}, {1, 2}};
  b.ped.families = {L, N};
  b.ped.trait = {10, 11, 12, 13, 9, 8, 14, 15, 16, 10, 12, 11, 14, 9};
  b.marker.K = 4;
  // Typed founders' alleles: 1 three times, 2 four, 3 four, 4 once.
  b.marker.frequency = {3.0 / 12, 4.0 / 12, 4.0 / 12, 1.0 / 12};
  b.marker.alleles = {{1, 2}, {1, 3}, {1, 1}, {2, 3}, {2, 2}, {3, 3}, {1, 2}, {3, 3}, {2, 3},
                      {1, 2}, {3, 4}, {1, 3}, {2, 4}, {1, 4}};
  return b;
}

TEST_F(LoopedScan, IsAnalysedOverThePedigreeGraphWithTheBruteForceLikelihood) {
  ASSERT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 --keep-runs runs out"), 0) << err_;
  EXPECT_NE(out_.find("mglink-scan: s.ped: 2 families, 14 individuals; 1 marker\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("mglink-scan: 1 family with loops (L) analysed over the pedigree graph: every marker takes "
                      "the general path (k-allele)\n"),
            std::string::npos)
      << out_;
  const std::vector<Row> r = rows("out/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_PATH], "k-allele");
  EXPECT_EQ(r[0][COL_STATUS], "ok") << r[0][COL_REASON];
  EXPECT_EQ(r[0][COL_TYPED], "14");
  // lnL1 is the likelihood of both families at the table's estimates: the
  // looped one by elimination, the other peeled as mglink peels it.
  BruteStudy b = brute_study();
  const pedlik::Parameters x1{number(r[0][COL_P]),   number(r[0][COL_MU1]), number(r[0][COL_MU2]),
                              number(r[0][COL_MU3]), number(r[0][COL_THETA]), number(r[0][COL_VAR])};
  const double bf = std::log(test::graph_brute_force(b.ped, b.marker, 0, x1)) +
                    std::log(test::graph_brute_force(b.ped, b.marker, 1, x1));
  EXPECT_NEAR(number(r[0][COL_LNL1]), bf, 1e-10 * std::fabs(bf));
  EXPECT_GE(number(r[0][COL_LNL1]), number(r[0][COL_LNL0]));
  // The kept run directory says which families its results include.
  const std::string note = read_file(dir_ / "runs" / "m" / "LOOPS.txt");
  EXPECT_NE(note.find("Families with loops in this analysis:\n  L\n"), std::string::npos) << note;
}

TEST_F(LoopedScan, StudyOfLoopedFamiliesOnly) {
  // Family L alone: no family for mglink-prep's layout, nothing but the
  // general path.
  const std::string ped(kLoopedPed);
  scratch_.write("l.ped", ped.substr(0, ped.find("N f")));
  ASSERT_EQ(scan("--ped l.ped --dat s.dat --trait Q1 out"), 0) << err_;
  const std::vector<Row> r = rows("out/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_STATUS], "ok") << r[0][COL_REASON];
  BruteStudy b = brute_study();
  b.ped.families.resize(1);
  b.ped.trait.resize(9);
  b.marker.alleles.resize(9);
  // Founder alleles of L only: 1 twice, 2 three times, 3 three times.
  b.marker.K = 3;
  b.marker.frequency = {2.0 / 8, 3.0 / 8, 3.0 / 8};
  const pedlik::Parameters x1{number(r[0][COL_P]),   number(r[0][COL_MU1]), number(r[0][COL_MU2]),
                              number(r[0][COL_MU3]), number(r[0][COL_THETA]), number(r[0][COL_VAR])};
  const double bf = std::log(test::graph_brute_force(b.ped, b.marker, 0, x1));
  EXPECT_NEAR(number(r[0][COL_LNL1]), bf, 1e-10 * std::fabs(bf));
}

TEST_F(LoopedScan, SkipLoopsLeavesThemOutAndSaysWhenNothingIsLeft) {
  ASSERT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 --skip-loops out"), 0) << err_;
  EXPECT_EQ(err_.substr(0, err_.find('\n')), "mglink-scan: family L left out: its pedigree has a loop (--skip-loops)");
  EXPECT_NE(out_.find("mglink-scan: s.ped: 1 family, 5 individuals; 1 marker\n"), std::string::npos) << out_;
  EXPECT_NE(out_.find("mglink-scan: 1 family with a loop left out\n"), std::string::npos) << out_;
  const std::vector<Row> r = rows("out/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_TYPED], "5");
  EXPECT_EQ(r[0][COL_PATH], "five-allele");

  const std::string ped(kLoopedPed);
  scratch_.write("l.ped", ped.substr(0, ped.find("N f")));
  EXPECT_EQ(scan("--ped l.ped --dat s.dat --trait Q1 --skip-loops out2"), 1);
  EXPECT_EQ(err_,
            "mglink-scan: family L left out: its pedigree has a loop (--skip-loops)\n"
            "mglink-scan: every family has a loop and was left out (--skip-loops); nothing written\n");
  EXPECT_FALSE(fs::exists(dir_ / "out2"));
}

TEST_F(LoopedScan, FamilyBeyondTheCostLimitIsLeftOutAndNamed) {
  ASSERT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 --max-family-cost 100 out"), 0) << err_;
  const std::vector<Row> r = rows("out/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_STATUS], "ok");
  EXPECT_EQ(r[0][COL_REASON].rfind("family L left out: its pedigree has loops whose likelihood costs about ", 0), 0u)
      << r[0][COL_REASON];
  EXPECT_NE(r[0][COL_REASON].find(" terms, beyond --max-family-cost 100"), std::string::npos) << r[0][COL_REASON];
  EXPECT_NE(out_.find("mglink-scan: 1 looped family left out of a marker's analysis for its cost"), std::string::npos)
      << out_;
  // The likelihood is then family N's alone.
  BruteStudy b = brute_study();
  const pedlik::Parameters x1{number(r[0][COL_P]),   number(r[0][COL_MU1]), number(r[0][COL_MU2]),
                              number(r[0][COL_MU3]), number(r[0][COL_THETA]), number(r[0][COL_VAR])};
  const double bf = std::log(test::graph_brute_force(b.ped, b.marker, 1, x1));
  EXPECT_NEAR(number(r[0][COL_LNL1]), bf, 1e-10 * std::fabs(bf));

  EXPECT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 --max-family-cost 0 out2"), 2);
  EXPECT_NE(err_.find("--max-family-cost needs a positive number"), std::string::npos) << err_;
}

TEST_F(LoopedScan, InconsistentLoopedFamilyIsAMendelErrorOrUntyped) {
  // k (child of c1 1/2 and c2 3/3) typed 1/1: impossible.
  std::string ped(kLoopedPed);
  ped.replace(ped.find("L k c1 c2 1 16 2 3"), 18, "L k c1 c2 1 16 1 1");
  scratch_.write("s.ped", ped);
  ASSERT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 out"), 0) << err_;
  std::vector<Row> r = rows("out/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_STATUS], "mendel-error");
  EXPECT_EQ(r[0][COL_REASON], "family L: the genotypes cannot be inherited (a pedigree with loops, every allele kept)");

  ASSERT_EQ(scan("--ped s.ped --dat s.dat --trait Q1 --mendel untype out2"), 0) << err_;
  r = rows("out2/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_STATUS], "ok") << r[0][COL_REASON];
  EXPECT_EQ(r[0][COL_TYPED], "5");
  EXPECT_NE(r[0][COL_REASON].find("family L (all of it: a pedigree with loops)"), std::string::npos)
      << r[0][COL_REASON];
}

#endif

}  // namespace
}  // namespace mglink::scan
