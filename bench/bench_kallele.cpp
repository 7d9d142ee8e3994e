// Benchmarks of the K-allele likelihood on simulated studies
// (kallele_study.hpp):
//
//   Evaluate/<study>/K<k>   one evaluation of all families, the parameters
//                           moved at every call
//   TwoPass/<study>/K<k>    both passes of the linkage test (pattern search
//                           with the example study's maxpar.inp settings)
//   Tables/<study>/K<k>     the per-marker work: recoding and genotype
//                           elimination of every family
//
// Studies: extended (100 three-generation pedigrees with marry-ins, half the
// members typed), nuclear (200 nuclear families, half typed), large-all and
// large-living (23 four-generation pedigrees of about 65 members, everyone
// typed or only the youngest two generations).  Counters: families,
// individuals, slots (possible genotypes after the elimination), classes
// (the largest number of allele classes of a family).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "io/message_file.hpp"
#include "pedigree_likelihood/evaluator.hpp"
#include "kallele/two_pass.hpp"
#include "kallele_study.hpp"
#include "core/model_state.hpp"

namespace {

using namespace mglink;
using bench::StudyDesign;

struct Named {
  const char* name;
  StudyDesign design;
};

StudyDesign spec_of(StudyDesign::Shape shape, int families, StudyDesign::Typing typing) {
  StudyDesign s;
  s.shape = shape;
  s.families = families;
  s.typing = typing;
  return s;
}

const Named kStudies[] = {
    {"extended", spec_of(StudyDesign::Shape::Extended, 100, StudyDesign::Typing::Fraction)},
    {"nuclear", spec_of(StudyDesign::Shape::Nuclear, 200, StudyDesign::Typing::Fraction)},
    {"large-all", spec_of(StudyDesign::Shape::Large, 23, StudyDesign::Typing::All)},
    {"large-living", spec_of(StudyDesign::Shape::Large, 23, StudyDesign::Typing::Living)},
};

bench::Study study(const StudyDesign& design, int K) {
  StudyDesign s = design;
  s.K = K;
  return bench::simulate_study(s);
}

void counters(benchmark::State& state, const bench::Study& s, const pedlik::Evaluator& ev) {
  int classes = 0;
  for (std::size_t f = 0; f < ev.families(); ++f) classes = std::max(classes, ev.table(f).R);
  state.counters["families"] = static_cast<double>(s.ped.families.size());
  state.counters["individuals"] = static_cast<double>(s.ped.individuals());
  state.counters["slots"] = static_cast<double>(ev.slots());
  state.counters["classes"] = classes;
}

void Evaluate(benchmark::State& state, StudyDesign design, int K) {
  const bench::Study s = study(design, K);
  pedlik::Evaluator ev(s.ped, s.marker);
  bench::time_evaluations(state, ev, bench::kTruth);
  counters(state, s, ev);
}

void Tables(benchmark::State& state, StudyDesign design, int K) {
  const bench::Study s = study(design, K);
  for (auto _ : state) {
    pedlik::Evaluator ev(s.ped, s.marker);
    benchmark::DoNotOptimize(ev.slots());
  }
}

void TwoPass(benchmark::State& state, StudyDesign design, int K) {
  const bench::Study s = study(design, K);
  pedlik::Evaluator ev(s.ped, s.marker);
  auto st = make_model_state();
  // The example study's par.inp: every parameter estimated.
  const auto load = [](ModelState& m, int pass) {
    const double x[6] = {0.45, 88, 101, 112, 0.15, 30};
    const double step[6] = {0.05, 1, 1, 1, 0.05, 2};
    const double lo[6] = {0, 50, 50, 50, 0, 1};
    const double hi[6] = {1, 150, 150, 150, 0.5, 200};
    for (int i = 1; i <= 6; ++i) {
      m.OPTPAR2.LINK(i) = i;
      m.OPTPAR1.IFREE(i) = 1;
      m.OPTPAR1.X(i) = x[i - 1];
      m.OPTPAR1.STEP(i) = step[i - 1];
      m.OPTPAR1.XLOW(i) = lo[i - 1];
      m.OPTPAR1.XUPP(i) = hi[i - 1];
    }
    if (pass == 1) {
      m.OPTPAR1.IFREE(5) = 0;
      m.OPTPAR1.X(5) = 0.5;
    }
    return pass == 1 ? 5 : 6;
  };
  const SearchSettings m{.EPSX = 1e-4, .MAXIT = 500, .RHO = 0.5, .EPSF = 1e-4};
  std::ostringstream out;
  std::istringstream in;
  Console con(out, in);
  MessageFile messages("/dev/null");
  double evaluations = 0, lod = 0;
  for (auto _ : state) {
    const kallele::TwoPassResult r = kallele::run_two_passes(*st, ev, m, load, con, messages);
    evaluations = r.pass[0].NFUN + r.pass[1].NFUN;
    lod = r.lod;
  }
  counters(state, s, ev);
  state.counters["evaluations"] = evaluations;
  state.counters["lod"] = lod;
}

}  // namespace

int main(int argc, char** argv) {
  for (const Named& n : kStudies) {
    const bool large = n.design.shape == StudyDesign::Shape::Large;
    const int sizes_small[] = {5, 10, 20, 40};
    const int sizes_large[] = {5, 16};
    const int* begin = large ? sizes_large : sizes_small;
    const int count = large ? 2 : 4;
    for (int i = 0; i < count; ++i) {
      const int K = begin[i];
      const std::string tail = std::string(n.name) + "/K" + std::to_string(K);
      benchmark::RegisterBenchmark(("Evaluate/" + tail).c_str(), Evaluate, n.design, K)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("Tables/" + tail).c_str(), Tables, n.design, K)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("TwoPass/" + tail).c_str(), TwoPass, n.design, K)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
