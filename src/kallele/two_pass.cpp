#include "kallele/two_pass.hpp"

#include "kallele/from_state.hpp"
#include "run/pass_output.hpp"

namespace mglink::kallele {

namespace {

constexpr int32 NPAR_MODEL = 6;

void keep_pass(const ModelState& st, PassResult& r) {
  r.lh = st.OPTPAR1.FMAX;
  for (int i = 1; i <= 6; ++i) {
    r.x[static_cast<std::size_t>(i - 1)] = st.OPTPAR1.X(i);
    r.step[static_cast<std::size_t>(i - 1)] = st.OPTPAR1.STEP(i);
  }
}

}  // namespace

TwoPassResult run_two_passes(ModelState& st, Evaluator& ev, const MaxparSettings& m,
                             const PassParameters& load_pass, Console& con,
                             MessageFile& messages) {
  TwoPassResult out;
  st.IMAX.NPAR = NPAR_MODEL;
  for (int IPASS = 1; IPASS <= 2; ++IPASS) {
    PassResult& r = out.pass[IPASS - 1];
    r.estimated = load_pass(st, IPASS);
    double FINIT = 0.0;
    GENMMP_K(st, ev, FINIT);
    r.initial = FINIT;
    r.rejection = st.rejection;
    st.OPTPAR1.FMAX = FINIT;
    st.OPTPAR1.ITER = 0;
    st.OPTPAR1.NFUN = 0;
    if (r.estimated > 0) {
      if (FINIT <= UNUSABLE) {
        out.unusable_start = true;
        out.stopped_pass = IPASS;
        keep_pass(st, r);
        return out;
      }
      const Objective fcn = [&st, &ev](double& LH) { GENMMP_K(st, ev, LH); };
      r.end = METHGI(st.OPTPAR1, con, messages, st.IMAX.NPAR, m.EPSF, m.RHO, m.EPSX, m.MAXIT,
                     m.IPRINT, fcn);
      r.iterations = st.OPTPAR1.ITER;
      r.evaluations = st.OPTPAR1.NFUN;
    }
    keep_pass(st, r);
  }
  const LinkageStatistic s = linkage_statistic(out.pass[1].lh, out.pass[0].lh);
  out.statistic = s.CHI2;
  out.lod = s.LOD;
  return out;
}

}  // namespace mglink::kallele
