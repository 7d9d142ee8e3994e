#include "evaluator/evaluator.hpp"

#include <thread>

#include "likelihood/genmmp.hpp"

namespace mglink {

namespace {

int at_least_one(int threads) { return threads < 1 ? 1 : threads; }

}  // namespace

Evaluator::Evaluator(EvaluatorOptions opt) : opt_(opt) {
  opt_.threads = at_least_one(opt_.threads);
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
  opt_.threads = at_least_one(threads);
  if (fast_) fast_->set_threads(opt_.threads);
}

int hardware_threads() {
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : static_cast<int>(hw > 256 ? 256 : hw);
}

}  // namespace mglink
