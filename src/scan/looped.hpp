// Families whose pedigree has a loop (a marriage or consanguinity loop:
// first cousins who mate, two brothers married to two sisters, a man with
// children by two sisters ...).  mglink's run directory cannot hold them, so
// a study with such a family takes the general path for every marker: the
// families without loops are laid out and peeled as mglink peels them, and
// each looped family is summed out over its pedigree graph by variable
// elimination (pedigree_likelihood/graph_elimination.hpp).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "pedigree_likelihood/study.hpp"
#include "scan/study_prep.hpp"

namespace mglink::scan {

struct LoopedFamilies {
  std::vector<std::string> ids;          // family ids, in the order of the pedigree table
  std::vector<pedlik::Family> families;  // as graphs (members' parents)
  std::vector<double> trait;             // per member, family after family (unknown: below -998)
  std::vector<long> person;              // per member: study individual, -1 for one added by --add-missing-parents

  bool empty() const { return ids.empty(); }
  // Study individuals of the looped families (none added), increasing.
  std::vector<std::size_t> people() const;
};

// The families `ids` of a study prepared as a whole (`full`, whose problems
// are only those of its loops), as graphs; `view` is the view `full` was
// prepared from (it maps the table's lines back to study individuals).
LoopedFamilies looped_families(const prep::Prepared& full, const std::set<std::string>& ids,
                               const PrepView& view);

// A marker's alleles for the members of the looped families, in their order:
// allele1/allele2 per study individual (0 0 untyped), restricted to the
// individuals whose `typed` entry is not 0.
std::vector<std::array<int, 2>> looped_alleles(const LoopedFamilies& lf,
                                               const std::vector<std::uint16_t>& allele1,
                                               const std::vector<std::uint16_t>& allele2,
                                               const std::vector<std::uint8_t>& typed);

// What a marker finds in the looped families before it is analysed.
struct LoopedCheck {
  std::string inconsistent;       // the first family whose genotypes cannot be inherited; "" for none
  std::vector<std::size_t> kept;  // families within the cost limit (indices into lf.families)
  std::vector<std::string> notes; // one per family left out for its cost
};

// The tables one evaluation of a looped family may hold, per worker thread.
inline constexpr double MAX_FAMILY_MIB = 512.0;

// The genotype elimination and the cost estimate of every looped family for
// a marker of K alleles with `frequency`, the members' alleles as
// looped_alleles gives them; families whose cost exceeds max_cost, or whose
// tables would take more than MAX_FAMILY_MIB, are left out.
LoopedCheck check_looped(const LoopedFamilies& lf, int K, const std::vector<double>& frequency,
                         const std::vector<std::array<int, 2>>& alleles, double max_cost);

// LOOPS.txt in a marker's run directory: the looped families its sigma.DAT
// and result.dat include, which its family files (mglink's) cannot hold, so
// that mglink run there analyses the other families only.  Throws
// std::runtime_error when it cannot be written.
void write_looped_note(const std::filesystem::path& dir, const LoopedFamilies& lf,
                       const std::vector<std::size_t>& kept);

inline constexpr const char* LOOPS_NOTE = "LOOPS.txt";

}  // namespace mglink::scan
