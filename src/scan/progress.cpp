#include "scan/progress.hpp"

#include <cmath>
#include <cstdio>
#include <ostream>

namespace mglink::scan {

std::string clock_text(double seconds) {
  const long s = std::lround(std::max(0.0, seconds));
  char buf[32];
  if (s >= 3600)
    std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
  return buf;
}

Progress::Progress(std::ostream& err, long total, bool terminal, bool quiet)
    : err_(err), total_(total), terminal_(terminal), quiet_(quiet),
      start_(std::chrono::steady_clock::now()), last_(start_) {}

void Progress::update(long done) {
  if (quiet_ || total_ == 0) return;
  const auto now = std::chrono::steady_clock::now();
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double since = std::chrono::duration<double>(now - last_).count();
  const long step = std::max(1L, total_ / 10);
  if (terminal_) {
    if (since < 0.2 && done < total_) return;
  } else if (done / step == last_reported_ / step && since < 60 && done < total_) {
    return;
  }
  last_ = now;
  last_reported_ = done;
  std::string line = "mglink-scan: " + std::to_string(done) + "/" + std::to_string(total_) +
                     " markers, " + clock_text(elapsed) + " elapsed";
  if (done > 0 && done < total_)
    line += ", about " + clock_text(elapsed / static_cast<double>(done) * static_cast<double>(total_ - done)) + " left";
  if (terminal_) {
    err_ << "\r" << line << "\x1b[K" << std::flush;
    shown_ = true;
  } else {
    err_ << line << "\n" << std::flush;
  }
}

void Progress::finish() {
  if (terminal_ && shown_ && !quiet_) err_ << "\n" << std::flush;
  shown_ = false;
}

}  // namespace mglink::scan
