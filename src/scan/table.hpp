// The results table scan.tsv: one header line, then one tab-separated line
// per marker, in scan order.  Numbers are written in the shortest form that
// reads back to the same double; what a failed marker lacks is empty.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "scan/study.hpp"

namespace mglink::scan {

inline constexpr std::array<const char*, 26> COLUMNS = {
    "chr",    "marker", "pos",    "alleles", "lumped",   "path",   "typed",  "lnL0",   "lnL1",  "theta",
    "p",      "mu1",    "mu2",    "mu3",     "var",      "chi2",   "lod",    "log10_lr",
    "pvalue", "iter0",  "evals0", "iter1",   "evals1",   "starts", "status", "reason"};

// Column indices.
enum Column : std::size_t {
  COL_CHR, COL_MARKER, COL_POS, COL_ALLELES, COL_LUMPED, COL_PATH, COL_TYPED, COL_LNL0, COL_LNL1, COL_THETA,
  COL_P, COL_MU1, COL_MU2, COL_MU3, COL_VAR, COL_CHI2, COL_LOD, COL_LOG10_LR, COL_PVALUE,
  COL_ITER0, COL_EVALS0, COL_ITER1, COL_EVALS1, COL_STARTS, COL_STATUS, COL_REASON
};

using Row = std::array<std::string, COLUMNS.size()>;

// The header line, with its line end.
std::string header_line();
// A row as a line, with its line end.  Tabs and line ends inside a field
// (only the reason could hold them) become blanks.
std::string row_line(const Row& row);
// The shortest text that reads back as exactly v.
std::string number_text(double v);

// The rows of a table text.  A line ends in LF or CR-LF (a table saved on
// another system).  `complete_only`: a last line without its LF (a scan
// stopped while writing it) is dropped instead of being a problem.  Problems: no or another header line, a line with another number
// of fields.
std::vector<Row> parse_table(const std::string& text, const std::string& file, bool complete_only,
                             std::vector<InputProblem>& problems);

// The whole content of a file; false when it cannot be opened or read.
bool read_whole_file(const std::string& path, std::string& text);

}  // namespace mglink::scan
