// A fixed set of threads that share out the families of one evaluation.
//
// The threads are started once and wait between evaluations (watching for
// the next one for a fraction of a millisecond, then asleep); run() hands
// them the items 0..count-1 (each taken by exactly one thread, a few
// consecutive items at a time, in no fixed assignment) and returns when all
// are done.  The calling thread works as
// thread 0, so a pool of one thread runs everything on the caller.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace mglink {

class FamilyPool {
 public:
  explicit FamilyPool(int threads);
  ~FamilyPool();
  FamilyPool(const FamilyPool&) = delete;
  FamilyPool& operator=(const FamilyPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Calls task(thread, item) for every item in 0..count-1; thread is the
  // number 0..threads()-1 of the thread that runs it.  The task must not
  // throw.
  template <class Task>
  void run(int count, Task& task) {
    run_items(count, [](void* t, int thread, int item) { (*static_cast<Task*>(t))(thread, item); },
              &task);
  }

 private:
  using Fn = void (*)(void*, int, int);
  void run_items(int count, Fn fn, void* task);
  void work(int thread);
  void worker_main(int thread);

  std::vector<std::thread> workers_;
  std::mutex m_;
  std::condition_variable start_;
  std::condition_variable done_;
  // Changed under m_; atomic so that the threads' short watch can read them
  // without it.
  std::atomic<std::uint64_t> generation_{0};  // one per run
  std::atomic<bool> stop_{false};
  std::atomic<int> busy_{0};  // workers not yet finished with this run
  std::atomic<int> next_{0};  // first item not yet handed out
  int count_ = 0;
  int chunk_ = 1;             // items handed out at a time
  Fn fn_ = nullptr;
  void* task_ = nullptr;
};

}  // namespace mglink
