#include "data/wwdat.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

using testing::ScratchDir;

template <class... Args>
std::string cat(const Args&... args) {
  std::ostringstream s;
  (s << ... << args);
  return s.str();
}

// The contents of IWAY.DAT and the two data files, written out read by read.
struct FamilyFiles {
  long N = 0;
  long NFAM = 0;
  std::vector<long> FAMOFF;  // N+1 values
  std::vector<long> NUCOFF;  // N+1 values (after a spare word 0)
  long M = 0;
  std::vector<long> MEMOFF;  // M-1 values (after a spare word 0)
  long K = 0;
  std::vector<long> MEMBER;
  std::vector<long> ICONN;  // M-2 values
  long S = 0;
  std::vector<long> INDCODE, IPROB;
  std::vector<double> TRAIT;
  std::vector<long> MARKER;

  template <class T>
  static void put(std::string& s, const std::vector<T>& v) {
    for (const T& x : v) s += cat(" ", x);
  }
  std::string iway() const {
    std::string s = cat(N, " ", NFAM);
    put(s, FAMOFF);
    s += "\n0";
    put(s, NUCOFF);
    s += cat("\n", M, " 0");
    put(s, MEMOFF);
    s += cat("\n", K);
    put(s, MEMBER);
    s += "\n";
    put(s, ICONN);
    s += cat("\n", S);
    put(s, INDCODE);
    s += "\n";
    put(s, IPROB);
    return s + "\n";
  }
  void write(const ScratchDir& d) const {
    d.write("IWAY.DAT", iway());
    std::string t, m;
    for (double x : TRAIT) t += std::to_string(x) + "\n";  // one value a line
    put(m, MARKER);
    d.write("trait.dat", t);
    d.write("marker.dat", m + "\n");
  }
};

// Two families.  Family 1: parents 1, 2 with children 3, 4 (one nuclear
// family, no connector).  Family 2, three generations: 1 x 2 with child 3,
// gathered onto 3 (nuclear family 2), then 3 x 4 with children 5 and 6, the
// root (nuclear family 3).
FamilyFiles two_families() {
  FamilyFiles f;
  f.N = 2;
  f.NFAM = 2;
  f.FAMOFF = {0, 4, 10};
  f.NUCOFF = {0, 1, 3};
  f.M = 5;
  f.MEMOFF = {0, 4, 7, 11};
  f.K = 11;
  f.MEMBER = {1, 2, 3, 4, 1, 2, 3, 3, 4, 5, 6};
  f.ICONN = {0, 3, 0};
  f.S = 10;
  f.INDCODE = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  f.IPROB = {0, 0, 1, 0, 0, 1, 0, 0, 1, 1};
  f.TRAIT = {10.5, -999, 11.2, 9.8, 1, 2, 3, 4, 5, 6};
  f.MARKER = {2, 7, 0, 3, 1, 1, 15, 0, 6, 1};
  return f;
}

void read(ModelState& st, const ScratchDir& d) { WWDAT(st, "trait.dat", "marker.dat", d.path()); }

TEST(WWDAT, ReadsTheExampleFamily) {
  ScratchDir d;
  d.write("IWAY.DAT", "1 1 0 4\n0 0 1\n3 0 0 4\n4 1 2 3 4\n0\n4 0 0 0 0\n0 0 0 0\n");
  d.write("trait.dat", "10.5 -999 11.2 9.8\n");
  d.write("marker.dat", "2 7 0 3\n");
  auto st = make_model_state();
  // A second read of the same files leaves the same contents.
  for (int pass = 1; pass <= 2; ++pass) {
    read(*st, d);
    EXPECT_EQ(st->BUF1.NFAM, 1);
    EXPECT_EQ(st->BUF1.FAMOFF(1), 0);
    EXPECT_EQ(st->BUF1.FAMOFF(2), 4);
    EXPECT_EQ(st->BUF3.NUCOFF(1), 0);
    EXPECT_EQ(st->BUF3.NUCOFF(2), 1);
    EXPECT_EQ(st->BUF14.MEMOFF(1), 0);
    EXPECT_EQ(st->BUF14.MEMOFF(2), 4);
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(st->BUF16.MEMBER(k), k);
    EXPECT_EQ(st->BUF15.ICONN(1), 0);
    EXPECT_EQ(st->BUF2.TRAIT(1), 10.5);
    EXPECT_EQ(st->BUF2.TRAIT(2), -999.0);
    EXPECT_EQ(st->BUF2.TRAIT(3), 11.2);
    EXPECT_EQ(st->BUF2.TRAIT(4), 9.8);
    EXPECT_EQ(st->BUF2.MARKER(1), 2);
    EXPECT_EQ(st->BUF2.MARKER(2), 7);
    EXPECT_EQ(st->BUF2.MARKER(3), 0);
    EXPECT_EQ(st->BUF2.MARKER(4), 3);
    EXPECT_EQ(st->BUF2.TRAIT(5), 0.0);  // nothing beyond S
  }
  // The first child as connector is allowed.
  d.write("IWAY.DAT", "1 1 0 4\n0 0 1\n3 0 0 4\n4 1 2 3 4\n3\n4 0 0 0 0\n0 0 0 0\n");
  read(*st, d);
  EXPECT_EQ(st->BUF15.ICONN(1), 3);
}

