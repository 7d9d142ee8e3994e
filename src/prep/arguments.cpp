#include "prep/arguments.hpp"

namespace mglink::prep {

bool Arguments::next() {
  if (at_ >= args_.size()) return false;
  name_ = args_[at_++];
  has_given_ = false;
  const std::size_t eq = name_.find('=');
  if (name_.rfind("--", 0) == 0 && eq != std::string::npos) {
    given_ = name_.substr(eq + 1);
    name_.resize(eq);
    has_given_ = true;
  }
  return true;
}

bool Arguments::value(std::string& v) {
  if (has_given_) {
    v = given_;
    return true;
  }
  if (at_ >= args_.size()) return false;
  v = args_[at_++];
  return true;
}

bool parse_whole_number(const std::string& s, int digits, int lo, int hi, int& v) {
  if (s.empty() || s.size() > static_cast<std::size_t>(digits)) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  const int x = std::stoi(s);
  if (x < lo || x > hi) return false;
  v = x;
  return true;
}

}  // namespace mglink::prep
