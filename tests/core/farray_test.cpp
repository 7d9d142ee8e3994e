#include <gtest/gtest.h>

#include <cstring>

#include "core/model_state.hpp"

namespace mglink {
namespace {

// Every byte of a fresh state is zero (every initialiser of a field is a
// zero), also when the memory of a state just written all over is handed
// out again, and two states at once do not overlap.
TEST(ModelState, FreshStateIsZero) {
  const auto all_zero = [](const ModelState& st) {
    const auto* b = reinterpret_cast<const unsigned char*>(&st);
    std::size_t nonzero = 0;
    for (std::size_t i = 0; i < sizeof(ModelState); ++i) nonzero += b[i] != 0 ? 1 : 0;
    return nonzero;
  };
  for (int round = 0; round < 2; ++round) {
    auto st = make_model_state();
    EXPECT_EQ(0u, all_zero(*st));
    EXPECT_EQ(st->GENOT.IGOFF(N_IGOFF), 0);
    std::memset(static_cast<void*>(st.get()), 0x5a, sizeof(ModelState));
    auto other = make_model_state();
    EXPECT_EQ(0u, all_zero(*other));
    EXPECT_EQ(st->TRANC.CTRANS(55, 55, 55), st->XX(N_WAY));  // both still 0x5a...
    EXPECT_NE(st->XX(N_WAY), 0.0);
  }
}

TEST(FArray, FirstIndexVariesFastest) {
  auto st = make_model_state();
  st->TRANC.CTRANS(2, 1, 1) = 1.0;
  st->TRANC.CTRANS(1, 2, 1) = 2.0;
  st->TRANC.CTRANS(1, 1, 2) = 3.0;
  const double* p = st->TRANC.CTRANS.data();
  EXPECT_EQ(p[1], 1.0);
  EXPECT_EQ(p[55], 2.0);
  EXPECT_EQ(p[55 * 55], 3.0);
}

#ifdef MGLINK_CHECKED
TEST(FArrayDeathTest, IndexOutsideRangeAborts) {
  auto st = make_model_state();
  EXPECT_DEATH(st->GENOT.IGOFF(N_IGOFF + 1) = 1, "index");
  EXPECT_DEATH(st->BUF2.TRAIT(0) = 1.0, "index");
}
#endif

}  // namespace
}  // namespace mglink
