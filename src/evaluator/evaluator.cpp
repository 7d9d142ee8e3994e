#include "evaluator/evaluator.hpp"

#include "likelihood/genmmp.hpp"

namespace mglink {

namespace {

// 0 (also for anything below): the automatic choice.
int threads_or_auto(int threads) { return threads < 1 ? 0 : threads; }

}  // namespace

Evaluator::Evaluator(EvaluatorOptions opt) : opt_(opt) {
  opt_.threads = threads_or_auto(opt_.threads);
  if (!opt_.literal) fast_ = std::make_unique<FastEngine>(opt_.threads);
}

void Evaluator::evaluate(ModelState& st, Console& con, double& LH) {
  if (fast_) {
    fast_->evaluate(st, con, LH);  // the same result, bit for bit, sooner
  } else {
    GENMMP(st, con, LH);
  }
}

FastReport Evaluator::report() const { return fast_ ? fast_->report() : FastReport{}; }

void Evaluator::set_threads(int threads) {
  opt_.threads = threads_or_auto(threads);
  if (fast_) fast_->set_threads(opt_.threads);
}


}  // namespace mglink
