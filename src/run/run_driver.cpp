#include "run/run_driver.hpp"

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "data/wwdat.hpp"
#include "io/message_file.hpp"
#include "likelihood/genmmp.hpp"
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

constexpr int32 NPAR_MODEL = 6;  // parameters with tie, flag, step and bounds

// sigma.DAT and the result file: opened once before the first pass, from
// their beginning; sigma.DAT is closed first.
struct PassFiles {
  explicit PassFiles(const std::string& RESULTFILE) : result(RESULTFILE), sigma(SIGMA_FILE) {}
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
double first_evaluation(ModelState& st, Console& con) {
  st.IMAX.ISETUP = -1;
  double FINIT = 0.0;
  GENMMP(st, con, FINIT);
  con.line(initial_lh_line(FINIT));
  return FINIT;
}

void maximise(ModelState& st, Console& con, MessageFile& messages, const MaxparSettings& m) {
  st.IMAX.ISETUP = 1;
  const Objective fcn = [&st, &con](double& LH) { GENMMP(st, con, LH); };
  METHGI(st.OPTPAR1, con, messages, st.IMAX.NPAR, m.EPSF, m.RHO, m.EPSX, m.MAXIT, m.IPRINT,
         fcn);
}

// Both passes: theta held at 0.5, then estimated.  Returns what a complete
// run has to say on standard error ("" for nothing).
std::string run_linkage_test(ModelState& st, Console& con) {
  st.IMAX.NPAR = NPAR_MODEL;
  const MaxparSettings settings = read_maxpar();
  const TaskNames task = read_task();
  check_output_names(task);
  PassFiles files(task.RESULTFILE);
  MessageFile messages(MESSAGE_FILE);

  double FNULL = 0.0;
  std::string warning;
  for (int IPASS = 1; IPASS <= 2; ++IPASS) {
    const int NEST = read_par(st, IPASS);
    WWDAT(st, task.TRAITFILE, task.MARKERFILE);
    const double FINIT = first_evaluation(st, con);
    st.OPTPAR1.FMAX = FINIT;
    if (NEST > 0) {
      if (FINIT <= UNUSABLE) throw unusable_start(st, IPASS, FINIT);
      maximise(st, con, messages, settings);
      files.sigma.lines(sigma_block(IPASS, st.OPTPAR1, st.IMAX.NPAR));
    }
    if (IPASS == 1) {
      FNULL = st.OPTPAR1.FMAX;
      files.result.line(null_result_line(FNULL));
    } else {
      files.result.lines(alternative_result_lines(st.OPTPAR1.X(5), st.OPTPAR1.FMAX, FNULL));
      if (NEST > 0) warning = below_null_warning(FNULL, st.OPTPAR1.FMAX);
    }
  }
  files.close();
  return warning;
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

int run_program(std::ostream& out, std::istream& in, std::ostream& err) {
  try {
    const std::unique_ptr<ModelState> st = make_model_state();
    Console con(out, in);
    const std::string warning = run_linkage_test(*st, con);
    if (!warning.empty()) {
      out.flush();
      err << "mglink: " << warning << '\n';
      err.flush();
    }
    return EXIT_OK;
  } catch (const RunStop& stop) {
    if (!stop.console().empty()) {
      out << stop.console() << '\n';
      out.flush();
    }
    if (!stop.detail().empty()) err << "mglink: " << stop.detail() << '\n';
    err.flush();
    return stop.status();
  }
}

int run_program() {
  reopen_closed_standard_streams();
  return run_program(std::cout, std::cin, std::cerr);
}

}  // namespace mglink
