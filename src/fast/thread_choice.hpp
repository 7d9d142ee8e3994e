// With the automatic thread count: whether the families of the next
// evaluation go to the pool or stay on the calling thread, decided by the
// time each way has taken.  On a machine whose other processors are busy
// with other work, waiting for a descheduled worker costs more than the
// worker gains, and one thread is then faster; on a small study the pool's
// hand-out costs more than it saves.
//
// After one evaluation on the pool that is not timed (it meets cold caches
// and sleeping workers), each way is timed on two evaluations, in the order
// caller, pool, pool, caller (so that a trend in the evaluations' cost falls
// on both), and the faster taken.  The way taken is timed on every
// evaluation (a running average); the other is tried again, on two
// evaluations, after a gap that doubles each time the trial confirms the
// choice (MIN_GAP up to MAX_GAP evaluations) and falls back to MIN_GAP when
// the choice changes, so that on a machine whose state does not change the
// trials soon cost little; and at once when the way taken becomes slower
// than the other was when last timed (the machine's load changed).
// The choice changes no result: the values do not depend on the number of
// threads.
#pragma once

namespace mglink {

class ThreadChoice {
 public:
  static constexpr long MIN_GAP = 16;
  static constexpr long MAX_GAP = 256;
  static constexpr int TRIAL = 2;  // evaluations of a trial of the other way

  // Whether the next evaluation goes to the pool.
  bool pool_next() const;
  // The time the evaluation just done took, `pool` as pool_next said.
  void record(bool pool, double seconds);

 private:
  void decide();

  long evaluations_ = 0;
  bool pool_ = true;            // the way taken
  double average_[2] = {0, 0};  // seconds per evaluation: caller alone, pool
  // The trial under way: which way, how many evaluations done, their time.
  bool trying_ = false;
  int tried_ = 0;
  double trial_seconds_ = 0.0;
  long gap_ = MIN_GAP;          // evaluations from the end of a trial to the next
  long until_trial_ = 0;
};

}  // namespace mglink
