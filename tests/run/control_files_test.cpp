#include "run/control_files.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/scratch_dir.hpp"
#include "run/errors.hpp"

namespace mglink {
namespace {

using testing::ScratchDir;

const char* const kParameterLines[6] = {
    "1 1 0.3 0.05 0.0 1.0",         "2 1 10.0 0.5 -100 100", "3 1 12.0 0.5 -100 100",
    "4 0 14.0 0.5 -100 100",        "5 1 0.2 0.05 0.0 0.5",  "6 1 4.0 0.5 0.01 100",
};

std::string par_text(const std::string& title, std::vector<std::string> lines,
                     const std::string& tail = "") {
  std::string t = title + "\n";
  for (const auto& l : lines) t += l + "\n";
  t += "0.1\n0.15\n0.2\n0.25\n0.3\n";
  return t + tail;
}

std::vector<std::string> standard_lines() {
  return std::vector<std::string>(std::begin(kParameterLines), std::end(kParameterLines));
}

std::unique_ptr<ModelState> state() {
  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  return st;
}

TEST(ReadPar, StoresEveryItemAndAppliesThePassRule) {
  ScratchDir d;
  // The title line holds numbers: it is skipped all the same.  The first
  // parameter line carries a remark after its six values.
  std::vector<std::string> lines = standard_lines();
  lines[0] += "   frequency of allele 1, 7 8 9";
  d.write("par.inp", par_text("1 1 0.9 0.9 0.9 0.9", lines));
  auto st = state();

  EXPECT_EQ(read_par(*st, 1, d.file("par.inp")), 4);  // flags 1,1,1,0,(1 -> 0),1
  const auto& p = st->OPTPAR1;
  EXPECT_EQ(st->OPTPAR2.LINK(1), 1);
  EXPECT_EQ(st->OPTPAR2.LINK(6), 6);
  EXPECT_EQ(p.X(1), 0.3);
  EXPECT_EQ(p.STEP(1), 0.05);
  EXPECT_EQ(p.XLOW(1), 0.0);  // item 5 is the lower bound,
  EXPECT_EQ(p.XUPP(1), 1.0);  // item 6 the upper one
  EXPECT_EQ(p.X(4), 14.0);
  EXPECT_EQ(p.IFREE(4), 0);
  EXPECT_EQ(p.XLOW(6), 0.01);
  EXPECT_EQ(p.IFREE(5), 0);  // pass 1 holds theta at 0.5
  EXPECT_EQ(p.X(5), 0.5);
  EXPECT_EQ(p.STEP(5), 0.05);
  EXPECT_EQ(p.X(7), 0.1);
  EXPECT_EQ(p.X(11), 0.3);

  // Pass 2 reads the file again and uses the theta line as written, also
  // after the maximiser has moved the parameters.
  st->OPTPAR1.X(1) = 0.77;
  st->OPTPAR1.STEP(1) = -0.01;
  EXPECT_EQ(read_par(*st, 2, d.file("par.inp")), 5);
  EXPECT_EQ(p.IFREE(5), 1);
  EXPECT_EQ(p.X(5), 0.2);
  EXPECT_EQ(p.X(1), 0.3);
  EXPECT_EQ(p.STEP(1), 0.05);
}

TEST(ReadPar, ThetaHeldInTheFileStaysHeldInPass2) {
  ScratchDir d;
  std::vector<std::string> lines = standard_lines();
  lines[4] = "5 0 0.1 0.05 0.0 0.5";
  for (auto& l : lines) l[2] = '0';  // every flag 0
  d.write("par.inp", par_text("title", lines));
  auto st = state();
  EXPECT_EQ(read_par(*st, 2, d.file("par.inp")), 0);
  EXPECT_EQ(st->OPTPAR1.X(5), 0.1);
  EXPECT_EQ(read_par(*st, 1, d.file("par.inp")), 0);
  EXPECT_EQ(st->OPTPAR1.X(5), 0.5);
}

TEST(ReadPar, AParameterLineWithFiveValuesShiftsTheLaterReads) {
  ScratchDir d;
  std::vector<std::string> lines = standard_lines();
  lines[5] = "6 1 4.0 0.5 0.01";  // XUPP(6) missing
  auto st = state();

  // The read of parameter 6 takes the first value of the next line as XUPP(6)
  // and drops the rest of that line; X(7..11) each take the line after the
  // one meant for them, here a spare last line.
  d.write("par.inp", par_text("title", lines, "0.5  spare line\n"));
  read_par(*st, 2, d.file("par.inp"));
  EXPECT_EQ(st->OPTPAR1.XUPP(6), 0.1);
  EXPECT_EQ(st->OPTPAR1.X(7), 0.15);
  EXPECT_EQ(st->OPTPAR1.X(10), 0.3);
  EXPECT_EQ(st->OPTPAR1.X(11), 0.5);

  // Without the spare line the last read meets the end of the file.
  d.write("par.inp", par_text("title", lines));
  try {
    read_par(*st, 2, d.file("par.inp"));
    FAIL() << "end of file not reported";
  } catch (const RunStop& e) {
    EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
    EXPECT_NE(e.detail().find("par.inp"), std::string::npos) << e.detail();
  }
}

TEST(ReadPar, RejectsTiesAndFlagsOutsideTheirRange) {
  struct Case {
    int param;
    const char* line;
    const char* fragment;
  };
  const Case cases[] = {
      {1, "0 1 0.3 0.05 0.0 1.0", "line 2 (parameter 1): LINK(1) = 0,"},
      {3, "12 1 12.0 0.5 -100 100", "line 4 (parameter 3): LINK(3) = 12,"},
      {6, "-6 1 4.0 0.5 0.01 100", "line 7 (parameter 6): LINK(6) = -6,"},
      {2, "2 2 10.0 0.5 -100 100", "line 3 (parameter 2): IFREE(2) = 2,"},
      {5, "5 -1 0.2 0.05 0.0 0.5", "line 6 (parameter 5): IFREE(5) = -1,"},
  };
  for (const Case& c : cases) {
    ScratchDir d;
    std::vector<std::string> lines = standard_lines();
    lines[c.param - 1] = c.line;
    d.write("par.inp", par_text("title", lines));
    auto st = state();
    try {
      read_par(*st, 2, d.file("par.inp"));
      ADD_FAILURE() << "accepted: " << c.line;
    } catch (const RunStop& e) {
      EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
      EXPECT_TRUE(e.console().empty());
      EXPECT_NE(e.detail().find(d.file("par.inp") + ", " + c.fragment), std::string::npos)
          << e.detail();
    }
  }
  // Ties to any parameter 1..11, the marker frequencies included, are valid.
  ScratchDir d;
  std::vector<std::string> lines = standard_lines();
  lines[0] = "11 0 0.3 0.05 0.0 1.0";
  lines[4] = "2 1 0.2 0.05 0.0 0.5";
  d.write("par.inp", par_text("title", lines));
  auto st = state();
  EXPECT_EQ(read_par(*st, 1, d.file("par.inp")), 3);
  EXPECT_EQ(st->OPTPAR2.LINK(1), 11);
  EXPECT_EQ(st->OPTPAR2.LINK(5), 2);
}

// Values outside their meaning are refused when par.inp is read, naming the
// line and the parameter; every value a valid study can use stays accepted.
TEST(ReadPar, RejectsValuesOutsideTheirMeaning) {
  struct Case {
    int line_index;    // 1..6: parameter line, 7..11: marker allele frequency
    const char* text;  // that line
    const char* message;  // after the file name; "" = accepted
  };
  const Case cases[] = {
      {5, "5 0 1.5 0.05 0.0 0.5",
       ", line 6 (parameter 5): X(5) = 1.5, but theta must lie between 0 and 1"},
      {5, "5 1 -0.2 0.05 0.0 0.5",
       ", line 6 (parameter 5): X(5) = -0.2, but theta must lie between 0 and 1"},
      {1, "1 0 1.25 0.05 0.0 1.0",
       ", line 2 (parameter 1): X(1) = 1.25, but the frequency of major allele 1 must lie "
       "between 0 and 1"},
      {1, "1 1 -1e-9 0.05 -1.0 1.0",
       ", line 2 (parameter 1): X(1) = -1e-09, but the frequency of major allele 1 must lie "
       "between 0 and 1"},
      {6, "6 0 0 0.5 0.01 100",
       ", line 7 (parameter 6): X(6) = 0, but the trait variance must be above 0"},
      {6, "6 1 -4.0 0.5 -10 100",
       ", line 7 (parameter 6): X(6) = -4, but the trait variance must be above 0"},
      {9, "-0.05",
       ", line 10 (marker allele frequency X(9)): X(9) = -0.05, but a marker allele frequency "
       "cannot be below 0"},
      {5, "5 1 0.2 0.05 -0.1 0.5",
       ", line 6 (parameter 5): the bounds XLOW(5) = -0.1 and XUPP(5) = 0.5 of theta, which is "
       "estimated, reach outside 0 to 1; bounds from 0 to 1 at most"},
      {1, "1 1 0.3 0.05 0.0 1.5",
       ", line 2 (parameter 1): the bounds XLOW(1) = 0 and XUPP(1) = 1.5 of the frequency of "
       "major allele 1, which is estimated, reach outside 0 to 1; bounds from 0 to 1 at most"},
      // A value beyond the doubles is refused by the reader itself.
      {6, "6 1 1e999 0.5 0.01 100",
       ", line 7: \"1e999\" is too large for a double precision number (reading X(6), "
       "parameter line 6)"},
      // Valid edges: theta above 0.5, at 0 and at 1; an allele frequency of 0
      // or 1 held; bounds exactly 0 and 1; held parameters with wide bounds; a
      // marker allele of frequency 0; a tiny variance; a tied parameter, whose
      // own value is never used.
      {5, "5 1 0.7 0.05 0.0 1.0", ""},
      {5, "5 0 0 0.05 -3 3", ""},
      {5, "5 0 1 0.05 0.0 0.5", ""},
      {1, "1 0 0 0.05 0.0 1.0", ""},
      {1, "1 0 1 0.05 -2 2", ""},
      {1, "1 1 0.5 0.05 0 1", ""},
      {6, "6 1 1e-300 1e-301 0 1", ""},
      {7, "0", ""},
      {5, "1 0 7.5 0.05 0.0 0.5", ""},
      {6, "2 0 -1 0.5 0.01 100", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ScratchDir d;
    std::vector<std::string> lines = standard_lines();
    std::vector<std::string> markers = {"0.1", "0.15", "0.2", "0.25", "0.3"};
    if (c.line_index <= 6)
      lines[static_cast<std::size_t>(c.line_index - 1)] = c.text;
    else
      markers[static_cast<std::size_t>(c.line_index - 7)] = c.text;
    std::string text = "title\n";
    for (const auto& l : lines) text += l + "\n";
    for (const auto& m : markers) text += m + "\n";
    d.write("par.inp", text);
    for (int pass : {1, 2}) {
      auto st = state();
      try {
        read_par(*st, pass, d.file("par.inp"));
        EXPECT_STREQ(c.message, "") << "accepted in pass " << pass;
      } catch (const RunStop& e) {
        EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
        EXPECT_EQ(e.detail(), d.file("par.inp") + c.message) << "pass " << pass;
      }
    }
  }
}

TEST(ControlFiles, MissingFileIsNamedAndNotCreated) {
  ScratchDir d;
  auto st = state();
  for (const char* name : {"par.inp", "maxpar.inp", "task.inp"}) {
    try {
      if (std::string(name) == "par.inp") read_par(*st, 1, d.file(name));
      if (std::string(name) == "maxpar.inp") read_maxpar(d.file(name));
      if (std::string(name) == "task.inp") read_task(d.file(name));
      ADD_FAILURE() << name << " missing but read";
    } catch (const RunStop& e) {
      EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
      EXPECT_NE(e.detail().find(name), std::string::npos) << e.detail();
    }
    EXPECT_FALSE(d.exists(name));
  }
}

TEST(ReadMaxpar, FiveReadsOfOneValueEach) {
  ScratchDir d;
  d.write("maxpar.inp", "1  IPRINT 2 3\n1.0E-4 EPSX\n200, MAXIT\n0.5\n1d-6\n");
  MaxparSettings s = read_maxpar(d.file("maxpar.inp"));
  EXPECT_EQ(s.IPRINT, 1);
  EXPECT_EQ(s.EPSX, 1.0e-4);
  EXPECT_EQ(s.MAXIT, 200);
  EXPECT_EQ(s.RHO, 0.5);
  EXPECT_EQ(s.EPSF, 1.0e-6);
}

TEST(ReadTask, NamesAreCutToTenCharactersAndTrimmed) {
  ScratchDir d;
  d.write("task.inp", "trait.dat   the trait values\n'mark file'\nresults.out12\n");
  TaskNames t = read_task(d.file("task.inp"));
  EXPECT_EQ(t.TRAITFILE, "trait.dat");
  EXPECT_EQ(t.MARKERFILE, "mark file");
  EXPECT_EQ(t.RESULTFILE, "results.ou");

  d.write("task.inp", "trait.dat\n''\nresult\n");
  try {
    read_task(d.file("task.inp"));
    FAIL() << "empty name accepted";
  } catch (const RunStop& e) {
    EXPECT_NE(e.detail().find("task.inp, line 2: the name of the marker data file (MARKERFILE) "
                              "is empty"),
              std::string::npos)
        << e.detail();
  }
}

}  // namespace
}  // namespace mglink