TEST(WWDAT, StoresEveryReadOfTwoFamilies) {
  ScratchDir d;
  FamilyFiles f = two_families();
  f.write(d);
  auto st = make_model_state();
  read(*st, d);
  EXPECT_EQ(st->BUF1.NFAM, 2);
  EXPECT_EQ(st->BUF1.FAMOFF(3), 10);
  EXPECT_EQ(st->BUF3.NUCOFF(3), 3);
  EXPECT_EQ(st->BUF14.MEMOFF(4), 11);
  EXPECT_EQ(st->BUF16.MEMBER(8), 3);
  EXPECT_EQ(st->BUF15.ICONN(2), 3);
  EXPECT_EQ(st->BUF2.INDCODE(10), 10);
  EXPECT_EQ(st->IPROB(9), 1);
  EXPECT_EQ(st->BUF2.TRAIT(10), 6.0);
  EXPECT_EQ(st->BUF2.MARKER(7), 15);
}

// Each row breaks the two families in one way; the message must name it.
TEST(WWDAT, RefusesInconsistentData) {
  using Edit = std::function<void(FamilyFiles&)>;
  struct Case {
    const char* what;
    Edit edit;
    const char* file;
    const char* fragment;
  };
  const std::string too_many = cat("FAMOFF(3) = ", N_IGOFF + 1, " (read 1) is more than ", N_IGOFF);
  const Case cases[] = {
      {"negative N", [](FamilyFiles& f) { f.N = -1; }, "IWAY.DAT",
       "the number of families N = -1 (read 1) is negative"},
      {"NFAM > N", [](FamilyFiles& f) { f.NFAM = 3; }, "IWAY.DAT",
       "NFAM = 3 (read 1) is larger than the number of families listed, N = 2"},
      {"NFAM < 0", [](FamilyFiles& f) { f.NFAM = -1; }, "IWAY.DAT",
       "NFAM = -1 (read 1) is negative"},
      {"FAMOFF negative", [](FamilyFiles& f) { f.FAMOFF[0] = -1; }, "IWAY.DAT",
       "FAMOFF(1) = -1 (read 1) is negative"},
      {"FAMOFF decreasing", [](FamilyFiles& f) { f.FAMOFF[2] = 3; }, "IWAY.DAT",
       "FAMOFF(3) = 3 (read 1) is smaller than FAMOFF(2) = 4"},
      {"too many individuals", [](FamilyFiles& f) { f.FAMOFF[2] = N_IGOFF + 1; }, "IWAY.DAT",
       too_many.c_str()},
      {"S below the individuals",
       [](FamilyFiles& f) {
         f.S = 9;
         f.INDCODE.pop_back();
         f.IPROB.pop_back();
       },
       "IWAY.DAT", "S = 9 (read 6) is smaller than the 10 individuals of families 1..2"},
      {"NUCOFF negative", [](FamilyFiles& f) { f.NUCOFF[0] = -2; }, "IWAY.DAT",
       "NUCOFF(1) = -2 (read 2) is negative"},
      {"NUCOFF decreasing", [](FamilyFiles& f) { f.NUCOFF = {0, 3, 1}; }, "IWAY.DAT",
       "NUCOFF(3) = 1 (read 2) is smaller than NUCOFF(2) = 3"},
      {"NUCOFF beyond M - 2", [](FamilyFiles& f) { f.NUCOFF[2] = 4; }, "IWAY.DAT",
       "NUCOFF(3) = 4 (read 2) is more than the M - 2 = 3 nuclear families of read 3"},
      {"MEMOFF negative", [](FamilyFiles& f) { f.MEMOFF[0] = -1; }, "IWAY.DAT",
       "MEMOFF(1) = -1 (read 3, family 1, nuclear family 1) is negative"},
      {"MEMOFF decreasing", [](FamilyFiles& f) { f.MEMOFF[2] = 3; }, "IWAY.DAT",
       "MEMOFF(3) = 3 (read 3) is smaller than MEMOFF(2) = 4"},
      {"empty member list", [](FamilyFiles& f) { f.MEMOFF[2] = 4; }, "IWAY.DAT",
       "family 2, nuclear family 2: its member list is empty"},
      {"MEMOFF beyond K", [](FamilyFiles& f) { f.MEMOFF[3] = 12; }, "IWAY.DAT",
       "MEMOFF(4) = 12 (read 3, end of nuclear family 3 of family 2) is more than the K = 11"},
      {"member 0", [](FamilyFiles& f) { f.MEMBER[1] = 0; }, "IWAY.DAT",
       "family 1, nuclear family 1, entry 2 (MEMBER(2) = 0): family 1 has individuals 1..4"},
      {"member beyond its family", [](FamilyFiles& f) { f.MEMBER[10] = 7; }, "IWAY.DAT",
       "family 2, nuclear family 3, entry 4 (MEMBER(11) = 7): family 2 has individuals 1..6"},
      {"member listed twice", [](FamilyFiles& f) { f.MEMBER[10] = 4; }, "IWAY.DAT",
       "family 2, nuclear family 3: individual 4 is listed twice, as entries 2 and 4"},
      {"connector outside the family", [](FamilyFiles& f) { f.ICONN[0] = 9; }, "IWAY.DAT",
       "family 1, nuclear family 1: the connector ICONN(1) = 9 (read 5) is not one of its"},
      {"connector not a member", [](FamilyFiles& f) { f.ICONN[1] = 4; }, "IWAY.DAT",
       "family 2, nuclear family 2: the connector ICONN(2) = 4 (read 5) is not one of its"},
      {"connector negative", [](FamilyFiles& f) { f.ICONN[2] = -3; }, "IWAY.DAT",
       "family 2, nuclear family 3: the connector ICONN(3) = -3 (read 5) is not one of its"},
      {"connector a later child", [](FamilyFiles& f) { f.ICONN[0] = 4; }, "IWAY.DAT",
       "family 1, nuclear family 1: the connector ICONN(1) = 4 is child entry 4 of the list"},
      {"summed out twice",
       [](FamilyFiles& f) { f.ICONN = {0, 1, 4}; }, "IWAY.DAT",
       "family 2: individual 3 is summed out (a member but not the connector) in nuclear "
       "family 2 and again in nuclear family 3"},
      {"gathered after being summed out",
       [](FamilyFiles& f) { f.ICONN = {0, 0, 3}; }, "IWAY.DAT",
       "family 2: nuclear family 3 is gathered onto individual 3 (its connector), but comes "
       "after nuclear family 2, in which individual 3 is summed out"},
      {"root gathered after being summed out",
       [](FamilyFiles& f) { f.ICONN = {0, 0, 0}; }, "IWAY.DAT",
       "family 2: nuclear family 3 is gathered onto individual 3 (parent 1, as ICONN is 0), "
       "but comes "
       "after nuclear family 2"},
      {"marker code 16", [](FamilyFiles& f) { f.MARKER[6] = 16; }, "marker.dat",
       "value 7 (individual 3 of family 2) is the marker code 16"},
      {"marker code -1", [](FamilyFiles& f) { f.MARKER[0] = -1; }, "marker.dat",
       "value 1 (individual 1 of family 1) is the marker code -1"},
  };
  for (const Case& c : cases) {
    ScratchDir d;
    FamilyFiles f = two_families();
    c.edit(f);
    f.write(d);
    auto st = make_model_state();
    try {
      read(*st, d);
      ADD_FAILURE() << "accepted: " << c.what;
    } catch (const RunStop& e) {
      EXPECT_EQ(e.status(), EXIT_INPUT_ERROR) << c.what;
      EXPECT_TRUE(e.console().empty()) << c.what;
      EXPECT_NE(e.detail().find(d.file(c.file) + ": " + c.fragment), std::string::npos)
          << c.what << "\n  got: " << e.detail();
    }
  }
}

