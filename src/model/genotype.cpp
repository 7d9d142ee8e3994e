#include "model/genotype.hpp"

#include <string>

#include "core/errors.hpp"
#include "io/fixed_format.hpp"

namespace mglink {

namespace {

// Prunes the parents of one nuclear family (member entries first..last,
// at least three): a parental genotype goes when no possible spouse genotype
// gives any possible genotype of any child a transmission probability.
// The test is S < 1e-15 for the sum S of these probabilities.  When every
// term is a number >= 0 (`nonnegative`), the rounded sum is at least each of
// its terms, so one term of at least 1e-15 settles that the genotype stays,
// and the rest of the sum need not be formed.
void prune_parents(ModelState& st, int32 famoff, int32 first, int32 last, bool nonnegative) {
  auto& IPOSS = st.work.IPOSS;
  const int32 A = famoff + st.BUF16.MEMBER(first);
  const int32 B = famoff + st.BUF16.MEMBER(first + 1);
  // S for parental genotypes a (of A) and every possible b of B, or for b and
  // every possible a (`of_b`); true when the genotype stays.
  const auto stays = [&](int x, bool of_b) {
    double S = 0.0;
    for (int y = 1; y <= 55; ++y) {
      if (IPOSS(y, of_b ? A : B) != 1) continue;
      const int a = of_b ? y : x;
      const int b = of_b ? x : y;
      for (int32 e = first + 2; e <= last; ++e) {
        const int32 c = famoff + st.BUF16.MEMBER(e);
        for (int g = 1; g <= 55; ++g) {
          if (IPOSS(g, c) != 1) continue;
          const double t = st.TRANC.CTRANS(g, b, a);
          S = S + t;
          if (nonnegative && t >= 1e-15) return true;
        }
      }
    }
    return !(S < 1e-15);
  };
  for (int a = 1; a <= 55; ++a) {
    if (IPOSS(a, A) != 1) continue;
    if (!stays(a, false)) IPOSS(a, A) = 0;
  }
  for (int b = 1; b <= 55; ++b) {
    if (IPOSS(b, B) != 1) continue;
    if (!stays(b, true)) IPOSS(b, B) = 0;
  }
}

}  // namespace

void mark_marker_genotypes(ModelState& st, int32 first, int32 last) {
  auto& W = st.work;
  for (int32 k = first; k <= last; ++k)
    for (int j = 1; j <= 55; ++j) W.IPOSS(j, k) = 1;
  // A typed individual keeps the genotypes of its marker code.
  for (int32 k = first; k <= last; ++k) {
    const int32 c = st.BUF2.MARKER(k);
    if (c == 0) continue;
    for (int j = 1; j <= 55; ++j)
      if (st.PRPAR.MRKGEN(j) != c) W.IPOSS(j, k) = 0;
  }
}

int32 list_slots(ModelState& st, int32 first, int32 last, int32 s) {
  auto& G = st.GENOT;
  for (int32 k = first; k <= last; ++k) {
    const int32 from = s;
    for (int j = 1; j <= 55; ++j) {
      if (st.work.IPOSS(j, k) != 1) continue;
      s = s + 1;
      G.LGEN(s) = j;
    }
    G.IGOFF(k) = s;
    G.NGEN(k) = s - from;
  }
  return s;
}

int32 count_possible(const ModelState& st, int32 first, int32 last) {
  int32 n = 0;
  for (int32 k = first; k <= last; ++k)
    for (int j = 1; j <= 55; ++j)
      if (st.work.IPOSS(j, k) == 1) ++n;
  return n;
}

void stop_too_many_genotypes(const ModelState& st, Console& con) {
  con.line(FreeLine().text("Number of possible genotypes > N_WAY").str());
  con.pause();
  throw RunStop("",
                "the families have " + std::to_string(st.work.N1) +
                    " possible (individual, genotype) pairs; the genotype lists have room "
                    "for " + std::to_string(N_WAY) + " (N_WAY)",
                EXIT_INPUT_ERROR);
}

bool transmission_nonnegative(const ModelState& st) {
  const auto& C = st.TRANC.CTRANS;
  const double* p = C.data();
  bool ok = true;
  for (std::size_t i = 0; i < C.size; ++i) ok = ok && p[i] >= 0.0;
  return ok;
}

void elimination_sweep(ModelState& st, bool nonnegative) { elimination_sweep(st, nonnegative, 1, st.BUF1.NFAM); }

void elimination_sweep(ModelState& st, bool nonnegative, int32 first_family, int32 last_family) {
  const auto& B1 = st.BUF1;
  for (int32 f = first_family; f <= last_family; ++f) {
    const int32 famoff = B1.FAMOFF(f);
    for (int32 j = st.BUF3.NUCOFF(f) + 1; j <= st.BUF3.NUCOFF(f + 1); ++j) {
      const int32 first = st.BUF14.MEMOFF(j) + 1;
      const int32 last = st.BUF14.MEMOFF(j + 1);
      if (last - first + 1 < 3) continue;  // single individual or childless couple
      prune_parents(st, famoff, first, last, nonnegative);
    }
  }
}

void GENOTYPE(ModelState& st, Console& con) {
  auto& W = st.work;
  auto& G = st.GENOT;
  const int32 NTOT = st.BUF1.FAMOFF(st.BUF1.NFAM + 1);
  if (NTOT < 0 || NTOT > N_IGOFF) {
    throw input_error("IWAY.DAT: the families hold " + std::to_string(NTOT) +
                      " individuals; the genotype lists have room for at most " +
                      std::to_string(N_IGOFF));
  }

  mark_marker_genotypes(st, 1, NTOT);
  W.N0 = count_possible(st, 1, NTOT);
  con.line(FreeLine().text("N0=").integer(W.N0).str());

  // Elimination sweeps until a sweep excludes nothing more; CTRANS stays
  // as it is throughout.
  const bool nonnegative = transmission_nonnegative(st);
  for (;;) {
    elimination_sweep(st, nonnegative);
    W.N1 = count_possible(st, 1, NTOT);
    con.line(FreeLine().text("N1=").integer(W.N1).str());
    if (W.N1 >= W.N0) break;
    W.N0 = W.N1;
  }

  if (W.N1 > N_WAY) stop_too_many_genotypes(st, con);

  G.NTOT = NTOT;
  G.IGOFF(0) = 0;
  list_slots(st, 1, NTOT, 0);
}

}  // namespace mglink
