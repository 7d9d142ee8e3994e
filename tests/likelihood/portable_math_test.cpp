#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "likelihood/portable_math.hpp"
#include "support/random_pedigree.hpp"

namespace mglink {
namespace {

// Distance in units in the last place between two finite doubles of one sign.
std::int64_t ulps(double a, double b) {
  const auto ia = std::bit_cast<std::int64_t>(a);
  const auto ib = std::bit_cast<std::int64_t>(b);
  return ia > ib ? ia - ib : ib - ia;
}

TEST(PortableMath, ExpWithinOneUlpOfTheLibraryOverItsRange) {
  test::Random r(20261210);
  long differ = 0;
  const long n = 200000;
  for (long i = 0; i < n; ++i) {
    // The densities take exp of -z^2/2: mostly [-50, 0], plus the whole range.
    const double x = (i % 4 == 0) ? -745.0 + 1454.0 * r.uniform() : -50.0 * r.uniform() * r.uniform();
    const double ours = exp_portable(x);
    const double lib = std::exp(x);
    ASSERT_LE(ulps(ours, lib), 1) << "x = " << x;
    if (ours != lib) ++differ;
  }
  // Mostly the very value the library gives; never more than one unit apart.
  EXPECT_LT(differ, n / 5);
}

TEST(PortableMath, LogWithinOneUlpOfTheLibraryOverItsRange) {
  test::Random r(20261210);
  long differ = 0;
  const long n = 200000;
  for (long i = 0; i < n; ++i) {
    // Rescaling sums lie anywhere from tiny to huge; near 1 matters for the
    // root term.
    const double x = (i % 3 == 0)   ? 1.0 + (r.uniform() - 0.5) * 1e-3
                     : (i % 3 == 1) ? std::ldexp(0.5 + r.uniform(), static_cast<int>(r.uniform() * 2000) - 1000)
                                    : r.uniform() * 10.0 + 1e-300;
    const double ours = log_portable(x);
    const double lib = std::log(x);
    ASSERT_LE(ulps(ours, lib), 1) << "x = " << x;
    if (ours != lib) ++differ;
  }
  EXPECT_LT(differ, n / 20);
}

// The routine `batch` of many arguments at once must give the bits of
// `scalar` for each: every argument of xs in every position of a batch of
// every length from 1 to 9, and in place with the arguments shifted through
// every lane; with each kernel the machine has.
void expect_batches_match(const std::vector<double>& xs, void (*batch)(const double*, double*, long),
                          double (*scalar)(double)) {
  const ExpKernel chosen = exp_kernel();
  int tried = 0;
  for (const ExpKernel kernel : {ExpKernel::Scalar, ExpKernel::SSE2, ExpKernel::AVX2}) {
    if (!exp_kernel_available(kernel)) continue;
    set_exp_kernel(kernel);
    ASSERT_EQ(exp_kernel(), kernel);
    ++tried;
    SCOPED_TRACE("kernel " + std::to_string(static_cast<int>(kernel)));
    for (long len = 1; len <= 9; ++len)
      for (std::size_t i = 0; i + static_cast<std::size_t>(len) <= xs.size(); i += static_cast<std::size_t>(len)) {
        double y[9];
        batch(&xs[i], y, len);
        for (long j = 0; j < len; ++j) {
          const double x = xs[i + static_cast<std::size_t>(j)];
          ASSERT_EQ(std::bit_cast<std::uint64_t>(y[j]), std::bit_cast<std::uint64_t>(scalar(x)))
              << "x = " << x << " at " << j << " of " << len;
        }
      }
    for (std::size_t shift = 0; shift < 4; ++shift) {
      std::vector<double> in_place(xs.begin() + static_cast<long>(shift), xs.end());
      batch(in_place.data(), in_place.data(), static_cast<long>(in_place.size()));
      for (std::size_t i = 0; i < in_place.size(); ++i)
        ASSERT_EQ(std::bit_cast<std::uint64_t>(in_place[i]), std::bit_cast<std::uint64_t>(scalar(xs[i + shift])))
            << "x = " << xs[i + shift];
    }
  }
  set_exp_kernel(chosen);
  EXPECT_GE(tried, 1);
}

// The exponential of many arguments at once must be the scalar one bit for
// bit: on arguments drawn over the whole range, on the edges where the
// scalar routine changes path (ln2/2, 3 ln2/2, 2^-28, the batch's +-700, the
// overflow and underflow thresholds) and one ulp either side of each, and on
// special values, each in every position of a batch of every length.
TEST(PortableMath, ExpOfManyIsTheScalarExpBitForBit) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> xs = {0.0, -0.0, inf, -inf, std::nan(""), 1e-300, -1e-300, 4.9e-324};
  for (double e : {0.34657359027997264, 1.0397207708399179, 0x1p-28, 700.0, 709.782712893384, 745.1332191019411,
                   708.39641853226408, 1.0, 0.5, 2.0, 1e-5})
    for (double s : {1.0, -1.0})
      for (double v : {e, std::nextafter(e, 0.0), std::nextafter(e, inf)}) xs.push_back(s * v);
  test::Random r(4711);
  for (int i = 0; i < 100000; ++i) {
    switch (i % 4) {
      case 0: xs.push_back(-50.0 * r.uniform() * r.uniform()); break;  // densities
      case 1: xs.push_back(-760.0 + 1480.0 * r.uniform()); break;     // everything
      case 2: xs.push_back((r.uniform() - 0.5) * 3.0); break;          // the short paths
      default: xs.push_back(std::ldexp(r.uniform() - 0.5, -static_cast<int>(r.uniform() * 40))); break;
    }
  }
  expect_batches_match(xs, exp_portable_n, exp_portable);
}

// The logarithm of many arguments at once must be the scalar one bit for
// bit: on rescaling sums of every size, on the edges where the scalar
// routine changes path (within 2^-20 of a power of two, the split of the
// mantissa at sqrt(2), the i > 0 test at 0x6147a and 0x6b851, k = 0) and
// on special values (zero, subnormals, negatives, infinities, NaN), each in
// every position of a batch of every length.
TEST(PortableMath, LogOfManyIsTheScalarLogBitForBit) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  std::vector<double> xs = {0.0,   -0.0, inf, -inf, std::nan(""), -1.0, 4.9e-324, 1e-310, 2.2250738585072014e-308,
                            1.0,   2.0,  0.5, 0x1p-1022, std::numeric_limits<double>::max(), 1e300, 1e-300};
  auto with_mantissa_high = [](int e, std::uint32_t m) {  // 2^e times 1.m, m the top 20 bits of the mantissa
    return std::ldexp(std::bit_cast<double>((static_cast<std::uint64_t>(0x3ff00000U | m) << 32) | 0x12345U), e);
  };
  // Arguments on the short path whose logarithm the general formula would
  // give one unit off (found by a search of 80 million such arguments).
  for (double x : {1.0000009421288303, 1.0000003339345855, 1.0000008364627113, 1.000000943603544, 1.0000007837408453})
    xs.push_back(x);
  for (int e : {-1000, -3, -1, 0, 1, 5, 900})
    for (std::uint32_t m : {0x0U, 0x1U, 0x2U, 0xffffeU, 0xfffffU, 0x6a09eU, 0x6a09fU, 0x6147aU, 0x6147bU, 0x61479U,
                            0x6b851U, 0x6b850U, 0x6b852U, 0x95f64U, 0x95f63U, 0x3ffffU})
      xs.push_back(with_mantissa_high(e, m));
  test::Random r(2027);
  for (int i = 0; i < 100000; ++i) {
    if (i % 5 == 0) {  // within 2^-20 of a power of two, where the short path is taken
      const double d = std::ldexp(r.uniform(), -20 - static_cast<int>(r.uniform() * 12));
      xs.push_back(std::ldexp(i % 2 == 0 ? 1.0 + d : 2.0 - d, static_cast<int>(r.uniform() * 40) - 20));
      continue;
    }
    switch (i % 3) {
      case 0: xs.push_back(1.0 + (r.uniform() - 0.5) * 1e-2); break;  // near 1
      case 1: xs.push_back(std::ldexp(0.5 + r.uniform(), static_cast<int>(r.uniform() * 2100) - 1075)); break;
      default: xs.push_back(r.uniform() * 60.0); break;  // sums of weights
    }
  }
  expect_batches_match(xs, log_portable_n, log_portable);
}

