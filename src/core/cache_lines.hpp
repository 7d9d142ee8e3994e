// Buffers apart from every other buffer's cache lines, for the working store
// of one thread.
//
// Two small heap buffers may share a 64-byte cache line, and processors
// fetch lines in aligned pairs.  When two threads write buffers that share a
// line or a pair, the line travels between the processors at every write
// (false sharing): the working stores of two threads, allocated one after
// the other, made the two threads of a complete run of a large study take
// some 13% longer together than one thread for the same work.  A LineVector's
// buffer starts on a cache line, fills its last line, and has a line of its
// own before and after it, so no other buffer's bytes lie in a line pair
// with its bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace mglink {

inline constexpr std::size_t CACHE_LINE = 64;
// Data that two threads write lie at least this far apart (the aligned
// pairs of lines that processors fetch together).
inline constexpr std::size_t CACHE_LINE_PAIR = 2 * CACHE_LINE;

// `bytes` rounded up to whole cache lines.
inline constexpr std::size_t whole_lines(std::size_t bytes) {
  return (bytes + CACHE_LINE - 1) / CACHE_LINE * CACHE_LINE;
}

template <class T>
struct CacheLineAllocator {
  static_assert(alignof(T) <= CACHE_LINE, "a value starts on a line, not beyond");
  using value_type = T;

  CacheLineAllocator() = default;
  template <class U>
  CacheLineAllocator(const CacheLineAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > (SIZE_MAX - 3 * CACHE_LINE) / sizeof(T)) throw std::bad_array_new_length();
    char* p = static_cast<char*>(::operator new(bytes(n), std::align_val_t{CACHE_LINE}));
    return reinterpret_cast<T*>(p + CACHE_LINE);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    ::operator delete(reinterpret_cast<char*>(p) - CACHE_LINE, bytes(n), std::align_val_t{CACHE_LINE});
  }

  // What n values take: whole cache lines, and a line before and after.
  static std::size_t bytes(std::size_t n) {
    return whole_lines(n * sizeof(T)) + 2 * CACHE_LINE;
  }

  template <class U>
  bool operator==(const CacheLineAllocator<U>&) const noexcept { return true; }
};

template <class T>
using LineVector = std::vector<T, CacheLineAllocator<T>>;

}  // namespace mglink
