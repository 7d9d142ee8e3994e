// The family-study simulator: its run directories follow the peeling layout,
// are accepted by the program's readers, agree with the pedigree table, are
// reproducible, and the presets have the sizes the benchmarks rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/console.hpp"
#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "data/family_layout.hpp"
#include "data/wwdat.hpp"
#include "io/free_reader.hpp"
#include "likelihood/genmmp.hpp"
#include "model/genetics.hpp"
#include "run/control_files.hpp"
#include "support/scratch_dir.hpp"

#ifndef MGLINK_SIM_BIN
#error "MGLINK_SIM_BIN (path of mglink-sim) must be defined by the build"
#endif

namespace mglink {
namespace {

using testing::ScratchDir;

const char* const kSimFiles[] = {"IWAY.DAT",   "trait.dat", "marker.dat",  "task.inp",
                                 "maxpar.inp", "par.inp",   "pedigree.pre"};

using mglink::testing::read_file;

// Runs the simulator with the given options into dir; its exit status.
int run_sim(const std::string& options, const std::string& dir, std::string* output = nullptr) {
  const std::string log = dir + ".log";
  const std::string cmd =
      std::string("'") + MGLINK_SIM_BIN + "' " + options + " --out '" + dir + "' >'" + log + "' 2>&1";
  const int status = std::system(cmd.c_str());
  if (output != nullptr) *output = read_file(log);
  std::filesystem::remove(log);
  return status;
}

// One nuclear family as listed in IWAY.DAT.
struct Nuc {
  std::vector<int> members;
  int connector = 0;
};

// A row of pedigree.pre.
struct PreRow {
  int fam, id, father, mother, sex;
  std::string trait;
  int a1, a2;
};

// A run directory as the simulator wrote it, read back independently.
struct RunDir {
  std::vector<std::vector<Nuc>> fams;  // nuclear families of each family
  std::vector<int> size;               // members of each family
  std::vector<int> marker;             // per individual, global order
  std::vector<std::string> trait;      // per individual, as written
  std::vector<PreRow> pre;
};

RunDir read_run(const std::string& dir) {
  RunDir r;
  // The program's own reader of the family structure, with its checks.
  FreeReader in = FreeReader::open(dir + "/IWAY.DAT");
  const FamilyFile file = read_family_layout(in);
  const FamilyLayout& d = file.layout;
  const long s = d.nind();
  EXPECT_EQ(file.NFAM, file.counts.N);
  EXPECT_EQ(file.counts.S, s);
  EXPECT_EQ(file.counts.K, d.memoff.back());
  const auto at = [](const std::vector<std::int32_t>& v, int i) { return v[static_cast<std::size_t>(i)]; };
  for (int f = 0; f < d.nfam(); ++f) {
    r.size.push_back(at(d.famoff, f + 1) - at(d.famoff, f));
    r.fams.emplace_back();
    for (int j = at(d.nucoff, f); j < at(d.nucoff, f + 1); ++j) {
      Nuc nuc;
      nuc.members.assign(d.member.begin() + at(d.memoff, j), d.member.begin() + at(d.memoff, j + 1));
      nuc.connector = at(d.iconn, j);
      r.fams.back().push_back(nuc);
    }
  }
  std::ifstream tf(dir + "/trait.dat"), mf(dir + "/marker.dat"), pf(dir + "/pedigree.pre");
  std::string t;
  int c;
  while (tf >> t) r.trait.push_back(t);
  while (mf >> c) r.marker.push_back(c);
  PreRow row;
  while (pf >> row.fam >> row.id >> row.father >> row.mother >> row.sex >> row.trait >> row.a1 >> row.a2)
    r.pre.push_back(row);
  EXPECT_EQ(r.trait.size(), static_cast<std::size_t>(s));
  EXPECT_EQ(r.marker.size(), static_cast<std::size_t>(s));
  EXPECT_EQ(r.pre.size(), static_cast<std::size_t>(s));
  return r;
}

// The first broken rule of one family's layout as a complete layout
// (data/family_layout.hpp); "" when it holds.
std::string layout_fault(const std::vector<Nuc>& nucs, int size) {
  FamilyLayout d;
  for (const Nuc& n : nucs) d.add_nuclear(n.members, n.connector);
  d.close_family(size);
  return family_layout_problem(d, true);
}

TEST(SimulatorLayoutCheck, CatchesBrokenLayouts) {
  // Parents 1, 2 with children 3, 4; child 3 married to 5 with child 6.
  const std::vector<Nuc> good = {{{3, 5, 6}, 3}, {{1, 2, 3, 4}, 0}};
  EXPECT_EQ(layout_fault(good, 6), "");
  const std::vector<Nuc> child_first = {{{1, 2, 3, 4}, 3}, {{3, 5, 6}, 0}};
  EXPECT_EQ(layout_fault(child_first, 6), "");
  struct Case {
    std::vector<Nuc> nucs;
    const char* fault;
  };
  const Case bad[] = {
      {{{{1, 2, 3, 4}, 0}, {{3, 5, 6}, 3}},
       "family 1: nuclear family 2 is gathered onto individual 3 (its connector), but comes after "
       "nuclear family 1, in which individual 3 is summed out"},
      {{{{1, 2, 4, 3}, 3}, {{3, 5, 6}, 0}},
       "family 1, nuclear family 1: the connector ICONN(1) = 3 is child entry 4 of the list"},
      {{{{3, 5, 6}, 3}, {{1, 2, 3, 4}, 1}}, "family 1: individual 1 is never summed out"},
      {{{{3, 5, 6}, 0}, {{1, 2, 3, 4}, 0}},
       "family 1: individual 3 is summed out as parent 1 of a root in nuclear family 1 and again "
       "in nuclear family 2"},
      {{{{3, 5, 6}, 5}, {{1, 2, 3, 4}, 0}},
       "family 1: individual 3 is summed out (a member but not the connector) in nuclear family 1 "
       "and again in nuclear family 2"},
      {{{{1, 2, 3, 4}, 0}}, "family 1: individual 5 is in no nuclear family"},
      {{{{3, 5, 6}, 3}, {{6, 5}, 5}, {{1, 2, 3, 4}, 0}},
       "family 1: nuclear family 2 is gathered onto individual 5 (its connector), but comes after "
       "nuclear family 1, in which individual 5 is summed out"},
  };
  for (const auto& c : bad) {
    const std::string fault = layout_fault(c.nucs, 6);
    EXPECT_EQ(fault.substr(0, std::string(c.fault).size()), c.fault);
  }
}

// Marker code of an unordered allele pair, 0 for untyped.
int code_of(int a, int b) { return a == 0 && b == 0 ? 0 : IMRK(a, b); }

// Every check of one run directory.
void check_run(const std::string& dir, const std::string& what) {
  SCOPED_TRACE(what);
  const RunDir r = read_run(dir);
  if (r.pre.size() != r.marker.size() || r.trait.size() != r.marker.size()) return;  // reported
  std::size_t g = 0;
  for (std::size_t f = 0; f < r.fams.size(); ++f) {
    const int size = r.size[f];
    EXPECT_EQ(layout_fault(r.fams[f], size), "") << "family " << f + 1;
    // The pedigree table: the same individuals, parents as in the nuclear families.
    std::map<int, std::pair<int, int>> parents;  // child -> listed parents
    for (const auto& nuc : r.fams[f])
      for (std::size_t k = 2; k < nuc.members.size(); ++k)
        parents[nuc.members[k]] = {nuc.members[0], nuc.members[1]};
    for (int m = 1; m <= size; ++m, ++g) {
      const PreRow& row = r.pre[g];
      ASSERT_EQ(row.fam, static_cast<int>(f + 1));
      ASSERT_EQ(row.id, m);
      const auto it = parents.find(m);
      const std::pair<int, int> p = it == parents.end() ? std::pair<int, int>{0, 0} : it->second;
      EXPECT_TRUE((row.father == p.first && row.mother == p.second) ||
                  (row.father == p.second && row.mother == p.first))
          << "family " << f + 1 << " member " << m;
      if (row.father != 0) {
        EXPECT_EQ(r.pre[g - static_cast<std::size_t>(m - row.father)].sex, 1);
        EXPECT_EQ(r.pre[g - static_cast<std::size_t>(m - row.mother)].sex, 2);
      }
      EXPECT_EQ(row.trait, r.trait[g]);
      EXPECT_EQ(code_of(row.a1, row.a2), r.marker[g]);
    }
  }
  // The program's own readers accept the directory.
  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  try {
    const TaskNames task = read_task(dir + "/task.inp");
    const MaxparSettings mx = read_maxpar(dir + "/maxpar.inp");
    EXPECT_GT(mx.MAXIT, 0);
    WWDAT(*st, task.TRAITFILE, task.MARKERFILE, dir);
    EXPECT_EQ(st->BUF1.NFAM, static_cast<int>(r.fams.size()));
    for (int pass = 1; pass <= 2; ++pass) {
      EXPECT_EQ(read_par(*st, pass, dir + "/par.inp"), pass == 1 ? 5 : 6);
      for (int i = 1; i <= 6; ++i) {
        if (st->OPTPAR1.IFREE(i) == 0) continue;
        EXPECT_GT(st->OPTPAR1.X(i), st->OPTPAR1.XLOW(i)) << "pass " << pass << " parameter " << i;
        EXPECT_LT(st->OPTPAR1.X(i), st->OPTPAR1.XUPP(i)) << "pass " << pass << " parameter " << i;
      }
      double sum = 0;
      for (int i = 7; i <= 11; ++i) sum += st->OPTPAR1.X(i);
      EXPECT_NEAR(sum, 1.0, 1e-12);
    }
  } catch (const RunStop& e) {
    ADD_FAILURE() << "the program refuses the directory: " << e.detail() << e.console();
  }
}

TEST(Simulator, EveryShapeFollowsTheLayoutAndTheReadersAcceptIt) {
  const char* const options[] = {
      "--shape nuclear --families 30 --seed 7",  "--shape three-gen --families 40 --seed 8",
      "--shape spouses --families 40 --seed 9",  "--shape deep --families 40 --seed 10",
      "--shape large --families 10 --seed 11",   "--shape mix --families 60 --seed 12 --typed 0.3",
      "--preset study --typed 0 --missing 1",    "--preset typed",
      "--preset deep",                           "--preset study",
  };
  for (const char* opt : options) {
    ScratchDir tmp;
    const std::string dir = tmp.file("run");
    ASSERT_EQ(run_sim(opt, dir), 0) << opt;
    check_run(dir, opt);
  }
}

TEST(Simulator, SameSeedSameBytes) {
  ScratchDir tmp;
  const std::string opt = "--shape mix --families 50 --seed 99 --typed 0.7 --missing 0.2 --theta 0.1";
  ASSERT_EQ(run_sim(opt, tmp.file("a")), 0);
  ASSERT_EQ(run_sim("--theta 0.1 --missing 0.2 --typed 0.7 --seed 99 --families 50 --shape mix", tmp.file("b")), 0);
  ASSERT_EQ(run_sim("--shape mix --families 50 --seed 100 --typed 0.7 --missing 0.2 --theta 0.1", tmp.file("c")), 0);
  for (const char* f : kSimFiles) {
    const std::string a = read_file(tmp.file("a") + "/" + f);
    EXPECT_FALSE(a.empty()) << f;
    EXPECT_EQ(a, read_file(tmp.file("b") + "/" + f)) << f;
  }
  EXPECT_NE(read_file(tmp.file("a") + "/IWAY.DAT"), read_file(tmp.file("c") + "/IWAY.DAT"));
  EXPECT_NE(read_file(tmp.file("a") + "/trait.dat"), read_file(tmp.file("c") + "/trait.dat"));
}

// Members who are parents in some nuclear family of their family.
std::set<int> parents_of(const std::vector<Nuc>& nucs) {
  std::set<int> p;
  for (const auto& n : nucs)
    if (n.members.size() >= 2) p.insert({n.members[0], n.members[1]});
  return p;
}

// Generations in a family: 1 + the longest chain of parent-child links.
int generations(const RunDir& r, std::size_t f, std::size_t first) {
  std::vector<int> gen(static_cast<std::size_t>(r.size[f]) + 1, 1);
  int most = 1;
  for (int m = 1; m <= r.size[f]; ++m) {  // parents come before their children
    const PreRow& row = r.pre[first + static_cast<std::size_t>(m - 1)];
    if (row.father != 0) gen[static_cast<std::size_t>(m)] = 1 + std::max(gen[static_cast<std::size_t>(row.father)], gen[static_cast<std::size_t>(row.mother)]);
    most = std::max(most, gen[static_cast<std::size_t>(m)]);
  }
  return most;
}

// Genotype slots an individual keeps at most: 55 untyped, 3 or 4 typed.
int slots(int code) {
  if (code == 0) return 55;
  return (code == 1 || code == 6 || code == 10 || code == 13 || code == 15) ? 3 : 4;
}

TEST(Simulator, PresetSizes) {
  ScratchDir tmp;
  {
    SCOPED_TRACE("typed");
    ASSERT_EQ(run_sim("--preset typed", tmp.file("typed")), 0);
    const RunDir r = read_run(tmp.file("typed"));
    EXPECT_EQ(r.fams.size(), 600u);
    for (std::size_t f = 0; f < r.fams.size(); ++f) {
      ASSERT_EQ(r.fams[f].size(), 1u);
      EXPECT_GE(r.size[f], 4);
      EXPECT_LE(r.size[f], 7);
    }
    const auto typed = std::count_if(r.marker.begin(), r.marker.end(), [](int c) { return c != 0; });
    EXPECT_NEAR(static_cast<double>(typed) / static_cast<double>(r.marker.size()), 0.9, 0.03);
  }
  {
    SCOPED_TRACE("deep");
    ASSERT_EQ(run_sim("--preset deep", tmp.file("deep")), 0);
    const RunDir r = read_run(tmp.file("deep"));
    EXPECT_EQ(r.fams.size(), 200u);
    std::size_t first = 0;
    long bound = 0, untyped = 0, several_spouses = 0;
    for (std::size_t f = 0; f < r.fams.size(); first += static_cast<std::size_t>(r.size[f]), ++f) {
      EXPECT_EQ(generations(r, f, first), 3) << "family " << f + 1;
      EXPECT_EQ(r.marker[first], 0);  // grandparents untyped
      EXPECT_EQ(r.marker[first + 1], 0);
      std::map<int, int> couples;  // parent -> nuclear families as a parent
      for (const auto& n : r.fams[f]) {
        ++couples[n.members[0]];
        ++couples[n.members[1]];
      }
      several_spouses += std::any_of(couples.begin(), couples.end(), [](auto& p) { return p.second >= 2; });
    }
    for (int c : r.marker) {
      bound += slots(c);
      untyped += c == 0;
    }
    EXPECT_EQ(several_spouses, 200);
    EXPECT_GT(untyped * 4, static_cast<long>(r.marker.size()));  // many members keep 55 genotypes
    EXPECT_LE(bound, 92000);
  }
  {
    SCOPED_TRACE("capacity");
    std::string out;
    ASSERT_EQ(run_sim("--preset capacity", tmp.file("capacity"), &out), 0);
    const RunDir r = read_run(tmp.file("capacity"));
    EXPECT_EQ(r.fams.size(), 604u);
    EXPECT_GE(r.marker.size(), 23500u);
    EXPECT_LE(r.marker.size(), 24998u);
    // Untyped members are children who are parents nowhere: each keeps exactly
    // 55 genotypes, every typed member its 3 or 4, so the sum is the exact
    // number of slots of the enumeration.
    std::size_t first = 0;
    long total = 0, untyped = 0;
    for (std::size_t f = 0; f < r.fams.size(); first += static_cast<std::size_t>(r.size[f]), ++f) {
      const auto par = parents_of(r.fams[f]);
      for (int m = 1; m <= r.size[f]; ++m) {
        const int code = r.marker[first + static_cast<std::size_t>(m - 1)];
        if (code == 0) {
          ++untyped;
          EXPECT_EQ(par.count(m), 0u) << "family " << f + 1 << " member " << m;
          EXPECT_NE(r.pre[first + static_cast<std::size_t>(m - 1)].father, 0);
        }
        total += slots(code);
      }
    }
    EXPECT_GT(untyped, 0);
    EXPECT_LE(untyped, 50);
    EXPECT_GT(total, 91000);
    EXPECT_LE(total, 92000);
    EXPECT_NE(out.find("exactly " + std::to_string(total)), std::string::npos) << out;
  }
  {
    SCOPED_TRACE("study");
    ASSERT_EQ(run_sim("--preset study", tmp.file("study")), 0);
    const RunDir r = read_run(tmp.file("study"));
    EXPECT_EQ(r.fams.size(), 40u);
    int single = 0, three = 0, child_connector = 0, grandparent_root = 0;
    std::size_t first = 0;
    for (std::size_t f = 0; f < r.fams.size(); first += static_cast<std::size_t>(r.size[f]), ++f) {
      single += r.fams[f].size() == 1;
      if (generations(r, f, first) == 3) {
        ++three;
        const auto& last = r.fams[f].back();
        grandparent_root += last.members[0] == 1;  // grandfather is member 1
      }
      for (const auto& n : r.fams[f]) child_connector += n.members.size() > 2 && n.connector == n.members[2];
    }
    EXPECT_GE(single, 5);
    EXPECT_GE(three, 5);
    EXPECT_GT(child_connector, 0);
    EXPECT_GT(grandparent_root, 0);
    EXPECT_NE(std::count(r.marker.begin(), r.marker.end(), 0), 0);
    EXPECT_NE(std::count(r.trait.begin(), r.trait.end(), "-999"), 0);
  }
}

// The whole set-up and one evaluation of each pass on a preset: the
// enumeration keeps the slots the simulator predicts, every family has a
// likelihood.  Returns the slots of each pass.
std::vector<long> evaluate_preset(const std::string& preset) {
  ScratchDir tmp;
  const std::string dir = tmp.file("run");
  EXPECT_EQ(run_sim("--preset " + preset, dir), 0);
  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  std::vector<long> result;
  const TaskNames task = read_task(dir + "/task.inp");
  for (int pass = 1; pass <= 2; ++pass) {
    read_par(*st, pass, dir + "/par.inp");
    WWDAT(*st, task.TRAITFILE, task.MARKERFILE, dir);
    st->IMAX.ISETUP = -1;
    double lh = 0;
    GENMMP(*st, con, lh);
    EXPECT_GT(lh, -1e17) << preset << " pass " << pass;
    EXPECT_TRUE(std::isfinite(lh)) << preset << " pass " << pass;
    result.push_back(st->GENOT.IGOFF(st->GENOT.NTOT));
  }
  EXPECT_EQ(con.pauses(), 0) << out.str();
  return result;
}

TEST(Simulator, CapacityPresetFillsTheSlotsAsPredicted) {
  ScratchDir tmp;
  std::string out;
  ASSERT_EQ(run_sim("--preset capacity", tmp.file("c"), &out), 0);
  const std::size_t at = out.find("exactly ");
  ASSERT_NE(at, std::string::npos) << out;
  const long predicted = std::atol(out.c_str() + at + 8);
  const auto slots = evaluate_preset("capacity");
  ASSERT_EQ(slots.size(), 2u);
  EXPECT_EQ(slots[0], predicted);
  EXPECT_EQ(slots[1], predicted);
  EXPECT_LE(predicted, 92000);
  EXPECT_GT(predicted, 91000);
}

TEST(Simulator, EveryPresetHasAUsableLikelihood) {
  for (const char* p : {"typed", "deep", "study"}) {
    const auto slots = evaluate_preset(p);
    for (long s : slots) EXPECT_LE(s, 92000) << p;
  }
}

// The example study shows linkage clearly: at the simulated model the
// likelihood with theta 0.05 beats theta 0.5 by a LOD score above 3.
TEST(Simulator, ExampleStudyShowsLinkage) {
  const std::string dir = std::string(MGLINK_SOURCE_DIR) + "/examples/study";
  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  const TaskNames task = read_task(dir + "/task.inp");
  read_par(*st, 2, dir + "/par.inp");
  WWDAT(*st, task.TRAITFILE, task.MARKERFILE, dir);
  const double truth[] = {0.4, 85, 100, 115, 0.05, 25};
  for (int i = 1; i <= 6; ++i) {
    st->OPTPAR1.X(i) = truth[i - 1];
    st->OPTPAR1.IFREE(i) = 0;
  }
  st->IMAX.ISETUP = -1;
  double linked = 0, unlinked = 0;
  GENMMP(*st, con, linked);
  st->OPTPAR1.X(5) = 0.5;
  st->IMAX.ISETUP = 1;
  GENMMP(*st, con, unlinked);
  const double lod = (linked - unlinked) * 2.0 * 0.21739130885479366;
  EXPECT_GT(lod, 3.0) << "log-likelihoods " << linked << " and " << unlinked;
  EXPECT_LT(lod, 20.0);
}

// Log-likelihood at the start values of pass 2 of a run directory, with the
// parameters of par_dir/par.inp.
double start_loglik(const std::string& dir, const std::string& par_dir) {
  auto st = make_model_state();
  st->IMAX.NPAR = 6;
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  const TaskNames task = read_task(dir + "/task.inp");
  read_par(*st, 2, par_dir + "/par.inp");
  WWDAT(*st, task.TRAITFILE, task.MARKERFILE, dir);
  st->IMAX.ISETUP = -1;
  double lh = 0;
  GENMMP(*st, con, lh);
  return lh;
}

// The pedigree table describes the same families as IWAY.DAT: laid out
// afresh by mglink-prep (its own numbering, roots and order), the families
// have the same likelihood.
TEST(Simulator, PedigreeTableGivesTheSameLikelihood) {
#ifdef MGLINK_PREP_BIN
  for (const char* opt : {"--preset study", "--preset deep --families 25 --seed 3", "--shape mix --families 30 --seed 5"}) {
    ScratchDir tmp;
    ASSERT_EQ(run_sim(opt, tmp.file("sim")), 0) << opt;
    const std::string cmd = std::string("'") + MGLINK_PREP_BIN + "' '" + tmp.file("sim") + "/pedigree.pre' '" +
                            tmp.file("prep") + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << opt;
    const double sim = start_loglik(tmp.file("sim"), tmp.file("sim"));
    const double prep = start_loglik(tmp.file("prep"), tmp.file("sim"));
    EXPECT_GT(sim, -1e17) << opt;
    EXPECT_NEAR(prep, sim, 1e-10 * std::fabs(sim)) << opt;
  }
#else
  GTEST_SKIP() << "mglink-prep is not part of this build";
#endif
}

TEST(Simulator, ExampleStudyIsReproduced) {
  ScratchDir tmp;
  const std::string root = MGLINK_SOURCE_DIR;
  const std::string cmd = "'" + root + "/examples/make-study' '" + MGLINK_SIM_BIN + "' '" + tmp.file("study") +
                          "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* f : kSimFiles) {
    const std::string committed = read_file(root + "/examples/study/" + f);
    EXPECT_FALSE(committed.empty()) << f;
    EXPECT_EQ(committed, read_file(tmp.file("study") + "/" + f)) << "examples/study/" << f << " differs";
  }
}

TEST(Simulator, BadOptionsAreRefused) {
  struct Case {
    const char* options;
    const char* message;
  };
  const Case cases[] = {
      {"--preset huge", "unknown preset \"huge\""},
      {"--typed 1.5", "--typed needs a number from 0 to 1"},
      {"--theta 0.6", "--theta needs a number from 0 to 0.5"},
      {"--families 0", "--families needs a whole number from 1"},
      {"--shape ring", "unknown shape \"ring\""},
      {"--colour red", "unknown option \"--colour\""},
  };
  for (const auto& c : cases) {
    ScratchDir tmp;
    std::string out;
    EXPECT_NE(run_sim(c.options, tmp.file("run"), &out), 0) << c.options;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.options << ": " << out;
    EXPECT_FALSE(std::filesystem::exists(tmp.file("run"))) << c.options;
  }
}

// A row of the PLINK pedigree file of --scan-study: ids as written, the
// allele pairs of the markers ("0" untyped).
struct PlinkRow {
  std::string id, father, mother;
  int sex = 0;
  std::vector<std::pair<std::string, std::string>> geno;
  bool typed() const {
    return std::any_of(geno.begin(), geno.end(), [](const auto& g) { return g.first != "0"; });
  }
};

// The families of plink.ped in file order, each with its rows in order.
std::vector<std::vector<PlinkRow>> read_plink_families(const std::string& path) {
  std::vector<std::vector<PlinkRow>> fams;
  std::vector<std::string> fids;
  std::istringstream in(read_file(path));
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    std::string fid, trait, a, b;
    PlinkRow r;
    ls >> fid >> r.id >> r.father >> r.mother >> r.sex >> trait;
    while (ls >> a >> b) r.geno.emplace_back(a, b);
    if (fids.empty() || fids.back() != fid) {
      EXPECT_EQ(std::count(fids.begin(), fids.end(), fid), 0) << "family " << fid << " is split";
      fids.push_back(fid);
      fams.emplace_back();
    }
    fams.back().push_back(r);
  }
  return fams;
}

