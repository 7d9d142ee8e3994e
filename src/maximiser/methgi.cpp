#include "maximiser/methgi.hpp"

#include <cmath>

#include "io/fixed_format.hpp"

namespace mglink {

namespace {

constexpr int MAX_PULLBACKS = 10;

// Step test of one varied parameter: its step is small against its value, or
// small in absolute terms.
bool step_settled(double x, double step, double EPSX) {
  if (std::fabs(EPSX * x) - std::fabs(step) >= 0.0) return true;
  return std::fabs(step) - 1e-6 < 0.0;
}

void progress(Console& con, int32 ITER, int32 NFUN, double f) {
  con.line(" number of iterations =" + format_I(ITER, 4));
  con.line(" number of functions =" + format_I(NFUN, 6));
  con.line(" ln LH =" + format_E(f, 20, 8));
}

}  // namespace

SearchEnd METHGI(Optpar1& P, Console& con, MessageFile& messages, int N,
                 const SearchSettings& settings, const Objective& FCN) {
  const double EPSF = settings.EPSF;
  const double RHO = settings.RHO;
  const double EPSX = settings.EPSX;
  const int MAXIT = settings.MAXIT;
  const int IPRINT = settings.IPRINT;
  if (N <= 0) return SearchEnd::NoParameters;
  if (N > N_PARAM) {
    messages.line(" Number of estimated param.>30");
    return SearchEnd::TooManyParameters;
  }

  // Base point of the pattern move, for every parameter (fixed ones keep
  // their entry values here).
  double XOLD[N_PARAM + 1] = {};
  double FBEST = 0.0;  // best value of the current iteration
  double FNEW = 0.0;   // value of the latest evaluation

  P.ITER = 0;
  P.NFUN = 1;
  double FPREV = REJECTED;  // FBEST at the end of the previous iteration
  int IHALVE = 0;        // 1 after a failed pattern move: halve every step
  int NFREE = 0;
  for (int i = 1; i <= N; ++i) NFREE += P.IFREE(i);
  for (int i = 1; i <= N; ++i) XOLD[i] = P.X(i);

  FCN(FBEST);
  if (FBEST <= UNUSABLE) return SearchEnd::UnusableStart;

  SearchEnd end;
  for (;;) {
    // Exploration: each varied parameter by itself, first against its step,
    // then the other way at the same distance.
    for (int i = 1; i <= N; ++i) {
      if (P.IFREE(i) == 0) continue;
      if (IHALVE == 1) P.STEP(i) = P.STEP(i) * 0.5;
      const double s = P.STEP(i);
      P.X(i) = P.X(i) - s;
      FCN(FNEW);
      P.NFUN += 1;
      if (!(FNEW > FBEST)) {
        P.X(i) = P.X(i) + 2.0 * P.STEP(i);
        P.STEP(i) = -(P.STEP(i) * 0.5);
        FCN(FNEW);
        P.NFUN += 1;
        if (FNEW <= FBEST) {
          P.X(i) = P.X(i) + 2.0 * P.STEP(i);
          continue;
        }
      }
      P.STEP(i) = P.STEP(i) * 1.5;
      FBEST = FNEW;
    }

    // Pattern move along the progress of this iteration, clamped to the
    // bounds.
    for (int i = 1; i <= N; ++i) {
      if (P.IFREE(i) == 0) continue;
      const double d = P.X(i) - XOLD[i];
      double p = P.X(i) * 2.0 - XOLD[i];
      if (d > 0.0 && p >= P.XUPP(i)) p = P.XUPP(i) - 1e-17;
      if (d < 0.0 && p <= P.XLOW(i)) p = P.XLOW(i) + 1e-17;
      XOLD[i] = P.X(i);
      P.X(i) = p;
    }

    // Try the pattern point; pull it back towards the explored point while it
    // does not pay.
    bool improved = false;
    for (int attempt = 1; attempt <= MAX_PULLBACKS; ++attempt) {
      FCN(FNEW);
      P.NFUN += 1;
      // A value that is not a number counts as an improvement here.
      if (!(FNEW - FBEST <= 0.0)) {
        improved = true;
        break;
      }
      for (int i = 1; i <= N; ++i) {
        if (P.IFREE(i) == 0) continue;
        P.X(i) = P.X(i) * RHO + (1.0 - RHO) * XOLD[i];
      }
    }
    if (improved) {
      IHALVE = 0;
      if ((FNEW - FPREV) - EPSF < 0.0) {
        end = SearchEnd::ConvergedGain;
        break;
      }
    } else {
      // The pulled-back point is accepted whatever its value.
      IHALVE = 1;
      FCN(FNEW);
      P.NFUN += 1;
    }

    int NCONV = 0;
    for (int i = 1; i <= N; ++i) {
      if (P.IFREE(i) == 0) continue;
      if (step_settled(P.X(i), P.STEP(i), EPSX)) NCONV += 1;
    }
    if (NCONV >= NFREE) {
      end = SearchEnd::ConvergedStep;
      break;
    }

    P.ITER += 1;
    if (P.ITER > MAXIT) {
      messages.line(" MAXIMUM NOT FOUND");
      return SearchEnd::IterationLimit;
    }
    if (IPRINT >= 1) progress(con, P.ITER, P.NFUN, FNEW > FBEST ? FNEW : FBEST);

    // The iteration's final point is the new base, better or not, unless it
    // is unusable (a value that is not a number is taken over).
    if (!(FNEW + 1e17 <= 0.0)) FBEST = FNEW;
    FPREV = FBEST;
  }

  // Converged: a final point that is unusable gives way to the explored
  // point of the last iteration.
  P.FMAX = FNEW;
  if (!(FNEW > REJECTED)) {
    P.FMAX = FBEST;
    for (int i = 1; i <= N; ++i) P.X(i) = XOLD[i];
  }
  P.ITER += 1;
  return end;
}

}  // namespace mglink
