// The command lines of mglink-prep and mglink-scan: options written
// "--name value" or "--name=value", and plain words.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace mglink::prep {

// Walks the arguments one at a time.  An argument "--name=value" is seen as
// the option "--name" whose value is already given; any other option takes
// its value, when it asks for one, from the next argument.
class Arguments {
 public:
  explicit Arguments(const std::vector<std::string>& args) : args_(args) {}

  // Moves to the next argument; false when there is none.
  bool next();
  // The argument, without its "=value".
  const std::string& name() const { return name_; }
  // The option's value (given after '=', or the next argument, which is then
  // used up); false when there is none.
  bool value(std::string& v);

 private:
  const std::vector<std::string>& args_;
  std::size_t at_ = 0;   // the next argument to read
  std::string name_, given_;
  bool has_given_ = false;
};

// A whole number of at most `digits` decimal digits (no sign, nothing else)
// within lo..hi, into v.
bool parse_whole_number(const std::string& s, int digits, int lo, int hi, int& v);

}  // namespace mglink::prep
