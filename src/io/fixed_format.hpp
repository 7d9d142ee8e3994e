// Fixed-format output fields and free-format console lines.
//
// Iw, Fw.d and Ew.d fields are right-justified in w columns, rounded from the
// exact binary value (ties to even), and filled with asterisks when the value
// does not fit.  Ew.d writes an optional minus sign, "0.", d digits, then E,
// the exponent's sign and two digits (a three-digit exponent drops the E).
// Negative zero keeps its sign; NaN and the infinities are right-justified
// words.
//
// A free-format console line starts with one blank, then each item in order:
// a text unchanged, an integer in 12 columns, a double in the 24-column G form
// with 15 significant digits and a three-digit exponent.
#pragma once

#include <string>
#include <string_view>

namespace mglink {

std::string format_I(long long v, int w);
std::string format_F(double v, int w, int d);
std::string format_E(double v, int w, int d);
// The console's G form for doubles: G24.15E3.
std::string format_G(double v);

class FreeLine {
 public:
  FreeLine& text(std::string_view s) {
    s_ += s;
    return *this;
  }
  FreeLine& integer(long long v) {
    s_ += format_I(v, 12);
    return *this;
  }
  FreeLine& real(double v) {
    s_ += format_G(v);
    return *this;
  }
  const std::string& str() const { return s_; }

 private:
  std::string s_ = " ";
};

}  // namespace mglink