// The loops of one family, found from the parent links alone.
struct Loops {
  int cousin_matings = 0;         // couples with children, one parent of each a sib of one parent of the other
  int double_cousin_matings = 0;  // ... the parents of each sibs of the parents of the other, pair by pair
  int sister_wives = 0;           // men with children by two sisters
  int close_matings = 0;          // couples who are sibs, or parent and child
};

Loops loops_of(const std::vector<PlinkRow>& fam) {
  std::map<std::string, const PlinkRow*> by_id;
  for (const PlinkRow& r : fam) by_id[r.id] = &r;
  const auto sibs = [&](const std::string& x, const std::string& y) {
    const PlinkRow* a = by_id[x];
    const PlinkRow* b = by_id[y];
    return x != y && a != nullptr && b != nullptr && a->father != "0" && a->father == b->father &&
           a->mother == b->mother;
  };
  Loops l;
  std::set<std::pair<std::string, std::string>> couples;
  std::map<std::string, std::set<std::string>> wives;
  for (const PlinkRow& r : fam)
    if (r.father != "0") {
      couples.insert({r.father, r.mother});
      wives[r.father].insert(r.mother);
    }
  for (const auto& [fa, mo] : couples) {
    const PlinkRow* f = by_id[fa];
    const PlinkRow* m = by_id[mo];
    l.close_matings += sibs(fa, mo) || m->father == fa || f->mother == mo;
    int pairs = 0;
    for (const std::string& x : {f->father, f->mother})
      for (const std::string& y : {m->father, m->mother}) pairs += sibs(x, y);
    const bool matched = (sibs(f->father, m->father) && sibs(f->mother, m->mother)) ||
                         (sibs(f->father, m->mother) && sibs(f->mother, m->father));
    l.cousin_matings += pairs == 1;
    l.double_cousin_matings += pairs == 2 && matched;
    EXPECT_TRUE(pairs <= 1 || matched) << fa << " and " << mo << " are related in another way";
  }
  for (const auto& [man, women] : wives) {
    bool two_sisters = false;
    for (const std::string& x : women)
      for (const std::string& y : women) two_sisters = two_sisters || sibs(x, y);
    l.sister_wives += two_sisters;
  }
  return l;
}