// Data the likelihood handles correctly stay accepted.
TEST(WWDAT, AcceptsEverythingThePeelingHandles) {
  using Edit = std::function<void(FamilyFiles&)>;
  struct Case {
    const char* what;
    Edit edit;
  };
  const Case cases[] = {
      {"as given", [](FamilyFiles&) {}},
      {"NFAM smaller than N; family 2 left out is not checked",
       [](FamilyFiles& f) {
         f.NFAM = 1;
         f.MEMBER[10] = 99;
         f.ICONN[1] = 6;
         f.MARKER[9] = 16;
       }},
      {"extra values at the end of the data files",
       [](FamilyFiles& f) {
         f.TRAIT.push_back(7.0);
         f.MARKER.push_back(99);
       }},
      {"S larger than the individuals",
       [](FamilyFiles& f) {
         f.S = 11;
         f.INDCODE.push_back(0);
         f.IPROB.push_back(0);
         f.TRAIT.push_back(7.0);
         f.MARKER.push_back(-5);
       }},
      {"untyped individuals", [](FamilyFiles& f) { f.MARKER.assign(10, 0); }},
      {"peeled downwards: gathered onto 3 first, then summed out",
       [](FamilyFiles& f) {
         f.MEMBER = {1, 2, 3, 4, 3, 4, 5, 6, 1, 2, 3};
         f.MEMOFF = {0, 4, 8, 11};
         f.ICONN = {0, 3, 0};
       }},
      {"connector is parent 2", [](FamilyFiles& f) { f.ICONN[0] = 2; }},
      {"single individual and childless couple",
       // Family 2: the couple 1 x 2 and the single 3, each its own root;
       // 4, 5 and 6 in no nuclear family.
       [](FamilyFiles& f) {
         f.MEMOFF = {0, 4, 6, 7};
         f.K = 7;
         f.MEMBER = {1, 2, 3, 4, 1, 2, 3};
         f.ICONN = {0, 0, 0};
       }},
      {"several roots in a family; a parent of two nuclear families",
       // Family 2: 3 x 4 with children 5, 6, gathered onto 3; then 3 x 1
       // with child 2, the root: 3 is parent 1 of both.
       [](FamilyFiles& f) {
         f.MEMOFF = {0, 4, 8, 11};
         f.MEMBER = {1, 2, 3, 4, 3, 4, 5, 6, 3, 1, 2};
         f.ICONN = {0, 3, 0};
       }},
      {"a family with no nuclear family",
       [](FamilyFiles& f) {
         f.NUCOFF = {0, 1, 1};
         f.M = 3;
         f.MEMOFF = {0, 4};
         f.K = 4;
         f.MEMBER = {1, 2, 3, 4};
         f.ICONN = {0};
       }},
  };
  for (const Case& c : cases) {
    ScratchDir d;
    FamilyFiles f = two_families();
    c.edit(f);
    f.write(d);
    auto st = make_model_state();
    try {
      read(*st, d);
    } catch (const RunStop& e) {
      ADD_FAILURE() << c.what << ": " << e.detail();
    }
  }
}

