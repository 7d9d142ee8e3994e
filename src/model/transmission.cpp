#include "model/transmission.hpp"

#include <cmath>
#include <string>

#include "core/errors.hpp"
#include "io/fixed_format.hpp"
#include "model/genetics.hpp"

namespace mglink {

void apply_ties(ModelState& st) {
  auto& X = st.OPTPAR1.X;
  for (int i = 1; i <= st.IMAX.NPAR; ++i) {
    const int link = st.OPTPAR2.LINK(i);
    if (link == i) continue;
    if (link < 1 || link > 11) {
      throw input_error("par.inp: parameter " + std::to_string(i) + " is tied to entry " +
                        std::to_string(link) +
                        ", but a tie must name an entry 1..11 of the parameter vector");
    }
    X(i) = X(link);
    st.OPTPAR1.IFREE(i) = 0;
  }
}

int first_out_of_bounds(const ModelState& st) {
  const auto& P = st.OPTPAR1;
  for (int i = 1; i <= st.IMAX.NPAR; ++i) {
    if (P.IFREE(i) == 0) continue;
    if (P.X(i) <= P.XLOW(i) || P.X(i) >= P.XUPP(i)) return i;
  }
  return 0;
}

bool accept_parameters(ModelState& st, double& STAT) {
  STAT = 1.0;
  apply_ties(st);
  const int i = first_out_of_bounds(st);
  if (i == 0) return true;
  STAT = REJECTED;
  st.rejection = Rejection{};
  st.rejection.kind = Rejection::Kind::Bounds;
  st.rejection.param = i;
  return false;
}

void haplotype_frequencies(const ModelState& st, HaplotypeFrequencies& HFREQ) {
  const auto& X = st.OPTPAR1.X;
  // Haplotypes 1..5: major allele 1 with marker allele h; 6..10: major
  // allele 2 with marker allele h - 5.
  for (int h = 1; h <= 5; ++h) HFREQ(h) = X(par::FREQ) * X(par::MARKER_1 - 1 + h);
  for (int h = 6; h <= 10; ++h) HFREQ(h) = (1.0 - X(par::FREQ)) * X(par::MARKER_1 - 6 + h);
}

void genotype_frequencies(ModelState& st, const HaplotypeFrequencies& HFREQ) {
  auto& GFREQ = st.PRPAR.GFREQ;
  GFREQ.fill(0.0);
  for (int i = 1; i <= 10; ++i) {
    for (int j = 1; j <= 10; ++j) {
      const int k = genotype_of(i, j);
      GFREQ(k) = GFREQ(k) + HFREQ(i) * HFREQ(j);
    }
  }
}

void classify_genotypes(ModelState& st) {
  for (int i = 1; i <= 10; ++i) {
    for (int j = 1; j <= 10; ++j) {
      const int k = genotype_of(i, j);
      st.PRPAR.MAJGEN(k) = major_allele(i) + major_allele(j) - 1;
      st.PRPAR.MRKGEN(k) = IMRK(marker_allele(i), marker_allele(j));
    }
  }
}

void check_genotype_frequencies(const ModelState& st, Console& con, double tolerance) {
  double t = 0.0;
  for (int k = 1; k <= 55; ++k) t = t + st.PRPAR.GFREQ(k);
  if (t - 1.0 > tolerance) {
    con.line(FreeLine().text("Sum_p.ne.1").real(t).str());
    con.pause();
  }
}

void build_HTRANS(ModelState& st) {
  auto& HTRANS = st.TRANC.HTRANS;
  const double theta = st.OPTPAR1.X(par::THETA);
  for (int k = 1; k <= 55; ++k)
    for (int h = 1; h <= 10; ++h) HTRANS(k, h) = 0.0;
  // Homozygotes transmit their one haplotype.
  for (int h = 1; h <= 10; ++h) HTRANS(genotype_of(h, h), h) = 1.0;
  // Heterozygotes transmit either haplotype with probability 1/2 ...
  for (int i = 1; i <= 9; ++i) {
    for (int j = i + 1; j <= 10; ++j) {
      HTRANS(genotype_of(i, j), i) = 0.5;
      HTRANS(genotype_of(i, j), j) = 0.5;
    }
  }
  // ... unless they differ at both loci: then a recombination (probability
  // theta) gives haplotype i+5 (major allele 2, marker of i) or j-5 (major
  // allele 1, marker of j).
  for (int i = 1; i <= 5; ++i) {
    for (int j = 6; j <= 10; ++j) {
      if (j == i + 5) continue;
      const int k = genotype_of(i, j);
      HTRANS(k, i) = 0.5 - theta * 0.5;
      HTRANS(k, j) = 0.5 - theta * 0.5;
      HTRANS(k, i + 5) = theta / 2.0;
      HTRANS(k, j - 5) = theta / 2.0;
    }
  }
}

void build_CTRANS(ModelState& st, Console& con) {
  const auto& HTRANS = st.TRANC.HTRANS;
  auto& CTRANS = st.TRANC.CTRANS;
  CTRANS.fill(0.0);
  for (int a = 1; a <= 55; ++a) {
    for (int b = 1; b <= 55; ++b) {
      double u = 0.0;
      for (int h1 = 1; h1 <= 10; ++h1) {
        for (int h2 = 1; h2 <= 10; ++h2) {
          const int c = genotype_of(h1, h2);
          const double p = HTRANS(a, h1) * HTRANS(b, h2);
          CTRANS(c, b, a) = CTRANS(c, b, a) + p;
          u = u + p;
        }
      }
      if (u - 1.0 > 1e-10) warn_child_sum(con, a, b);
    }
  }
}

void warn_child_sum(Console& con, int a, int b) {
  con.line(FreeLine().text("Sum_bbb.ne.1").integer(a).integer(b).str());
  con.pause();
}

void trait_distribution(ModelState& st) {
  const auto& X = st.OPTPAR1.X;
  st.IMAX.GMEAN(1) = X(par::MEAN_11);
  st.IMAX.GMEAN(2) = X(par::MEAN_12);
  st.IMAX.GMEAN(3) = X(par::MEAN_22);
  st.IMAX.SIGMA = std::sqrt(X(par::VARIANCE));
}

}  // namespace mglink
