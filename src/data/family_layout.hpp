// The family structure file IWAY.DAT: the one definition of its layout, its
// writer, its reader, the peeling-order rule and the loader into the model
// state.  The data reader (wwdat.hpp), mglink-prep, mglink-sim and the tests
// all go through here.
//
// Families are runs of individuals: family f holds individuals FAMOFF(f)+1
// .. FAMOFF(f+1), numbered 1, 2, ... within the family.  Each family is a
// list of nuclear families, NUCOFF(f)+1 .. NUCOFF(f+1), in the order they
// are peeled.  Nuclear family j lists its members MEMBER(MEMOFF(j)+1 ..
// MEMOFF(j+1)): parent 1, parent 2, then the children; a one-entry list is an
// individual alone.
//
// The peeling rule.  Nuclear family j is gathered onto its collector: the
// connector ICONN(j) when it is not 0 (a parent, or the first child, entry
// 3), else parent 1.  ICONN(j) = 0 marks a root: its collector's weights
// close a connected part of the family.  Every member of j other than the
// collector is summed out in j.  mglink peels a family correctly when each
// individual is summed out in at most one nuclear family, and every nuclear
// family gathered onto it comes before that one.  A complete layout, as
// mglink-prep and mglink-sim write them, also sums out every individual of
// every family exactly once, the collector of a root counting as summed out
// at its root.
#pragma once

#include <string>
#include <vector>

#include "core/model_state.hpp"
#include "data/family_check.hpp"
#include "io/free_reader.hpp"

namespace mglink {

// The tables of IWAY.DAT, each as its entries 1, 2, ... (entry i at index
// i - 1).
struct FamilyLayout {
  std::vector<int32> famoff{0};  // FAMOFF(1..N+1): individuals before family f; the last is NIND
  std::vector<int32> nucoff{0};  // NUCOFF(1..N+1): nuclear families before family f
  std::vector<int32> memoff{0};  // MEMOFF(1..NNUC+1): member entries before nuclear family j
  std::vector<int32> member;     // MEMBER(1..K): numbers within the family
  std::vector<int32> iconn;      // ICONN(1..NNUC): connectors, 0 = root

  int nfam() const { return static_cast<int>(famoff.size()) - 1; }
  int nind() const { return famoff.empty() ? 0 : famoff.back(); }
  int nnuc() const { return static_cast<int>(iconn.size()); }

  // Building a layout: the nuclear families of a family in peeling order,
  // then the family closed with its number of individuals.
  void add_nuclear(const std::vector<int32>& members, int32 connector);
  void close_family(int32 individuals);
};

// The seven reads of IWAY.DAT for `d` (N = NFAM = the families of d, spare
// words 0, INDCODE and IPROB zeros), `per_line` values to a line: a read goes
// on over as many lines as it needs; an empty read is an empty line.
std::string family_layout_text(const FamilyLayout& d, int per_line);

// What a read of IWAY.DAT gives: the tables, NFAM and the counts.
struct FamilyFile {
  FamilyLayout layout;
  int32 NFAM = 0;
  FamilyCounts counts;
};

// Reads the seven reads of IWAY.DAT from `r` in the order and with the
// capacity limits and messages of the data reader (WWDAT), then checks them
// as it does (check_family_structure).  Throws RunStop as WWDAT would, with
// the same texts.
FamilyFile read_family_layout(FreeReader& r);

// Reads the seven reads of IWAY.DAT from `r` into the model state (BUF1,
// BUF3, BUF14, BUF16, BUF15, INDCODE, IPROB) and `n`: each count is tested
// against its capacity before the values it governs are stored (the order
// N, M, K, S).  A count beyond capacity throws RunStop with the fixed console
// line ("N_FAM exceed. Correct and recompile" and the like).  Nothing is
// checked beyond the counts.
void read_family_structure(FreeReader& r, ModelState& st, FamilyCounts& n);

// The first problem of `d` as a layout mglink reads (the checks of
// check_family_structure, with NFAM = N, S = NIND and the counts of d) and,
// with `complete`, as a complete layout (see above: every family has
// individuals, offsets start at 0 and end at the counts, every individual is
// summed out exactly once); "" when there is none.  The text names the family
// and the nuclear family, not the file.
std::string family_layout_problem(const FamilyLayout& d, bool complete);

// Writes d into the model state as the data reader would leave it: NFAM = N,
// FAMOFF, NUCOFF, MEMOFF, MEMBER, ICONN (spare words 0); nothing else.
// Throws std::length_error when d does not fit the capacities.
void load_family_layout(ModelState& st, const FamilyLayout& d);

}  // namespace mglink
