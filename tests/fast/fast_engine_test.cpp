// The fast evaluation against the literal one, bit for bit: the total, every
// family value, the model tables, XX, IDONE, the rejection, the console and
// the pauses, on many random pedigrees and parameter vectors, for 1, 2 and 3
// threads.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "evaluator/evaluator.hpp"
#include "fast/fast_peel.hpp"
#include "fast/fast_engine.hpp"
#include "likelihood/densities.hpp"
#include "likelihood/genmmp.hpp"
#include "likelihood/mmpfam.hpp"
#include "support/pedigree.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

using test::Family;
using test::Member;
using test::ParameterVector;
using test::Random;
using test::Shape;

#ifdef MGLINK_CHECKED
constexpr int kDataSets = 8;  // the index-checked build is slower
#else
constexpr int kDataSets = 24;
#endif

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::string hex(double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  std::ostringstream o;
  o << v << " [" << std::hex << u << "]";
  return o.str();
}

// ---------------------------------------------------------------------------

constexpr EvaluatorOptions kLiteral{true, 1};
constexpr EvaluatorOptions kFast{false, 1};

// A model state with its own evaluator and console.
struct Side {
  explicit Side(EvaluatorOptions opt) : eval(opt) {}
  Evaluator eval;
  std::unique_ptr<ModelState> st = make_model_state();
  std::ostringstream out;
  std::istringstream in{""};
  Console con{out, in};
};

void evaluate(Side& side, double& LH) { side.eval.evaluate(*side.st, side.con, LH); }

