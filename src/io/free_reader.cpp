// Free-format (list-directed) reading; see free_reader.hpp for the rules.
//
// The whole file is held in memory and scanned in place: an item's value is a
// view into the text, and the item's name for a message is only built when an
// error is reported.
#include "io/free_reader.hpp"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/errors.hpp"

namespace mglink {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A value ends at a blank, a comma, a slash or a line end.
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string item_name(std::string_view item, long index) {
  std::string s(item);
  if (index != 0) {
    s += '(';
    s += std::to_string(index);
    s += ')';
  }
  return s;
}

// A value as it appears in a message: control characters shown as '?', and a
// very long value cut.
std::string shown(std::string_view text) {
  constexpr std::size_t kMax = 40;
  std::string s;
  for (std::size_t i = 0; i < text.size() && i < kMax; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    s += (c < 0x20 || c == 0x7f) ? '?' : static_cast<char>(c);
  }
  if (text.size() > kMax) s += "...";
  return s;
}

}  // namespace

FreeReader FreeReader::open(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) {
    throw input_error(path + ": cannot open the file: " + std::strerror(errno));
  }
  // The whole text in one buffer, sized from the file's length when it has
  // one (growing it by doubling copied the text several times over and
  // touched twice its size in fresh memory).
  // (Only a regular file's length is taken: a directory's reads fail below.)
  std::string contents;
  std::error_code ec;
  if (std::filesystem::is_regular_file(path, ec)) {
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > 0 && size < contents.max_size()) contents.reserve(static_cast<std::size_t>(size));
  }
  char buf[65536];
  for (;;) {
    const std::size_t n = std::fread(buf, 1, sizeof buf, f);
    contents.append(buf, n);
    if (n < sizeof buf) break;
  }
  const bool failed = std::ferror(f) != 0;
  const int err = errno;
  std::fclose(f);
  if (failed) throw input_error(path + ": cannot read the file: " + std::strerror(err));
  return FreeReader(path, std::move(contents));
}

FreeReader::FreeReader(std::string file_name, std::string contents)
    : file_name_(std::move(file_name)), text_(std::move(contents)) {}

long FreeReader::line() const { return line_; }

void FreeReader::skip_blanks() {
  const std::size_t n = text_.size();
  while (pos_ < n && is_blank(text_[pos_])) {
    if (text_[pos_] == '\n') ++line_;
    ++pos_;
  }
}

void FreeReader::skip_rest_of_line() {
  const std::size_t nl = text_.find('\n', pos_);
  if (nl == std::string::npos) {
    pos_ = text_.size();
  } else {
    pos_ = nl + 1;
    ++line_;
  }
}

void FreeReader::begin_read(std::string_view what) {
  if (in_read_) end_read();
  in_read_ = true;
  slash_ = false;
  after_value_ = false;
  repeat_left_ = 0;
  repeat_null_ = false;
  repeat_value_ = {};
  what_.assign(what);
}

void FreeReader::end_read() {
  if (!in_read_) return;
  in_read_ = false;
  skip_rest_of_line();
}

void FreeReader::skip_line(std::string_view what) {
  if (in_read_) end_read();
  if (pos_ >= text_.size()) {
    what_.assign(what);
    throw input_error(file_name_ + ", line " + std::to_string(line_) +
                      ": the file ends before its next line could be read (" + what_ + ")");
  }
  skip_rest_of_line();
}

void FreeReader::fail_end_of_file(std::string_view item, long index) const {
  std::string msg = file_name_ + ", line " + std::to_string(line_) + ": the file ends before " +
                    item_name(item, index) + " could be read";
  if (!what_.empty()) msg += " (" + what_ + ")";
  throw input_error(msg);
}

void FreeReader::fail_value(std::string_view text, long line, std::string_view problem,
                            std::string_view item, long index) const {
  std::string msg = file_name_ + ", line " + std::to_string(line) + ": \"" + shown(text) +
                    "\" " + std::string(problem) + " (reading " + item_name(item, index);
  if (!what_.empty()) msg += ", " + what_;
  msg += ")";
  throw input_error(msg);
}

