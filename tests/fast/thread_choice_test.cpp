// The automatic choice between the pool and the calling thread, driven by
// made-up timings: it must settle on the faster way, keep the trials of the
// other way few, and follow a change of the machine's load.
#include "fast/thread_choice.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>

namespace mglink {
namespace {

struct Tally {
  long pool = 0, caller = 0;
};

// Runs evaluations first..last-1 of a machine whose evaluation takes
// cost(pool, evaluation) seconds, and counts the ways taken.
Tally drive(ThreadChoice& choice, long first, long last, const std::function<double(bool, long)>& cost) {
  Tally t;
  for (long e = first; e < last; ++e) {
    const bool pool = choice.pool_next();
    ++(pool ? t.pool : t.caller);
    choice.record(pool, cost(pool, e));
  }
  return t;
}

TEST(ThreadChoice, SettlesOnTheFasterWayAndKeepsTryingTheOther) {
  struct Case {
    const char* name;
    double caller, pool;  // milliseconds per evaluation
    bool pool_wins;
  };
  const Case cases[] = {
      {"pool twice as fast (idle machine, large study)", 1.0, 0.5, true},
      {"pool a little faster", 1.0, 0.9, true},
      {"caller faster (small study, or busy processors)", 0.3, 0.4, false},
      {"caller three times as fast (workers descheduled)", 1.0, 3.0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ThreadChoice choice;
    const Tally t = drive(choice, 0, 4000, [&](bool pool, long) { return (pool ? c.pool : c.caller) * 1e-3; });
    const long losing = c.pool_wins ? t.caller : t.pool;
    // The start times each way twice; then trials of two evaluations, at
    // gaps of 16, 32, ... 256 evaluations: about 20 trials in 4000.
    EXPECT_LE(losing, 2 + 2 * 24) << "pool " << t.pool << ", caller " << t.caller;
    // The other way is still tried now and then, so that a change is seen.
    ThreadChoice copy = choice;
    const Tally later = drive(copy, 4000, 4000 + ThreadChoice::MAX_GAP + ThreadChoice::TRIAL + 1,
                              [&](bool pool, long) { return (pool ? c.pool : c.caller) * 1e-3; });
    EXPECT_GE(c.pool_wins ? later.caller : later.pool, ThreadChoice::TRIAL);
  }
}

TEST(ThreadChoice, FollowsAChangeOfTheMachinesLoad) {
  // The other processor is taken by another program at evaluation 1000
  // (the pool's evaluations become three times as long) and freed at 2000.
  auto cost = [](bool pool, long e) {
    const bool busy = e >= 1000 && e < 2000;
    return pool ? (busy ? 3.0e-3 : 0.55e-3) : 1.0e-3;
  };
  ThreadChoice choice;
  const Tally before = drive(choice, 0, 1000, cost);
  EXPECT_GT(before.pool, 950);
  // The pool is left within a few evaluations of the change...
  const Tally change = drive(choice, 1000, 1010, cost);
  EXPECT_LE(change.pool, 3);
  const Tally busy = drive(choice, 1010, 2000, cost);
  EXPECT_GT(busy.caller, 950);
  // ... and taken again within one gap of the other processor's release.
  const Tally release = drive(choice, 2000, 2000 + ThreadChoice::MAX_GAP + ThreadChoice::TRIAL + 1, cost);
  EXPECT_GE(release.pool, 1);
  const Tally after = drive(choice, 2300, 3300, cost);
  EXPECT_GT(after.pool, 950);
}

TEST(ThreadChoice, NoisyTimingsStillFavourTheFasterWay) {
  // Evaluations of unequal cost (every fourth moves a parameter that
  // changes the densities) and a noise of up to 40% on each timing.
  for (const double pool_factor : {0.6, 1.6}) {
    SCOPED_TRACE(pool_factor);
    std::mt19937 rng(12345);
    std::uniform_real_distribution<double> noise(0.8, 1.2);
    ThreadChoice choice;
    const Tally t = drive(choice, 0, 3000, [&](bool pool, long e) {
      const double work = e % 4 == 0 ? 1.3e-3 : 1.0e-3;
      return work * (pool ? pool_factor : 1.0) * noise(rng);
    });
    const long faster = pool_factor < 1.0 ? t.pool : t.caller;
    EXPECT_GT(faster, 3000 * 9 / 10) << "pool " << t.pool << ", caller " << t.caller;
  }
}

}  // namespace
}  // namespace mglink
