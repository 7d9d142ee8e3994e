// Benchmarks of one evaluation of the total log-likelihood, literal against
// fast, on the data sets that bench/run puts into bench/data/ (typed,
// deep, capacity simulated, example copied from examples/study; another
// directory with MGLINK_BENCH_DATA).
//
//   Update/<set>/<engine>        one GENMMP update (ISETUP = 1), every
//                                parameter moved at every call
//   UpdateOneMove/<set>/<engine> one update as the maximiser makes them: one
//                                parameter moved per call, theta in one of six
//   SetUp/<set>                  the full set-up STAP0 (genotype enumeration
//                                included), the same for both engines
//   Threads/<set>/<n>            the fast update on n threads
//
// The data are read as the run driver reads them (par.inp of pass 2, then
// the family data), and the genotype lists are built once by a full set-up.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/model_state.hpp"
#include "data/wwdat.hpp"
#include "evaluator/evaluator.hpp"
#include "model/setup.hpp"
#include "run/control_files.hpp"

namespace {

using namespace mglink;

std::string data_dir() {
  const char* d = std::getenv("MGLINK_BENCH_DATA");
  return d != nullptr ? d : MGLINK_BENCH_DEFAULT_DATA;
}

bool exists(const std::string& path) { return std::ifstream(path).good(); }

// A console that keeps nothing and never waits.
struct Quiet {
  std::ostringstream out;
  std::istringstream in{""};
  Console con{out, in};
  void clear() { out.str(""); }
};

// One data set loaded into a state of its own, with its genotype lists built,
// and the parameter vectors the updates cycle through.
struct DataSet {
  std::unique_ptr<ModelState> st = make_model_state();
  Evaluator literal{EvaluatorOptions{true, 1}};
  Evaluator fast{EvaluatorOptions{false, 1}};  // its tables kept from one benchmark to the next
  Quiet quiet;
  std::vector<std::vector<double>> vectors;  // X(1..6) per call
};

// Parameter vectors near the start values, inside the bounds.  `one_move`:
// each differs from the one before in one parameter only, as the
// maximiser's exploratory moves do.
std::vector<std::vector<double>> make_vectors(const ModelState& st, bool one_move) {
  std::vector<std::vector<double>> v;
  std::vector<double> x(7);
  for (int i = 1; i <= 6; ++i) x[static_cast<std::size_t>(i)] = st.OPTPAR1.X(i);
  unsigned long long r = 12345;
  auto next = [&] {
    r = r * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(r >> 11) / 9007199254740992.0;  // [0, 1)
  };
  for (int k = 0; k < 60; ++k) {
    for (int i = 1; i <= 6; ++i) {
      if (one_move && i != 1 + k % 6) continue;
      const double lo = st.OPTPAR1.XLOW(i), hi = st.OPTPAR1.XUPP(i);
      const double span = hi - lo;
      double y = st.OPTPAR1.X(i) + (next() - 0.5) * 0.1 * span;
      if (y <= lo) y = lo + 0.01 * span;
      if (y >= hi) y = hi - 0.01 * span;
      x[static_cast<std::size_t>(i)] = y;
    }
    v.push_back(x);
  }
  return v;
}

DataSet* load(const std::string& name, bool one_move) {
  static std::map<std::string, std::unique_ptr<DataSet>> sets;
  const std::string key = name + (one_move ? "/one" : "/all");
  if (auto it = sets.find(key); it != sets.end()) return it->second.get();
  const std::string dir = data_dir() + "/" + name;
  if (!exists(dir + "/task.inp")) return nullptr;
  auto d = std::make_unique<DataSet>();
  ModelState& st = *d->st;
  st.IMAX.NPAR = 6;
  const TaskNames names = read_task(dir + "/task.inp");
  read_par(st, 2, dir + "/par.inp");
  WWDAT(st, names.TRAITFILE, names.MARKERFILE, dir);
  st.IMAX.ISETUP = -1;
  double LH = 0.0;
  d->fast.evaluate(st, d->quiet.con, LH);
  if (LH <= UNUSABLE) {
    std::fprintf(stderr, "bench: the start values of %s are unusable\n", dir.c_str());
    std::exit(1);
  }
  st.IMAX.ISETUP = 1;
  d->vectors = make_vectors(st, one_move);
  DataSet* p = d.get();
  sets[key] = std::move(d);
  return p;
}

void run_updates(benchmark::State& state, const std::string& name, bool literal, int threads,
                 bool one_move) {
  DataSet* d = load(name, one_move);
  if (d == nullptr) {
    state.SkipWithError(("no data set " + data_dir() + "/" + name).c_str());
    return;
  }
  Evaluator& eval = literal ? d->literal : d->fast;
  eval.set_threads(threads);
  ModelState& st = *d->st;
  std::size_t k = 0;
  double LH = 0.0;
  for (auto _ : state) {
    const auto& x = d->vectors[k++ % d->vectors.size()];
    for (int i = 1; i <= 6; ++i) st.OPTPAR1.X(i) = x[static_cast<std::size_t>(i)];
    eval.evaluate(st, d->quiet.con, LH);
    benchmark::DoNotOptimize(LH);
    if (LH <= UNUSABLE) {
      state.SkipWithError("unusable parameter vector");
      break;
    }
  }
  d->quiet.clear();
}

// `n` fast updates on one thread, nothing else: the function to profile
// (valgrind --tool=callgrind --toggle-collect='*profile_updates*').
[[gnu::noinline]] double profile_updates(DataSet& d, int n, bool literal) {
  Evaluator& eval = literal ? d.literal : d.fast;
  eval.set_threads(1);
  ModelState& st = *d.st;
  double sum = 0.0;
  for (int k = 0; k < n; ++k) {
    const auto& x = d.vectors[static_cast<std::size_t>(k) % d.vectors.size()];
    for (int i = 1; i <= 6; ++i) st.OPTPAR1.X(i) = x[static_cast<std::size_t>(i)];
    double LH = 0.0;
    eval.evaluate(st, d.quiet.con, LH);
    sum += LH;
    d.quiet.clear();
  }
  return sum;
}

void set_up(benchmark::State& state, const std::string& name) {
  DataSet* d = load(name, false);
  if (d == nullptr) {
    state.SkipWithError(("no data set " + data_dir() + "/" + name).c_str());
    return;
  }
  // A state of its own, so that the updates' genotype lists stay as they are.
  auto st = make_model_state();
  *st = *d->st;
  Quiet quiet;
  double STAT = 0.0;
  for (auto _ : state) {
    STAP0(*st, quiet.con, STAT);
    benchmark::DoNotOptimize(STAT);
    quiet.clear();
  }
}

void register_all() {
  const int hw = hardware_threads();
  for (const char* set : {"typed", "deep", "capacity", "example"}) {
    const std::string s = set;
    for (const bool one_move : {false, true}) {
      const std::string kind = one_move ? "UpdateOneMove/" : "Update/";
      benchmark::RegisterBenchmark((kind + s + "/literal").c_str(), [s, one_move](benchmark::State& st) {
        run_updates(st, s, true, 1, one_move);
      })->Unit(benchmark::kMillisecond)->UseRealTime();
      benchmark::RegisterBenchmark((kind + s + "/fast").c_str(), [s, one_move](benchmark::State& st) {
        run_updates(st, s, false, 1, one_move);
      })->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::RegisterBenchmark(("SetUp/" + s).c_str(), [s](benchmark::State& st) { set_up(st, s); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    for (int t = 1; t <= (hw > 2 ? hw : 2); ++t) {
      benchmark::RegisterBenchmark(("Threads/" + s + "/" + std::to_string(t)).c_str(),
                                   [s, t](benchmark::State& st) { run_updates(st, s, false, t, false); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  // mglink_bench --profile SET N [all|one] [literal]: N updates of SET on one
  // thread, every parameter (all) or one parameter (one) moved per call.
  if (argc >= 4 && std::string(argv[1]) == "--profile") {
    const bool one_move = argc >= 5 && std::string(argv[4]) == "one";
    const bool literal = argc >= 6 && std::string(argv[5]) == "literal";
    DataSet* d = load(argv[2], one_move);
    if (d == nullptr) {
      std::fprintf(stderr, "bench: no data set %s/%s\n", data_dir().c_str(), argv[2]);
      return 1;
    }
    const int n = std::atoi(argv[3]);
    std::printf("%d updates of %s: sum of LH %.17g\n", n, argv[2], profile_updates(*d, n, literal));
    return 0;
  }
  register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
