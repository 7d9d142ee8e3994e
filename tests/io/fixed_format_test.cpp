#include "io/fixed_format.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "io/tsv.hpp"

namespace mglink {
namespace {

double parse_value(const std::string& s) {
  if (s == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (s == "inf") return std::numeric_limits<double>::infinity();
  if (s == "-inf") return -std::numeric_limits<double>::infinity();
  return std::strtod(s.c_str(), nullptr);
}

// Formats one table value; "" for a format this test does not know (a failure).
std::string apply(const std::string& format, const std::string& value) {
  if (format == "G24.15E3") return format_G(parse_value(value));
  const char kind = format[0];
  const int w = std::atoi(format.c_str() + 1);
  const std::size_t dot = format.find('.');
  const int d = dot == std::string::npos ? 0 : std::atoi(format.c_str() + dot + 1);
  switch (kind) {
    case 'I': return format_I(std::strtoll(value.c_str(), nullptr, 10), w);
    case 'F': return format_F(parse_value(value), w, d);
    case 'E': return format_E(parse_value(value), w, d);
    default: return "";
  }
}

TEST(FixedFormat, EveryReferenceRow) {
  const auto rows = test::read_tsv(std::string(MGLINK_VECTORS_DIR) + "/format.tsv", 3);
  int failed = 0;
  for (const auto& r : rows) {
    const std::string& expected = r.cols[2];
    ASSERT_GE(expected.size(), 2u) << "format.tsv line " << r.line;
    const std::string want = expected.substr(1, expected.size() - 2);  // between the quotes
    const std::string got = apply(r.cols[0], r.cols[1]);
    if (got != want) {
      ++failed;
      ADD_FAILURE() << "format.tsv line " << r.line << ": " << r.cols[0] << " of " << r.cols[1]
                    << " gave \"" << got << "\", expected \"" << want << "\"";
    }
  }
  EXPECT_EQ(failed, 0);
}

TEST(FixedFormat, FieldsOutsideTheTable) {
  // Wide fields and widths the program uses elsewhere.
  EXPECT_EQ(format_F(-1234.5678, 12, 4), "  -1234.5678");
  EXPECT_EQ(format_F(0.05, 4, 1), " 0.1");  // 0.05 is a little above the tie
  EXPECT_EQ(format_F(0.25, 4, 1), " 0.2");  // an exact tie goes to the even digit
  EXPECT_EQ(format_F(-0.4, 3, 1), "-.4");
  EXPECT_EQ(format_F(-0.4, 2, 1), "**");
  EXPECT_EQ(format_I(-12, 0), "");
  EXPECT_EQ(format_I(-2147483649LL, 12), " -2147483649");
  EXPECT_EQ(format_E(-0.5, 13, 7), "-.5000000E+00");  // too wide by one: the zero goes
  EXPECT_EQ(format_E(-0.5, 12, 7), "************");
  EXPECT_EQ(format_E(std::nan(""), 2, 1), "**");
  EXPECT_EQ(format_F(-std::numeric_limits<double>::infinity(), 3, 1), "***");
  EXPECT_EQ(format_F(1e300, 8, 2), "********");
}

TEST(FreeLine, StartsWithABlankAndJoinsItems) {
  FreeLine l;
  l.text("N0=").integer(41).real(0.5);
  EXPECT_EQ(l.str(), " N0=          41  0.500000000000000     ");
  EXPECT_EQ(FreeLine().str(), " ");
}

}  // namespace
}  // namespace mglink
