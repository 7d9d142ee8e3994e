// mglink-prep: from a pedigree table to a ready mglink run directory.
//
//   mglink-prep [options] PEDFILE OUTDIR
//   mglink-prep --check DIR
//
// The program is three parts: the pipeline (pipeline.hpp: table to a checked,
// evaluated study), the writer (writer.hpp: a study to a run directory, all or
// nothing) and the command line (this header), which reads the options,
// refuses what would destroy data and reports.  A library caller uses the
// pipeline and the writer without the command line.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "prep/pipeline.hpp"
#include "prep/writer.hpp"

namespace mglink::prep {

// Exit statuses of mglink-prep.
enum PrepStatus : int {
  PREP_OK = 0,            // run directory written (or --check: layout valid)
  PREP_TABLE_ERROR = 1,   // the table cannot be read or has problems (--check: layout invalid)
  PREP_USAGE = 2,         // bad command line
  PREP_OUTPUT_ERROR = 3,  // the run directory or a file in it cannot be written
  PREP_INTERNAL = 4,      // the layout built fails its own check (a fault of mglink-prep)
};

// The command line; returns the exit status.
int run_prep(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace mglink::prep
