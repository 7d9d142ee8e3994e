#include "fast/family_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace mglink {
namespace {

// Every item is run exactly once, by a thread of the pool, whatever the
// count (below, at and above the sizes where items are handed out several
// at a time, and not a multiple of them, and beyond the items one turn of
// the counter holds), and the pool can be run again and again.
TEST(FamilyPool, RunsEveryItemOnceOnEveryThreadCount) {
  for (int threads = 1; threads <= 4; ++threads) {
    FamilyPool pool(threads);
    ASSERT_EQ(pool.threads(), threads);
    for (int count : {0, 1, 2, 3, 63, 64, 65, 127, 600, 604, 1999, 65535, 65536, 140000}) {
      std::vector<std::atomic<int>> runs(static_cast<std::size_t>(count));
      std::atomic<int> bad_thread{0};
      auto task = [&](int thread, int item) {
        if (thread < 0 || thread >= threads) bad_thread.fetch_add(1);
        runs[static_cast<std::size_t>(item)].fetch_add(1);
      };
      for (int round = 0; round < 3; ++round) pool.run(count, task);
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(runs[static_cast<std::size_t>(i)].load(), 3) << "item " << i << " of " << count << ", "
                                                               << threads << " threads";
      EXPECT_EQ(bad_thread.load(), 0);
    }
  }
}

// Each run returns only when all its items are done: the results written by
// the other threads are all there when run() returns.
TEST(FamilyPool, ReturnsWhenAllItemsAreDone) {
  FamilyPool pool(3);
  std::vector<double> value(5000);
  for (int round = 1; round <= 20; ++round) {
    auto task = [&](int, int item) {
      double x = 0.0;
      for (int k = 0; k < 50 + item % 7 * 20; ++k) x = x + 1.0;  // unequal work
      value[static_cast<std::size_t>(item)] = round + x * 0.0;
    };
    pool.run(static_cast<int>(value.size()), task);
    for (std::size_t i = 0; i < value.size(); ++i) ASSERT_EQ(value[i], round) << "item " << i;
  }
}

// Runs follow one another with different tasks and counts, as the
// evaluations of a maximisation do, while workers wake at any moment: every
// item of every run is done exactly once and by that run's own task, and
// each run returns only when its items are done.  (A worker that wakes late
// and takes items of a later run under an earlier run's task would show
// here, but the window for it is narrow: this is a check of the usual
// course, not a proof that the window is closed.)
TEST(FamilyPool, BackToBackRunsNeverMixTheirItems) {
  for (int threads : {2, 3}) {
    FamilyPool pool(threads);
    constexpr int kRuns = 2000;
    std::vector<std::vector<int>> seen(kRuns);
    for (int run = 0; run < kRuns; ++run) {
      const int count = 1 + (run * 37) % 97;
      seen[static_cast<std::size_t>(run)].assign(static_cast<std::size_t>(count), 0);
      std::atomic<int> foreign{0};
      auto task = [&, run, count](int, int item) {
        if (item < 0 || item >= count) {
          foreign.fetch_add(1);
          return;
        }
        ++seen[static_cast<std::size_t>(run)][static_cast<std::size_t>(item)];
      };
      pool.run(count, task);
      ASSERT_EQ(foreign.load(), 0) << "run " << run;
      for (int i = 0; i < count; ++i)
        ASSERT_EQ(seen[static_cast<std::size_t>(run)][static_cast<std::size_t>(i)], 1)
            << "run " << run << ", item " << i << ", " << threads << " threads";
    }
    // Nothing of a finished run is touched by a later one.
    for (int run = 0; run < kRuns; ++run)
      for (int v : seen[static_cast<std::size_t>(run)]) ASSERT_EQ(v, 1) << "run " << run;
  }
}

}  // namespace
}  // namespace mglink
