#include "prep/arguments.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mglink::prep {
namespace {

// Each option of a command line with the value it asked for ("-" when it
// asked for none, "!" when it asked and there was none).
std::vector<std::string> walk(const std::vector<std::string>& args, const std::vector<std::string>& takes_value) {
  std::vector<std::string> seen;
  for (Arguments it(args); it.next();) {
    std::string v(1, '-');
    for (const std::string& t : takes_value)
      if (it.name() == t && !it.value(v)) v.assign(1, '!');
    std::string line = it.name();
    line += ' ';
    line += v;
    seen.push_back(line);
  }
  return seen;
}

TEST(Arguments, ValuesAfterAnEqualsSignOrInTheNextArgument) {
  const std::vector<std::string> opts = {"--out", "-o"};
  EXPECT_EQ(walk({"--out=a=b", "--flag", "--out", "c", "word"}, opts),
            (std::vector<std::string>{"--out a=b", "--flag -", "--out c", "word -"}));
  // An empty value after '=' is a value; '=' in a word or a short option is not split.
  EXPECT_EQ(walk({"--out=", "x=y", "-o=z"}, opts), (std::vector<std::string>{"--out ", "x=y -", "-o=z -"}));
  // The next argument is taken whatever it looks like; at the end there is none.
  EXPECT_EQ(walk({"--out", "--flag", "--out"}, opts), (std::vector<std::string>{"--out --flag", "--out !"}));
}

TEST(Arguments, WholeNumbersWithinTheirRange) {
  struct Case {
    const char* text;
    bool ok;
  };
  const Case cases[] = {{"6", true},    {"100000", true}, {"5", false},   {"100001", false}, {"", false},
                        {"+7", false},  {"-7", false},    {"7x", false},  {" 7", false},     {"0000007", false}};
  for (const Case& c : cases) {
    int v = -1;
    EXPECT_EQ(parse_whole_number(c.text, 6, 6, 100000, v), c.ok) << c.text;
    if (c.ok) EXPECT_EQ(v, std::stoi(c.text)) << c.text;
    else EXPECT_EQ(v, -1) << c.text << ": left as it was";
  }
}

}  // namespace
}  // namespace mglink::prep
