// Reading a study in the formats family-study tools exchange.
//
//   LINKAGE / QTDT / MERLIN: a pedigree file (family, individual, father,
//     mother, sex, then the items of the data file in order: one column per
//     trait T, affection A, covariate C, zygosity Z and skipped S item, S<n>
//     skipping n columns, and per marker M two allele columns or one "a/b"
//     column) with its data file (one "TYPE name" line per item, E ends it),
//     and an optional map file;
//   PLINK text files: PREFIX.ped (family, individual, father, mother, sex,
//     phenotype, two allele columns per marker of PREFIX.map), an optional
//     phenotype file (family, individual, values; an optional header line
//     "FID IID name ...").
//
// Every problem found is added to `problems` (file, line, family,
// individual); reading goes on past a bad line so that one report lists
// them all.  The links between individuals are checked later (mglink-prep's
// checks, on the whole pedigree).
#pragma once

#include <string>
#include <vector>

#include "scan/study.hpp"

namespace mglink::scan {

struct ReadOptions {
  std::string trait;          // the trait's name (--trait); PLINK without --pheno: any name
  std::string missing;        // a further missing-value code of the trait (--missing)
  bool header = false;        // the pedigree file's first line is a header (--ped-header)
  char comment = 0;           // lines starting with this character are comments (--comment)
};

// LINKAGE/QTDT pedigree and data files; map_file may be empty.
Study read_linkage(const std::string& ped_file, const std::string& dat_file,
                   const std::string& map_file, const ReadOptions& opt,
                   std::vector<InputProblem>& problems);

// PLINK PREFIX.ped and PREFIX.map, with the trait from pheno_file when given
// (the column named opt.trait, or the first; without a header line opt.trait
// may be the column's number, 1 = the first value column).
Study read_plink(const std::string& prefix, const std::string& pheno_file, const ReadOptions& opt,
                 std::vector<InputProblem>& problems);

// A map file: "CHR MARKER POSITION" lines, possibly under the header line
// "CHROMOSOME MARKER POSITION" (any case), or PLINK's "CHR MARKER CM BP".
// Attaches an entry to each marker of the study it names; sets map_in_bp
// when the map has four columns and every cM position is 0.
void read_map(const std::string& map_file, Study& study, std::vector<InputProblem>& problems);

// Allele frequencies given by the user, MERLIN .freq style: "M name" then
// either "F f1 f2 ..." (alleles labelled 1, 2, ...) or "A label freq" lines.
struct GivenFrequencies {
  std::string marker;
  std::vector<std::string> labels;
  std::vector<double> freq;
  long line = 0;
};
std::vector<GivenFrequencies> read_frequencies(const std::string& file,
                                               std::vector<InputProblem>& problems);

// Splits a line into its blank- or tab-separated fields.
std::vector<std::string> split_fields(const std::string& line);

}  // namespace mglink::scan
