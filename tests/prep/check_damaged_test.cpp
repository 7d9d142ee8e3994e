// mglink-prep --check on damaged family structure files: negative,
// decreasing and huge offsets and counts.  It reads IWAY.DAT with mglink's
// own reader, so it refuses each file without reading outside its tables
// (the sanitizer build runs these cases too) and in the very words mglink
// uses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "core/model_state.hpp"
#include "data/wwdat.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

namespace fs = std::filesystem;

#ifdef MGLINK_PREP_BIN

// The reads of IWAY.DAT, each a line of numbers.  Two families: 1 x 2 with
// children 3, 4; then 1 x 2 with child 3 gathered onto 3, and 3 x 4 with
// children 5, 6 (the root).
struct Reads {
  std::vector<std::string> line = {
      "2 2 0 4 10",               // N NFAM FAMOFF(1..3)
      "0 0 1 3",                  // spare NUCOFF(1..3)
      "5 0 0 4 7 11",             // M spare MEMOFF(1..4)
      "11 1 2 3 4 1 2 3 3 4 5 6",  // K MEMBER(1..11)
      "0 3 0",                    // ICONN(1..3)
      "10 0 0 0 0 0 0 0 0 0 0",   // S INDCODE(1..10)
      "0 0 0 0 0 0 0 0 0 0",      // IPROB(1..10)
  };
  std::string text() const {
    std::string s;
    for (const std::string& l : line) s += l + "\n";
    return s;
  }
};

struct Case {
  const char* what;
  int read;          // 1..7
  std::string line;  // its new text
  std::string message;
};

