#include "run/run_driver.hpp"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "data/wwdat.hpp"
#include "io/message_file.hpp"
#include "io/run_dir.hpp"
#include "maximiser/methgi.hpp"
#include "run/console.hpp"
#include "run/control_files.hpp"
#include "run/errors.hpp"
#include "run/model_state.hpp"
#include "run/output_files.hpp"
#include "run/pass_output.hpp"
#include "run/search_warning.hpp"

#if __has_include(<fcntl.h>)
#include <fcntl.h>
#define MGLINK_HAVE_FCNTL 1
#endif

namespace mglink {

namespace {

namespace fs = std::filesystem;

constexpr int32 NPAR_MODEL = 6;  // parameters with tie, flag, step and bounds

// sigma.DAT and the result file: opened once before the first pass, from
// their beginning; sigma.DAT is closed first.
struct PassFiles {
  PassFiles(const fs::path& dir, const std::string& RESULTFILE)
      : result(in_dir(dir, RESULTFILE)), sigma(in_dir(dir, SIGMA_FILE)) {}
  void close() {
    sigma.close();
    result.close();
  }
  // Declared in this order so that an early end also closes sigma.DAT first
  // (the result file is opened first).
  OutputFile result;
  OutputFile sigma;
};

const char* parameter_name(int i) {
  switch (i) {
    case 1: return "frequency of major allele 1";
    case 2: return "trait mean of major-locus genotype 1";
    case 3: return "trait mean of major-locus genotype 2";
    case 4: return "trait mean of major-locus genotype 3";
    case 5: return "theta";
    case 6: return "trait variance";
    default: return "parameter";
  }
}

std::string number(double v) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return buf;
}

// The start values of a pass with estimated parameters give no usable
// likelihood: standard output and the files stay as they are, the reason goes
// to standard error.
RunStop unusable_start(const ModelState& st, int IPASS, double FINIT) {
  const std::string head = "pass " + std::to_string(IPASS) + " (" +
                           (IPASS == 1 ? "null hypothesis" : "alternative hypothesis") +
                           "): the start values in par.inp give no usable likelihood: ";
  const Rejection& r = st.rejection;
  std::string why;
  if (r.kind == Rejection::Kind::Bounds) {
    const int i = r.param;
    why = "parameter " + std::to_string(i) + " (" + parameter_name(i) + ") = " +
          number(st.OPTPAR1.X(i)) + " is on or outside its bounds " +
          number(st.OPTPAR1.XLOW(i)) + " and " + number(st.OPTPAR1.XUPP(i)) +
          " (an estimated parameter must lie strictly between them)";
  } else if (r.kind == Rejection::Kind::Family) {
    why = "family " + std::to_string(r.family) +
          " has likelihood zero at these values (log-likelihood " + number(r.value) + ")";
  } else {
    why = "the log-likelihood " + number(FINIT) + " is at or below -1e17";
  }
  return RunStop("", head + why, EXIT_UNUSABLE_START);
}

// The first evaluation of a pass: full set-up, genotype lists, likelihood at
// the start values.
double first_evaluation(ModelState& st, Console& con, Evaluator& eval) {
  st.IMAX.ISETUP = -1;
  double FINIT = 0.0;
  eval.evaluate(st, con, FINIT);
  con.line(initial_lh_line(FINIT));
  return FINIT;
}

SearchEnd maximise(ModelState& st, Console& con, Evaluator& eval, MessageFile& messages,
                   const MaxparSettings& m) {
  st.IMAX.ISETUP = 1;
  const Objective fcn = [&st, &con, &eval](double& LH) { eval.evaluate(st, con, LH); };
  return METHGI(st.OPTPAR1, con, messages, st.IMAX.NPAR, m, fcn);
}

// Both passes: theta held at 0.5, then estimated.  Each pass's figures go to
// `result` as soon as they are known, and what a complete run has to say on
// standard error to result.warning.
void run_linkage_test(ModelState& st, Console& con, Evaluator& eval, const fs::path& dir,
                      RunResult& result) {
  st.IMAX.NPAR = NPAR_MODEL;
  const MaxparSettings settings = read_maxpar(in_dir(dir, MAXPAR_FILE));
  const TaskNames task = read_task(in_dir(dir, TASK_FILE));
  check_output_names(task, dir.empty() ? std::string(".") : dir.string());
  PassFiles files(dir, task.RESULTFILE);
  MessageFile messages(in_dir(dir, MESSAGE_FILE));

  double FNULL = 0.0;
  for (int IPASS = 1; IPASS <= 2; ++IPASS) {
    PassResult& pass = result.pass[static_cast<std::size_t>(IPASS - 1)];
    const int NEST = read_par(st, IPASS, in_dir(dir, PAR_FILE));
    pass.NEST = NEST;
    WWDAT(st, task.TRAITFILE, task.MARKERFILE, dir.string());
    const double FINIT = first_evaluation(st, con, eval);
    pass.FINIT = FINIT;
    st.OPTPAR1.FMAX = FINIT;
    if (NEST > 0) {
      if (FINIT <= UNUSABLE) throw unusable_start(st, IPASS, FINIT);
      pass.end = maximise(st, con, eval, messages, settings);
      pass.ITER = st.OPTPAR1.ITER;
      pass.NFUN = st.OPTPAR1.NFUN;
      files.sigma.lines(sigma_block(IPASS, st.OPTPAR1, st.IMAX.NPAR));
    }
    pass.FMAX = st.OPTPAR1.FMAX;
    for (int i = 1; i <= NPAR_MODEL; ++i) pass.X[static_cast<std::size_t>(i)] = st.OPTPAR1.X(i);
    if (IPASS == 1) {
      FNULL = st.OPTPAR1.FMAX;
      files.result.line(null_result_line(FNULL));
    } else {
      files.result.lines(alternative_result_lines(st.OPTPAR1.X(5), st.OPTPAR1.FMAX, FNULL));
      if (NEST > 0) result.warning = below_null_warning(FNULL, st.OPTPAR1.FMAX);
    }
    result.passes = IPASS;
  }
  files.close();
}

// A standard stream that the caller closed would otherwise be taken over by
// the first file the run opens; point it at the null device instead.
void reopen_closed_standard_streams() {
#ifdef MGLINK_HAVE_FCNTL
  if (fcntl(0, F_GETFD) == -1) (void)std::freopen("/dev/null", "r", stdin);
  if (fcntl(1, F_GETFD) == -1) (void)std::freopen("/dev/null", "w", stdout);
  if (fcntl(2, F_GETFD) == -1) (void)std::freopen("/dev/null", "w", stderr);
#endif
}

}  // namespace

RunResult run_directory(const fs::path& dir, Evaluator& eval, std::ostream& out,
                        std::istream& in) {
  RunResult result;
  try {
    const std::unique_ptr<ModelState> st = make_model_state();
    Console con(out, in);
    run_linkage_test(*st, con, eval, dir, result);
    result.status = EXIT_OK;
  } catch (const RunStop& stop) {
    result.status = stop.status();
    result.console = stop.console();
    result.detail = stop.detail();
  }
  return result;
}

int run_program(std::ostream& out, std::istream& in, std::ostream& err,
                const EvaluatorOptions& options) {
  Evaluator eval(options);
  const RunResult r = run_directory(".", eval, out, in);
  if (!r.console.empty()) {
    out << r.console << '\n';
    out.flush();
  }
  if (!r.detail.empty()) err << "mglink: " << r.detail << '\n';
  if (!r.warning.empty()) {
    out.flush();
    err << "mglink: " << r.warning << '\n';
  }
  err.flush();
  return r.status;
}

int run_program(const EvaluatorOptions& options) {
  reopen_closed_standard_streams();
  return run_program(std::cout, std::cin, std::cerr, options);
}

}  // namespace mglink
