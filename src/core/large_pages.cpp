#include "core/large_pages.hpp"

#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#define MGLINK_HAVE_MMAP 1
#endif

namespace mglink {

namespace {

#ifdef MGLINK_HAVE_MMAP
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

std::size_t mapped_size(std::size_t n) { return (n + kLargePage - 1) & ~(kLargePage - 1); }
#endif

}  // namespace

void* map_zeroed(std::size_t bytes) {
#ifdef MGLINK_HAVE_MMAP
  const std::size_t len = mapped_size(bytes == 0 ? 1 : bytes);
  // One large page more than needed, so that a 2 MiB boundary lies within
  // its first large page; the slack on either side is given back.
  void* m = mmap(nullptr, len + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(m);
  const std::uintptr_t base = (at + kLargePage - 1) & ~(kLargePage - 1);
  if (base > at) (void)munmap(m, base - at);
  (void)munmap(reinterpret_cast<void*>(base + len), at + kLargePage - base);
  return reinterpret_cast<void*>(base);  // anonymous memory: zero
#else
  void* p = std::calloc(1, bytes == 0 ? 1 : bytes);
  if (p == nullptr) throw std::bad_alloc();
  return p;
#endif
}

void unmap_zeroed(void* p, std::size_t bytes) noexcept {
  if (p == nullptr) return;
#ifdef MGLINK_HAVE_MMAP
  (void)munmap(p, mapped_size(bytes == 0 ? 1 : bytes));
#else
  (void)bytes;
  std::free(p);
#endif
}

void ask_large_pages(void* begin, std::size_t bytes) noexcept {
#ifdef MGLINK_HAVE_MMAP
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(begin) & ~(kLargePage - 1);
  const std::uintptr_t e = (reinterpret_cast<std::uintptr_t>(begin) + bytes + kLargePage - 1) & ~(kLargePage - 1);
  (void)madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
#else
  (void)begin;
  (void)bytes;
#endif
}

LargeDoubles::LargeDoubles(std::size_t n, bool large_pages)
    : p_(static_cast<double*>(map_zeroed(n * sizeof(double)))), n_(n) {
  if (large_pages) ask_large_pages(p_, n * sizeof(double));
}

LargeDoubles::~LargeDoubles() { unmap_zeroed(p_, n_ * sizeof(double)); }

LargeDoubles& LargeDoubles::operator=(LargeDoubles&& o) noexcept {
  if (this != &o) {
    unmap_zeroed(p_, n_ * sizeof(double));
    p_ = o.p_;
    n_ = o.n_;
    o.p_ = nullptr;
    o.n_ = 0;
  }
  return *this;
}

}  // namespace mglink
