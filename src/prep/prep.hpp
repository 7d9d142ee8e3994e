// mglink-prep: from a pedigree table to a ready mglink run directory.
//
//   mglink-prep [options] PEDFILE OUTDIR
//   mglink-prep --check DIR
//
// Stages: read the table, link parents, check loops, Mendel and capacities,
// lay out the peeling order, count start values, write the run directory.
// Every stage adds to one list of problems; nothing is written unless the
// list is empty.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "prep/layout.hpp"
#include "prep/pedigree.hpp"
#include "prep/start_values.hpp"

namespace mglink::prep {

// Exit statuses of mglink-prep.
enum PrepStatus : int {
  PREP_OK = 0,            // run directory written (or --check: layout valid)
  PREP_TABLE_ERROR = 1,   // the table cannot be read or has problems (--check: layout invalid)
  PREP_USAGE = 2,         // bad command line
  PREP_OUTPUT_ERROR = 3,  // the run directory or a file in it cannot be written
  PREP_INTERNAL = 4,      // the layout built fails its own check (a fault of mglink-prep)
};

// File names written into the run directory.
inline constexpr const char* TRAIT_FILE = "trait.dat";
inline constexpr const char* MARKER_FILE = "marker.dat";
inline constexpr const char* RESULT_FILE = "result.out";
inline constexpr const char* MAPPING_FILE = "mapping.txt";

// Everything prepared from one table, before anything is written.
struct Prepared {
  Pedigree ped;
  std::vector<Problem> problems;
  IwayData layout;  // empty when there are problems
  StartValues start;
  long added = 0;   // individuals added by --add-missing-parents
  // mglink's first evaluation at the start values (theta 0.5), done here to
  // find what only the program's genotype lists and likelihood show.
  double start_loglik = 0.0;
  long genotype_slots = 0;
};

// Reads and checks the table, lays it out, counts start values and
// evaluates the log-likelihood there as mglink's first pass would.  Adds a
// problem when the genotype lists exceed N_WAY or a family's likelihood is
// zero at the start values.
Prepared prepare(std::istream& table, const TableOptions& opt, const LayoutOptions& layout = {});

// The trait file, the marker file and the mapping file of a prepared study.
std::string trait_text(const Pedigree& ped);
std::string marker_text(const Pedigree& ped);
std::string mapping_text(const Pedigree& ped, const IwayData& layout);

// The command line; returns the exit status.
int run_prep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mglink::prep
