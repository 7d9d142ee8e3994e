#include "io/free_reader.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "io/tsv.hpp"
#include "support/scratch_dir.hpp"

namespace mglink {
namespace {

// Values an item holds before its read: a null item leaves them, shown as ~.
constexpr std::int32_t kIntUnset = -777777;
constexpr double kRealUnset = -7.77e77;
const std::string kNameUnset = "<unset>";

std::string show(std::int32_t v) { return v == kIntUnset ? "~" : std::to_string(v); }
std::string show(double v) {
  if (v == kRealUnset) return "~";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}
std::string show_name(const std::string& v) { return v == kNameUnset ? "~" : "[" + v + "]"; }

std::string join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& x : v) s += (s.empty() ? "" : " ") + x;
  return s;
}

// Runs one table row and writes what it read in the table's notation.
// Runs `read` and records `shown()` in `out`, also when the read stops the
// run (what was read before the stop is part of the expected row).
template <class Read, class Shown>
void recorded(std::vector<std::string>& out, Read read, Shown shown) {
  try {
    read();
  } catch (const RunStop&) {
    out.push_back(shown());
    throw;
  }
  out.push_back(shown());
}

std::string run_row(const std::string& kind, const std::string& input) {
  FreeReader r("vector.txt", input);
  std::vector<std::string> out;
  auto finish = [&](const RunStop& e) {
    const bool eof = e.detail().find("the file ends before") != std::string::npos;
    out.push_back(eof ? "eof" : "error");
    return join(out);
  };
  try {
    if (kind == "int" || kind == "real" || kind == "name") {
      r.begin_read("the value");
      if (kind == "int") {
        std::int32_t v = kIntUnset;
        recorded(out, [&] { r.read(v, "V"); }, [&] { return show(v); });
      } else if (kind == "real") {
        double v = kRealUnset;
        recorded(out, [&] { r.read(v, "V"); }, [&] { return show(v); });
      } else {
        std::string v = kNameUnset;
        recorded(out, [&] { r.read_name(v, "V"); }, [&] { return show_name(v); });
      }
      r.end_read();
    } else if (kind == "list") {
      r.begin_read("the list");
      std::int32_t n = kIntUnset;
      r.read(n, "N");
      std::vector<std::int32_t> v(n > 0 ? static_cast<std::size_t>(n) : 0, kIntUnset);
      auto shown = [&] {
        std::string s = "n=";
        s += show(n);
        s += ':';
        for (auto x : v) {
          s += ' ';
          s += show(x);
        }
        return s;
      };
      const auto read_all = [&] {
        for (std::size_t i = 0; i < v.size(); ++i) r.read(v[i], "M", static_cast<long>(i + 1));
      };
      recorded(out, read_all, shown);
      r.end_read();
    } else if (kind == "par") {
      std::int32_t i1 = kIntUnset, i2 = kIntUnset;
      double d[5] = {kRealUnset, kRealUnset, kRealUnset, kRealUnset, kRealUnset};
      auto first = [&] {
        return join({show(i1), show(i2), show(d[0]), show(d[1]), show(d[2]), show(d[3])});
      };
      r.begin_read("parameter line");
      recorded(
          out,
          [&] {
            r.read(i1, "LINK");
            r.read(i2, "IFREE");
            for (int k = 0; k < 4; ++k) r.read(d[k], "P", k + 1);
          },
          first);
      out.push_back("|");
      r.begin_read("frequency line");
      recorded(out, [&] { r.read(d[4], "X", 7); }, [&] { return show(d[4]); });
      r.end_read();
    } else if (kind == "int2") {
      std::int32_t a = kIntUnset, b = kIntUnset;
      r.begin_read("first");
      r.read(a, "A");
      out.push_back(show(a));
      out.push_back("|");
      r.begin_read("second");
      recorded(out, [&] { r.read(b, "B"); }, [&] { return show(b); });
      r.end_read();
    } else if (kind == "skip") {
      r.skip_line("the title");
      std::int32_t v = kIntUnset;
      r.begin_read("the value");
      recorded(out, [&] { r.read(v, "V"); }, [&] { return show(v); });
      r.end_read();
    } else {
      return "unknown kind " + kind;
    }
  } catch (const RunStop& e) {
    return finish(e);
  }
  return join(out);
}

TEST(FreeReader, EveryReferenceRow) {
  const auto rows = test::read_tsv(std::string(MGLINK_VECTORS_DIR) + "/listread.tsv", 3);
  int failed = 0;
  for (const auto& row : rows) {
    const std::string got = run_row(row.cols[0], test::unescape(row.cols[1]));
    if (got != row.cols[2]) {
      ++failed;
      ADD_FAILURE() << "listread.tsv line " << row.line << ": " << row.cols[0] << " of \""
                    << row.cols[1] << "\" gave \"" << got << "\", expected \"" << row.cols[2]
                    << "\"";
    }
  }
  EXPECT_EQ(failed, 0);
}

