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

// Checks NFAM, FAMOFF, NUCOFF, MEMOFF, MEMBER and ICONN of families 1..NFAM
// against the counts and capacities, and the peeling layout: within a family
// each individual is summed out (is a member other than the connector; parent
// 1 counts as connector when ICONN is 0) in at most one nuclear family, and
// every nuclear family whose connector it is comes before that one.
// Reads BUF1, BUF3, BUF14, BUF16, BUF15.  Throws RunStop naming `file`.
// Linear in the size of the data; one allocation.
void check_family_structure(const ModelState& st, const FamilyCounts& n, const std::string& file);

// Checks that the marker codes of the individuals of families 1..NFAM are
// 0..15.  Reads BUF1 and MARKER.  Throws RunStop naming `file`.
void check_marker_codes(const ModelState& st, const std::string& file);

}  // namespace mglink
