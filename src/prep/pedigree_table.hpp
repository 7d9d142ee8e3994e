// Reading a pedigree table (LINKAGE pre-pedigree layout or PLINK .ped) into
// families, and linking each individual to its parents.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "prep/pedigree.hpp"

namespace mglink::prep {

// The missing-value code in force: opt.missing, or -999 (PLINK mode: -9).
std::string missing_code(const TableOptions& opt);

// Reads the table line by line.  Blank lines and comments are skipped.
// Each line's problems (column count, sex, trait, alleles, ids) are added to
// `problems`; the person is kept with the unusable field cleared, so that
// later checks can still look at the rest.  Families are grouped by id in the
// order of their first line; an id that appears twice in a family is a
// problem and its second line is dropped.
Pedigree read_table(std::istream& in, const TableOptions& opt, std::vector<Problem>& problems);

// Resolves every father and mother id within its family and builds the
// nuclear families.  Problems: a parent absent from the family, one parent
// known and the other not, a parent of the wrong sex or in both parental
// roles.  With opt.add_missing_parents absent parents are added as untyped
// founders, and a child with one known parent gets a placeholder co-parent
// (one per known parent, shared by all such children of that parent).
void link_families(Pedigree& ped, const TableOptions& opt, std::vector<Problem>& problems);

}  // namespace mglink::prep