// Every check of a study from --scan-study --loops: proper pedigrees, the
// oldest generation untyped, Mendelian genotypes; sets kinds to the number of
// families with a loop of each kind (first cousins, double first cousins,
// multiple marriages).
void check_looped_study(const std::string& dir, std::vector<int>& kinds) {
  const auto fams = read_plink_families(dir + "/plink.ped");
  kinds.assign(3, 0);
  long checked_in_loops = 0, typed = 0, people = 0;
  for (std::size_t f = 0; f < fams.size(); ++f) {
    SCOPED_TRACE("family " + std::to_string(f + 1));
    const auto& fam = fams[f];
    std::map<std::string, const PlinkRow*> by_id;
    for (const PlinkRow& r : fam) {
      EXPECT_TRUE(by_id.emplace(r.id, &r).second) << "id " << r.id << " twice";
      typed += r.typed();
      ++people;
    }
    // Both parents or none, in the family, of the right sexes.
    std::map<std::string, std::set<std::string>> children;  // parent -> children
    for (const PlinkRow& r : fam) {
      ASSERT_EQ(r.father == "0", r.mother == "0") << "member " << r.id;
      if (r.father == "0") continue;
      ASSERT_TRUE(by_id.count(r.father) && by_id.count(r.mother)) << "member " << r.id;
      EXPECT_EQ(by_id[r.father]->sex, 1) << "father of " << r.id;
      EXPECT_EQ(by_id[r.mother]->sex, 2) << "mother of " << r.id;
      EXPECT_NE(r.father, r.id);
      EXPECT_NE(r.mother, r.id);
      children[r.father].insert(r.id);
      children[r.mother].insert(r.id);
    }
    // Founder couples with grandchildren are the oldest generation: never typed.
    for (const PlinkRow& r : fam) {
      if (r.father == "0") continue;
      const PlinkRow* fa = by_id[r.father];
      const PlinkRow* mo = by_id[r.mother];
      if (fa->father != "0" || mo->father != "0" || children[r.id].empty()) continue;
      EXPECT_FALSE(fa->typed()) << "grandparent " << fa->id;
      EXPECT_FALSE(mo->typed()) << "grandparent " << mo->id;
    }
    const Loops l = loops_of(fam);
    EXPECT_EQ(l.close_matings, 0);
    const int features = (l.cousin_matings > 0) + (l.double_cousin_matings > 0) + (l.sister_wives > 0);
    EXPECT_LE(features, 1) << "loops of several kinds in one family";
    if (l.cousin_matings > 0) ++kinds[0];
    if (l.double_cousin_matings > 0) ++kinds[1];
    if (l.sister_wives > 0) ++kinds[2];
    // Mendelian inheritance at every marker: a typed child has one allele of
    // each typed parent, one from each when both are typed.
    for (const PlinkRow& r : fam) {
      if (r.father == "0") continue;
      const PlinkRow& fa = *by_id[r.father];
      const PlinkRow& mo = *by_id[r.mother];
      ASSERT_EQ(r.geno.size(), fa.geno.size());
      ASSERT_EQ(r.geno.size(), mo.geno.size());
      for (std::size_t m = 0; m < r.geno.size(); ++m) {
        const auto& [a, b] = r.geno[m];
        if (a == "0") continue;
        const auto carries = [](const std::pair<std::string, std::string>& g, const std::string& x) {
          return g.first == x || g.second == x;
        };
        const bool ft = fa.geno[m].first != "0", mt = mo.geno[m].first != "0";
        if (ft) {
          EXPECT_TRUE(carries(fa.geno[m], a) || carries(fa.geno[m], b)) << r.id << " marker " << m + 1;
        }
        if (mt) {
          EXPECT_TRUE(carries(mo.geno[m], a) || carries(mo.geno[m], b)) << r.id << " marker " << m + 1;
        }
        if (ft && mt) {
          EXPECT_TRUE((carries(fa.geno[m], a) && carries(mo.geno[m], b)) ||
                      (carries(fa.geno[m], b) && carries(mo.geno[m], a)))
              << r.id << " marker " << m + 1 << ": " << a << " " << b;
          checked_in_loops += features > 0;
        }
      }
    }
  }
  if (kinds[0] + kinds[1] + kinds[2] > 0) {
    EXPECT_GT(checked_in_loops, 50) << "too few typed trios in the loops";
  }
  EXPECT_GT(typed * 2, people) << "most members are typed";
}

