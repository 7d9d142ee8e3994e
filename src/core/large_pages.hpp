// Zeroed memory mapped on its own from a 2 MiB boundary, so that the system
// can back whole 2 MiB stretches of it with one page each (on Linux; else
// calloc).  For the few large tables that a run writes all over: page by
// page, each 4 KiB page's first write is a page fault, some 9 us each on a
// virtual machine.
#pragma once

#include <cstddef>

namespace mglink {

// `bytes` bytes of zeroed memory, 2 MiB aligned where mapped; throws
// std::bad_alloc when there is none.  Release with unmap_zeroed(p, bytes).
void* map_zeroed(std::size_t bytes);
void unmap_zeroed(void* p, std::size_t bytes) noexcept;

// Asks for 2 MiB pages on the 2 MiB stretches that hold any of the `bytes`
// bytes from `begin`, before they are first written (a request the system
// may ignore; nothing where memory is not mapped).
void ask_large_pages(void* begin, std::size_t bytes) noexcept;

// n doubles, zero at first, in memory from map_zeroed with 2 MiB pages asked
// for (unless `large_pages` is false: a small table in one 2 MiB page would
// only take more memory).  Not copyable.
class LargeDoubles {
 public:
  LargeDoubles() = default;
  explicit LargeDoubles(std::size_t n, bool large_pages = true);
  ~LargeDoubles();
  LargeDoubles(LargeDoubles&& o) noexcept : p_(o.p_), n_(o.n_) { o.p_ = nullptr; o.n_ = 0; }
  LargeDoubles& operator=(LargeDoubles&& o) noexcept;
  LargeDoubles(const LargeDoubles&) = delete;
  LargeDoubles& operator=(const LargeDoubles&) = delete;

  double* data() { return p_; }
  const double* data() const { return p_; }
  std::size_t size() const { return n_; }

 private:
  double* p_ = nullptr;
  std::size_t n_ = 0;
};

}  // namespace mglink
