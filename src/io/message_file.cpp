#include "io/message_file.hpp"

#include "core/errors.hpp"

namespace mglink {

void MessageFile::line(std::string_view text) {
  if (!started_) {
    // The first message of the run replaces whatever an earlier run left.
    out_.open(path_, std::ios::out | std::ios::trunc);
    started_ = true;
  }
  if (out_.is_open()) {
    out_ << text << '\n';
    out_.flush();
  }
  if (!out_.is_open() || !out_) {
    throw output_error("cannot write the message file " + path_ + " (message \"" + std::string(text) + "\")");
  }
}

}  // namespace mglink
