// The peeling layout of a pedigree: its families as IWAY.DAT lays them out
// (data/family_layout.hpp: the tables, the peeling rule, the writer and the
// reader), chosen here from the table's parents and children.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "data/family_layout.hpp"
#include "prep/pedigree.hpp"

namespace mglink::prep {

using IwayData = FamilyLayout;

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

// The first broken rule of a complete layout (family_layout_problem: the
// checks of mglink's reader, and every individual summed out exactly once),
// naming the family and the nuclear family (1-based, within the whole file);
// empty when the layout is complete.
std::vector<std::string> check_layout(const IwayData& d);

// The seven reads of IWAY.DAT, ten values to a line; INDCODE and IPROB are
// written as zeros.
std::string iway_text(const IwayData& d);

// Reads IWAY.DAT as mglink's data reader does (read_family_layout: its
// reading order, capacities, checks and messages), and refuses what a
// complete layout cannot have: no families, NFAM other than N, S other than
// FAMOFF(N+1).  On a problem returns false and says why in `error`, naming
// the file as `file_name`.
bool parse_iway(const std::string& text, IwayData& d, std::string& error,
                const std::string& file_name = "IWAY.DAT");

}  // namespace mglink::prep
