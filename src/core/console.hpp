// The operator's console: progress lines, warnings and pauses.
//
// Routines that print or pause take a Console, so that tests can capture the
// lines and feed (or withhold) the operator's Enter.  A pause reads one line
// from the input; at the end of the input (a batch run, standard input closed)
// it returns at once and the run goes on.
#pragma once

#include <iosfwd>
#include <string_view>

namespace mglink {

class Console {
 public:
  Console(std::ostream& out, std::istream& in) : out_(&out), in_(&in) {}

  // Writes one line (the text, then a line end) and flushes it.
  void line(std::string_view text);
  // Waits for the operator to press Enter; returns at the end of the input.
  void pause();
  // Number of pauses so far (for tests and diagnostics).
  long pauses() const { return pauses_; }


 private:
  std::ostream* out_;
  std::istream* in_;
  long pauses_ = 0;
};

}  // namespace mglink
