// The peeling of one family for the default instruction set.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "fast/fast_peel_kernels.hpp"
#include "likelihood/densities.hpp"
#include "likelihood/portable_math.hpp"

namespace mglink {

#define MGLINK_PEEL_KERNEL fast_family_generic
#include "fast/fast_peel_kernel.inc"
#undef MGLINK_PEEL_KERNEL

}  // namespace mglink
