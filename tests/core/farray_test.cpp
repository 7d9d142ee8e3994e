#include <gtest/gtest.h>

#include "core/model_state.hpp"

namespace mglink {
namespace {

TEST(ModelState, FreshStateIsZero) {
  auto st = make_model_state();
  EXPECT_EQ(st->BUF1.NFAM, 0);
  EXPECT_EQ(st->BUF1.FAMOFF(N_FAM + 3), 0);
  EXPECT_EQ(st->GENOT.IGOFF(0), 0);
  EXPECT_EQ(st->GENOT.IGOFF(N_IGOFF), 0);
  EXPECT_EQ(st->TRANC.CTRANS(55, 55, 55), 0.0);
  EXPECT_EQ(st->XX(N_WAY), 0.0);
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