TEST(ScanStudyLoops, LoopedFamiliesOfEachKindAreProperAndMendelian) {
  struct Case {
    const char* options;
    std::vector<int> kinds;  // families with first cousins, double first cousins, multiple marriages
  };
  const std::string all = "--loops first-cousins,double-first-cousins,multiple-marriages";
  const Case cases[] = {
      // A quarter of the families by default, the kinds in turn.
      {"--families 24 --seed 4", {2, 2, 2}},
      {"--families 5 --loop-families 5 --seed 8", {2, 2, 1}},
      // At least one of each kind, at most all families.
      {"--families 2 --seed 2", {1, 1, 0}},
      {"--families 40 --seed 6 --loop-families 30", {10, 10, 10}},
  };
  for (const Case& c : cases) {
    const std::string opt = std::string("--scan-study ") + c.options + " " + all;
    SCOPED_TRACE(opt);
    ScratchDir tmp;
    std::string out;
    ASSERT_EQ(run_sim(opt, tmp.file("s"), &out), 0) << out;
    std::vector<int> kinds;
    check_looped_study(tmp.file("s"), kinds);
    EXPECT_EQ(kinds, c.kinds);
  }
  {
    // One kind alone, and a study without --loops has no loop at all.
    ScratchDir tmp;
    ASSERT_EQ(run_sim("--scan-study --families 12 --loops multiple-marriages", tmp.file("m")), 0);
    std::vector<int> kinds;
    check_looped_study(tmp.file("m"), kinds);
    EXPECT_EQ(kinds, (std::vector<int>{0, 0, 3}));
    ASSERT_EQ(run_sim("--scan-study --families 60", tmp.file("none")), 0);
    check_looped_study(tmp.file("none"), kinds);
    EXPECT_EQ(kinds, (std::vector<int>{0, 0, 0}));
  }
}

