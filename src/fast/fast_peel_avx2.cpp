// The peeling of one family for processors with AVX2: the same text, which
// the compiler may now form four doubles at a time (each lane the same IEEE
// operations as one at a time; AVX2 brings no fused multiply-add), and walk
// the bit sets of genotypes with the BMI1 and BMI2 instructions (the lowest
// set bit found and cleared in one instruction each).  Only
// the functions of the included text carry the AVX2 target: those of the
// headers, included before it, keep the default instruction set, so that
// no copy of them that the rest of the program might use needs AVX2.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>  // _pext_u64 (BMI2)
#endif

#include "fast/fast_peel_kernels.hpp"
#include "likelihood/densities.hpp"
#include "likelihood/portable_math.hpp"

#ifdef MGLINK_PEEL_AVX2

#pragma GCC push_options
#pragma GCC target("avx2,bmi,bmi2")

namespace mglink {

#define MGLINK_PEEL_KERNEL fast_family_avx2
#define MGLINK_PEEL_BMI2 1
#include "fast/fast_peel_kernel.inc"
#undef MGLINK_PEEL_BMI2
#undef MGLINK_PEEL_KERNEL

}  // namespace mglink

#pragma GCC pop_options

#endif
