// Consistency checks of the family data.
//
// The likelihood routines index the tables with the offsets and member
// numbers of IWAY.DAT and take its nuclear families as a peeling order, so
// the reader refuses data that would index outside the tables or peel in a
// wrong order.  Only what the evaluation of families 1..NFAM uses is checked;
// a message names the file, the family, the nuclear family, the entry and the
// individual, and tells what must change.
#pragma once

#include <string>

#include "core/farray.hpp"
#include "core/model_state.hpp"

namespace mglink {

// The counts of IWAY.DAT (reads 1, 3, 4 and 6); they are not stored in the
// shared state.
struct FamilyCounts {
  long N = 0;  // families listed (read 1)
  long M = 0;  // spare word + nuclear-family offsets (read 3); M - 2 nuclear families
  long K = 0;  // member entries (read 4)
  long S = 0;  // values per individual (read 6, and the trait and marker files)
};

// One table of IWAY.DAT: entries 1..n at p[0..n-1] (n: the capacity of a
// table of the model state, or the entries of a table read into memory).
// Every index is checked in the index-checked builds.
struct LayoutTable {
  const int32* p = nullptr;
  long n = 0;
  long operator()(long i) const {
    MGLINK_INDEX(i, 1, n, "IWAY.DAT table");
    return p[i - 1];
  }
};

// The tables the checks read, from the model state or from memory.
struct LayoutTables {
  long NFAM = 0;
  LayoutTable FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN;
};
LayoutTables layout_tables(const ModelState& st);

// Checks NFAM, FAMOFF, NUCOFF, MEMOFF, MEMBER and ICONN of families 1..NFAM
// against the counts and capacities, and the peeling rule of
// family_layout.hpp: within a family each individual is summed out in at
// most one nuclear family, and every nuclear family gathered onto it comes
// before that one.  Reads nothing beyond the counts.  With `complete`, also
// that every individual of families 1..NFAM is summed out exactly once (the
// collector of a root counting as summed out at its root).  Returns the
// first problem found ("" when none), naming the family, the nuclear family,
// the entry and the individual, not the file.  Linear in the size of the
// data; one allocation.
std::string family_structure_problem(const LayoutTables& t, const FamilyCounts& n, bool complete);

// The same on the model state (BUF1, BUF3, BUF14, BUF16, BUF15, as the data
// reader leaves them), without `complete`.  Throws RunStop naming `file`.
void check_family_structure(const ModelState& st, const FamilyCounts& n, const std::string& file);

// Checks that the marker codes of the individuals of families 1..NFAM are
// 0..15.  Reads BUF1 and MARKER.  Throws RunStop naming `file`.
void check_marker_codes(const ModelState& st, const std::string& file);

}  // namespace mglink