TEST(ScanStudyLoops, SameSeedSameBytes) {
  ScratchDir tmp;
  const std::string opt = "--scan-study --families 30 --errors 2 --loops multiple-marriages,first-cousins,double-first-cousins";
  ASSERT_EQ(run_sim(opt + " --seed 17", tmp.file("a")), 0);
  ASSERT_EQ(run_sim(opt + " --seed 17", tmp.file("b")), 0);
  ASSERT_EQ(run_sim(opt + " --seed 18", tmp.file("c")), 0);
  ASSERT_EQ(run_sim("--scan-study --families 30 --errors 2 --seed 17", tmp.file("plain")), 0);
  for (const char* f : {"study.ped", "study.dat", "study.map", "study.freq", "plink.ped", "plink.map"}) {
    const std::string a = read_file(tmp.file("a") + "/" + f);
    EXPECT_FALSE(a.empty()) << f;
    EXPECT_EQ(a, read_file(tmp.file("b") + "/" + f)) << f;
  }
  EXPECT_NE(read_file(tmp.file("a") + "/study.ped"), read_file(tmp.file("c") + "/study.ped"));
  EXPECT_NE(read_file(tmp.file("a") + "/study.ped"), read_file(tmp.file("plain") + "/study.ped"));
}

TEST(ScanStudyLoops, ExampleIsReproduced) {
  ScratchDir tmp;
  const std::string root = MGLINK_SOURCE_DIR;
  const std::string cmd = "'" + root + "/examples/make-loop-study' '" + MGLINK_SIM_BIN + "' '" + tmp.file("loops") +
                          "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  for (const char* f : {"study.ped", "study.dat", "study.map", "study.freq", "plink.ped", "plink.map"}) {
    const std::string committed = read_file(root + "/examples/loops/" + f);
    EXPECT_FALSE(committed.empty()) << f;
    EXPECT_EQ(committed, read_file(tmp.file("loops") + "/" + f)) << "examples/loops/" << f << " differs";
  }
  std::vector<int> kinds;
  check_looped_study(root + "/examples/loops", kinds);
  EXPECT_EQ(kinds, (std::vector<int>{3, 3, 3}));
}

TEST(ScanStudyLoops, BadOptionsAreRefused) {
  struct Case {
    const char* options;
    const char* message;
  };
  const Case cases[] = {
      {"--loops rings", "unknown kind of loop \"rings\""},
      {"--loops first-cousins,", "unknown kind of loop \"\""},
      {"--loops first-cousins,multiple-marriages,first-cousins", "--loops names \"first-cousins\" twice"},
      {"--loop-families 3", "--loop-families needs --loops"},
      {"--families 6 --loops first-cousins --loop-families 7", "--loop-families 7 is more than the 6 families"},
      {"--loops first-cousins --loop-families 0", "--loop-families needs a whole number from 1"},
  };
  for (const auto& c : cases) {
    ScratchDir tmp;
    std::string out;
    EXPECT_NE(run_sim(std::string("--scan-study ") + c.options, tmp.file("s"), &out), 0) << c.options;
    EXPECT_NE(out.find(c.message), std::string::npos) << c.options << ": " << out;
    EXPECT_FALSE(std::filesystem::exists(tmp.file("s"))) << c.options;
  }
}

}  // namespace
}  // namespace mglink
