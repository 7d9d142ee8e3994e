// The mglink-prep command: the run directory it writes, what it keeps, its
// messages and exit statuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "prep/layout.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::prep {
namespace {

namespace fs = std::filesystem;

#ifdef MGLINK_PREP_BIN

class PrepCommand : public ::testing::Test {
 protected:
  void write(const std::string& name, const std::string& text) { scratch_.write(name, text); }
  std::string read(const fs::path& path) { return mglink::testing::read_file(path); }
  // Runs mglink-prep in the scratch directory; returns the exit status.
  int run(const std::string& args) {
    const std::string cmd = "cd '" + dir_.string() + "' && '" + MGLINK_PREP_BIN + "' " + args +
                            " >out.txt 2>err.txt";
    int rc = std::system(cmd.c_str());
    out_ = read(dir_ / "out.txt");
    err_ = read(dir_ / "err.txt");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }

  mglink::testing::ScratchDir scratch_;
  const fs::path dir_ = scratch_.path();
  std::string out_, err_;
};

const char* STUDY =
    "# family individual father mother sex trait allele1 allele2\n"
    "1 gf 0 0 1 10.5 1 2\n"
    "1 gm 0 0 2 -999 2 3\n"
    "1 f gf gm 1 11.2 1 3\n"
    "1 m 0 0 2 9.8 0 0\n"
    "1 c1 f m 1 10 1 4\n"
    "1 c2 f m 2 NA 3 4\n"
    "2 x 0 0 1 1 5 5\n"
    "2 y 0 0 0 x 0 0\n";

TEST_F(PrepCommand, WritesARunDirectory) {
  write("study.pre", STUDY);
  ASSERT_EQ(run("study.pre run"), 0) << err_;
  EXPECT_EQ(out_,
            "mglink-prep: study.pre: 2 families, 8 individuals, 4 nuclear families\n"
            "mglink-prep: marker allele frequencies from the 6 typed alleles of founders\n"
            "mglink-prep: log-likelihood at mglink-prep's start values with theta 0.5: -22.076179 (97 "
            "genotype slots)\n"
            "mglink-prep: wrote IWAY.DAT trait.dat marker.dat task.inp mapping.txt maxpar.inp "
            "par.inp in run\n");
  // Six founder alleles, and allele 4 typed only in a child: both warned of,
  // with the option that helps.
  EXPECT_EQ(err_,
            "mglink-prep: warning: the marker allele frequencies rest on only 6 typed alleles of "
            "founders; --frequencies typed counts the alleles of every typed individual, "
            "--frequencies F1,F2,F3,F4,F5 gives the five frequencies\n"
            "mglink-prep: warning: marker allele 4 is typed in non-founders but in no founder and "
            "gets half a count; --frequencies typed counts the alleles of every typed individual, "
            "--frequencies F1,F2,F3,F4,F5 gives the five frequencies\n");
  const fs::path run_dir = dir_ / "run";
  EXPECT_EQ(read(run_dir / "IWAY.DAT"),
            "2 2 0 6 8\n0 0 2 4\n6 0 0 4 7 8 9\n9 3 4 5 6 1 2 3 1 2\n3 0 0 0\n"
            "8 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 0\n");
  EXPECT_EQ(read(run_dir / "trait.dat"), "10.5\n-999\n11.2\n9.8\n10\n-999\n1\n-999\n");
  EXPECT_EQ(read(run_dir / "marker.dat"), "2\n7\n3\n0\n4\n11\n15\n0\n");
  EXPECT_EQ(read(run_dir / "task.inp"), "trait.dat\nmarker.dat\nresult.dat\n");
  EXPECT_EQ(read(run_dir / "mapping.txt"),
            "# number family member family_id individual_id line (line 0: added by mglink-prep)\n"
            "1 1 1 1 gf 2\n2 1 2 1 gm 3\n3 1 3 1 f 4\n4 1 4 1 m 5\n5 1 5 1 c1 6\n6 1 6 1 c2 7\n"
            "7 2 1 2 x 8\n8 2 2 2 y 9\n");
  EXPECT_EQ(read(run_dir / "par.inp").substr(0, 40), "start values by mglink-prep from study.p");

  // The checker accepts the layout written.
  ASSERT_EQ(run("--check run"), 0) << err_;
  EXPECT_EQ(out_, "mglink-prep: run/IWAY.DAT: a valid peeling layout of 2 families, 8 individuals, "
                  "4 nuclear families\n");
}

TEST_F(PrepCommand, KeepsControlFilesUnlessForced) {
  write("study.pre", STUDY);
  ASSERT_EQ(run("study.pre run"), 0) << err_;
  // An edited par.inp (its title changed) and maxpar.inp.
  const std::string par = read(dir_ / "run" / "par.inp");
  const std::string my_par = "my own values" + par.substr(par.find('\n'));
  std::ofstream(dir_ / "run" / "par.inp", std::ios::binary) << my_par;
  std::ofstream(dir_ / "run" / "maxpar.inp", std::ios::binary) << "my settings\n";
  ASSERT_EQ(run("study.pre run"), 0) << err_;
  EXPECT_NE(out_.find("wrote IWAY.DAT trait.dat marker.dat task.inp mapping.txt in run\n"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("mglink-prep: kept the existing run/maxpar.inp (--force replaces it)\n"
                      "mglink-prep: kept the existing run/par.inp (--force replaces it)\n"),
            std::string::npos)
      << out_;
  EXPECT_EQ(read(dir_ / "run" / "par.inp"), my_par);
  EXPECT_EQ(read(dir_ / "run" / "maxpar.inp"), "my settings\n");
  ASSERT_EQ(run("--force study.pre run"), 0) << err_;
  EXPECT_EQ(read(dir_ / "run" / "par.inp"), par);
  EXPECT_NE(read(dir_ / "run" / "maxpar.inp"), "my settings\n");
}

TEST_F(PrepCommand, ProblemsStopBeforeAnythingIsWritten) {
  write("bad.pre", "1 a 0 0 1 1 1 1\n1 b a 0 2 1 1 2\n1 a 0 0 1 1 1 1\n");
  EXPECT_EQ(run("bad.pre run"), 1);
  EXPECT_EQ(err_,
            "bad.pre:3: family 1, individual a: the individual id appears twice in the family "
            "(first on line 1); this line is ignored\n"
            "bad.pre:2: family 1, individual b: only the father is known (mother 0): give both "
            "parents or neither, or use --add-missing-parents\n"
            "mglink-prep: 2 problems in bad.pre; nothing written\n");
  EXPECT_FALSE(fs::exists(dir_ / "run"));
  // The same table with parents added is accepted.
  EXPECT_EQ(run("--add-missing-parents bad.pre run"), 1);  // the duplicate line remains
  write("fixed.pre", "1 a 0 0 1 1 1 1\n1 b a 0 2 1 1 2\n");
  EXPECT_EQ(run("--add-missing-parents fixed.pre run"), 0) << err_;
  EXPECT_NE(out_.find("3 individuals (1 added)"), std::string::npos) << out_;
  EXPECT_NE(read(dir_ / "run" / "mapping.txt").find("3 1 3 1 _mate_of_a 0\n"), std::string::npos);
}

TEST_F(PrepCommand, ExitStatuses) {
  write("study.pre", STUDY);
  struct Case {
    const char* args;
    int status;
    const char* err_start;
  };
  const Case cases[] = {
      {"", 2, "mglink-prep: give a pedigree file and a run directory\nusage:"},
      {"--bogus study.pre run", 2, "mglink-prep: unknown option --bogus\n"},
      {"--trait-column 3 study.pre run", 2,
       "mglink-prep: --trait-column needs a column number from 6 to 100000\n"},
      {"missing.pre run", 1, "mglink-prep: cannot open the pedigree file missing.pre\n"},
      {"study.pre study.pre", 3, "mglink-prep: cannot create the run directory study.pre"},
      {"--check nowhere", 1, "mglink-prep: cannot open nowhere/IWAY.DAT\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    EXPECT_EQ(run(c.args), c.status);
    EXPECT_EQ(err_.substr(0, std::string(c.err_start).size()), c.err_start) << err_;
  }
  EXPECT_EQ(read(dir_ / "study.pre"), STUDY);  // never overwritten
  EXPECT_EQ(run("--help"), 0);
  EXPECT_EQ(out_.substr(0, 6), "usage:");
  EXPECT_EQ(run("--version"), 0);
  EXPECT_EQ(out_, std::string("mglink-prep ") + MGLINK_VERSION + "\n");
}

TEST_F(PrepCommand, CheckReportsABrokenLayout) {
  fs::create_directories(dir_ / "run");
  // Nuclear family 2 folds onto parent 3, but the root before it summed 3 out.
  write("run/IWAY.DAT", "1 1 0 6\n0 0 2\n4 0 0 3 7\n7 1 2 3 3 4 5 6\n0 3\n6 0 0 0 0 0 0\n0 0 0 0 0 0\n");
  EXPECT_EQ(run("--check run"), 1);
  EXPECT_EQ(err_,
            "mglink-prep: run/IWAY.DAT: family 1, nuclear family 2: member 3 was already summed "
            "out in an earlier nuclear family\n");
  // A file that ends early.
  write("run/IWAY.DAT", "1 1 0 6\n0 0 2\n4 0 0 3 7\n");
  EXPECT_EQ(run("--check run"), 1);
  EXPECT_EQ(err_, "mglink-prep: run/IWAY.DAT, line 4: the file ends before K could be read "
                  "(read 4 (K, MEMBER))\n");
  // Counts that disagree.
  write("run/IWAY.DAT", "1 1 0 6\n0 0 2\n4 0 0 3 7\n7 1 2 3 3 4 5 6\n0 3\n5 0 0 0 0 0\n0 0 0 0 0\n");
  EXPECT_EQ(run("--check run"), 1);
  EXPECT_EQ(err_, "mglink-prep: run/IWAY.DAT: S = 5 differs from the number of individuals "
                  "FAMOFF(N+1) = 6\n");
}

#endif

}  // namespace
}  // namespace mglink::prep
