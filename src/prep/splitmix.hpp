// splitmix64: a small generator whose sequence is the same on every machine
// and with every standard library.  Used for the alternative layouts that
// show a likelihood does not depend on the peeling order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace mglink::prep {

struct SplitMix64 {
  std::uint64_t s;
  std::uint64_t next() {
    std::uint64_t z = (s += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // 0 .. n-1
  template <class I>
  I below(I n) {
    return static_cast<I>(next() % static_cast<std::uint64_t>(n));
  }
  // [0, 1)
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }
  template <class T>
  void shuffle(std::vector<T>& v) {
    for (std::size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[below(i)]);
  }
};

}  // namespace mglink::prep
