// Buffers of a thread's working store: each on cache lines of its own, with
// no other buffer's bytes in the aligned pairs of lines its bytes occupy,
// whatever was allocated around it.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <vector>

#include "core/cache_lines.hpp"

namespace mglink {
namespace {

struct Span {
  std::uintptr_t begin, end;  // bytes [begin, end)
};

template <class V>
Span span_of(const V& v) {
  const auto b = reinterpret_cast<std::uintptr_t>(v.data());
  return {b, b + v.size() * sizeof(typename V::value_type)};
}

// The aligned pairs of 64-byte lines that a span's bytes occupy.
std::uintptr_t first_pair(const Span& s) { return s.begin / CACHE_LINE_PAIR; }
std::uintptr_t last_pair(const Span& s) { return (s.end - 1) / CACHE_LINE_PAIR; }

TEST(CacheLines, NoOtherBufferInTheLinePairsOfALineVector) {
  // Small buffers, as the working store holds them, allocated one after the
  // other and between plain vectors (which the heap may place next to them),
  // some grown afterwards (moved to new buffers).
  std::vector<LineVector<double>> lined;
  std::vector<std::vector<double>> plain;
  std::vector<LineVector<int>> ints;
  lined.reserve(40);
  plain.reserve(40);
  ints.reserve(40);
  for (int i = 0; i < 40; ++i) {
    lined.emplace_back(static_cast<std::size_t>(1 + i % 7));
    plain.emplace_back(static_cast<std::size_t>(1 + i % 5));
    ints.emplace_back(static_cast<std::size_t>(1 + i % 3));
    if (i % 4 == 0) lined[static_cast<std::size_t>(i / 2)].resize(static_cast<std::size_t>(9 + i));
  }
  std::vector<Span> ours, others;
  for (const auto& v : lined) ours.push_back(span_of(v));
  for (const auto& v : ints) ours.push_back(span_of(v));
  for (const auto& v : plain) others.push_back(span_of(v));

  for (std::size_t i = 0; i < ours.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(0u, ours[i].begin % CACHE_LINE);
    // Every other buffer, line vector or not, lies outside its line pairs.
    std::vector<Span> rest = others;
    for (std::size_t j = 0; j < ours.size(); ++j)
      if (j != i) rest.push_back(ours[j]);
    for (const Span& o : rest) {
      const bool apart = last_pair(o) < first_pair(ours[i]) || first_pair(o) > last_pair(ours[i]);
      EXPECT_TRUE(apart) << std::hex << ours[i].begin << "-" << ours[i].end << " and " << o.begin << "-" << o.end;
    }
  }
  // The values are those written (the buffer is the vector's whole store).
  LineVector<double> v(5, 2.5);
  v.resize(300, 1.0);
  EXPECT_EQ(2.5, v[4]);
  EXPECT_EQ(1.0, v[299]);
}

TEST(CacheLines, ASizeBeyondMemoryIsRefusedNotWrapped) {
  CacheLineAllocator<double> a;
  EXPECT_THROW((void)a.allocate(SIZE_MAX / sizeof(double)), std::bad_alloc);
  EXPECT_THROW((void)a.allocate(SIZE_MAX / sizeof(double) - 10), std::bad_alloc);
}

}  // namespace
}  // namespace mglink