int run_check(const fs::path& dir, std::string& err) {
  const std::string cmd = "cd '" + dir.string() + "' && '" + MGLINK_PREP_BIN +
                          "' --check run >out.txt 2>err.txt";
  const int rc = std::system(cmd.c_str());
  err = testing::read_file(dir / "err.txt");
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

TEST(PrepCheckDamaged, RefusesEachInMglinksWords) {
  const std::string big = "2147483647";
  const Case cases[] = {
      {"N negative", 1, "-1 2 0 4 10", "the number of families N = -1 (read 1) is negative"},
      {"N huge", 1, "2147483647 2 0 4 10",
       "N = 2147483647 families (read 1) is more than the capacity N_FAM = " +
           std::to_string(N_FAM) + "; rebuild with a larger one, e.g. cmake -DMGLINK_N_FAM=2147483647 "
           "(mglink-scan analyses larger studies)"},
      {"NFAM huge", 1, "2 2147483647 0 4 10",
       "NFAM = 2147483647 (read 1) is larger than the number of families listed, N = 2; FAMOFF and "
       "NUCOFF hold offsets for families 1..N+1 only"},
      {"NFAM negative", 1, "2 -5 0 4 10", "NFAM = -5 (read 1) is negative"},
      {"FAMOFF negative", 1, "2 2 -4 4 10",
       "FAMOFF(1) = -4 (read 1) is negative; FAMOFF(f) is the number of individuals before family f"},
      {"FAMOFF decreasing", 1, "2 2 0 4 3",
       "FAMOFF(3) = 3 (read 1) is smaller than FAMOFF(2) = 4: family 2 would have a negative number "
       "of individuals; the offsets must not decrease"},
      {"FAMOFF huge", 1, "2 2 0 4 " + big,
       "FAMOFF(3) = 2147483647 (read 1) is more than " + std::to_string(N_IGOFF) +
           ", the most individuals the genotype lists have room for"},
      {"NUCOFF negative", 2, "0 -7 1 3",
       "NUCOFF(1) = -7 (read 2) is negative; NUCOFF(f) is the number of nuclear families before "
       "family f"},
      {"NUCOFF negative inside", 2, "0 0 -1 3",  // read out of its tables before
       "NUCOFF(2) = -1 (read 2) is negative; NUCOFF(f) is the number of nuclear families before "
       "family f"},
      {"NUCOFF decreasing", 2, "0 0 3 1",
       "NUCOFF(3) = 1 (read 2) is smaller than NUCOFF(2) = 3: family 2 would have a negative number "
       "of nuclear families; the offsets must not decrease"},
      {"NUCOFF huge", 2, "0 0 1 " + big,
       "NUCOFF(3) = 2147483647 (read 2) is more than the M - 2 = 3 nuclear families of read 3 (M = 5)"},
      {"M huge", 3, "2147483647 0 0 4 7 11",
       "M = 2147483647 nuclear-family offsets (read 3) is more than the capacity N_WAY = " +
           std::to_string(N_WAY) + "; rebuild with a larger one, e.g. cmake -DMGLINK_N_WAY=2147483647 "
           "(mglink-scan analyses larger studies)"},
      {"M negative", 3, "-3",
       "NUCOFF(1) = 0 (read 2) is more than the M - 2 = -5 nuclear families of read 3 (M = -3)"},
      {"MEMOFF negative", 3, "5 0 -2 4 7 11",
       "MEMOFF(1) = -2 (read 3, family 1, nuclear family 1) is negative; MEMOFF(j) is the number of "
       "member entries before nuclear family j"},
      {"MEMOFF decreasing", 3, "5 0 0 4 2 11",
       "MEMOFF(3) = 2 (read 3) is smaller than MEMOFF(2) = 4: nuclear family 2 of family 2 would "
       "have a negative number of members; the offsets must not decrease"},
      {"MEMOFF huge", 3, "5 0 0 4 7 " + big,
       "MEMOFF(4) = 2147483647 (read 3, end of nuclear family 3 of family 2) is more than the K = 11 "
       "member entries of read 4"},
      {"K negative", 4, "-1",
       "MEMOFF(2) = 4 (read 3, end of nuclear family 1 of family 1) is more than the K = -1 member "
       "entries of read 4"},
      {"K huge", 4, "2147483647 1 2",
       "K = 2147483647 member entries (read 4) is more than the capacity N_WAY = " +
           std::to_string(N_WAY) + "; rebuild with a larger one, e.g. cmake -DMGLINK_N_WAY=2147483647 "
           "(mglink-scan analyses larger studies)"},
      {"MEMBER huge", 4, "11 1 2 3 " + big + " 1 2 3 3 4 5 6",
       "family 1, nuclear family 1, entry 4 (MEMBER(4) = 2147483647): family 1 has individuals 1..4 "
       "only (members are numbered within their family)"},
      {"MEMBER negative", 4, "11 1 2 3 4 1 2 3 3 4 5 -6",
       "family 2, nuclear family 3, entry 4 (MEMBER(11) = -6): family 2 has individuals 1..6 only "
       "(members are numbered within their family)"},
      {"ICONN huge", 5, "0 " + big + " 0",
       "family 2, nuclear family 2: the connector ICONN(2) = 2147483647 (read 5) is not one of its "
       "members; the connector must be 0 or a member of the nuclear family"},
      {"ICONN negative", 5, "-1 3 0",
       "family 1, nuclear family 1: the connector ICONN(1) = -1 (read 5) is not one of its members; "
       "the connector must be 0 or a member of the nuclear family"},
      {"S negative", 6, "-10",
       "S = -10 (read 6) is smaller than the 10 individuals of families 1..2 (FAMOFF(3)); the trait "
       "and marker files need one value for each individual"},
      {"S huge", 6, "2147483647 0",
       "S = 2147483647 individuals (read 6) is more than the capacity N_SIZE = " +
           std::to_string(N_SIZE) + "; rebuild with a larger one, e.g. cmake -DMGLINK_N_SIZE=2147483647 "
           "(mglink-scan analyses larger studies)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::ScratchDir scratch;
    const fs::path dir = fs::path(scratch.path()) / "run";
    fs::create_directories(dir);
    Reads r;
    r.line[static_cast<std::size_t>(c.read - 1)] = c.line;
    scratch.write("run/IWAY.DAT", r.text());

    std::string err;
    EXPECT_EQ(run_check(scratch.path(), err), 1);
    EXPECT_EQ(err, "mglink-prep: run/IWAY.DAT: " + c.message + "\n");

    // mglink's own reader says the same.
    auto st = make_model_state();
    try {
      WWDAT(*st, "trait.dat", "marker.dat", dir.string());
      ADD_FAILURE() << "mglink accepted it";
    } catch (const RunStop& stop) {
      EXPECT_EQ(stop.detail(), (dir / "IWAY.DAT").string() + ": " + c.message);
    }
  }
}

#endif

}  // namespace
}  // namespace mglink
