#include "core/model_state.hpp"

#include <cstddef>
#include <type_traits>

#if defined(__linux__)
#include <sys/mman.h>
#define MGLINK_HAVE_MMAP 1
#endif

namespace mglink {

namespace {

#ifdef MGLINK_HAVE_MMAP
// The state is mapped on its own, from a boundary of 2 MiB, so that the
// system can back whole 2 MiB stretches of it with one page each.
constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;

std::size_t mapped_size(std::size_t n) { return (n + kLargePage - 1) & ~(kLargePage - 1); }

// Asks for large pages on the 2 MiB stretches that hold any of `bytes` bytes
// from `begin` (a request the system may ignore).
void ask_large_pages(char* begin, std::size_t bytes) {
  const std::uintptr_t b = reinterpret_cast<std::uintptr_t>(begin) & ~(kLargePage - 1);
  const std::uintptr_t e = (reinterpret_cast<std::uintptr_t>(begin) + bytes + kLargePage - 1) & ~(kLargePage - 1);
  (void)madvise(reinterpret_cast<void*>(b), e - b, MADV_HUGEPAGE);
}
#endif

}  // namespace

// Two tables are written all over at the start of every run: CTRANS (1.3 MB,
// at every full set-up) and, on a large study, the possibility flags of the
// genotype enumeration (up to 5.5 MB).  Page by page, their first writes
// cost some 2,000 page faults, a tenth of a one-thread run of a study of
// 24,000 individuals on a virtual machine; in 2 MiB pages they cost a few.
// The rest of the state stays in small pages: most runs touch little of it.
void* ModelState::operator new(std::size_t n) {
#ifdef MGLINK_HAVE_MMAP
  const std::size_t len = mapped_size(n);
  void* m = mmap(nullptr, len + kLargePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(m);
  const std::uintptr_t base = (at + kLargePage - 1) & ~(kLargePage - 1);
  if (base > at) (void)munmap(m, base - at);
  if (at + kLargePage > base) (void)munmap(reinterpret_cast<void*>(base + len), at + kLargePage - base);
  char* p = reinterpret_cast<char*>(base);
  static_assert(std::is_standard_layout_v<ModelState>, "member offsets are taken with offsetof");
  ask_large_pages(p + offsetof(ModelState, TRANC), sizeof(Tranc));
  ask_large_pages(p + offsetof(ModelState, work) + offsetof(WorkTables, IPOSS), sizeof(WorkTables::IPOSS));
  return p;  // anonymous memory: zero
#else
  void* p = std::calloc(1, n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
#endif
}

void ModelState::operator delete(void* p, std::size_t n) noexcept {
#ifdef MGLINK_HAVE_MMAP
  if (p != nullptr) (void)munmap(p, mapped_size(n));
#else
  (void)n;
  std::free(p);
#endif
}

std::unique_ptr<ModelState> make_model_state() { return std::unique_ptr<ModelState>(new ModelState); }

}  // namespace mglink
