#include "likelihood/fast_engine.hpp"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "likelihood/densities.hpp"
#include "likelihood/family_pool.hpp"
#include "likelihood/fast_peel.hpp"
#include "likelihood/genmmp.hpp"
#include "likelihood/mmpfam.hpp"
#include "model/fast_transmission.hpp"

namespace mglink {

namespace {

// 0: literal, 1: fast (the default; MGLINK_LITERAL=1 selects the literal).
std::atomic<int>& engine_choice() {
  static std::atomic<int> choice{[] {
    const char* v = std::getenv("MGLINK_LITERAL");
    return v != nullptr && std::strcmp(v, "1") == 0 ? 0 : 1;
  }()};
  return choice;
}

int default_threads() {
  if (const char* v = std::getenv("MGLINK_THREADS"); v != nullptr && *v != '\0') {
    char* end = nullptr;
    const long n = std::strtol(v, &end, 10);
    if (*end == '\0' && n >= 1) return n > 256 ? 256 : static_cast<int>(n);
  }
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : static_cast<int>(hw > 256 ? 256 : hw);
}

std::atomic<int>& thread_choice() {
  static std::atomic<int> n{default_threads()};
  return n;
}

// Everything the fast evaluation keeps between calls.
struct FastEngine {
  const ModelState* owner = nullptr;
  TransmissionCache tables;
  std::unique_ptr<FamilyPool> pool;
  std::vector<PeelScratch> scratch;  // one per thread
  std::vector<double> value;         // FLOGL per family, 1-based
  std::vector<unsigned char> literal;  // family left to the literal routines
  int last_thread = 0;               // thread that computed the last family
  DensityStore dens;                 // the densities kept
  std::vector<int32> layout;         // per family: fast_layout's answer
  int32 max_slots = 0, max_members = 0, max_entries = 0;  // of the largest family of the pass
  bool prepared = false;             // the above describe the current pass
  int evaluated = 0;
  int literal_count = 0;
};

FastEngine& fast_engine() {
  static FastEngine e;
  return e;
}

// A pool of the chosen number of threads, each with a store big enough for
// the largest family of the pass.  Run at the start of a pass and when the
// number of threads changes.
void prepare_threads(FastEngine& E) {
  const int threads = thread_choice().load();
  if (!E.pool || E.pool->threads() != threads) {
    E.pool.reset();
    E.pool = std::make_unique<FamilyPool>(threads);
  }
  if (static_cast<int>(E.scratch.size()) < threads) E.scratch.resize(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t)
    E.scratch[static_cast<std::size_t>(t)].reserve(E.max_slots, E.max_members, E.max_entries);
}

// What stays fixed for a pass: the size of the largest family of the data
// (allocating only when the data grow), each family's layout, and an empty
// density store.  Run once per pass, after the full set-up.
void prepare_pass(FastEngine& E, const ModelState& st) {
  const int32 nfam = st.BUF1.NFAM;
  const std::size_t nf = static_cast<std::size_t>(nfam) + 1;
  if (E.value.size() < nf) {
    E.value.resize(nf);
    E.literal.resize(nf);
    E.layout.resize(nf);
  }
  E.max_slots = E.max_members = E.max_entries = 0;
  for (int32 f = 1; f <= nfam; ++f) {
    const int32 m = st.BUF1.FAMOFF(f + 1) - st.BUF1.FAMOFF(f);
    const int32 s = st.GENOT.IGOFF(st.BUF1.FAMOFF(f + 1)) - st.GENOT.IGOFF(st.BUF1.FAMOFF(f));
    if (m > E.max_members) E.max_members = m;
    if (s > E.max_slots) E.max_slots = s;
  }
  const int32 nnuc = st.BUF3.NUCOFF(nfam + 1);
  for (int32 j = 1; j <= nnuc; ++j) {
    const int32 n = st.BUF14.MEMOFF(j + 1) - st.BUF14.MEMOFF(j);
    if (n > E.max_entries) E.max_entries = n;
  }
  prepare_threads(E);
  for (int32 f = 1; f <= nfam; ++f) E.layout[static_cast<std::size_t>(f)] = fast_layout(st, f, E.scratch[0]);
  E.dens.clear(st);
  E.prepared = true;
}

}  // namespace

Engine selected_engine() { return engine_choice().load() == 0 ? Engine::Literal : Engine::Fast; }
void select_engine(Engine engine) { engine_choice().store(engine == Engine::Literal ? 0 : 1); }

int engine_threads() { return thread_choice().load(); }
void set_engine_threads(int threads) { thread_choice().store(threads < 1 ? 1 : threads); }

void GENMMP_FAST(ModelState& st, Console& con, double& LH) {
  FastEngine& E = fast_engine();
  if (E.owner != &st) {
    E.tables.invalidate();
    E.prepared = false;
    E.owner = &st;
  }
  E.evaluated = 0;
  E.literal_count = 0;

  if (st.IMAX.ISETUP == -1) E.prepared = false;  // new genotype lists
  if (!set_up_parameters(st, con, &E.tables)) {
    LH = REJECTED;
    return;
  }

  const int32 nfam = st.BUF1.NFAM;
  if (!E.prepared) {
    prepare_pass(E, st);
  } else if (E.pool->threads() != thread_choice().load()) {
    prepare_threads(E);
  }
  E.dens.advance(st);

  if (E.tables.ready()) {
    const ModelState& cst = st;
    auto task = [&](int thread, int item) {
      const int32 f = item + 1;
      double FLOGL = 0.0;
      const int32 layout = E.layout[static_cast<std::size_t>(f)];
      const bool fast = layout >= 0 && fast_family(cst, E.tables, f, layout,
                                                   E.scratch[static_cast<std::size_t>(thread)],
                                                   E.dens, FLOGL);
      E.value[static_cast<std::size_t>(f)] = FLOGL;
      E.literal[static_cast<std::size_t>(f)] = fast ? 0 : 1;
      if (f == nfam) E.last_thread = thread;
    };
    E.pool->run(nfam, task);
  } else {
    for (int32 f = 1; f <= nfam; ++f) E.literal[static_cast<std::size_t>(f)] = 1;
  }

  // In family order: the families left to the literal routines, the
  // rejection of the first family that is not finite, and the total.
  LH = 0.0;
  for (int32 f = 1; f <= nfam; ++f) {
    double& FLOGL = E.value[static_cast<std::size_t>(f)];
    if (E.literal[static_cast<std::size_t>(f)] != 0) {
      MASSIX(st, f);
      MMPFAM(st, f, FLOGL);
      ++E.literal_count;
    }
    E.evaluated = f;
    if (reject_unusable_family(st, f, FLOGL, LH)) return;
    LH = LH + FLOGL;
  }

  // Leave XX and IDONE as the literal evaluation leaves them: holding the
  // last family.
  if (nfam >= 1 && E.literal[static_cast<std::size_t>(nfam)] == 0) {
    const PeelScratch& sc = E.scratch[static_cast<std::size_t>(E.last_thread)];
    const int32 famoff = st.BUF1.FAMOFF(nfam);
    const int32 members = st.BUF1.FAMOFF(nfam + 1) - famoff;
    const int32 n = st.GENOT.IGOFF(st.BUF1.FAMOFF(nfam + 1)) - st.GENOT.IGOFF(famoff);
    for (int32 s = 1; s <= n; ++s) st.XX(s) = sc.w[static_cast<std::size_t>(s)];
    for (int32 e = 1; e <= members; ++e)
      st.work.IDONE(e) = E.dens.idone[static_cast<std::size_t>(famoff + e)];
  }
}

FastReport fast_report() {
  const FastEngine& E = fast_engine();
  FastReport r;
  r.values = &E.value;
  r.evaluated = E.evaluated;
  r.literal = E.literal_count;
  r.threads = E.pool ? E.pool->threads() : 0;
  r.table_reuses = E.tables.reuses();
  r.table_rebuilds = E.tables.rebuilds();
  return r;
}

}  // namespace mglink
