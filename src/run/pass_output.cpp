#include "run/pass_output.hpp"

#include "io/fixed_format.hpp"

namespace mglink {

LinkageStatistic linkage_statistic(double FMAX, double FNULL) {
  LinkageStatistic s{};
  s.CHI2 = (FMAX - FNULL) * 2.0;
  s.LOD = s.CHI2 * LOD_FACTOR;
  return s;
}

std::vector<std::string> sigma_block(int pass, const Optpar1& P, int NPAR) {
  const std::string stars(38, '*');
  std::vector<std::string> lines;
  lines.push_back(stars);
  lines.push_back(pass == 1 ? "NULL HYPOTHESIS: THETA=0.5" : "ALTERNATIVE HYPOTHESIS: THETA<0.5");
  lines.push_back(stars);
  lines.push_back("  Number of iteration =" + format_I(P.ITER, 4));
  lines.push_back(" Number of functions =" + format_I(P.NFUN, 6));
  lines.push_back("  ln LH =" + format_E(P.FMAX, 20, 8));
  lines.push_back(std::string(10, ' ') + " Parameter" + std::string(7, ' ') + "Step");
  for (int i = 1; i <= NPAR; ++i) {
    std::string line(" ");
    line += format_I(i, 2);
    line += ' ';
    line += format_E(P.X(i), 15, 6);
    line += format_E(P.STEP(i), 15, 6);
    lines.push_back(line);
  }
  return lines;
}

std::string null_result_line(double FMAX) { return "LH(0.5)=" + format_E(FMAX, 14, 7); }

std::vector<std::string> alternative_result_lines(double theta, double FMAX, double FNULL) {
  const LinkageStatistic s = linkage_statistic(FMAX, FNULL);
  return {
      "LH(" + format_F(theta, 5, 3) + ")=" + format_E(FMAX, 14, 7),
      "-2ln(L1/L2)=" + format_E(s.CHI2, 14, 7),
      "LOD SCORE=" + format_E(s.LOD, 14, 7),
  };
}

std::string initial_lh_line(double FINIT) { return " initial LH=" + format_E(FINIT, 15, 8); }

}  // namespace mglink
