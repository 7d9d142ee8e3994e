// The peeling of one family compiled for each instruction set
// (fast_peel_kernel.inc); fast_family (fast_peel.hpp) calls the one chosen.
// Both read and write what fast_family does, and give the same bits.
#pragma once

#include "core/model_state.hpp"
#include "fast/density_store.hpp"
#include "fast/fast_peel.hpp"
#include "fast/fast_transmission.hpp"

// The AVX2 kernel exists where the compiler can target it (x86-64, GCC or
// Clang); whether the processor has it is asked when running.
#if defined(__x86_64__) && defined(__GNUC__)
#define MGLINK_PEEL_AVX2 1
#endif

namespace mglink {

bool fast_family_generic(const ModelState& st, const TransmissionCache& tc, int32 f, int32 max_entries,
                         PeelScratch& sc, DensityStore& dens, double& FLOGL);
#ifdef MGLINK_PEEL_AVX2
bool fast_family_avx2(const ModelState& st, const TransmissionCache& tc, int32 f, int32 max_entries,
                      PeelScratch& sc, DensityStore& dens, double& FLOGL);
#endif

}  // namespace mglink
