// The study as mglink-prep sees it: a pedigree table per marker (every
// individual of the scan, the trait, the marker's recoded alleles), passed
// through mglink-prep's pipeline (links, loops, Mendel, capacities, layout,
// start values), and the run directory mglink-prep writes for it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// mglink-prep's pipeline and writer (one header before they were split).
#if __has_include("prep/pipeline.hpp")
#include "prep/pipeline.hpp"
#include "prep/writer.hpp"
#else
#include "prep/prep.hpp"
#endif
#include "prep/start_values.hpp"
#include "scan/study.hpp"

namespace mglink::scan {

// The individuals of a scan and how mglink-prep reads their table.
struct PrepView {
  const Study* study = nullptr;
  std::string ped_file;               // named in problem texts
  std::vector<std::size_t> people;    // indices into study->people, in file order
  prep::TableOptions table;           // how prepare() reads the generated table
  // false: a study beyond mglink's capacities is laid out all the same (the
  // scan then analyses it on its general path only).
  bool check_capacity = true;
};

// A view of every individual of the study.
PrepView make_view(const Study& study, const std::string& ped_file, bool add_missing_parents);

// The table mglink-prep reads: family, individual, father, mother, sex,
// trait (NA when missing), the two alleles (0 0 when untyped).  allele1 and
// allele2 are per study individual (empty: everybody untyped).
std::string prep_table(const PrepView& v, const std::vector<std::uint8_t>& allele1,
                       const std::vector<std::uint8_t>& allele2);

// mglink-prep's pipeline on that table.
prep::Prepared prepare_marker(const PrepView& v, const std::vector<std::uint8_t>& allele1,
                              const std::vector<std::uint8_t>& allele2);

// A problem of mglink-prep, with the generated table's line turned back into
// the line of the pedigree file.
InputProblem input_problem(const PrepView& v, const prep::Problem& p);
// The study individual on line `line` of the generated table (-1 for none).
long person_of_line(const PrepView& v, long line);

// Writes the run directory mglink-prep writes for a prepared study (IWAY.DAT,
// trait.dat, marker.dat, task.inp, mapping.txt, maxpar.inp) with `par` as
// par.inp, creating dir; for a study of no family (every family of the scan
// has a loop) only task.inp, maxpar.inp and par.inp.  Throws std::runtime_error when a file cannot be
// written.
void write_marker_run(const std::filesystem::path& dir, const prep::Prepared& pr,
                         const std::string& par);

// CAPACITY.txt in the run directory of a study beyond mglink's capacities:
// mglink cannot run the directory, whose sigma.DAT and result.dat are the
// scan's general path.  Throws std::runtime_error when it cannot be written.
void write_capacity_note(const std::filesystem::path& dir, const prep::Prepared& pr);

}  // namespace mglink::scan