// A list of zero length is empty, but its read still takes its line.
TEST(WWDAT, EmptyListsTakeTheirLine) {
  ScratchDir d;
  // N = 0, no family evaluated; M = 1 (the spare word only), so read 5 has
  // no values and its line is passed over.
  d.write("IWAY.DAT", "0 0 0\n0 0\n1 0\n0\n99 99\n2 5 6\n7 8\n");
  d.write("trait.dat", "1.5 2.5\n");
  d.write("marker.dat", "0 0\n");
  auto st = make_model_state();
  read(*st, d);
  EXPECT_EQ(st->BUF1.NFAM, 0);
  EXPECT_EQ(st->BUF2.INDCODE(1), 5);
  EXPECT_EQ(st->BUF2.INDCODE(2), 6);
  EXPECT_EQ(st->IPROB(2), 8);
  EXPECT_EQ(st->BUF2.TRAIT(2), 2.5);
}

TEST(WWDAT, MissingFileIsNamedAndNotCreated) {
  for (const char* missing : {"IWAY.DAT", "trait.dat", "marker.dat"}) {
    ScratchDir d;
    two_families().write(d);
    std::filesystem::remove(d.file(missing));
    auto st = make_model_state();
    try {
      read(*st, d);
      ADD_FAILURE() << missing << " missing but read";
    } catch (const RunStop& e) {
      EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
      EXPECT_NE(e.detail().find(missing), std::string::npos) << e.detail();
    }
    EXPECT_FALSE(d.exists(missing));
  }
}