// Everything an evaluation writes must agree between the two states.
void expect_same_state(const ModelState& a, const ModelState& b) {
  EXPECT_EQ(0, std::memcmp(a.PRPAR.GFREQ.data(), b.PRPAR.GFREQ.data(), 55 * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(a.TRANC.HTRANS.data(), b.TRANC.HTRANS.data(), 55 * 15 * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(a.TRANC.CTRANS.data(), b.TRANC.CTRANS.data(), 55 * 55 * 55 * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(a.IMAX.GMEAN.data(), b.IMAX.GMEAN.data(), 3 * sizeof(double)));
  EXPECT_TRUE(same_bits(a.IMAX.SIGMA, b.IMAX.SIGMA));
  EXPECT_EQ(0, std::memcmp(a.OPTPAR1.X.data(), b.OPTPAR1.X.data(), 15 * sizeof(double)));
  EXPECT_EQ(0, std::memcmp(a.OPTPAR1.IFREE.data(), b.OPTPAR1.IFREE.data(), 15 * sizeof(int32)));
  EXPECT_EQ(0, std::memcmp(a.work.HFREQ_STAPAR.data(), b.work.HFREQ_STAPAR.data(), 10 * sizeof(double)));
  // XX and IDONE hold the last family evaluated (entries beyond it keep what
  // earlier families left, which nothing reads).
  const int32 f = a.rejection.kind == Rejection::Kind::Family ? a.rejection.family : a.BUF1.NFAM;
  if (f >= 1 && a.rejection.kind != Rejection::Kind::Bounds) {
    const int32 members = a.BUF1.FAMOFF(f + 1) - a.BUF1.FAMOFF(f);
    const int32 n = a.GENOT.IGOFF(a.BUF1.FAMOFF(f + 1)) - a.GENOT.IGOFF(a.BUF1.FAMOFF(f));
    EXPECT_EQ(0, std::memcmp(a.XX.data(), b.XX.data(), sizeof(double) * static_cast<std::size_t>(n)));
    EXPECT_EQ(0, std::memcmp(a.work.IDONE.data(), b.work.IDONE.data(),
                             sizeof(int32) * static_cast<std::size_t>(members)));
  }
  EXPECT_EQ(a.rejection.kind, b.rejection.kind);
  EXPECT_EQ(a.rejection.family, b.rejection.family);
  EXPECT_EQ(a.rejection.param, b.rejection.param);
  EXPECT_TRUE(same_bits(a.rejection.value, b.rejection.value));
}

// Family values of the literal routines, computed after a literal GENMMP.
std::vector<double> literal_family_values(ModelState& st, int upto) {
  std::vector<double> v(static_cast<std::size_t>(upto) + 1, 0.0);
  for (int32 f = 1; f <= upto; ++f) {
    MASSIX(st, f);
    MMPFAM(st, f, v[static_cast<std::size_t>(f)]);
  }
  return v;
}

// Runs one evaluation on the literal side and the same evaluation on the
// fast side with each peeling kernel the processor has, on 1, 2 and 3 threads, starting with `first`
// threads (each run after the first reuses the transmission tables the first run updated, and
// every run the densities kept by the runs before it, of this evaluation and the earlier ones; the
// threads other than the caller read copies of the tables that they bring up to date themselves,
// one change or several behind), and compares everything; `label` names the case in failures.
// Returns the number of families the fast side left to the literal routines.
int compare_evaluation(Side& lit, Side& fast, const std::string& label, int first = 1) {
  double la = 0.0;
  const std::size_t lit_out = lit.out.str().size();
  const long lit_pauses = lit.con.pauses();
  evaluate(lit, la);
  const std::string lit_console = lit.out.str().substr(lit_out);
  const bool families = !(la <= UNUSABLE) || lit.st->rejection.kind == Rejection::Kind::Family;
  const int upto = lit.st->rejection.kind == Rejection::Kind::Family ? lit.st->rejection.family
                                                                      : lit.st->BUF1.NFAM;
  std::vector<std::vector<double>> fast_values;
  std::vector<std::string> runs;  // what each of fast_values is
  int left = 0;
  const PeelKernel chosen = peel_kernel();
  for (const PeelKernel kernel : {PeelKernel::Generic, PeelKernel::AVX2}) {
    if (!peel_kernel_available(kernel)) continue;
    set_peel_kernel(kernel);
    const std::string kname = kernel == PeelKernel::AVX2 ? "AVX2" : "generic";
    for (int turn = 0; turn < 3; ++turn) {
      const int threads = (first - 1 + turn) % 3 + 1;
      SCOPED_TRACE(label + ", " + kname + " peeling, threads " + std::to_string(threads));
      fast.eval.set_threads(threads);
      const std::size_t fast_out = fast.out.str().size();
      const long fast_pauses = fast.con.pauses();
      double lb = 0.0;
      const std::vector<double> xx_before(fast.st->XX.data(), fast.st->XX.data() + N_WAY);
      evaluate(fast, lb);
      if (fast.st->rejection.kind == Rejection::Kind::Bounds) {  // no family visited
        EXPECT_EQ(0, std::memcmp(xx_before.data(), fast.st->XX.data(), sizeof(double) * N_WAY));
      }
      EXPECT_TRUE(same_bits(la, lb)) << "literal " << hex(la) << " fast " << hex(lb);
      expect_same_state(*lit.st, *fast.st);
      EXPECT_EQ(lit_console, fast.out.str().substr(fast_out));
      EXPECT_EQ(lit.con.pauses() - lit_pauses, fast.con.pauses() - fast_pauses);
      const FastReport r = fast.eval.report();
      if (families) {
        EXPECT_EQ(upto, r.evaluated);
        EXPECT_EQ(threads, r.threads);
        fast_values.push_back(*r.values);
        runs.push_back(kname + " peeling, threads " + std::to_string(threads));
        left = r.literal;
      }
    }
  }
  set_peel_kernel(chosen);
  if (!families) return 0;
  const std::vector<double> expect = literal_family_values(*lit.st, upto);
  for (std::size_t t = 0; t < fast_values.size(); ++t) {
    for (int f = 1; f <= upto; ++f) {
      const double a = expect[static_cast<std::size_t>(f)];
      const double b = fast_values[t][static_cast<std::size_t>(f)];
      EXPECT_TRUE(same_bits(a, b)) << label << ", " << runs[t] << ", family " << f
                                   << ": literal " << hex(a) << " fast " << hex(b);
    }
  }
  return left;
}

void load_both(Side& a, Side& b, const std::vector<Family>& fams, const ParameterVector& x) {
  for (Side* s : {&a, &b}) {
    test::load_families(*s->st, fams);
    test::set_parameters(*s->st, x);
  }
}

void set_x_both(Side& a, Side& b, const ParameterVector& x, int32 isetup) {
  for (Side* s : {&a, &b}) {
    for (int i = 1; i <= 11; ++i) s->st->OPTPAR1.X(i) = x[static_cast<std::size_t>(i - 1)];
    s->st->IMAX.ISETUP = isetup;
  }
}

// Data sets of a few families of every shape, with theta 0, 0.5 and values
// between at the set-up and in the updates; every other data set keeps most
// members untyped (up to 55 genotypes each).
TEST(FastEngine, BitIdenticalToLiteralOnRandomPedigrees) {
  Random rng(20261210);
  int left = 0, compared = 0;
  for (int set = 0; set < kDataSets; ++set) {
    test::HidingRates rates;
    rates.wrong_marker = 0.0;  // every family possible: see the edge test for the others
    if (set % 2 == 1) {
      rates.untyped = 0.8;
      rates.max_assignments = 2000000;
    }
    const double start_theta = set % 3 == 0 ? 0.5 : set % 3 == 1 ? 0.0 : 0.1;
    const ParameterVector truth = test::random_parameters(rng, 0.05);
    std::vector<Family> fams;
    const int nfam = 1 + rng.below(set % 2 == 1 ? 4 : 12);
    for (int i = 0; i < nfam; ++i)
      fams.push_back(test::random_family(rng, test::kAllShapes[rng.below(10)], truth, rates));
    Side lit(kLiteral), fast(kFast);
    const ParameterVector x = test::random_parameters(rng, start_theta);
    load_both(lit, fast, fams, x);
    set_x_both(lit, fast, x, -1);
    const std::string name = "data set " + std::to_string(set);
    left += compare_evaluation(lit, fast, name + ", set-up");
    // Updates: theta kept, moved, at 0, 0.5 and 1; the other parameters
    // moved at every step.
    const double thetas[] = {start_theta, 0.0, 0.5, 0.5, 0.23, 1.0, 0.37, 0.37};
    int step = 0;
    ParameterVector y{};
    for (const double theta : thetas) {
      y = test::random_parameters(rng, theta);
      set_x_both(lit, fast, y, 1);
      left += compare_evaluation(lit, fast, name + ", step " + std::to_string(step++));
      compared += fast.eval.report().evaluated;
      if (HasFailure()) return;
    }
    // Then one parameter at a time, as the maximiser moves them (most kept
    // values stay valid).
    for (int i = 0; i < 6; ++i) {
      y[static_cast<std::size_t>(i)] *= i == 4 ? 0.5 : 1.01;
      set_x_both(lit, fast, y, 1);
      left += compare_evaluation(lit, fast, name + ", moving X(" + std::to_string(i + 1) + ")");
      compared += fast.eval.report().evaluated;
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(compared, 100);
  // Every family has a positive likelihood here, and the fast peeling took
  // them all (except where an allele frequency of 1 leaves none).
  EXPECT_LE(left, compared / 10);
}

// One engine over studies read one after another into the same state, as a
// scan reads its markers: the kept densities and the slots' places are
// found afresh at each full set-up, in tables kept when the new study fits
// them and made anew when it does not (larger, smaller, larger again, the
// same size with other trait values).
TEST(FastEngine, StudiesOfChangingSizeInOneEngine) {
  Random rng(20261211);
  Side lit(kLiteral), fast(kFast);
  const ParameterVector truth = test::random_parameters(rng, 0.1);
  int step = 0;
  for (const int nfam : {6, 1, 14, 3, 14}) {
    test::HidingRates rates;
    rates.wrong_marker = 0.0;
    rates.untyped = nfam == 3 ? 0.8 : 0.2;
    rates.max_assignments = 2000000;
    std::vector<Family> fams;
    for (int i = 0; i < nfam; ++i)
      fams.push_back(test::random_family(rng, test::kAllShapes[rng.below(10)], truth, rates));
    const ParameterVector x = test::random_parameters(rng, 0.2);
    load_both(lit, fast, fams, x);
    set_x_both(lit, fast, x, -1);
    const std::string name = "study " + std::to_string(step++) + " (" + std::to_string(nfam) + " families)";
    compare_evaluation(lit, fast, name + ", set-up");
    ParameterVector y = x;
    y[1] *= 1.01;  // a mean moves: the densities of that genotype again
    set_x_both(lit, fast, y, 1);
    compare_evaluation(lit, fast, name + ", update");
    if (HasFailure()) return;
  }
}

// A member in no nuclear family gets founder weights but keeps IDONE 0,
// parents summed out below the root are children too: the IDONE flags and
// weights of the last family must be those MASSIX leaves.
TEST(FastEngine, MembersOutsideEveryNuclearFamilyAndThreeGenerations) {
  Family f;
  f.members = {{12.0, 2}, {9.5, 0}, {11.0, 7}, {10.2, 0}, {8.8, 0}, {7.0, 3}, {13.1, 0}};
  // Grandparents 1 and 2 with child 3, peeled onto 3; 3 and 4 with child 5
  // at the root; 6 and 7 in no nuclear family.
  f.nuclear = {{{1, 2, 3}, 3}, {{3, 4, 5}, 0}};
  Side lit(kLiteral), fast(kFast);
  const ParameterVector x = {0.4, 9.0, 10.5, 12.0, 0.2, 2.0, 0.2, 0.2, 0.2, 0.2, 0.2};
  load_both(lit, fast, {f}, x);
  set_x_both(lit, fast, x, -1);
  compare_evaluation(lit, fast, "set-up");
  ParameterVector y = x;
  y[1] = 9.3;
  set_x_both(lit, fast, y, 1);
  compare_evaluation(lit, fast, "update");
  for (int32 e = 1; e <= 7; ++e) EXPECT_EQ(fast.st->work.IDONE(e), e <= 5 ? 1 : 0) << "member " << e;
}

// The fast peeling lets the pair of parental genotypes (a, b) take the
// child sums of (b, a): CTRANS must be symmetric in the parents bit for bit,
// as built by either evaluation.
TEST(FastEngine, ChildProbabilitiesAreSymmetricToTheBit) {
  for (const EvaluatorOptions engine : {kLiteral, kFast}) {
    for (const double theta : {0.0, 0.5, 0.23, 1.0, 1e-300, 0.1 + 0.2}) {
      Side side(engine);
      Random rng(5);
      std::vector<Family> fams = {test::random_family(rng, Shape::Nuclear, test::random_parameters(rng, 0.1))};
      load_both(side, side, fams, test::random_parameters(rng, theta));
      side.st->IMAX.ISETUP = -1;
      double LH = 0.0;
      evaluate(side, LH);
      side.st->OPTPAR1.X(5) = theta;
      side.st->IMAX.ISETUP = 1;
      evaluate(side, LH);  // the update's own build of CTRANS
      const auto& C = side.st->TRANC.CTRANS;
      int asymmetric = 0;
      for (int a = 1; a <= 55; ++a)
        for (int b = 1; b <= 55; ++b)
          for (int c = 1; c <= 55; ++c) asymmetric += same_bits(C(c, b, a), C(c, a, b)) ? 0 : 1;
      EXPECT_EQ(0, asymmetric) << "theta " << theta;
    }
  }
}

// Vectors off the beaten track: rejected by the bounds, tied parameters,
// theta outside [0, 1] or not a number, a variance so small that the weights
// could overflow, an allele frequency of 1 (zero weights), marker
// frequencies that warn at every update, and families whose likelihood is
// zero.
TEST(FastEngine, BitIdenticalOnEdgeVectors) {
  Random rng(77);
  int fast_families = 0, literal_families = 0;
  for (int variant = 0; variant < 3; ++variant) {
    test::HidingRates rates;
    rates.wrong_marker = variant == 1 ? 0.1 : 0.0;
    const ParameterVector truth = test::random_parameters(rng, 0.05);
    std::vector<Family> fams;
    for (int i = 0; i < 14; ++i)
      fams.push_back(test::random_family(rng, test::kAllShapes[rng.below(10)], truth, rates));
    // Variant 2: every measured trait is 1, so that with all means 1 and a
    // tiny variance every density is huge (1/SIGMA).
    if (variant == 2)
      for (Family& f : fams)
        for (Member& m : f.members)
          if (m.trait > -998.0) m.trait = 1.0;
    Side lit(kLiteral), fast(kFast);
    ParameterVector x = test::random_parameters(rng, 0.2);
    x[0] = 0.5;
    load_both(lit, fast, fams, x);
    for (Side* s : {&lit, &fast}) {
      ModelState& st = *s->st;
      st.OPTPAR1.IFREE(1) = 1;  // allele frequency free in (0.2, 0.8)
      st.OPTPAR1.XLOW(1) = 0.2;
      st.OPTPAR1.XUPP(1) = 0.8;
      st.OPTPAR1.IFREE(5) = 1;  // theta free in [0, 0.5)
      st.OPTPAR1.XLOW(5) = -1e-9;
      st.OPTPAR1.XUPP(5) = 0.5;
    }
    set_x_both(lit, fast, x, -1);
    const std::string set = variant == 1 ? "clashing families" : variant == 2 ? "traits at 1" : "possible families";
    compare_evaluation(lit, fast, set + ", set-up");

    struct Case {
      const char* what;
      int index;  // entry of X to change (1-based), 0: none
      double value;
    };
    const Case cases[] = {
        {"plain", 0, 0.0},
        {"allele frequency on its upper bound", 1, 0.8},
        {"theta on its upper bound", 5, 0.5},
        {"theta 0", 5, 0.0},
        {"allele frequency held at 1", 1, 1.0},
        {"variance 1e-250", 6, 1e-250},
        {"variance 1e-12", 6, 1e-12},
        {"huge means", 2, 1e200},
        {"all means 1, variance 1e-250", 8, 1e-250},
        {"all means 1, variance 1e-60", 8, 1e-60},
        {"all means 1, variance 1e-100", 8, 1e-100},
        {"marker frequencies summing to 1.000009", 7, -1.0},
        {"theta 1.3", 5, 1.3},
        {"theta -0.2", 5, -0.2},
        {"theta 1e12", 5, 1e12},
        {"theta not a number", 5, std::nan("")},
        {"theta back to 0.25", 5, 0.25},
        {"theta kept at 0.25", 5, 0.25},
    };
    int turn = 0;
    for (const Case& c : cases) {
      ParameterVector y = test::random_parameters(rng, 0.25);
      y[0] = rng.uniform(0.3, 0.7);
      if (c.index == 7) {
        y[6] += 0.000009;
      } else if (c.index == 8) {
        y[1] = y[2] = y[3] = 1.0;
        y[5] = c.value;
      } else if (c.index != 0) {
        y[static_cast<std::size_t>(c.index - 1)] = c.value;
      }
      const bool hold = c.index == 1 && c.value == 1.0;
      for (Side* s : {&lit, &fast}) {
        // Theta outside its bounds needs it held; so does an allele
        // frequency of 1.
        s->st->OPTPAR1.IFREE(5) = (c.index == 5 && (c.value > 0.5 || !(c.value == c.value))) ? 0 : 1;
        s->st->OPTPAR1.IFREE(1) = hold ? 0 : 1;
      }
      set_x_both(lit, fast, y, 1);
      // The update (a rebuild of the transmission tables when theta moved)
      // first on 1, 2 and 3 threads in turn.
      compare_evaluation(lit, fast, set + ", " + c.what, turn++ % 3 + 1);
      const FastReport r = fast.eval.report();
      fast_families += r.evaluated - r.literal;
      literal_families += r.literal;
      if (HasFailure()) return;
    }
    // A tie: the mean of genotype 3 follows that of genotype 1.
    for (Side* s : {&lit, &fast}) s->st->OPTPAR2.LINK(4) = 2;
    ParameterVector z = test::random_parameters(rng, 0.1);
    z[0] = 0.5;
    set_x_both(lit, fast, z, 1);
    compare_evaluation(lit, fast, set + ", tied mean");
    EXPECT_EQ(0, lit.st->OPTPAR1.IFREE(4));
  }
  // Both routes were taken.
  EXPECT_GT(fast_families, 100);
  EXPECT_GT(literal_families, 20);
}

// The automatic thread count: a study of a few families stays on the
// calling thread (waking another would cost more than it gains), a study
// of many thousand genotype slots has a pool of the machine's threads,
// which each evaluation uses or not by the time it took before; the values
// and everything else an evaluation leaves are those of one thread either
// way, evaluation after evaluation.
TEST(FastEngine, AutomaticThreadsFollowTheSizeOfTheStudy) {
  Random rng(14);
  for (const bool large : {false, true}) {
    test::HidingRates rates;
    rates.wrong_marker = 0.0;
    rates.untyped = 0.8;
    rates.max_assignments = 2000000;
    const ParameterVector truth = test::random_parameters(rng, 0.05);
    std::vector<Family> fams;
    for (int i = 0; i < (large ? 150 : 2); ++i)
      fams.push_back(test::random_family(rng, test::kAllShapes[i % 10], truth, rates));
    Side one(kFast), automatic(EvaluatorOptions{false, 0});
    const ParameterVector x = test::random_parameters(rng, 0.1);
    load_both(one, automatic, fams, x);
    // The set-up, then updates: the automatic choice times the calling
    // thread alone, then the pool, then takes the faster.
    for (int step = 0; step < 6; ++step) {
      SCOPED_TRACE("step " + std::to_string(step));
      set_x_both(one, automatic, step == 0 ? x : test::random_parameters(rng, 0.1 * step), step == 0 ? -1 : 1);
      double a = 0.0, b = 0.0;
      evaluate(one, a);
      evaluate(automatic, b);
      const int32 nfam = one.st->BUF1.NFAM;
      const long slots = one.st->GENOT.IGOFF(one.st->BUF1.FAMOFF(nfam + 1)) - one.st->GENOT.IGOFF(1);
      ASSERT_EQ(large, slots >= 8192) << slots << " slots";
      EXPECT_EQ(large ? hardware_threads() : 1, automatic.eval.report().threads) << slots << " slots";
      EXPECT_TRUE(same_bits(a, b)) << hex(a) << " " << hex(b);
      expect_same_state(*one.st, *automatic.st);
      if (!(a > UNUSABLE)) continue;
      ASSERT_EQ(nfam, automatic.eval.report().evaluated);
      for (int32 f = 1; f <= nfam; ++f)
        EXPECT_TRUE(same_bits((*one.eval.report().values)[static_cast<std::size_t>(f)],
                              (*automatic.eval.report().values)[static_cast<std::size_t>(f)]));
    }
  }
}

}  // namespace
}  // namespace mglink
