// One marker's analysis: from its genotypes to its line of the results
// table, through exact runs in the run directory mglink-prep writes for it
// (mglink's own for five alleles or fewer, the K-allele passes for more).
//
// Starts.  The trait model is fitted once per study (fit_trait_model): an
// mglink run of the study with a marker that carries no information (the
// likelihood of every marker untyped), from mglink-prep's start values; its
// pass 1 gives the major allele frequency, the three means and the
// variance.  Each marker's par.inp then starts from that fit,
// with theta at the first of the theta starts (0.25); when pass 2 ends below
// pass 1, the marker is run again from each further theta start (0.05,
// 0.45) and the run with the highest pass-2 ln L is kept.  With prep starts
// (--starts prep) a marker is the one run of mglink-prep's own par.inp.
//
// The seam for other likelihood paths: analyse_marker recodes the marker
// and checks it (MarkerCase), and a path turns a MarkerCase into a
// PathResult (analyse_five_allele: mglink's five alleles, a marker of more
// lumped to five only with --lump; analyse_exact in exact.hpp: every allele
// of a marker with more than five).
#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "evaluator/evaluator.hpp"
#include "run/run_driver.hpp"
#include "scan/looped.hpp"
#include "scan/markers.hpp"
#include "scan/recode.hpp"
#include "scan/study_prep.hpp"
#include "scan/table.hpp"

namespace mglink::scan {

// The start values of every marker's runs.
struct TraitModel {
  bool fitted = false;         // false: mglink-prep's start values (prep starts, or the fit failed)
  std::array<double, 7> X{};   // X(1..6) of the fit (X(5) unused)
  double lnL = 0.0;            // ln L of the study with every marker untyped, at the fit
  prep::StartValues start;     // mglink-prep's start values of the study (steps and bounds)
  std::string note;            // why the fit was not used, when it was not
};

struct ScanSettings {
  bool prep_starts = false;                       // --starts prep
  std::vector<double> theta_starts{0.25, 0.05, 0.45};  // the first, then the rest when below the null
  FreqSource source = FreqSource::founders;
  const std::vector<GivenFrequencies>* given = nullptr;
  bool untype_mendel = false;                     // --mendel untype
  bool lump = false;                              // --lump: more than five alleles lumped to five
  std::filesystem::path scratch;                  // temporary run directories
  std::optional<std::filesystem::path> keep_runs; // --keep-runs DIR
  long few_founder_alleles = 20;                  // fewer counted founder alleles: a warning
  // A family with loops whose likelihood costs more terms than this is left
  // out of a marker's analysis (about a second per likelihood on one core).
  double max_family_cost = DEFAULT_MAX_FAMILY_COST;
  static constexpr double DEFAULT_MAX_FAMILY_COST = 2e8;
};

// Everything a marker's analysis reads; shared read-only by the workers.
struct ScanContext {
  PrepView view;               // the individuals mglink-prep lays out (the families without loops)
  LoopedFamilies looped;       // the families with loops (none: every marker as mglink-prep sees it)
  bool beyond_capacity = false;  // the study is beyond mglink's capacities: the general path only
  std::vector<std::size_t> counted;  // the individuals whose alleles are counted: view's and looped's
  ScanSettings settings;
  TraitModel trait;
};

// Fits the trait model in run directory `dir` (removed afterwards): an
// mglink run of `study` from mglink-prep's start values, a study prepared
// without problems whose marker carries no information (every marker
// untyped, or everybody typed 1/1 at a marker of one allele: the same
// likelihood, the trait's alone).  Its pass 1 gives the model.
TraitModel fit_trait_model(const prep::Prepared& study, const std::filesystem::path& dir,
                           Evaluator& eval);

// The trait model a run of the trait alone gives (pass 1), or the note of
// why it is not used, on top of `t` (its start values); throws
// std::runtime_error when the run could not write its directory.
TraitModel trait_model_of(const RunResult& r, TraitModel t);

// par.inp of a marker: mglink-prep's steps and bounds, start values from the
// fitted trait model (each written so that it reads back exactly) and theta
// at `theta`; mglink-prep's own par.inp when the model is not fitted.
std::string marker_par_text(const TraitModel& trait, const prep::StartValues& marker_start,
                            double theta, const std::string& title);

// A marker recoded and checked, ready for a likelihood path.
struct MarkerCase {
  const PlannedMarker* planned = nullptr;
  const MarkerData* data = nullptr;
  RecodedMarker recoded;
  prep::Prepared prepared;     // mglink-prep's pipeline on the recoded marker, without problems
  std::string name;            // the marker's name
  std::vector<std::string> notes;  // for the reason column
  // The looped families analysed for the marker (indices into
  // ScanContext::looped.families, within the cost limit) and the alleles
  // of every looped member.
  std::vector<std::size_t> looped_kept;
  std::vector<std::array<int, 2>> looped_alleles;
};

// What a likelihood path found for a marker.
struct PathResult {
  std::string status;          // ok, maximum-not-found, unusable-start, below-null, skipped
  std::string reason;
  int starts = 0;              // runs made
  std::optional<RunResult> run;  // the chosen run (passes completed are filled)
};

// The five-allele path: exact mglink runs (starts as above) of the run
// directory mglink-prep writes for the recoded marker.  Run directories are
// made under settings.scratch (`worker` keeps the workers' apart); the
// chosen one is moved to keep_runs/<run_name> when asked.  Throws
// std::runtime_error when a run directory cannot be written.
PathResult analyse_five_allele(const ScanContext& ctx, const MarkerCase& mc, Evaluator& eval, int worker);

// One run of a marker in its run directory (written for it before).
using RunOne = std::function<RunResult(const std::filesystem::path& dir)>;

// The runs of a marker from each theta start (as above), each made by
// `run_one` in a run directory written for it, and the chosen one; the
// five-allele path runs mglink there, the exact path (exact.hpp) the
// K-allele likelihood.
PathResult analyse_starts(const ScanContext& ctx, const MarkerCase& mc, int worker, const RunOne& run_one);

// The marker's line of the results table.
Row analyse_marker(const ScanContext& ctx, const PlannedMarker& pm, Evaluator& eval, int worker);

// The line of a marker the scan does not analyse (skipped, with `reason`).
Row skipped_row(const ScanContext& ctx, const PlannedMarker& pm, const std::string& reason);

// The p-value of the one-sided test of theta < 0.5: 0.5 erfc(sqrt(chi2/2))
// for chi2 > 0 (a 50:50 mixture of 0 and chi-square with one degree of
// freedom), 1 otherwise.
double one_sided_pvalue(double chi2);

}  // namespace mglink::scan
