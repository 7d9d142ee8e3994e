#include "fast/fast_engine.hpp"

#include <chrono>
#include <memory>

#include "fast/family_pool.hpp"
#include "fast/fast_genotype.hpp"
#include "fast/fast_peel.hpp"
#include "fast/fast_transmission.hpp"
#include "fast/thread_choice.hpp"
#include "likelihood/densities.hpp"
#include "likelihood/genmmp.hpp"
#include "likelihood/mmpfam.hpp"
#include "model/setup.hpp"

namespace mglink {

// Everything the fast evaluation keeps between calls.
struct FastEngine::Impl {
  explicit Impl(int n) : requested(n), threads(n < 1 ? 1 : n) {
    parts = [this](int count, const std::function<void(int)>& body) {
      auto task = [&body](int, int item) { body(item); };
      pool->run(count, task);
    };
  }
  int requested;                     // threads asked for; 0: chosen by the size of the pass
  int threads;                       // threads of the pool
  const ModelState* owner = nullptr; // the state the kept tables describe
  TransmissionCache tables;
  std::unique_ptr<FamilyPool> pool;
  ForEachPart parts;                 // work of the full set-up shared out over the pool
  std::vector<PeelScratch> scratch;  // one per thread
  std::vector<double> value;         // FLOGL per family, 1-based
  std::vector<unsigned char> literal;  // family left to the literal routines
  std::vector<double> last_weights;  // the weights the last family leaves (XX after the literal evaluation)
  ThreadChoice choice;               // with the automatic thread count: pool or caller alone
  DensityStore dens;                 // the densities kept
  std::vector<int32> layout;         // per family: fast_layout's answer
  int32 max_slots = 0, max_members = 0, max_entries = 0;  // of the largest family of the pass
  int32 max_nuclear = 0;             // the most nuclear families of one family of the pass
  long total_slots = 0;              // genotype slots of all families of the pass
  bool prepared = false;             // the above describe the current pass
  int evaluated = 0;
  int literal_count = 0;
};

namespace {

using Engine = FastEngine::Impl;

// set_up_parameters with the transmission cache: the cache builds CTRANS,
// from its nonzero products (as a rebuild from scratch, the same bits; the
// literal routine when theta is not in [0, 1]) at a full set-up, and keeps
// or rebuilds it at an update.  `parts`, when given, shares out the genotype
// enumeration of a full set-up.
bool set_up_parameters_cached(ModelState& st, Console& con, TransmissionCache& tables,
                              const ForEachPart* parts) {
  st.rejection = Rejection{};
  double STAT = 0.0;
  if (st.IMAX.ISETUP == -1) {
    tables.invalidate();
    const SetupSteps steps{
        [&tables](ModelState& s, Console& c) { tables.update(s, c, false); },
        [parts](ModelState& s, Console& c) { GENOTYPE_parts(s, c, parts); }};
    STAP0(st, con, STAT, steps);
  } else {
    STAPAR_cached(st, con, STAT, tables);
  }
  return STAT + 1e18 > 0.0;
}

// Below this many genotype slots in all, an evaluation takes a few tens of
// microseconds, about what it takes to wake another thread: the automatic
// choice then stays on the calling thread.
constexpr long kSlotsWorthThreads = 8192;

int chosen_threads(int requested, long total_slots) {
  if (requested >= 1) return requested;
  return total_slots >= kSlotsWorthThreads ? hardware_threads() : 1;
}

// A pool of `threads` threads (the one there when it has as many).
void ensure_pool(Engine& E, int threads) {
  if (!E.pool || E.pool->threads() != threads) {
    E.pool.reset();
    E.pool = std::make_unique<FamilyPool>(threads);
  }
}

// The pool for a full set-up, before its genotype lists give the pass's
// slots: a study of at least kSlotsWorthThreads individuals has at least as
// many slots, so that the automatic choice will take every hardware thread
// for the pass; a smaller one stays on the calling thread until the lists
// are known.  Returns whether the set-up can share out its work.
bool prepare_setup_threads(Engine& E, const ModelState& st) {
  const long individuals = st.BUF1.NFAM >= 1 ? st.BUF1.FAMOFF(st.BUF1.NFAM + 1) : 0;
  const int threads = chosen_threads(E.requested, individuals);
  if (threads <= 1) return false;
  ensure_pool(E, threads);
  return true;
}

// A pool of the chosen number of threads, each with a store big enough for
// the largest family of the pass.  Run at the start of a pass and when the
// number of threads changes.
void prepare_threads(Engine& E) {
  E.threads = chosen_threads(E.requested, E.total_slots);
  const int threads = E.threads;
  ensure_pool(E, threads);
  if (static_cast<int>(E.scratch.size()) < threads) E.scratch.resize(static_cast<std::size_t>(threads));
  for (int t = 0; t < threads; ++t)
    E.scratch[static_cast<std::size_t>(t)].reserve(E.max_slots, E.max_members, E.max_entries, E.max_nuclear);
}

// What stays fixed for a pass: the size of the largest family of the data
// (allocating only when the data grow), each family's layout, and an empty
// density store.  Run once per pass, after the full set-up.
void prepare_pass(Engine& E, const ModelState& st) {
  const int32 nfam = st.BUF1.NFAM;
  const std::size_t nf = static_cast<std::size_t>(nfam) + 1;
  if (E.value.size() < nf) {
    E.value.resize(nf);
    E.literal.resize(nf);
    E.layout.resize(nf);
  }
  E.max_slots = E.max_members = E.max_entries = E.max_nuclear = 0;
  E.total_slots = 0;
  for (int32 f = 1; f <= nfam; ++f) {
    const int32 m = st.BUF1.FAMOFF(f + 1) - st.BUF1.FAMOFF(f);
    const int32 s = st.GENOT.IGOFF(st.BUF1.FAMOFF(f + 1)) - st.GENOT.IGOFF(st.BUF1.FAMOFF(f));
    E.total_slots += s;
    if (m > E.max_members) E.max_members = m;
    if (s > E.max_slots) E.max_slots = s;
    const int32 nuclear = st.BUF3.NUCOFF(f + 1) - st.BUF3.NUCOFF(f);
    if (nuclear > E.max_nuclear) E.max_nuclear = nuclear;
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

FastEngine::FastEngine(int threads) : impl_(std::make_unique<Impl>(threads < 1 ? 0 : threads)) {}
FastEngine::~FastEngine() = default;

int FastEngine::threads() const { return impl_->threads; }
void FastEngine::set_threads(int threads) {
  impl_->requested = threads < 1 ? 0 : threads;
  impl_->threads = chosen_threads(impl_->requested, impl_->total_slots);
}

void FastEngine::evaluate(ModelState& st, Console& con, double& LH) {
  Engine& E = *impl_;
  if (E.owner != &st) {
    E.tables.invalidate();
    E.prepared = false;
    E.owner = &st;
  }
  E.evaluated = 0;
  E.literal_count = 0;

  if (st.IMAX.ISETUP == -1) E.prepared = false;  // new genotype lists

  // The genotype enumeration of a full set-up of a large study is shared
  // out over the pool.
  const bool share_setup = st.IMAX.ISETUP == -1 && prepare_setup_threads(E, st);
  if (!set_up_parameters_cached(st, con, E.tables, share_setup ? &E.parts : nullptr)) {
    LH = REJECTED;
    return;
  }

  const int32 nfam = st.BUF1.NFAM;
  if (!E.prepared) {
    prepare_pass(E, st);
  } else if (E.pool->threads() != E.threads) {
    prepare_threads(E);
  }
  E.dens.advance(st);

  if (E.tables.ready()) {
    const ModelState& cst = st;
    auto task = [&](int thread, int item) {
      const int32 f = item + 1;
      double FLOGL = 0.0;
      const int32 layout = E.layout[static_cast<std::size_t>(f)];
      PeelScratch& sc = E.scratch[static_cast<std::size_t>(thread)];
      // The calling thread rebuilt CTRANS if theta moved; every other
      // thread reads a copy of its own, brought up to date by itself.
      if (thread > 0 && sc.ctrans_epoch != E.tables.epoch()) E.tables.refresh(sc.ctrans_copy, sc.ctrans_epoch);
      sc.ctrans = thread > 0 ? sc.ctrans_copy.data() : nullptr;
      const bool fast = layout >= 0 && fast_family(cst, E.tables, f, layout, sc, E.dens, FLOGL);
      E.value[static_cast<std::size_t>(f)] = FLOGL;
      E.literal[static_cast<std::size_t>(f)] = fast ? 0 : 1;
      if (f == nfam && fast) {  // its weights, before the thread's next family overwrites them
        const PeelScratch& sc = E.scratch[static_cast<std::size_t>(thread)];
        const int32 n = cst.GENOT.IGOFF(cst.BUF1.FAMOFF(nfam + 1)) - cst.GENOT.IGOFF(cst.BUF1.FAMOFF(nfam));
        E.last_weights.assign(sc.w.begin() + 1, sc.w.begin() + 1 + n);
      }
    };
    if (E.requested == 0 && E.pool->threads() > 1) {
      const bool pool = E.choice.pool_next();
      const auto start = std::chrono::steady_clock::now();
      if (pool) {
        E.pool->run(nfam, task);
      } else {
        for (int item = 0; item < nfam; ++item) task(0, item);
      }
      E.choice.record(pool, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    } else {
      E.pool->run(nfam, task);
    }
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
    const int32 famoff = st.BUF1.FAMOFF(nfam);
    const int32 members = st.BUF1.FAMOFF(nfam + 1) - famoff;
    const int32 n = st.GENOT.IGOFF(st.BUF1.FAMOFF(nfam + 1)) - st.GENOT.IGOFF(famoff);
    for (int32 s = 1; s <= n; ++s) st.XX(s) = E.last_weights[static_cast<std::size_t>(s - 1)];
    for (int32 e = 1; e <= members; ++e)
      st.work.IDONE(e) = E.dens.idone[static_cast<std::size_t>(famoff + e)];
  }
}

FastReport FastEngine::report() const {
  const Engine& E = *impl_;
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
