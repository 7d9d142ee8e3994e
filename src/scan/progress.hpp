// Progress of a scan on standard error: on a terminal one line updated in
// place (markers done/total, elapsed, estimated time left); otherwise a
// plain line every tenth of the markers and at least every minute.
#pragma once

#include <chrono>
#include <iosfwd>
#include <string>

namespace mglink::scan {

class Progress {
 public:
  // `terminal`: err is a terminal; `quiet`: print nothing.
  Progress(std::ostream& err, long total, bool terminal, bool quiet);
  // `done` markers of `total` are finished.
  void update(long done);
  // Ends the line on a terminal.
  void finish();

 private:
  std::ostream& err_;
  long total_;
  bool terminal_, quiet_;
  std::chrono::steady_clock::time_point start_, last_;
  long last_reported_ = 0;
  bool shown_ = false;
};

// "1:02:03" or "2:03" for a number of seconds.
std::string clock_text(double seconds);

}  // namespace mglink::scan
