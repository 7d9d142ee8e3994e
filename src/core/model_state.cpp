#include "core/model_state.hpp"

#include <cstddef>
#include <type_traits>

#include "core/large_pages.hpp"

namespace mglink {

// Two tables are written all over at the start of every run: CTRANS (1.3 MB,
// at every full set-up) and, on a large study, the possibility flags of the
// genotype enumeration (up to 5.5 MB).  Page by page, their first writes
// cost some 2,000 page faults, a tenth of a one-thread run of a study of
// 24,000 individuals on a virtual machine; in 2 MiB pages they cost a few.
// The rest of the state stays in small pages: most runs touch little of it.
void* ModelState::operator new(std::size_t n) {
  char* p = static_cast<char*>(map_zeroed(n));
  static_assert(std::is_standard_layout_v<ModelState>, "member offsets are taken with offsetof");
  ask_large_pages(p + offsetof(ModelState, TRANC), sizeof(Tranc));
  ask_large_pages(p + offsetof(ModelState, work) + offsetof(WorkTables, IPOSS), sizeof(WorkTables::IPOSS));
  return p;
}

void ModelState::operator delete(void* p, std::size_t n) noexcept { unmap_zeroed(p, n); }

std::unique_ptr<ModelState> make_model_state() { return std::unique_ptr<ModelState>(new ModelState); }

}  // namespace mglink
