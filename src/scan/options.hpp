// The command line of mglink-scan.
#pragma once

#include <string>
#include <vector>

#include "scan/input.hpp"
#include "scan/markers.hpp"
#include "scan/recode.hpp"

namespace mglink::scan {

// Exit statuses of mglink-scan.
enum ScanStatus : int {
  SCAN_OK = 0,            // the table is complete (markers that failed are lines with their status)
  SCAN_INPUT_ERROR = 1,   // the input files (or the tables to merge or plot) have problems; nothing written
  SCAN_USAGE = 2,         // bad command line, or an existing table without --force or --resume
  SCAN_OUTPUT_ERROR = 3,  // an output file or run directory cannot be written
  SCAN_INTERNAL = 4,      // a fault of mglink-scan (for instance a layout that breaks a peeling rule)
};

enum class Mode { scan, merge, plot_only, help, version };

struct Options {
  Mode mode = Mode::scan;
  // Input.
  std::string ped, dat, map, plink, pheno;
  ReadOptions read;
  bool add_missing_parents = false;
  bool skip_loops = false;
  double max_family_cost = 0;  // 0: the default (analysis.hpp)
  Selection selection;
  FreqSource freq = FreqSource::founders;
  std::string freq_file;
  bool untype_mendel = false;
  bool lump = false;  // --lump: markers of more than five alleles lumped to five, as before
  // Starts.
  bool prep_starts = false;
  std::vector<double> theta_starts{0.25, 0.05, 0.45};
  // Running.
  int threads = 0;  // 0: the machine's hardware threads
  int chunk_k = 1, chunk_n = 1;
  bool resume = false, force = false, quiet = false;
  std::string keep_runs;
  // Output, merge and plot.
  std::string outdir;
  std::vector<std::string> merge_inputs;
  std::string plot_table, plot_svg;
};

extern const char* const USAGE;
extern const char* const VERSION;

// Parses the arguments (without the program name).  Returns "" or what is
// wrong with them.
std::string parse_options(const std::vector<std::string>& args, Options& opt);

}  // namespace mglink::scan