// The largest data the tables hold: N = N_FAM families of one individual each
// (one single-entry nuclear family each), M = K = N_WAY, S = N_SIZE.  `over`
// adds one to the counts named in it (N, M, K, S).
FamilyFiles at_capacity(const std::string& over) {
  FamilyFiles f;
  f.N = N_FAM + (over.find('N') != std::string::npos);
  f.M = N_WAY + (over.find('M') != std::string::npos);
  f.K = N_WAY + (over.find('K') != std::string::npos);
  f.S = N_SIZE + (over.find('S') != std::string::npos);
  f.NFAM = f.N;
  for (long i = 0; i <= f.N; ++i) {
    f.FAMOFF.push_back(i);
    f.NUCOFF.push_back(i);
  }
  for (long j = 1; j <= f.M - 1; ++j) f.MEMOFF.push_back(std::min(j - 1, f.K));
  f.MEMBER.assign(static_cast<std::size_t>(f.K), 1);
  f.ICONN.assign(static_cast<std::size_t>(f.M - 2), 0);
  f.INDCODE.assign(static_cast<std::size_t>(f.S), 7);
  f.IPROB.assign(static_cast<std::size_t>(f.S), 0);
  f.TRAIT.assign(static_cast<std::size_t>(f.S), 1.5);
  f.MARKER.assign(static_cast<std::size_t>(f.S), 0);
  return f;
}

TEST(WWDAT, CapacityMessages) {
  ScratchDir d;
  auto st = make_model_state();
  at_capacity("").write(d);
  read(*st, d);
  EXPECT_EQ(st->BUF1.NFAM, N_FAM);
  EXPECT_EQ(st->BUF16.MEMBER(N_WAY), 1);
  EXPECT_EQ(st->BUF15.ICONN(N_WAY - 2), 0);
  EXPECT_EQ(st->BUF2.TRAIT(N_SIZE), 1.5);

  struct Case {
    const char* over;
    const char* console;
    std::string detail;
  };
  auto detail = [](const char* count, long value, const char* what, const char* cap_name,
                   long cap, const char* option) {
    return cat(count, " = ", value, " ", what, " is more than the capacity ", cap_name, " = ",
               cap, "; rebuild with a larger one, e.g. cmake -D", option, "=", value,
               " (mglink-scan analyses larger studies)");
  };
  const std::string n_fam =
      detail("N", N_FAM + 1, "families (read 1)", "N_FAM", N_FAM, "MGLINK_N_FAM");
  const std::string m_way = detail("M", N_WAY + 1, "nuclear-family offsets (read 3)", "N_WAY",
                                   N_WAY, "MGLINK_N_WAY");
  const std::string k_way =
      detail("K", N_WAY + 1, "member entries (read 4)", "N_WAY", N_WAY, "MGLINK_N_WAY");
  const std::string s_size =
      detail("S", N_SIZE + 1, "individuals (read 6)", "N_SIZE", N_SIZE, "MGLINK_N_SIZE");
  const char* fam = "N_FAM exceed. Correct and recompile";
  const char* way = "N_WAY exceed. Correct and recompile";
  const char* size = "N_SIZE exceed. Correct and recompile";
  const Case cases[] = {
      {"N", fam, n_fam},     {"M", way, m_way},     {"K", way, k_way},
      {"S", size, s_size},   {"NS", fam, n_fam},    {"MK", way, m_way},
      {"KS", way, k_way},    {"NMKS", fam, n_fam},  {"MS", way, m_way},
  };
  for (const Case& c : cases) {
    at_capacity(c.over).write(d);
    auto fresh = make_model_state();
    try {
      read(*fresh, d);
      ADD_FAILURE() << "accepted one over in " << c.over;
    } catch (const RunStop& e) {
      EXPECT_EQ(e.console(), c.console) << c.over;
      EXPECT_EQ(e.detail(), d.file("IWAY.DAT") + ": " + c.detail) << c.over;
      EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
    }
    // The count is tested before the values it governs are stored.
    if (c.over[0] == 'N') {
      EXPECT_EQ(fresh->BUF1.NFAM, 0);
    }
    if (c.over[0] == 'M') {
      EXPECT_EQ(fresh->BUF14.MEMOFF(2), 0);
    }
    if (c.over[0] == 'K') {
      EXPECT_EQ(fresh->BUF16.MEMBER(1), 0);
    }
    if (c.over[0] == 'S') {
      EXPECT_EQ(fresh->BUF2.INDCODE(1), 0);
    }
  }
}

}  // namespace
}  // namespace mglink
