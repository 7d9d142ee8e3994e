// The cost of loops: one evaluation of the K-allele likelihood of a study of
// 40 four-generation pedigrees (looped_study.hpp), the same members and data
// in three forms:
//
//   Loops/peeled/K<k>/L<l>   loop-free, peeled by its plan
//   Loops/graph/K<k>/L<l>    loop-free, summed out over its pedigree graph
//   Loops/looped/K<k>/L<l>   with l first-cousin marriages per pedigree
//
// for markers of 4 and 12 alleles and 1, 2 and 4 loops (the data differ
// with l, as the rewired spouses inherit their genes in the looped form; the
// pedigrees do not).  Counters: families, individuals, slots, cost (terms
// of one evaluation by elimination, summed over the families: 0 when peeled),
// max_cost (the costliest family), largest (entries of the largest table
// of an elimination), store_mb (the elimination's working store for the
// family that needs the most, in MB), lh (the log-likelihood at the
// simulated model).
//
// Before the benchmarks run, every study is checked: the loop-free pedigree
// has the same log-likelihood peeled and as a graph, family by family, and
// every looped family has a finite one and exactly l independent loops.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kallele_study.hpp"
#include "looped_study.hpp"
#include "pedigree_likelihood/evaluator.hpp"

namespace {

using namespace mglink;

enum class Form { Peeled, Graph, Looped };
const char* name_of(Form f) { return f == Form::Peeled ? "peeled" : f == Form::Graph ? "graph" : "looped"; }

const int kAlleles[] = {4, 12};
const int kLoops[] = {1, 2, 4};

const bench::LoopedStudy& study(int K, int loops) {
  static std::map<std::pair<int, int>, std::unique_ptr<bench::LoopedStudy>> cache;
  auto& s = cache[{K, loops}];
  if (!s) {
    bench::LoopedDesign d;
    d.K = K;
    d.loops = loops;
    s = std::make_unique<bench::LoopedStudy>(bench::simulate_looped_study(d));
  }
  return *s;
}

const pedlik::Pedigree& pedigree(const bench::LoopedStudy& s, Form form) {
  return form == Form::Peeled ? s.peeled : form == Form::Graph ? s.graph : s.looped;
}

void Evaluate(benchmark::State& state, Form form, int K, int loops) {
  const bench::LoopedStudy& s = study(K, loops);
  const pedlik::Pedigree& ped = pedigree(s, form);
  pedlik::Evaluator ev(ped, s.marker);
  bench::time_evaluations(state, ev, bench::kTruth);
  double cost = 0.0, max_cost = 0.0, largest = 0.0, store = 0.0;
  for (std::size_t f = 0; f < ev.families(); ++f) {
    cost += ev.family_cost(f);
    max_cost = std::max(max_cost, ev.family_cost(f));
    if (form == Form::Peeled) continue;
    const pedlik::EliminationPlan plan = pedlik::plan_elimination(ped.families[f], ev.table(f));
    largest = std::max(largest, plan.largest);
    store = std::max(store, static_cast<double>(plan.store));
  }
  state.counters["families"] = static_cast<double>(ped.families.size());
  state.counters["individuals"] = static_cast<double>(ped.individuals());
  state.counters["slots"] = static_cast<double>(ev.slots());
  state.counters["cost"] = cost;
  state.counters["max_cost"] = max_cost;
  state.counters["largest"] = largest;
  state.counters["store_mb"] = store * sizeof(double) / 1e6;
  state.counters["lh"] = ev.log_likelihood(bench::kTruth).lh;
}

// Independent loops of a pedigree graph: in the graph of members and
// matings (each mating joined to its two parents and its children), edges
// minus nodes plus connected parts.
int loops_of(const pedlik::Family& fam) {
  const auto par = pedlik::parents_of(fam);
  std::map<std::pair<int, int>, int> mating;
  std::vector<std::pair<int, int>> edges;
  for (int e = 1; e <= fam.size; ++e) {
    const auto p = par[static_cast<std::size_t>(e - 1)];
    if (p[0] == 0) continue;
    auto [it, added] = mating.emplace(std::make_pair(p[0], p[1]), fam.size + 1 + static_cast<int>(mating.size()));
    if (added) {
      edges.emplace_back(p[0], it->second);
      edges.emplace_back(p[1], it->second);
    }
    edges.emplace_back(e, it->second);
  }
  const int nodes = fam.size + static_cast<int>(mating.size());
  std::vector<int> up(static_cast<std::size_t>(nodes + 1));
  for (int i = 0; i <= nodes; ++i) up[static_cast<std::size_t>(i)] = i;
  auto root = [&up](int i) {
    while (up[static_cast<std::size_t>(i)] != i) i = up[static_cast<std::size_t>(i)] = up[static_cast<std::size_t>(up[static_cast<std::size_t>(i)])];
    return i;
  };
  int parts = nodes;
  for (const auto& [a, b] : edges) {
    const int ra = root(a), rb = root(b);
    if (ra != rb) {
      up[static_cast<std::size_t>(ra)] = rb;
      --parts;
    }
  }
  return static_cast<int>(edges.size()) - nodes + parts;
}

// The forms agree where they should; false (with a message) when not.
bool check(int K, int loops) {
  const bench::LoopedStudy& s = study(K, loops);
  pedlik::Evaluator peeled(s.peeled, s.marker), graph(s.graph, s.marker), looped(s.looped, s.marker);
  std::string where = "K";
  where += std::to_string(K) + "/L" + std::to_string(loops);
  long first = 0;
  for (std::size_t f = 0; f < s.peeled.families.size(); ++f) {
    const int n = s.peeled.families[f].size;
    if (n < 15 || n > 40 || s.looped.families[f].size != n) {
      std::fprintf(stderr, "%s family %zu: %d members\n", where.c_str(), f + 1, n);
      return false;
    }
    const int free_loops = loops_of(s.peeled.families[f]), graph_loops = loops_of(s.graph.families[f]),
              looped_loops = loops_of(s.looped.families[f]);
    if (free_loops != 0 || graph_loops != 0 || looped_loops != loops) {
      std::fprintf(stderr, "%s family %zu: %d, %d and %d loops\n", where.c_str(), f + 1, free_loops,
                   graph_loops, looped_loops);
      return false;
    }
    const double a = peeled.family_log_likelihood(f, bench::kTruth);
    const double b = graph.family_log_likelihood(f, bench::kTruth);
    const double c = looped.family_log_likelihood(f, bench::kTruth);
    if (!std::isfinite(a) || !(std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(a)))) {
      std::fprintf(stderr, "%s family %zu: peeled %.17g, as a graph %.17g\n", where.c_str(), f + 1, a, b);
      return false;
    }
    if (!std::isfinite(c)) {
      std::fprintf(stderr, "%s family %zu: looped log-likelihood %g\n", where.c_str(), f + 1, c);
      return false;
    }
    first += n;
  }
  if (first != s.peeled.individuals() || s.looped.individuals() != first) {
    std::fprintf(stderr, "%s: individuals disagree\n", where.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  for (int K : kAlleles)
    for (int loops : kLoops) {
      if (!check(K, loops)) return 1;
      for (Form form : {Form::Peeled, Form::Graph, Form::Looped}) {
        const std::string name = std::string("Loops/") + name_of(form) + "/K" + std::to_string(K) + "/L" +
                                 std::to_string(loops);
        benchmark::RegisterBenchmark(name.c_str(), Evaluate, form, K, loops)->Unit(benchmark::kMillisecond);
      }
    }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
