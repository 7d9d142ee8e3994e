#include "fast/family_pool.hpp"

#include <chrono>

namespace mglink {

namespace {

void pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

// Every atomic operation here is sequentially consistent: a worker that read
// a slot of a later run before its compare-and-swap is then sure to see that
// run's number in the counter, and fail.

int hardware_threads() {
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : static_cast<int>(hw > 256 ? 256 : hw);
}

FamilyPool::FamilyPool(int threads) {
  if (threads < 1) threads = 1;
  workers_.reserve(static_cast<std::size_t>(threads - 1));
  for (int t = 1; t < threads; ++t) workers_.emplace_back([this, t] { worker_main(t); });
}

FamilyPool::~FamilyPool() {
  stop_.store(true);
  run_.fetch_add(1);
  run_.notify_all();
  for (auto& w : workers_) w.join();
}

void FamilyPool::work(int thread, std::uint32_t run) {
  const Job& job = jobs_[run & 1];
  for (;;) {
    std::uint64_t cur = next_.load();
    if (static_cast<std::uint32_t>(cur >> 32) != run) return;
    const int chunk = job.chunk.load();
    int front = static_cast<int>((cur >> 16) & 0xffff);
    int back = static_cast<int>(cur & 0xffff);
    if (front >= back) return;
    // The calling thread takes from the front, the workers from the back:
    // each thread then meets mostly the same families from one evaluation
    // to the next, whose data its cache still holds.
    int first, last;
    if (thread == 0) {
      first = front;
      last = back - front > chunk ? front + chunk : back;
      front = last;
    } else {
      last = back;
      first = back - front > chunk ? back - chunk : front;
      back = first;
    }
    const std::uint64_t taken = (static_cast<std::uint64_t>(run) << 32) |
                                (static_cast<std::uint64_t>(front) << 16) | static_cast<std::uint64_t>(back);
    if (!next_.compare_exchange_weak(cur, taken)) continue;
    // The portion first..last-1 of this run is ours: the run cannot end, nor
    // its slot be refilled, before it is done.
    const Fn fn = job.fn.load();
    void* const task = job.task.load();
    const int offset = job.offset.load();
    for (int item = first; item < last; ++item) fn(task, thread, offset + item);
    const int count = job.count.load();
    if (done_.fetch_add(last - first) + (last - first) == count) done_.notify_one();
  }
}

void FamilyPool::worker_main(int thread) {
  std::uint32_t seen = 0;
  for (;;) {
    // The next evaluation often follows within microseconds: watch for it a
    // very short while, then sleep until the run number changes.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
    while (run_.load() == seen && std::chrono::steady_clock::now() < until) pause();
    std::uint32_t r = run_.load();
    while (r == seen) {
      run_.wait(seen);
      r = run_.load();
    }
    if (stop_.load()) return;
    seen = r;
    work(thread, r);
  }
}

void FamilyPool::run_items(int count, Fn fn, void* task) {
  if (count <= 0) return;
  if (workers_.empty() || count == 1) {
    for (int i = 0; i < count; ++i) fn(task, 0, i);
    return;
  }
  // The counter holds at most MAX_ITEMS items: more are run in turns.
  for (int offset = 0; offset < count; offset += MAX_ITEMS)
    run_part(offset, count - offset > MAX_ITEMS ? MAX_ITEMS : count - offset, fn, task);
}

void FamilyPool::run_part(int offset, int count, Fn fn, void* task) {
  const std::uint32_t r = run_.load() + 1;
  Job& job = jobs_[r & 1];
  job.fn.store(fn);
  job.task.store(task);
  job.count.store(count);
  job.offset.store(offset);
  // Some sixteen portions per thread: enough to even out families of
  // unequal cost and to leave little for the caller to wait for, few enough
  // that the threads seldom meet on the counter.
  const int portions = 16 * threads();
  job.chunk.store(count / portions > 1 ? count / portions : 1);
  done_.store(0);
  next_.store((static_cast<std::uint64_t>(r) << 32) | static_cast<std::uint64_t>(count));
  run_.store(r);
  run_.notify_all();
  work(0, r);
  // What is left are portions other threads have taken: watch a short while
  // (they are usually about done), then sleep, which also frees this
  // processor for a worker that was descheduled.
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(30);
  int d = done_.load();
  while (d != count && std::chrono::steady_clock::now() < until) {
    pause();
    d = done_.load();
  }
  while (d != count) {
    done_.wait(d);
    d = done_.load();
  }
}

}  // namespace mglink
