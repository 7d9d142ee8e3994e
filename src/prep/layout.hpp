// The peeling layout of IWAY.DAT: families as runs of individuals, each
// family as a list of nuclear families in the order mglink peels them.
//
// A nuclear family's member list is parent 1, parent 2, then the children;
// a one-entry list is an individual alone.  Its connector is the member that
// receives the nuclear family's contribution: a parent, or the first child
// (third entry); 0 makes parent 1 collect it and closes a connected part of
// the family (a root).  The layout is peelable when every individual of a
// family is summed out exactly once: as a member other than the connector of
// exactly one nuclear family, or as parent 1 of a root, and every nuclear
// family whose connector is that individual comes before that point.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "prep/pedigree.hpp"

namespace mglink::prep {

struct IwayData {
  std::vector<int> famoff;  // NFAM+1 entries: individuals before family f, then NIND
  std::vector<int> nucoff;  // NFAM+1 entries: nuclear families before family f, then NNUC
  std::vector<int> memoff;  // NNUC+1 entries: member entries before nuclear family j, then K
  std::vector<int> member;  // numbers within the family (1-based)
  std::vector<int> iconn;   // NNUC connectors, 0 = root
  int nfam() const { return static_cast<int>(famoff.size()) - 1; }
  int nind() const { return famoff.empty() ? 0 : famoff.back(); }
  int nnuc() const { return static_cast<int>(iconn.size()); }
};

struct LayoutOptions {
  // 0: the standard choice (below).  Any other value picks, reproducibly, a
  // random valid layout of the same pedigree: random roots and collectors,
  // random order of parents, of the other children and of the branches.
  std::uint64_t seed = 0;
};

// Lays out every family of a linked pedigree without loops.  Individual w of
// family f is Family::people[w-1].  In each connected part the root is the
// first nuclear family (in the order of its first child in the table) whose
// parents are both founders, collected into its father; every other nuclear
// family is peeled towards it, from the leaves inwards, onto the member on
// the way to the root.  An individual in no nuclear family is a one-entry
// nuclear family with connector 0.  Parts follow the table order of their
// first individual.
IwayData build_layout(const Pedigree& ped, const LayoutOptions& opt = {});

// Every broken rule of a layout (offsets, member numbers, connectors, the
// peeling order, individuals summed out never or twice), one text each,
// naming the family and the nuclear family (1-based, within the whole file).
std::vector<std::string> check_layout(const IwayData& d);

// The seven reads of IWAY.DAT; INDCODE and IPROB are written as zeros.
std::string iway_text(const IwayData& d);

// Reads the seven reads of IWAY.DAT with mglink's own free-format reader
// (no capacity limits).  On a malformed file, or one whose counts disagree
// (NFAM other than N, S other than FAMOFF(N+1)), returns false and says why
// in `error`.
// Messages name the file as `file_name`.
bool parse_iway(const std::string& text, IwayData& d, std::string& error,
                const std::string& file_name = "IWAY.DAT");

}  // namespace mglink::prep
