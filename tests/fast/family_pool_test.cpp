#include "fast/family_pool.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace mglink {
namespace {

// Every item is run exactly once, by a thread of the pool, whatever the
// count (below, at and above the sizes where items are handed out several
// at a time, and not a multiple of them), and the pool can be run again and
// again.
TEST(FamilyPool, RunsEveryItemOnceOnEveryThreadCount) {
  for (int threads = 1; threads <= 4; ++threads) {
    FamilyPool pool(threads);
    ASSERT_EQ(pool.threads(), threads);
    for (int count : {0, 1, 2, 3, 63, 64, 65, 127, 600, 604, 1999}) {
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

}  // namespace
}  // namespace mglink
