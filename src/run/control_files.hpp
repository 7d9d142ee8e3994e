// The control files: maxpar.inp (maximiser settings), task.inp (file names)
// and par.inp (model parameters, read at the start of each pass).
#pragma once

#include <string>

#include "maximiser/methgi.hpp"
#include "run/model_state.hpp"

namespace mglink {

// The input files of a run whose names are fixed (the trait and marker
// files are named in task.inp).
inline constexpr const char* MAXPAR_FILE = "maxpar.inp";
inline constexpr const char* TASK_FILE = "task.inp";
inline constexpr const char* PAR_FILE = "par.inp";
inline constexpr const char* FAMILY_FILE = "IWAY.DAT";

// maxpar.inp: five reads of one value each, the maximiser's settings.
using MaxparSettings = SearchSettings;

// task.inp: three names of at most 10 characters, trailing blanks removed.
// An empty name is an error.
struct TaskNames {
  std::string TRAITFILE;
  std::string MARKERFILE;
  std::string RESULTFILE;
};

MaxparSettings read_maxpar(const std::string& path = MAXPAR_FILE);
TaskNames read_task(const std::string& path = TASK_FILE);

// par.inp for pass 1 (null hypothesis: theta held at 0.5) or 2.
// Writes LINK, IFREE, X(1..11), STEP, XLOW, XUPP of parameters 1..NPAR;
// reads NPAR.  Returns NEST, the number of estimated parameters after the
// pass rule.  LINK outside 1..11 and IFREE other than 0 or 1 are errors,
// naming the parameter line.  NPAR must be 6 (std::logic_error otherwise).
int read_par(ModelState& st, int pass, const std::string& path = PAR_FILE);

}  // namespace mglink
