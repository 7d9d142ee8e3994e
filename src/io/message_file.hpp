// A message file (fort.25): created at its first line in a run, later lines
// follow it.  Never opened when no message is written.
#pragma once

#include <fstream>
#include <string>
#include <string_view>

namespace mglink {

class MessageFile {
 public:
  explicit MessageFile(std::string path) : path_(std::move(path)) {}
  // Writes one line; the first call creates (or empties) the file.
  // A file that cannot be written stops the run (exit status 3).
  void line(std::string_view text);
  bool started() const { return started_; }

 private:
  std::string path_;
  std::ofstream out_;
  bool started_ = false;
};

}  // namespace mglink
