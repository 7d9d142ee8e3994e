// Zeroed memory for the large tables: zero at first, usable over its whole
// length, moved without copying, and fresh memory each time.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "core/large_pages.hpp"

namespace mglink {
namespace {

std::size_t nonzero(const LargeDoubles& b) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < b.size(); ++i) n += b.data()[i] != 0.0 ? 1 : 0;
  return n;
}

TEST(LargeDoubles, ZeroWritableMovableAndFreshEachTime) {
  // Sizes below, at and above one 2 MiB page (262,144 doubles).
  for (const std::size_t n : {std::size_t{1}, std::size_t{1000}, std::size_t{262144}, std::size_t{166375}, std::size_t{400001}}) {
    SCOPED_TRACE(n);
    for (int round = 0; round < 4; ++round) {  // memory written over and freed is handed out zero again
      const bool large = round % 2 == 0;            // with 2 MiB pages asked for, and without
      LargeDoubles b(n, large);
      ASSERT_EQ(n, b.size());
      EXPECT_EQ(0u, nonzero(b));
#if defined(__linux__)
      EXPECT_EQ(0u, reinterpret_cast<std::uintptr_t>(b.data()) % (std::uintptr_t{2} << 20));
#endif
      for (std::size_t i = 0; i < n; ++i) b.data()[i] = static_cast<double>(i) + 0.5;
      const double* p = b.data();
      LargeDoubles moved(std::move(b));
      EXPECT_EQ(p, moved.data());
      EXPECT_EQ(n, moved.size());
      EXPECT_EQ(nullptr, b.data());  // NOLINT(bugprone-use-after-move): the source is left empty
      EXPECT_EQ(0u, b.size());
      EXPECT_EQ(static_cast<double>(n - 1) + 0.5, moved.data()[n - 1]);
      LargeDoubles other(3);
      other = std::move(moved);
      EXPECT_EQ(p, other.data());
    }
  }
}

}  // namespace
}  // namespace mglink
