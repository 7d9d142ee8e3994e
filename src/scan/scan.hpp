// mglink-scan: a whole linkage study in one command.
//
// Stages: read and check the input (formats, the pedigree through
// mglink-prep's checks), plan the markers (map order, selection, chunk),
// check the output directory, fit the trait model once, analyse the markers
// on worker threads (each with its own evaluator), write the table in marker
// order as the markers finish, then the plot and a summary.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace mglink::scan {

// The command line; returns the exit status (ScanStatus).  `err_is_terminal`:
// progress is shown as one line updated in place.
int run_scan_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                     bool err_is_terminal);

}  // namespace mglink::scan
