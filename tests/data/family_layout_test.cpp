// The layout of IWAY.DAT: what the writer writes the reader reads back and
// the loader puts where the data reader puts it; one rule, two strengths.
#include "data/family_layout.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/errors.hpp"
#include "data/wwdat.hpp"
#include "io/free_reader.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

// Family 1: 1 x 2 with children 3, 4, gathered onto 3; 3 x 5 with child 6,
// the root.  Family 2: one individual alone.
FamilyLayout two_families() {
  FamilyLayout d;
  d.add_nuclear({1, 2, 3, 4}, 3);
  d.add_nuclear({3, 5, 6}, 0);
  d.close_family(6);
  d.add_nuclear({1}, 0);
  d.close_family(1);
  return d;
}

TEST(FamilyLayout, WrittenReadBackAndLoadedAsTheDataReaderLoadsIt) {
  const FamilyLayout d = two_families();
  EXPECT_EQ(family_layout_problem(d, true), "");
  const std::string wide = family_layout_text(d, 20);
  EXPECT_EQ(wide,
            "2 2 0 6 7\n"
            "0 0 2 3\n"
            "5 0 0 4 7 8\n"
            "8 1 2 3 4 3 5 6 1\n"
            "3 0 0\n"
            "7 0 0 0 0 0 0 0\n"
            "0 0 0 0 0 0 0\n");
  // The line width changes the line breaks only.
  const std::string narrow = family_layout_text(d, 4);
  EXPECT_EQ(narrow.substr(0, 18), "2 2 0 6\n7\n0 0 2 3\n");
  for (const std::string& text : {wide, narrow}) {
    FreeReader r("IWAY.DAT", text);
    const FamilyFile f = read_family_layout(r);
    EXPECT_EQ(f.layout.famoff, d.famoff);
    EXPECT_EQ(f.layout.nucoff, d.nucoff);
    EXPECT_EQ(f.layout.memoff, d.memoff);
    EXPECT_EQ(f.layout.member, d.member);
    EXPECT_EQ(f.layout.iconn, d.iconn);
    EXPECT_EQ(f.NFAM, 2);
    EXPECT_EQ(f.counts.S, 7);
  }

  // The loader leaves the tables as WWDAT leaves them from the file.
  testing::ScratchDir dir;
  dir.write("IWAY.DAT", narrow);
  dir.write("trait.dat", "1 2 3 4 5 6 7\n");
  dir.write("marker.dat", "0 0 0 0 0 0 0\n");
  auto read = make_model_state();
  WWDAT(*read, "trait.dat", "marker.dat", dir.path());
  auto loaded = make_model_state();
  load_family_layout(*loaded, d);
  EXPECT_EQ(loaded->BUF1.NFAM, read->BUF1.NFAM);
  for (long f = 1; f <= 3; ++f) {
    EXPECT_EQ(loaded->BUF1.FAMOFF(f), read->BUF1.FAMOFF(f));
    EXPECT_EQ(loaded->BUF3.NUCOFF(f), read->BUF3.NUCOFF(f));
  }
  for (long j = 1; j <= 4; ++j) EXPECT_EQ(loaded->BUF14.MEMOFF(j), read->BUF14.MEMOFF(j));
  for (long j = 1; j <= 3; ++j) EXPECT_EQ(loaded->BUF15.ICONN(j), read->BUF15.ICONN(j));
  for (long k = 1; k <= 8; ++k) EXPECT_EQ(loaded->BUF16.MEMBER(k), read->BUF16.MEMBER(k));
}

// mglink peels correctly whatever sums each individual out at most once;
// a complete layout (what mglink-prep and mglink-sim write) sums out every
// individual exactly once.  The gap between the two, and one wording.
TEST(FamilyLayout, MglinksRuleAndTheCompleteOne) {
  struct Case {
    const char* what;
    FamilyLayout d;
    std::string complete;  // the complete rule's problem; mglink's rule accepts each
  };
  FamilyLayout alone;  // 1 x 2 with child 3; 4 in no nuclear family
  alone.add_nuclear({1, 2, 3}, 0);
  alone.close_family(4);
  FamilyLayout unclosed;  // 1 x 2 with child 3 gathered onto 3, never summed out
  unclosed.add_nuclear({1, 2, 3}, 3);
  unclosed.close_family(3);
  FamilyLayout root_first;  // the root's parent 1 summed out again later
  root_first.add_nuclear({3, 4, 5}, 0);
  root_first.add_nuclear({1, 2, 3}, 1);
  root_first.close_family(5);
  const Case cases[] = {
      {"individual in no nuclear family", alone, "family 1: individual 4 is in no nuclear family"},
      {"a part without a root", unclosed,
       "family 1: individual 3 is never summed out: a nuclear family is gathered onto it, but no "
       "later one sums it out and it is not parent 1 of a root"},
      {"a root before a nuclear family of its collector", root_first,
       "family 1: individual 3 is summed out as parent 1 of a root in nuclear family 1 and again "
       "in nuclear family 2; a root comes after every other nuclear family of its connected "
       "part"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(family_layout_problem(c.d, false), "");
    EXPECT_EQ(family_layout_problem(c.d, true), c.complete);
  }
  // A problem under mglink's rule is the same text under both.
  FamilyLayout twice = two_families();
  twice.iconn[0] = 0;  // 3 summed out in nuclear family 1, then gathered onto
  const std::string p = family_layout_problem(twice, false);
  EXPECT_EQ(p.rfind("family 1: nuclear family 2 is gathered onto individual 3 (parent 1, as ICONN is 0)", 0), 0u) << p;
  EXPECT_EQ(family_layout_problem(twice, true), p);
}

}  // namespace
}  // namespace mglink
