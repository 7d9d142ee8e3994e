#include "kallele/two_pass.hpp"

#include "kallele/from_state.hpp"
#include "run/pass_output.hpp"

namespace mglink::kallele {

namespace {

constexpr int32 NPAR_MODEL = 6;

void keep_pass(const ModelState& st, PassResult& r) {
  r.FMAX = st.OPTPAR1.FMAX;
  for (int i = 1; i <= 6; ++i) r.X[static_cast<std::size_t>(i)] = st.OPTPAR1.X(i);
}

}  // namespace

TwoPassResult run_two_passes(ModelState& st, Evaluator& ev, const SearchSettings& settings,
                             const PassParameters& load_pass, Console& con,
                             MessageFile& messages) {
  TwoPassResult out;
  st.IMAX.NPAR = NPAR_MODEL;
  for (int IPASS = 1; IPASS <= 2; ++IPASS) {
    PassResult& r = out.pass[static_cast<std::size_t>(IPASS - 1)];
    r.NEST = load_pass(st, IPASS);
    double FINIT = 0.0;
    GENMMP_K(st, ev, FINIT);
    r.FINIT = FINIT;
    st.OPTPAR1.FMAX = FINIT;
    if (r.NEST > 0) {
      if (FINIT <= UNUSABLE) {
        out.unusable_start = true;
        out.rejection = st.rejection;
        keep_pass(st, r);
        return out;
      }
      const Objective fcn = [&st, &ev](double& LH) { GENMMP_K(st, ev, LH); };
      r.end = METHGI(st.OPTPAR1, con, messages, st.IMAX.NPAR, settings, fcn);
      r.ITER = st.OPTPAR1.ITER;
      r.NFUN = st.OPTPAR1.NFUN;
      out.searched[static_cast<std::size_t>(IPASS - 1)] = st.OPTPAR1;
    }
    keep_pass(st, r);
    out.passes = IPASS;
  }
  const LinkageStatistic s = linkage_statistic(out.pass[1].FMAX, out.pass[0].FMAX);
  out.statistic = s.CHI2;
  out.lod = s.LOD;
  return out;
}

}  // namespace mglink::kallele
