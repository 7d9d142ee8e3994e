#include "core/console.hpp"

#include <istream>
#include <ostream>
#include <string>

namespace mglink {

void Console::line(std::string_view text) {
  *out_ << text << '\n';
  out_->flush();
}

void Console::pause() {
  ++pauses_;
  if (!*in_) return;
  std::string ignored;
  std::getline(*in_, ignored);
}

}  // namespace mglink
