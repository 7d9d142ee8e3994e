#include "fast/family_pool.hpp"

#include <chrono>

namespace mglink {

FamilyPool::FamilyPool(int threads) {
  if (threads < 1) threads = 1;
  workers_.reserve(static_cast<std::size_t>(threads - 1));
  for (int t = 1; t < threads; ++t) workers_.emplace_back([this, t] { worker_main(t); });
}

FamilyPool::~FamilyPool() {
  {
    std::lock_guard<std::mutex> lock(m_);
    stop_.store(true);
  }
  start_.notify_all();
  for (auto& w : workers_) w.join();
}

void FamilyPool::work(int thread) {
  for (;;) {
    const int first = next_.fetch_add(chunk_, std::memory_order_relaxed);
    if (first >= count_) return;
    const int last = first + chunk_ < count_ ? first + chunk_ : count_;
    for (int item = first; item < last; ++item) fn_(task_, thread, item);
  }
}

void FamilyPool::worker_main(int thread) {
  std::uint64_t seen = 0;
  for (;;) {
    // The next evaluation usually follows within microseconds: watch for it
    // a short while before going to sleep, so that the thread joins in at
    // once instead of after a wake-up.
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(300);
    while (generation_.load(std::memory_order_acquire) == seen && !stop_.load(std::memory_order_relaxed) &&
           std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    {
      std::unique_lock<std::mutex> lock(m_);
      start_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_.load();
    }
    work(thread);
    if (busy_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      std::lock_guard<std::mutex> lock(m_);  // the caller may be about to wait
      done_.notify_one();
    }
  }
}

void FamilyPool::run_items(int count, Fn fn, void* task) {
  if (count <= 0) return;
  if (workers_.empty()) {
    for (int i = 0; i < count; ++i) fn(task, 0, i);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(m_);
    fn_ = fn;
    task_ = task;
    count_ = count;
    // Items are handed out a few at a time: some sixteen portions per
    // thread, enough to even out families of unequal cost, few enough that
    // the threads seldom meet on the counter.
    const int portions = 16 * threads();
    chunk_ = count / portions > 1 ? count / portions : 1;
    next_.store(0, std::memory_order_relaxed);
    busy_.store(static_cast<int>(workers_.size()), std::memory_order_relaxed);
    generation_.fetch_add(1, std::memory_order_release);
  }
  start_.notify_all();
  work(0);
  // The others are usually a few families from the end: watch a short while
  // before going to sleep.
  const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(200);
  while (busy_.load(std::memory_order_acquire) != 0 && std::chrono::steady_clock::now() < until) {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
  }
  if (busy_.load(std::memory_order_acquire) == 0) return;
  std::unique_lock<std::mutex> lock(m_);
  done_.wait(lock, [&] { return busy_.load(std::memory_order_acquire) == 0; });
}

}  // namespace mglink
