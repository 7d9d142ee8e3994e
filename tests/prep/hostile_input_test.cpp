// mglink-prep under hostile tables and options: each class of input that
// could crash it, destroy its own input or leave a run directory mixing two
// studies is refused (or read right) with its message, and the run
// directory holds exactly the files listed afterwards.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>

#include "prep/prep.hpp"
#include "support/scratch_dir.hpp"

namespace mglink::prep {
namespace {

namespace fs = std::filesystem;

#ifdef MGLINK_PREP_BIN

const char* const STUDY =
    "1 gf 0 0 1 10.5 1 2\n1 gm 0 0 2 -999 2 3\n1 f gf gm 1 11.2 1 3\n1 m 0 0 2 9.8 0 0\n"
    "1 c1 f m 1 10 1 4\n1 c2 f m 2 NA 3 4\n2 x 0 0 1 1 5 5\n2 y 0 0 0 x 0 0\n";

// The same study in one family less: what the run directory holds before a
// refused or failed update.
const char* const OLD_STUDY = "7 a 0 0 1 3.5 1 2\n7 b 0 0 2 4.5 2 2\n7 c a b 1 4 1 2\n";

// A larger study: its IWAY.DAT is under 5 KB, its mapping.txt over 25 KB.
std::string big_study() {
  std::string t;
  for (int f = 1; f <= 150; ++f) {
    const std::string id = "a_family_with_a_long_name_" + std::to_string(f);
    t += id + " the_father 0 0 1 10.5 1 2\n" + id + " the_mother 0 0 2 11.5 2 3\n" + id +
         " the_child the_father the_mother 1 12 1 3\n";
  }
  return t;
}

const char* const USAGE_HEAD = "usage: mglink-prep [options] PEDFILE OUTDIR\n";

class PrepHostile : public ::testing::Test {
 public:
  // Runs mglink-prep in the scratch directory after `shell` (commands that
  // set up the process, e.g. a limit); returns the exit status.
  int run(const std::string& args, const std::string& shell = "") {
    const std::string cmd = "cd '" + dir_ + "' && " + shell + " exec '" + MGLINK_PREP_BIN + "' " +
                            args + " >out.txt 2>err.txt";
    const int rc = std::system(cmd.c_str());
    out_ = scratch_.read("out.txt");
    err_ = scratch_.read("err.txt");
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  }
  // The names under run/ (folders with a trailing /), sorted.
  std::set<std::string> run_files() const {
    std::set<std::string> names;
    const fs::path run = fs::path(dir_) / "run";
    if (!fs::exists(run)) return names;
    for (const auto& e : fs::recursive_directory_iterator(run))
      names.insert(fs::relative(e.path(), run).string() + (e.is_directory() ? "/" : ""));
    return names;
  }
  // run/ prepared from OLD_STUDY: the state a refused update must keep.
  void prepare_old() {
    scratch_.write("old.pre", OLD_STUDY);
    ASSERT_EQ(run("old.pre run"), 0) << err_;
    old_iway_ = scratch_.read("run/IWAY.DAT");
    old_trait_ = scratch_.read("run/trait.dat");
  }
  void expect_old_study() const {
    EXPECT_EQ(scratch_.read("run/IWAY.DAT"), old_iway_);
    EXPECT_EQ(scratch_.read("run/trait.dat"), old_trait_);
  }

