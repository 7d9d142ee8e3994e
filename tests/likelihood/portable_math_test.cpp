#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

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
