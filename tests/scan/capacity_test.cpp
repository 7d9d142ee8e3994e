// mglink-scan on a study beyond mglink's capacities: analysed on the general
// path, with the numbers of the general path on the same families below the
// limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/model_state.hpp"
#include "scan/table.hpp"
#include "support/scan_run.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::scan {
namespace {

namespace fs = std::filesystem;
using mglink::testing::read_file;
using mglink::testing::number;

#if defined(MGLINK_SCAN_BIN) && defined(MGLINK_SIM_BIN)

class BeyondCapacity : public mglink::testing::ScanRun {};

// A study S of 320 nuclear families (below the limits) and the study of S
// twice over (its families again under other ids: 640 families, beyond
// N_FAM = 604).  The likelihood of S twice over is exactly twice that of S
// at every parameter vector, and the allele frequencies are the same, so
// its maxima are where S's are, at twice the log-likelihood.  The 8-allele
// marker D1S04 takes the general path in both.
TEST_F(BeyondCapacity, IsAnalysedOnTheGeneralPathWithItsNumbers) {
  static_assert(N_FAM < 640, "the doubled study must be beyond N_FAM");
  ASSERT_EQ(run(std::string("'") + MGLINK_SIM_BIN +
                "' --scan-study --seed 9 --nuclear 2 --families 320 --markers-per-chr 4 --out s"),
            0)
      << err_;
  {
    std::ifstream in(dir_ / "s" / "study.ped");
    std::ofstream twice(dir_ / "s" / "twice.ped");
    std::stringstream all;
    all << in.rdbuf();
    twice << all.str();
    std::istringstream lines(all.str());
    for (std::string line; std::getline(lines, line);) twice << "copy" << line << "\n";
  }
  const std::string files = " --dat s/study.dat --map s/study.map --trait Q1 --markers D1S04 --keep-runs ";
  ASSERT_EQ(run(std::string("'") + MGLINK_SCAN_BIN + "' --ped s/study.ped" + files + "runs1 once"), 0) << err_;
  const std::vector<Row> once = rows("once/scan.tsv");
  ASSERT_EQ(run(std::string("'") + MGLINK_SCAN_BIN + "' --ped s/twice.ped" + files + "runs2 twice"), 0) << err_;
  EXPECT_NE(out_.find("mglink-scan: s/twice.ped: 640 families, 2560 individuals; 1 marker\n"), std::string::npos)
      << out_;
  EXPECT_NE(out_.find("mglink-scan: the study is beyond mglink's capacities (at most " + std::to_string(N_FAM) +
                      " families and " + std::to_string(N_IGOFF) +
                      " individuals): every marker takes the general path (k-allele)\n"),
            std::string::npos)
      << out_;
  const std::vector<Row> twice = rows("twice/scan.tsv");
  ASSERT_EQ(once.size(), 1u);
  ASSERT_EQ(twice.size(), 1u);
  EXPECT_EQ(once[0][COL_PATH], "k-allele");
  EXPECT_EQ(twice[0][COL_PATH], "k-allele");
  EXPECT_EQ(twice[0][COL_STATUS], "ok") << twice[0][COL_REASON];
  EXPECT_EQ(number(twice[0][COL_TYPED]), 2 * number(once[0][COL_TYPED]));
  // The searches see twice the differences, so they may stop at points a
  // little apart: the maxima agree to the maximiser's tolerance.
  for (int col : {COL_LNL0, COL_LNL1})
    EXPECT_NEAR(number(twice[0][col]), 2 * number(once[0][col]), 2e-4) << col;
  EXPECT_NEAR(number(twice[0][COL_THETA]), number(once[0][COL_THETA]), 2e-3);
  EXPECT_NEAR(number(twice[0][COL_LOD]), 2 * number(once[0][COL_LOD]), 1e-4);
  // The kept run directory says that mglink cannot run it.
  const std::string note = read_file(dir_ / "runs2" / "D1S04" / "CAPACITY.txt");
  EXPECT_NE(note.find("beyond mglink's capacities"), std::string::npos) << note;
  EXPECT_FALSE(fs::exists(dir_ / "runs1" / "D1S04" / "CAPACITY.txt"));
}

// A study within the family and individual capacities whose markers leave
// more possible genotypes than mglink's lists hold (nearly everybody
// untyped): those markers take the general path instead of being skipped.
TEST_F(BeyondCapacity, MarkerWithMoreGenotypesThanMglinkHoldsTakesTheGeneralPath) {
  ASSERT_EQ(run(std::string("'") + MGLINK_SIM_BIN +
                "' --scan-study --seed 2 --nuclear 2 --families 480 --typed 0.05 --markers-per-chr 1 --out s"),
            0)
      << err_;
  ASSERT_EQ(run(std::string("'") + MGLINK_SCAN_BIN +
                "' --ped s/study.ped --dat s/study.dat --map s/study.map --trait Q1 --markers D1S01 --quiet out"),
            0)
      << err_;
  const std::vector<Row> r = rows("out/scan.tsv");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0][COL_PATH], "k-allele");
  EXPECT_EQ(r[0][COL_STATUS], "ok") << r[0][COL_REASON];
  EXPECT_NE(r[0][COL_REASON].find("more possible genotypes than mglink holds: the general path"), std::string::npos)
      << r[0][COL_REASON];
  EXPECT_FALSE(r[0][COL_LOD].empty());
}

#endif

}  // namespace
}  // namespace mglink::scan