  mglink::testing::ScratchDir scratch_;
  const std::string dir_ = scratch_.path();
  std::string out_, err_, old_iway_, old_trait_;
};

const std::set<std::string> STUDY_FILES = {"IWAY.DAT",   "mapping.txt", "marker.dat", "maxpar.inp",
                                           "par.inp",    "task.inp",    "trait.dat"};

struct HostileCase {
  const char* name;
  std::function<void(PrepHostile&, mglink::testing::ScratchDir&)> setup;
  std::string args;
  std::string shell;  // set-up of the process
  int status;
  std::string err;    // exact standard error (USAGE_HEAD: the usage follows)
  std::set<std::string> files;  // left in run/
  bool old_study_kept;
};

TEST_F(PrepHostile, EachClassHasItsMessageAndTheFilesLeft) {
  auto none = [](PrepHostile&, mglink::testing::ScratchDir&) {};
  auto old = [](PrepHostile& t, mglink::testing::ScratchDir&) { t.prepare_old(); };
  const std::string col_msg = "mglink-prep: --trait-column needs a column number from 6 to 100000\n";
  const std::string mcol_msg = "mglink-prep: --marker-column needs a column number from 6 to 100000\n";
  const std::string freq_msg =
      "mglink-prep: --frequencies needs founders, typed, or five frequencies F1,F2,F3,F4,F5 of at "
      "least 0 that sum to 1\n";
  const std::string clash_tail =
      "; move the table out of the run directory or choose another one (nothing written)\n";
  std::set<std::string> with_dir = STUDY_FILES;
  with_dir.erase("mapping.txt");
  with_dir.insert("mapping.txt/");

  const std::vector<HostileCase> cases = {
      // Option values at the edges of the integer range, and not numbers.
      {"huge trait column", none, "--trait-column 2147483647 study.pre run", "", 2, col_msg, {}, false},
      {"trait column beyond long", none, "--trait-column=99999999999999999999999 study.pre run", "",
       2, col_msg, {}, false},
      {"negative trait column", none, "--trait-column -6 study.pre run", "", 2, col_msg, {}, false},
      {"trait column with letters", none, "--trait-column 7x study.pre run", "", 2, col_msg, {}, false},
      {"marker column past the table's range", none, "--marker-column 100001 study.pre run", "", 2,
       mcol_msg, {}, false},
      {"four frequencies", none, "--frequencies 0.5,0.2,0.2,0.1 study.pre run", "", 2, freq_msg, {},
       false},
      {"frequencies summing to 1.1", none, "--frequencies 0.3,0.3,0.2,0.1,0.2 study.pre run", "", 2,
       freq_msg, {}, false},
      {"a negative frequency", none, "--frequencies 0.6,-0.1,0.2,0.2,0.1 study.pre run", "", 2,
       freq_msg, {}, false},
      {"a frequency that is not a number", none, "--frequencies nan,0.2,0.2,0.2,0.2 study.pre run",
       "", 2, freq_msg, {}, false},
      {"an unknown source", none, "--frequencies parents study.pre run", "", 2, freq_msg, {}, false},

      // The table is one of the files the run directory gets, by any name.
      {"table is OUTDIR/IWAY.DAT", old, "run/IWAY.DAT run", "", 2,
       "mglink-prep: the pedigree file run/IWAY.DAT is run/IWAY.DAT, which mglink-prep would "
       "replace" + clash_tail,
       STUDY_FILES, true},
      {"table is the trait file through ./ and ..", old, "./run/../run/trait.dat ./run", "", 2,
       "mglink-prep: the pedigree file ./run/../run/trait.dat is ./run/trait.dat, which mglink-prep "
       "would replace" + clash_tail,
       STUDY_FILES, true},
      {"table is a link to the marker file",
       [](PrepHostile& t, mglink::testing::ScratchDir& d) {
         t.prepare_old();
         fs::create_symlink(fs::path(d.path()) / "run" / "marker.dat", fs::path(d.path()) / "link.pre");
       },
       "link.pre run", "", 2,
       "mglink-prep: the pedigree file link.pre is run/marker.dat, which mglink-prep would "
       "replace" + clash_tail,
       STUDY_FILES, true},
      {"table is par.inp with --force", old, "--force run/par.inp run", "", 2,
       "mglink-prep: the pedigree file run/par.inp is run/par.inp, which mglink-prep would "
       "replace" + clash_tail,
       STUDY_FILES, true},
      {"table is the result file mglink writes",
       [](PrepHostile& t, mglink::testing::ScratchDir& d) {
         t.prepare_old();
         d.write("run/result.dat", STUDY);
       },
       "run/result.dat run", "", 2,
       "mglink-prep: the pedigree file run/result.dat is run/result.dat, which mglink writes when "
       "it runs there" + clash_tail,
       [] { auto f = STUDY_FILES; f.insert("result.dat"); return f; }(), true},

      // A write that fails part-way leaves the old study whole and no
      // temporary file.
      {"a name taken by a directory",
       [](PrepHostile& t, mglink::testing::ScratchDir& d) {
         t.prepare_old();
         fs::remove(fs::path(d.path()) / "run" / "mapping.txt");
         fs::create_directory(fs::path(d.path()) / "run" / "mapping.txt");
       },
       "--force study.pre run", "", 3,
       "mglink-prep: cannot write run/mapping.txt: the name is taken by something that is not a "
       "file (nothing written)\n",
       with_dir, true},
      {"a full disk (file size limit)",
       [](PrepHostile& t, mglink::testing::ScratchDir& d) {
         t.prepare_old();
         d.write("big.pre", big_study());
       },
       "--force big.pre run", "trap '' XFSZ; ulimit -f 16;", 3,
       "mglink-prep: cannot write run/mapping.txt (is the disk full?)\n", STUDY_FILES, true},

      // A par.inp kept from an earlier preparation is evaluated on the new
      // table.
      {"kept par.inp gives a family likelihood zero",
       [](PrepHostile& t, mglink::testing::ScratchDir& d) {
         t.prepare_old();
         // Allele 5 (typed in family 2 of STUDY) gets frequency 0.
         const std::string text = "kept\n"
                                  "1 1 0.5 0.05 0 1\n2 1 9 0.1 0 20\n3 1 10 0.1 0 20\n"
                                  "4 1 11 0.1 0 20\n5 1 0.2 0.05 0 0.5\n6 1 1 0.1 0 10\n"
                                  "0.25\n0.25\n0.25\n0.25\n0\n";
         d.write("run/par.inp", text);
       },
       "study.pre run", "", 1,
       "mglink-prep: run/par.inp, pass 1 (theta held at 0.5): family 2 has likelihood zero at its "
       "start values; correct the file, or replace it with --force\n"
       "mglink-prep: nothing written\n",
       STUDY_FILES, true},
      {"kept par.inp that mglink cannot read",
       [](PrepHostile& t, mglink::testing::ScratchDir& d) {
         t.prepare_old();
         d.write("run/par.inp", "my own values\n");
       },
       "study.pre run", "", 1,
       "mglink-prep: run/par.inp, line 2: the file ends before LINK(1) could be read (parameter "
       "line 1); correct the file, or replace it with --force\n"
       "mglink-prep: nothing written\n",
       STUDY_FILES, true},

      // Bytes of a binary or non-ASCII table are shown escaped.
      {"NUL and non-ASCII bytes in messages",
       [](PrepHostile&, mglink::testing::ScratchDir& d) {
         const char text[] = "1 a\0b 0 0 \x01 1 1 1\n1 \xc3\xa9 0 0 1 1 1 9\n";
         d.write("bin.pre", std::string(text, sizeof text - 1));
       },
       "bin.pre run", "", 1,
       "bin.pre:1: family 1, individual a\\x00b: sex '\\x01' is not 1 (male), 2 (female) or 0 "
       "(unknown)\n"
       "bin.pre:2: family 1, individual \\xc3\\xa9: marker allele '9' is not one of the alleles 1 to "
       "5 (0 = untyped)\n"
       "bin.pre: the model has five marker alleles, coded 1 to 5; recode the marker (alleles in the "
       "table: 1 9)\n"
       "mglink-prep: 3 problems in bin.pre; nothing written\n",
       {}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A fresh scratch directory per case.
    std::error_code ec;
    fs::remove_all(fs::path(dir_) / "run", ec);
    scratch_.write("study.pre", STUDY);
    c.setup(*this, scratch_);
    EXPECT_EQ(run(c.args, c.shell), c.status) << err_;
    // A bad option value is followed by the usage.
    const std::size_t usage = err_.find(USAGE_HEAD);
    EXPECT_EQ(usage == std::string::npos ? err_ : err_.substr(0, usage), c.err);
    EXPECT_EQ(usage != std::string::npos, c.err.rfind("mglink-prep: --", 0) == 0);
    EXPECT_EQ(out_, "");
    EXPECT_EQ(run_files(), c.files);
    if (c.old_study_kept) expect_old_study();
    EXPECT_EQ(scratch_.read("study.pre"), STUDY);  // the table itself is never touched
  }
}

// A move that fails after others were made is undone: the files moved
// aside go back, and the directory holds the old study.  An immutable file
// (chattr +i, as root on a file system that has it) cannot be moved.
TEST_F(PrepHostile, AFailedMoveIsUndone) {
  prepare_old();
  const std::string trait = dir_ + "/run/trait.dat";
  if (std::system(("chattr +i '" + trait + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "chattr +i is not available here";
  scratch_.write("study.pre", STUDY);
  const int status = run("--force study.pre run");
  (void)std::system(("chattr -i '" + trait + "'").c_str());
  EXPECT_EQ(status, 3);
  EXPECT_EQ(err_, "mglink-prep: cannot replace run/trait.dat: Operation not permitted (the run "
                  "directory is as it was)\n");
  EXPECT_EQ(run_files(), STUDY_FILES);  // IWAY.DAT moved aside and back; no temporary folder
  expect_old_study();
}

// Line ends of every kind: "\r" alone (old Mac files), "\r\n" and "\n" read
// as the same table.
TEST_F(PrepHostile, EveryLineEndEndsALine) {
  std::string unix_text = STUDY;
  scratch_.write("unix.pre", unix_text);
  ASSERT_EQ(run("unix.pre run"), 0) << err_;
  const std::string iway = scratch_.read("run/IWAY.DAT");
  const std::string mapping = scratch_.read("run/mapping.txt");
  std::string mac, dos, mixed;
  int n = 0;
  for (char ch : unix_text) {
    if (ch != '\n') {
      mac += ch;
      dos += ch;
      mixed += ch;
      continue;
    }
    mac += '\r';
    dos += "\r\n";
    mixed += ++n % 3 == 0 ? "\r" : n % 3 == 1 ? "\r\n" : "\n";
  }
  for (const std::string& text : {mac, dos, mixed}) {
    scratch_.write("other.pre", text);
    fs::remove_all(fs::path(dir_) / "run");
    ASSERT_EQ(run("other.pre run"), 0) << err_;
    EXPECT_EQ(out_.find("mglink-prep: other.pre: 2 families, 8 individuals, 4 nuclear families\n"), 0u)
        << out_;
    EXPECT_EQ(scratch_.read("run/IWAY.DAT"), iway);
    EXPECT_EQ(scratch_.read("run/mapping.txt"), mapping);  // the same line numbers
  }
}

#endif

// The pipeline and the writer without the command line: a library caller
// prepares a study with its own options and writes the run directory.
TEST(PrepLibrary, PreparesAndWritesARunDirectory) {
  mglink::testing::ScratchDir d;
  PrepOptions opt;
  opt.frequencies.source = FrequencySource::given;
  opt.frequencies.given = {0.3, 0.25, 0.2, 0.15, 0.1};
  std::istringstream table("1 a 0 0 1 3.5 1 2\n1 b 0 0 2 4.5 2 5\n1 c a b 1 4 1 5\n");
  const Prepared pr = prepare(table, opt);
  ASSERT_TRUE(pr.problems.empty());
  WriteOptions w;
  w.title = "from a library";
  const fs::path run = fs::path(d.path()) / "run";
  const WriteReport rep = write_run_directory(run, pr, w);
  EXPECT_EQ(rep.written, (std::vector<std::string>{"IWAY.DAT", "trait.dat", "marker.dat", "task.inp",
                                                   "mapping.txt", "maxpar.inp", "par.inp"}));
  EXPECT_TRUE(rep.kept.empty());
  EXPECT_EQ(d.read("run/trait.dat"), trait_text(pr.ped));
  EXPECT_EQ(d.read("run/marker.dat"), marker_text(pr.ped));
  EXPECT_EQ(d.read("run/par.inp"), par_text(pr.start, "from a library"));
  EXPECT_NE(d.read("run/par.inp").find("\n0.3000000000   frequency of marker allele 1\n"),
            std::string::npos);
  // A second write keeps the control files and leaves nothing else behind.
  const WriteReport again = write_run_directory(run, pr, w);
  EXPECT_EQ(again.kept, (std::vector<std::string>{"maxpar.inp", "par.inp"}));
  std::size_t entries = 0;
  for (const auto& e : fs::directory_iterator(run)) entries += e.is_regular_file() ? 1 : 100;
  EXPECT_EQ(entries, 7u);

  // Options out of range from a library caller are problems, not a crash.
  PrepOptions bad;
  bad.table.trait_column = 2147483647;
  bad.frequencies.source = FrequencySource::given;
  bad.frequencies.given = {0.5, 0.5, 0.5, 0.0, 0.0};
  std::istringstream t2("1 a 0 0 1 3.5 1 2\n");
  const Prepared none = prepare(t2, bad);
  ASSERT_EQ(none.problems.size(), 2u);
  EXPECT_EQ(format_problem("t", none.problems[0]),
            "t: the trait column 2147483647 is not a column number from 6 to 100000");
  EXPECT_EQ(format_problem("t", none.problems[1]),
            "t: the given marker allele frequencies 0.5,0.5,0.5,0,0 are not five numbers of at "
            "least 0 summing to 1 (within 1e-5)");
  // Given frequencies that leave out a typed allele.
  PrepOptions zero;
  zero.frequencies.source = FrequencySource::given;
  zero.frequencies.given = {0.5, 0.5, 0.0, 0.0, 0.0};
  std::istringstream t3("1 a 0 0 1 3.5 1 3\n");
  const Prepared z = prepare(t3, zero);
  ASSERT_EQ(z.problems.size(), 1u);
  EXPECT_EQ(z.problems[0].text, "marker allele 3 is typed in the table, but its given frequency is 0");
}

}  // namespace
}  // namespace mglink::prep