// The message of the stop a callable throws ("" if it does not throw).
template <class F>
std::string stop_message(F f) {
  try {
    f();
  } catch (const RunStop& e) {
    EXPECT_EQ(e.status(), EXIT_INPUT_ERROR);
    EXPECT_TRUE(e.console().empty());
    return e.detail();
  }
  return "";
}

TEST(FreeReader, EndOfFileNamesFileLineItemAndRead) {
  // A title, five full parameter lines and a sixth with five values.
  std::string text = "title\n";
  for (int i = 0; i < 5; ++i) text += "1 1 0.5 0.1 0 1\n";
  text += "6 1 0.5 0.1 0\n";
  FreeReader r("par.inp", text);
  const std::string msg = stop_message([&] {
    r.skip_line("title line");
    for (int i = 1; i <= 6; ++i) {
      r.begin_read("parameter line " + std::to_string(i));
      std::int32_t a, b;
      double x, s, lo, hi;
      r.read(a, "LINK", i);
      r.read(b, "IFREE", i);
      r.read(x, "X", i);
      r.read(s, "STEP", i);
      r.read(lo, "XLOW", i);
      r.read(hi, "XUPP", i);
      r.end_read();
    }
  });
  EXPECT_EQ(msg, "par.inp, line 8: the file ends before XUPP(6) could be read (parameter line 6)");
}

TEST(FreeReader, ConversionErrorsNameTheValueAndItsLine) {
  struct Case {
    const char* text;
    bool real;
    const char* message;
  };
  const Case cases[] = {
      {"3\n1 2\n2.5 4\n", false,
       "IWAY.DAT, line 3: \"2.5\" is not an integer (reading MEMBER(3), member list)"},
      {"3 1 2 99999999999\n", false,
       "IWAY.DAT, line 1: \"99999999999\" is not an integer between -2147483648 and 2147483647 "
       "(reading MEMBER(3), member list)"},
      {"3 1 0*4\n", false,
       "IWAY.DAT, line 1: \"0*4\" has a repeat count of zero (reading MEMBER(2), member list)"},
      {"3 1 2\n\n 1e999\n", true,
       "IWAY.DAT, line 3: \"1e999\" is too large for a double precision number (reading "
       "MEMBER(3), member list)"},
      {"3 1\n2*x\n", true,
       "IWAY.DAT, line 2: \"x\" is not a number (reading MEMBER(2), member list)"},
  };
  for (const auto& c : cases) {
    FreeReader r("IWAY.DAT", c.text);
    const std::string msg = stop_message([&] {
      r.begin_read("member list");
      std::int32_t n = 0;
      r.read(n, "N");
      for (long i = 1; i <= n; ++i) {
        if (c.real) {
          double v;
          r.read(v, "MEMBER", i);
        } else {
          std::int32_t v;
          r.read(v, "MEMBER", i);
        }
      }
    });
    EXPECT_EQ(msg, c.message) << "input " << c.text;
  }
}

TEST(FreeReader, QuotedNameErrors) {
  FreeReader r("task.inp", "'trait.dat'x\n");
  r.begin_read("trait file name");
  std::string v;
  EXPECT_EQ(stop_message([&] { r.read_name(v, "TRAITFILE"); }),
            "task.inp, line 1: \"'trait.dat'x\" is not a name: a closing quote must be followed "
            "by a blank, comma, slash or line end (reading TRAITFILE, trait file name)");
  FreeReader u("task.inp", "\n'trait\nmore\n");
  u.begin_read("trait file name");
  EXPECT_EQ(stop_message([&] { u.read_name(v, "TRAITFILE"); }),
            "task.inp, line 4: the file ends before TRAITFILE could be read (trait file name)");
}

TEST(FreeReader, LineNumbersFollowReadsAndLineEnds) {
  FreeReader r("f", "1\r\n\r\n2 3\n4,\n5\n");
  std::int32_t a = 0, b = 0;
  r.begin_read("a");
  r.read(a, "A");
  r.end_read();
  EXPECT_EQ(r.line(), 2);
  r.begin_read("b");
  r.read(a, "A");
  r.read(b, "B");
  EXPECT_EQ(a, 2);
  EXPECT_EQ(b, 3);
  EXPECT_EQ(r.line(), 3);
  r.begin_read("c");  // begins on the next line without an explicit end
  r.read(a, "A");
  r.read(b, "B");
  EXPECT_EQ(a, 4);
  EXPECT_EQ(b, 5);
  r.end_read();
  EXPECT_EQ(r.line(), 6);
  EXPECT_EQ(stop_message([&] { r.skip_line("title"); }),
            "f, line 6: the file ends before its next line could be read (title)");
}

TEST(FreeReader, MissingFileIsNamedAndNotCreated) {
  const mglink::testing::ScratchDir dir;
  const std::string path = dir.file("task.inp");
  EXPECT_EQ(stop_message([&] { FreeReader::open(path); }),
            path + ": cannot open the file: No such file or directory");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_NE(stop_message([&] { FreeReader::open(dir.path()); }), "");  // a directory
}