TEST(PortableMath, SpecialValues) {
  constexpr double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(exp_portable(0.0), 1.0);
  EXPECT_EQ(exp_portable(-0.5), std::exp(-0.5));
  EXPECT_EQ(exp_portable(-inf), 0.0);
  EXPECT_EQ(exp_portable(inf), inf);
  EXPECT_EQ(exp_portable(710.0), inf);
  EXPECT_EQ(exp_portable(-746.0), 0.0);
  EXPECT_TRUE(std::isnan(exp_portable(std::nan(""))));
  EXPECT_EQ(exp_portable(1e-300), 1.0);
  EXPECT_GT(exp_portable(-740.0), 0.0);  // subnormal results survive

  EXPECT_EQ(log_portable(1.0), 0.0);
  EXPECT_EQ(log_portable(0.0), -inf);
  EXPECT_EQ(log_portable(inf), inf);
  EXPECT_TRUE(std::isnan(log_portable(-1.0)));
  EXPECT_TRUE(std::isnan(log_portable(std::nan(""))));
  EXPECT_EQ(log_portable(2.0), std::log(2.0));
  EXPECT_LE(ulps(log_portable(4.9406564584124654e-324), std::log(4.9406564584124654e-324)), 1);
}

}  // namespace
}  // namespace mglink
