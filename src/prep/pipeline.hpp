// mglink-prep's pipeline: from a pedigree table to a prepared study, checked
// and evaluated, before anything is written.
//
// Stages: read the table, link parents, check loops, Mendel and capacities,
// lay out the peeling order, count start values, evaluate the log-likelihood
// at them as mglink's first pass would.  Every stage adds to one list of
// problems; a study with problems is not to be written.  Nothing here touches
// a file or a stream other than the table read.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "prep/layout.hpp"
#include "prep/pedigree.hpp"
#include "prep/start_values.hpp"

namespace mglink::prep {

// Everything the pipeline is told: how to read the table, how to lay it out
// (a seed other than 0 picks a random valid layout), where the marker allele
// frequencies come from.
struct PrepOptions {
  TableOptions table;
  LayoutOptions layout;
  FrequencyOptions frequencies;
  // false: a study beyond mglink's capacities is laid out all the same (no
  // capacity problem, no evaluation by mglink's routines): for a program
  // with a likelihood of its own (mglink-scan's general path).
  bool check_capacity = true;
};

// Everything prepared from one table, before anything is written.
struct Prepared {
  Pedigree ped;
  std::vector<Problem> problems;
  IwayData layout;  // empty when there are problems
  StartValues start;
  long added = 0;   // individuals added by --add-missing-parents
  bool beyond_capacity = false;  // a count is beyond mglink's capacities (a problem says which)
  // mglink's first evaluation at the start values (theta 0.5), done here to
  // find what only the program's genotype lists and likelihood show.
  double start_loglik = 0.0;
  long genotype_slots = 0;
};

// Reads and checks the table, lays it out, counts start values and
// evaluates the log-likelihood there as mglink's first pass would.  Adds a
// problem when an option is out of range, the given marker allele
// frequencies leave out an allele of the table, the genotype lists exceed
// N_WAY or a family's likelihood is zero at the start values.
Prepared prepare(std::istream& table, const PrepOptions& opt);
Prepared prepare(std::istream& table, const TableOptions& opt, const LayoutOptions& layout = {});

// The problems of options that a command line or a library caller may set
// out of range (columns, given frequencies); empty when they are usable.
std::vector<Problem> option_problems(const PrepOptions& opt);

// Evaluates the start values of an existing par.inp (`par_path`, read as
// mglink reads it, for both passes) on a prepared study without problems:
// one problem when the file cannot be read as mglink reads it, when an
// estimated parameter starts on or outside its bounds, or when a family has
// likelihood zero there; none when mglink could start from it.  `shown`
// names the file in the problem texts.
std::vector<Problem> check_start_file(const Prepared& pr, const std::string& par_path,
                                      const std::string& shown);

}  // namespace mglink::prep
