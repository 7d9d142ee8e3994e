// A fixed set of threads that share out the families of one evaluation.
//
// run() hands out the items 0..count-1 a few consecutive items at a time
// from one counter, the calling thread taking them from the front and the
// other threads from the back (so that each mostly meets the items it met
// the last time); whichever thread comes first takes the next portion, so
// each item is run by exactly one thread and in no fixed assignment.
// run() returns when every item is done; it waits only for portions another
// thread has actually taken, never for a thread that has not yet woken: on a
// busy machine a descheduled worker simply finds nothing left when it gets
// the processor again.  Between runs the workers
// sleep (a futex wait on the run counter), so they take no processor time
// from the calling thread's serial work.  A pool of one thread starts no
// thread and runs everything on the caller.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "core/cache_lines.hpp"

namespace mglink {

// The machine's hardware threads (at least 1, at most 256).
int hardware_threads();

class FamilyPool {
 public:
  explicit FamilyPool(int threads);
  ~FamilyPool();
  FamilyPool(const FamilyPool&) = delete;
  FamilyPool& operator=(const FamilyPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls task(thread, item) for every item in 0..count-1; thread is the
  // number 0..threads()-1 of the thread that runs it (0: the caller).  The
  // task must not throw.
  template <class Task>
  void run(int count, Task& task) {
    run_items(count, [](void* t, int thread, int item) { (*static_cast<Task*>(t))(thread, item); },
              &task);
  }

 private:
  using Fn = void (*)(void*, int, int);
  // What one run hands out.  Two slots, chosen by the parity of the run:
  // a worker that read the run number of one run may still read its slot
  // while the caller fills the other for the next run.
  struct Job {
    std::atomic<Fn> fn{nullptr};
    std::atomic<void*> task{nullptr};
    std::atomic<int> count{0};
    std::atomic<int> chunk{1};
    std::atomic<int> offset{0};  // item number of the first item
  };
  void run_items(int count, Fn fn, void* task);
  static constexpr int MAX_ITEMS = 0xffff;
  // One run of the items offset..offset+count-1 (count at most MAX_ITEMS).
  void run_part(int offset, int count, Fn fn, void* task);
  // Takes and runs portions of run `run` until none is left.
  void work(int thread, std::uint32_t run);
  void worker_main(int thread);

  std::vector<std::thread> workers_;
  // Each of the counters below, and the jobs, on a pair of cache lines of
  // its own: every thread writes next_ and done_ at each portion it takes,
  // while a worker that has run out of portions watches run_.
  // The run number (high 32 bits) and the items not yet handed out, from
  // `front` (bits 16-31) up to but not including `back` (bits 0-15), changed
  // together: a portion is taken by a compare-and-swap that fails if the run
  // has changed, so that a worker that wakes late never takes items of a
  // later run under an earlier run's task.
  alignas(CACHE_LINE_PAIR) std::atomic<std::uint64_t> next_{0};
  alignas(CACHE_LINE_PAIR) std::atomic<std::uint32_t> run_{0};  // the run number the workers wait on
  std::atomic<bool> stop_{false};
  alignas(CACHE_LINE_PAIR) std::atomic<int> done_{0};           // items finished in the current run
  alignas(CACHE_LINE_PAIR) Job jobs_[2];
};

}  // namespace mglink