FreeReader::Item FreeReader::next_item(bool name, std::string_view item, long index) {
  if (slash_) return {ItemKind::slash, {}, line_};
  if (repeat_left_ > 0) {
    --repeat_left_;
    if (repeat_null_) return {ItemKind::null, {}, line_};
    return {ItemKind::value, repeat_value_, repeat_line_};
  }
  const std::size_t n = text_.size();
  skip_blanks();
  // One comma may separate the previous value from this item.
  if (after_value_ && pos_ < n && text_[pos_] == ',') {
    ++pos_;
    skip_blanks();
  }
  after_value_ = false;
  if (pos_ >= n) fail_end_of_file(item, index);
  if (text_[pos_] == ',') {  // nothing between two separators: a null value
    ++pos_;
    return {ItemKind::null, {}, line_};
  }
  if (text_[pos_] == '/') {
    ++pos_;
    slash_ = true;
    return {ItemKind::slash, {}, line_};
  }

  // A repeat count: digits immediately followed by '*'.
  const std::size_t start = pos_;
  const long start_line = line_;
  std::size_t p = pos_;
  while (p < n && is_digit(text_[p])) ++p;
  long repeat = 1;
  if (p > pos_ && p < n && text_[p] == '*') {
    const std::string_view digits(text_.data() + pos_, p - pos_);
    std::int32_t r = 0;
    const auto res = std::from_chars(digits.data(), digits.data() + digits.size(), r);
    std::size_t e = p + 1;
    while (e < n && !ends_value(text_[e])) ++e;
    const std::string_view whole(text_.data() + start, e - start);
    if (res.ec != std::errc()) fail_value(whole, start_line, "has a repeat count that is too large", item, index);
    if (r == 0) fail_value(whole, start_line, "has a repeat count of zero", item, index);
    repeat = r;
    pos_ = p + 1;
    if (pos_ >= n || ends_value(text_[pos_])) {  // r*: r null values
      after_value_ = true;
      repeat_left_ = repeat - 1;
      repeat_null_ = true;
      return {ItemKind::null, {}, start_line};
    }
  }

  const std::size_t vstart = pos_;
  const long vline = line_;
  if (name && (text_[pos_] == '\'' || text_[pos_] == '"')) {
    const char q = text_[pos_];
    ++pos_;
    for (;;) {
      if (pos_ >= n) fail_end_of_file(item, index);
      const char c = text_[pos_];
      if (c == '\n') ++line_;
      ++pos_;
      if (c == q) {
        if (pos_ < n && text_[pos_] == q) {
          ++pos_;  // a doubled quote stands for one
          continue;
        }
        break;
      }
    }
    if (pos_ < n && !ends_value(text_[pos_])) {
      std::size_t e = pos_;
      while (e < n && !ends_value(text_[e])) ++e;
      fail_value(std::string_view(text_.data() + start, e - start), start_line,
                 "is not a name: a closing quote must be followed by a blank, comma, slash or line end",
                 item, index);
    }
  } else {
    while (pos_ < n && !ends_value(text_[pos_])) ++pos_;
  }
  after_value_ = true;
  const std::string_view value(text_.data() + vstart, pos_ - vstart);
  if (repeat > 1) {
    repeat_left_ = repeat - 1;
    repeat_null_ = false;
    repeat_value_ = value;
    repeat_line_ = vline;
  }
  return {ItemKind::value, value, vline};
}

void FreeReader::read(std::int32_t& v, std::string_view item, long index) {
  const Item it = next_item(false, item, index);
  if (it.kind != ItemKind::value) return;
  const std::string_view t = it.text;
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const std::size_t digits = i;
  while (i < t.size() && is_digit(t[i])) ++i;
  if (i == digits || i != t.size()) fail_value(t, it.line, "is not an integer", item, index);
  // from_chars takes a minus sign but not a plus sign.
  const char* first = t.data() + (t[0] == '+' ? 1 : 0);
  std::int32_t r = 0;
  const auto res = std::from_chars(first, t.data() + t.size(), r);
  if (res.ec != std::errc()) {
    fail_value(t, it.line, "is not an integer between -2147483648 and 2147483647", item, index);
  }
  v = r;
}

void FreeReader::read(double& v, std::string_view item, long index) {
  const Item it = next_item(false, item, index);
  if (it.kind != ItemKind::value) return;
  const std::string_view t = it.text;
  // [sign] (digits [. [digits]] | . digits) [ (E|D [sign] | sign) digits ]
  number_.clear();
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) number_ += t[i++];
  std::size_t mantissa_digits = 0;
  while (i < t.size() && is_digit(t[i])) {
    number_ += t[i++];
    ++mantissa_digits;
  }
  if (i < t.size() && t[i] == '.') {
    number_ += t[i++];
    while (i < t.size() && is_digit(t[i])) {
      number_ += t[i++];
      ++mantissa_digits;
    }
  }
  bool ok = mantissa_digits > 0;
  if (ok && i < t.size()) {
    const char c = t[i];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
      ++i;
      number_ += 'e';
      if (i < t.size() && (t[i] == '+' || t[i] == '-')) number_ += t[i++];
    } else if (c == '+' || c == '-') {
      number_ += 'e';
      number_ += t[i++];
    } else {
      ok = false;
    }
    std::size_t exponent_digits = 0;
    while (ok && i < t.size() && is_digit(t[i])) {
      number_ += t[i++];
      ++exponent_digits;
    }
    ok = ok && exponent_digits > 0 && i == t.size();
  }
  if (!ok) fail_value(t, it.line, "is not a number", item, index);
  // The nearest double to the decimal value: from_chars and strtod both give
  // it, from_chars several times faster.  from_chars takes no plus sign; a
  // result that is zero, subnormal or out of range is left to strtod, whose
  // handling of those the messages below follow.
  {
    const char* first = number_.data() + (number_[0] == '+' ? 1 : 0);
    const char* last = number_.data() + number_.size();
    double r = 0.0;
    const auto res = std::from_chars(first, last, r);
    if (res.ec == std::errc() && res.ptr == last && std::isnormal(r)) {
      v = r;
      return;
    }
  }
  errno = 0;
  char* end = nullptr;
  const double r = std::strtod(number_.c_str(), &end);
  if (std::isinf(r)) {
    fail_value(t, it.line, "is too large for a double precision number", item, index);
  }
  // A magnitude below the smallest double reads as zero of the value's sign
  // (strtod reports that with ERANGE, which is not an error here).
  v = r;
}

void FreeReader::read_name(std::string& v, std::string_view item) {
  const Item it = next_item(true, item, 0);
  if (it.kind != ItemKind::value) return;
  const std::string_view t = it.text;
  std::string s;
  if (!t.empty() && (t[0] == '\'' || t[0] == '"')) {
    const char q = t[0];
    for (std::size_t i = 1; i + 1 < t.size(); ++i) {
      const char c = t[i];
      if (c == '\n' || c == '\r') continue;  // a quoted name continues over a line end
      if (c == q) ++i;                       // a doubled quote stands for one
      s += c;
    }
  } else {
    s.assign(t);
  }
  s.resize(10, ' ');
  v = std::move(s);
}

std::string trim_name(std::string_view name) {
  std::size_t n = name.size();
  while (n > 0 && name[n - 1] == ' ') --n;
  return std::string(name.substr(0, n));
}

}  // namespace mglink
