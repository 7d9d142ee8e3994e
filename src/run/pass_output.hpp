// The lines a pass leaves in the output files: its block in sigma.DAT and its
// lines in the result file, and the linkage statistic of the second pass.
// Pure formatting: nothing here touches a file or the shared state.
#pragma once

#include <string>
#include <vector>

#include "core/model_state.hpp"

namespace mglink {

// The LOD factor: the reciprocal of 4.6 held in single precision
// (1/4.599999904632568), not 1/(2 ln 10).
inline constexpr double LOD_FACTOR = 0.21739130885479366;

// CHI2 = 2 ln(L2/L1) of the maximised likelihoods, and the LOD score from it.
struct LinkageStatistic {
  double CHI2;
  double LOD;
};
LinkageStatistic linkage_statistic(double FMAX, double FNULL);

// The block of pass 1 (null hypothesis) or 2 (alternative) in sigma.DAT:
// banner, ITER, NFUN, FMAX, then X(i) and STEP(i) for i = 1..NPAR.
std::vector<std::string> sigma_block(int pass, const Optpar1& P, int NPAR);

// Pass 1's line of the result file: "LH(0.5)=" and FMAX.
std::string null_result_line(double FMAX);

// Pass 2's lines of the result file: "LH(" theta ")=" FMAX, the statistic
// "-2ln(L1/L2)=" and the "LOD SCORE=".
std::vector<std::string> alternative_result_lines(double theta, double FMAX, double FNULL);

// The console line after the first evaluation of a pass.
std::string initial_lh_line(double FINIT);

}  // namespace mglink
