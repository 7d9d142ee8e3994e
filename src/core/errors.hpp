// How a run stops.
//
// Library routines never end the process: they throw RunStop, and only main
// turns it into output and an exit status.  A stop carries up to two texts:
//   console  - a message line whose wording the program fixes (for example
//              "N_FAM exceed. Correct and recompile"); written to standard
//              output, exactly as it stands;
//   detail   - our own explanation for the person who must fix the input
//              (naming the file, the line and the entry); written to standard
//              error, after "mglink: ".
// Either may be empty.
#pragma once

#include <stdexcept>
#include <string>

namespace mglink {

// Exit statuses of the program.
enum ExitStatus : int {
  EXIT_OK = 0,             // complete run
  EXIT_INPUT_ERROR = 1,    // an input file is missing, unreadable, malformed or beyond capacity
  EXIT_UNUSABLE_START = 2, // the start values of a pass give no usable likelihood
  EXIT_OUTPUT_ERROR = 3,   // an output file cannot be written
};

class RunStop : public std::runtime_error {
 public:
  RunStop(std::string console, std::string detail, int status)
      : std::runtime_error(detail.empty() ? console : detail),
        console_(std::move(console)),
        detail_(std::move(detail)),
        status_(status) {}

  const std::string& console() const { return console_; }
  const std::string& detail() const { return detail_; }
  int status() const { return status_; }

 private:
  std::string console_;
  std::string detail_;
  int status_;
};

// An error in an input file: our own message only, exit status 1.
inline RunStop input_error(std::string detail) {
  return RunStop("", std::move(detail), EXIT_INPUT_ERROR);
}

// An output file that cannot be written: our own message only, exit status 3.
inline RunStop output_error(std::string detail) {
  return RunStop("", std::move(detail), EXIT_OUTPUT_ERROR);
}

}  // namespace mglink
