// The transmission cache's partner sets: the set of partners with whom a
// parent can have a child of some genotype of a set, read through the
// haplotypes (as the peeling with BMI2 reads it) against the union of the
// cache's lists, for every parental genotype, many sets of child genotypes
// and values of theta that keep or drop the recombinant haplotypes.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <random>
#include <sstream>

#include "core/console.hpp"
#include "fast/fast_transmission.hpp"
#include "model/genetics.hpp"
#include "model/transmission.hpp"
#include "support/pedigree.hpp"

namespace mglink {
namespace {

// Bits of `x` at the set bits of `mask`, packed from bit 0 in increasing
// order (what the BMI2 instruction does), one bit at a time.
std::uint64_t pick_bits(std::uint64_t x, std::uint64_t mask) {
  std::uint64_t out = 0;
  int j = 0;
  for (std::uint64_t m = mask; m != 0; m &= m - 1, ++j)
    if (((x >> std::countr_zero(m)) & 1U) != 0) out |= std::uint64_t{1} << j;
  return out;
}

TEST(TransmissionCache, PartnersThroughHaplotypesAgreeWithTheLists) {
  // The genotypes carrying haplotype h, in increasing order, are {h, 1} ..
  // {h, 10}: the picked bit k - 1 stands for haplotype k.
  for (int h = 1; h <= 10; ++h) {
    std::uint64_t m = TransmissionCache::carrying(h);
    ASSERT_EQ(std::popcount(m), 10);
    for (int k = 1; k <= 10; ++k, m &= m - 1) EXPECT_EQ(std::countr_zero(m) + 1, genotype_of(h, k)) << h << "," << k;
  }
  auto st = make_model_state();
  std::mt19937_64 rng(20261211);
  for (const double theta : {0.0, 0.5, 0.1, 1.0}) {
    test::set_parameters(*st, {0.3, 10.0, 12.0, 14.0, theta, 4.0, 0.2, 0.2, 0.2, 0.2, 0.2});
    std::ostringstream out;
    std::istringstream in;
    Console con(out, in);
    build_HTRANS(*st);
    TransmissionCache cache;
    cache.update(*st, con, false);
    ASSERT_TRUE(cache.ready());
    for (int a = 1; a <= 55; ++a) {
      for (int trial = 0; trial < 300; ++trial) {
        // Sets as the peeling meets them: a typed child's few genotypes,
        // an untyped child's many, single genotypes, every genotype.
        std::uint64_t children = 0;
        const int kind = trial % 4;
        if (kind == 0) {
          children = std::uint64_t{1} << (trial / 4 % 55);
        } else if (kind == 1) {
          for (int i = 0; i < 4; ++i) children |= std::uint64_t{1} << (rng() % 55);
        } else if (kind == 2) {
          children = rng() & rng() & EVERY_GENOTYPE;
        } else {
          children = trial == 3 ? EVERY_GENOTYPE : rng() & EVERY_GENOTYPE;
        }
        const std::uint64_t* c = cache.carrying_transmitted(a);
        const std::uint64_t set = pick_bits(children, c[0]) | pick_bits(children, c[1]) |
                                  pick_bits(children, c[2]) | pick_bits(children, c[3]);
        ASSERT_LT(set, 1024U);
        EXPECT_EQ(cache.partners_of_haplotypes(static_cast<unsigned>(set)), cache.partners_of_any(a, children))
            << "theta " << theta << ", parent " << a << ", children " << std::hex << children;
      }
    }
  }
}

}  // namespace
}  // namespace mglink