TEST(FreeReader, OpenReadsTheWholeFile) {
  const mglink::testing::ScratchDir dir;
  const std::filesystem::path path = dir.file("big.txt");
  {
    std::ofstream out(path, std::ios::binary);
    out << "100000\n";
    for (int i = 1; i <= 100000; ++i) out << i << ((i % 20 == 0) ? '\n' : ' ');
    out << "-1\n";
  }
  FreeReader r = FreeReader::open(path.string());
  std::filesystem::remove(path);
  EXPECT_EQ(r.file_name(), path.string());
  r.begin_read("count");
  std::int32_t n = 0;
  r.read(n, "N");
  r.begin_read("list");
  long long sum = 0;
  for (std::int32_t i = 1; i <= n; ++i) {
    std::int32_t v = 0;
    r.read(v, "V", i);
    sum += v;
  }
  r.begin_read("end");
  std::int32_t last = 0;
  r.read(last, "LAST");
  EXPECT_EQ(sum, 100000LL * 100001 / 2);
  EXPECT_EQ(last, -1);
  EXPECT_EQ(r.line(), 5002);
}

// A real is the double nearest its decimal value, as the C library's strtod
// reads the same number (with its exponent letter written E): checked bit
// for bit on values of every length and scale, exponents written each way
// the format allows, ties and the ends of the range.
TEST(FreeReader, RealsAreTheNearestDoubleAsStrtodReadsThem) {
  std::vector<std::string> texts = {
      "0", "-0", "+0.0", ".5", "5.", "-.5e+1", "9007199254740993", "9007199254740995",
      "0.1000000000000000055511151231257827021181583404541015625",
      "0.1000000000000000055511151231257827021181583404541015626",
      "1.7976931348623157e308", "1.7976931348623158e308", "2.2250738585072014E-308",
      "2.2250738585072011e-308", "2.2250738585072012d-308", "4.9406564584124654e-324",
      "2.4703282292062328e-324", "1e-400", "-1d-400", "123456789012345678901234567890",
      "1.5-3", "1.5+3", "7D2", "-3.25d-2", "+1E+0", "95.61", "-999", "114.96"};
  std::uint64_t x = 88172645463325252ull;  // xorshift
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    return x;
  };
  const char* const letters[] = {"e", "E", "d", "D", ""};
  for (int i = 0; i < 20000; ++i) {
    std::string t = next() % 4 == 0 ? "-" : next() % 4 == 0 ? "+" : "";
    const int digits = 1 + static_cast<int>(next() % 25);
    const int point = static_cast<int>(next() % static_cast<std::uint64_t>(digits + 1));
    for (int d = 0; d < digits; ++d) {
      if (d == point) t += '.';
      t += static_cast<char>('0' + next() % 10);
    }
    if (next() % 3 != 0) {
      const int e = static_cast<int>(next() % 660) - 340;
      const char* letter = letters[next() % 5];
      t += letter;
      // Without a letter the exponent's sign is what marks it.
      t += e < 0 ? "-" : *letter == '\0' || next() % 2 == 0 ? "+" : "";
      t += std::to_string(e < 0 ? -e : e);
    }
    texts.push_back(t);
  }
  std::string contents;
  for (const std::string& t : texts) contents += t + "\n";
  FreeReader r("reals", contents);
  for (const std::string& t : texts) {
    // What strtod reads: the exponent as e, a sign alone preceded by e.
    std::string c;
    for (std::size_t i = 0; i < t.size(); ++i) {
      const char ch = t[i];
      if (ch == 'd' || ch == 'D' || ch == 'E') {
        c += 'e';
      } else if ((ch == '+' || ch == '-') && i > 0 && t[i - 1] != 'e' && t[i - 1] != 'E' && t[i - 1] != 'd' &&
                 t[i - 1] != 'D') {
        c += 'e';
        c += ch;
      } else {
        c += ch;
      }
    }
    const double want = std::strtod(c.c_str(), nullptr);
    r.begin_read("a real");
    if (std::isinf(want)) {
      EXPECT_EQ(stop_message([&] {
                  double v = 0.0;
                  r.read(v, "X");
                }),
                "reals, line " + std::to_string(r.line()) + ": \"" + t +
                    "\" is too large for a double precision number (reading X, a real)")
          << t;
      continue;
    }
    double v = kRealUnset;
    r.read(v, "X");
    EXPECT_EQ(std::bit_cast<std::uint64_t>(want), std::bit_cast<std::uint64_t>(v)) << t << " read as " << show(v);
  }
}

TEST(FreeReader, TrimName) {
  EXPECT_EQ(trim_name("trait.dat "), "trait.dat");
  EXPECT_EQ(trim_name("          "), "");
  EXPECT_EQ(trim_name(" a b  "), " a b");
}

}  // namespace
}  // namespace mglink
