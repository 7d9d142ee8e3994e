#include "fast/thread_choice.hpp"

namespace mglink {

namespace {

// The start: an untimed evaluation on the pool, then caller, pool, pool,
// caller.
constexpr bool START[] = {true, false, true, true, false};
constexpr long START_LENGTH = sizeof(START) / sizeof(START[0]);

}  // namespace

bool ThreadChoice::pool_next() const {
  if (evaluations_ < START_LENGTH) return START[evaluations_];
  return trying_ ? !pool_ : pool_;
}

void ThreadChoice::record(bool pool, double seconds) {
  const long e = evaluations_++;
  if (e < START_LENGTH) {
    if (e > 0) average_[pool ? 1 : 0] += seconds / 2.0;
    if (e + 1 == START_LENGTH) {
      pool_ = average_[1] < average_[0];
      gap_ = MIN_GAP;
      until_trial_ = gap_;
    }
    return;
  }
  if (!trying_) {
    double& a = average_[pool ? 1 : 0];
    a = 0.75 * a + 0.25 * seconds;
    // The way taken has become slower than the other was when last timed
    // (the machine's load changed): try the other now.
    if (a > average_[pool ? 0 : 1]) until_trial_ = 0;
    if (--until_trial_ <= 0) {
      trying_ = true;
      tried_ = 0;
      trial_seconds_ = 0.0;
    }
    return;
  }
  trial_seconds_ += seconds;
  if (++tried_ < TRIAL) return;
  decide();
}

// The end of a trial of the other way: its time against the running average
// of the way taken.
void ThreadChoice::decide() {
  const double trial = trial_seconds_ / TRIAL;
  const int other = pool_ ? 0 : 1;
  average_[other] = trial;
  if (trial < average_[1 - other]) {
    pool_ = !pool_;
    gap_ = MIN_GAP;
  } else {
    gap_ = gap_ * 2 > MAX_GAP ? MAX_GAP : gap_ * 2;
  }
  until_trial_ = gap_;
  trying_ = false;
}

}  // namespace mglink
