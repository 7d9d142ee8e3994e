// Fixed-format fields; see fixed_format.hpp for the layout of each form.
//
// The C library's printf conversions are exact (they round the exact binary
// value, ties to even, in the default rounding mode), so they supply the
// digits; this file only arranges them into the fields.
#include "io/fixed_format.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace mglink {
namespace {

std::string right(std::string s, int w) {
  if (w <= 0) return {};
  if (static_cast<int>(s.size()) > w) return std::string(static_cast<std::size_t>(w), '*');
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// NaN and the infinities as words, the long word where it fits.
std::string special(double v, int w) {
  if (std::isnan(v)) return right("NaN", w);
  if (v > 0) return right(w >= 8 ? "Infinity" : "Inf", w);
  return right(w >= 9 ? "-Infinity" : "-Inf", w);
}

// printf into a string of the size the conversion needs.
template <class... Args>
std::string print(const char* fmt, Args... args) {
  char small[64];
  const int n = std::snprintf(small, sizeof small, fmt, args...);
  if (n < 0) std::abort();  // cannot happen with the fixed formats of this file
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
  std::string s(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(s.data(), s.size(), fmt, args...);
  s.resize(static_cast<std::size_t>(n));
  return s;
}

// The d significant digits of |v| rounded, and the decimal exponent k with
// 0.d1d2... * 10^k equal to the rounded value (k = 0 for zero).
void significant(double a, int d, std::string& digits, int& k) {
  if (a == 0) {
    digits.assign(static_cast<std::size_t>(d), '0');
    k = 0;
    return;
  }
  const std::string s = print("%.*e", d - 1, a);  // D.DDDDe+XX
  const std::size_t e = s.find('e');
  digits.clear();
  for (std::size_t i = 0; i < e; ++i) {
    if (s[i] != '.') digits += s[i];
  }
  k = std::atoi(s.c_str() + e + 1) + 1;
}

}  // namespace

std::string format_I(long long v, int w) { return right(std::to_string(v), w); }

std::string format_F(double v, int w, int d) {
  if (!std::isfinite(v)) return special(v, w);
  std::string s = print("%.*f", d, v);
  if (static_cast<int>(s.size()) > w) {
    // Below 1 the leading zero may go to make the value fit.
    const std::size_t z = (s[0] == '-') ? 1 : 0;
    if (s.size() > z + 1 && s[z] == '0' && s[z + 1] == '.') s.erase(z, 1);
  }
  return right(std::move(s), w);
}

std::string format_E(double v, int w, int d) {
  if (!std::isfinite(v)) return special(v, w);
  if (d < 1) return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*');  // no digits to show
  std::string digits;
  int k = 0;
  significant(std::fabs(v), d, digits, k);
  const int ak = std::abs(k);
  const char sign = k < 0 ? '-' : '+';
  // Two exponent digits after the letter E; three digits take the letter's place.
  const std::string exponent = ak <= 99 ? print("E%c%02d", sign, ak) : print("%c%03d", sign, ak);
  const std::string minus = std::signbit(v) ? "-" : "";
  std::string s = minus + "0." + digits + exponent;
  if (static_cast<int>(s.size()) > w) s = minus + "." + digits + exponent;
  return right(std::move(s), w);
}

std::string format_G(double v) {
  constexpr int kWidth = 24;
  constexpr int kDigits = 15;
  if (!std::isfinite(v)) return special(v, kWidth);
  const std::string minus = std::signbit(v) ? "-" : "";
  const double a = std::fabs(v);
  std::string digits;
  int k = 0;
  significant(a, kDigits, digits, k);
  if (a == 0) k = 1;  // zero is written as 0. with 14 decimals
  if (k >= 0 && k <= kDigits) {
    // Fixed form with 15 significant digits in 19 columns, then the 5
    // columns an exponent would take, blank.
    std::string s = minus + print("%.*f", kDigits - k, a);
    if (k == kDigits) s += '.';
    return right(std::move(s), kWidth - 5) + "     ";
  }
  const char sign = k < 0 ? '-' : '+';
  return right(minus + "0." + digits + print("E%c%03d", sign, std::abs(k)), kWidth);
}

}  // namespace mglink
